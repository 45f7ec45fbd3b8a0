#include "Source/karaoke/host/SongName.h"

#include <cctype>
#include <vector>

namespace vantle::host {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) || text.front() == '_'))
        text.remove_prefix(1);
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == '_'))
        text.remove_suffix(1);
    return text;
}

// The parts between " - " (or an en dash, or "_-_" as some rippers write it).
std::vector<std::string_view> nameParts(std::string_view name) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t separator = 0;
        if (name.compare(i, 3, " - ") == 0 || name.compare(i, 3, "_-_") == 0)
            separator = 3;
        else if (name.compare(i, 5, " \xE2\x80\x93 ") == 0)
            separator = 5;
        if (separator == 0) {
            ++i;
            continue;
        }
        parts.push_back(trimmed(name.substr(start, i - start)));
        i += separator;
        start = i;
    }
    parts.push_back(trimmed(name.substr(start)));
    std::erase_if(parts, [](std::string_view part) { return part.empty(); });
    return parts;
}

std::string joined(const std::vector<std::string_view>& parts, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (!text.empty()) text += " - ";
        text += parts[i];
    }
    return text;
}

} // namespace

bool looksLikeDiscId(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == 0 || i > 6) return false;
    if (i < text.size() && (text[i] == ' ' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++digits;
    }
    if (digits < 2) return false;
    if (i == text.size()) return true;
    // A track after the disc: "-05", " 05", or letters and digits some makers add ("SC8123-05A").
    if (text[i] == ' ' || text[i] == '-') ++i;
    std::size_t track = 0;
    while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++track;
    }
    return i == text.size() && track > 0 && track <= 4;
}

SongName songNameFromFile(std::string_view fileName) {
    if (const std::size_t slash = fileName.rfind('/'); slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    if (const std::size_t dot = fileName.rfind('.'); dot != std::string_view::npos && dot > 0)
        fileName = fileName.substr(0, dot);
    SongName song;
    // A disc ID in brackets, before or after the rest.
    std::string_view rest = trimmed(fileName);
    if (!rest.empty() && rest.front() == '[') {
        if (const std::size_t close = rest.find(']');
            close != std::string_view::npos && looksLikeDiscId(trimmed(rest.substr(1, close - 1)))) {
            song.disc = trimmed(rest.substr(1, close - 1));
            rest = trimmed(rest.substr(close + 1));
        }
    } else if (!rest.empty() && rest.back() == ']') {
        if (const std::size_t open = rest.rfind('[');
            open != std::string_view::npos &&
            looksLikeDiscId(rest.substr(open + 1, rest.size() - open - 2))) {
            song.disc = rest.substr(open + 1, rest.size() - open - 2);
            rest = trimmed(rest.substr(0, open));
        }
    }
    std::vector<std::string_view> parts = nameParts(rest);
    if (parts.empty()) {
        song.title = std::string(trimmed(fileName));
        return song;
    }
    // Unbracketed, a part is a disc ID only beside two others: "UB40 - Red Red Wine" is an artist's name.
    if (song.disc.empty() && parts.size() >= 3) {
        if (looksLikeDiscId(parts.front())) {
            song.disc = parts.front();
            parts.erase(parts.begin());
        } else if (looksLikeDiscId(parts.back())) {
            song.disc = parts.back();
            parts.pop_back();
        }
    }
    if (parts.size() == 1) {
        song.title = parts.front();
    } else {
        song.artist = parts.front();
        song.title = joined(parts, 1, parts.size());
    }
    return song;
}

} // namespace vantle::host
