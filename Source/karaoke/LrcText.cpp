#include "Source/karaoke/LrcText.h"

#include "Source/session/TextNoteSet.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/Url.h"

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace vantle::lrc {

namespace {

// What files called Latin-1 hold in practice: Windows-1252, whose 0x80–0x9F are the curly quotes,
// dashes and the euro sign that ISO 8859-1 leaves to control characters. The five bytes it leaves
// undefined stay the control characters they are in ISO 8859-1, so every byte reads and writes back.
constexpr std::array<char16_t, 32> windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, UChar32 c) {
    char buffer[4];
    int32_t length = 0;
    UBool error = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buffer), length, 4, c, error);
    (void)error; // every code point given fits
    out.append(buffer, static_cast<std::size_t>(length));
}

std::string fromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<std::uint8_t>(bytes[2 * i]);
        const auto second = static_cast<std::uint8_t>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    // A last odd byte is half a character: it reads as one that could not be read.
    if (bytes.size() % 2 != 0) units.push_back(u'\uFFFD');
    std::string out(units.size() * 3, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &written, units.data(),
                       static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::string toUtf16(std::string_view utf8, bool bigEndian) {
    std::u16string units(utf8.size() + 1, u'\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &written, utf8.data(),
                         static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) written = 0;
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    out.reserve(2 + 2 * static_cast<std::size_t>(written));
    for (int32_t i = 0; i < written; ++i) {
        const auto high = static_cast<char>(units[static_cast<std::size_t>(i)] >> 8);
        const auto low = static_cast<char>(units[static_cast<std::size_t>(i)] & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

std::optional<std::string> toWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return std::nullopt;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        const auto found = std::find(windows1252High.begin(), windows1252High.end(), char16_t(c));
        if (found == windows1252High.end() || c > 0xFFFF) return std::nullopt;
        out += static_cast<char>(0x80 + (found - windows1252High.begin()));
    }
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads up to `most` digits at `at`; none when there is none.
std::optional<std::int64_t> digits(std::string_view text, std::size_t& at, std::size_t most,
                                   std::size_t* count = nullptr) {
    std::int64_t value = 0;
    std::size_t read = 0;
    while (at < text.size() && isDigit(text[at]) && read < most) {
        value = value * 10 + (text[at] - '0');
        ++at;
        ++read;
    }
    if (count) *count = read;
    if (read == 0) return std::nullopt;
    return value;
}

// The word times of a line's text: text before the first <time> belongs to no word.
void readWords(std::string_view rest, Line& line) {
    struct Piece {
        std::optional<double> time;
        std::string text;
    };
    std::vector<Piece> pieces(1);
    std::size_t at = 0;
    // The first '>' after the bracket looked at last: every '<' before it shares the one look, so that
    // a line of brackets is read in one pass.
    std::size_t close = 0;
    while (at < rest.size()) {
        if (rest[at] == '<') {
            if (close != std::string_view::npos && close <= at) close = rest.find('>', at + 1);
            if (close != std::string_view::npos) {
                if (auto time = parseTime(rest.substr(at + 1, close - at - 1))) {
                    pieces.push_back({time, {}});
                    at = close + 1;
                    continue;
                }
            }
        }
        const std::size_t next = rest.find('<', at + 1);
        const std::size_t stop = next == std::string_view::npos ? rest.size() : next;
        pieces.back().text.append(rest.substr(at, stop - at));
        at = stop;
    }
    // The line's own white space at both ends is no part of its text.
    std::string_view prefix = pieces.front().text;
    while (!prefix.empty() && isBlank(prefix.front()))
        prefix.remove_prefix(1);
    pieces.front().text = std::string(prefix);
    // A time after the last word ends it.
    while (pieces.size() > 1) {
        std::string& last = pieces.back().text;
        while (!last.empty() && isBlank(last.back()))
            last.pop_back();
        if (!last.empty()) break;
        line.wordsEnd = pieces.back().time;
        pieces.pop_back();
    }
    if (pieces.size() == 1) {
        std::string& only = pieces.front().text;
        while (!only.empty() && isBlank(only.back()))
            only.pop_back();
        if (line.wordsEnd && only.empty()) line.wordsEnd.reset(); // a lone time ends no word
    }
    line.text = pieces.front().text;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        line.text += pieces[i].text;
        line.words.emplace_back(*pieces[i].time, std::move(pieces[i].text));
    }
}

} // namespace

std::string_view markOf(Encoding encoding) {
    switch (encoding) {
    case Encoding::utf8WithMark:
        return "\xEF\xBB\xBF";
    case Encoding::utf16LittleEndian:
        return "\xFF\xFE";
    case Encoding::utf16BigEndian:
        return "\xFE\xFF";
    case Encoding::utf8:
    case Encoding::latin1:
        break;
    }
    return {};
}

std::string decodeAs(std::string_view bytes, Encoding encoding) {
    switch (encoding) {
    case Encoding::utf16LittleEndian:
    case Encoding::utf16BigEndian:
        return fromUtf16(bytes, encoding == Encoding::utf16BigEndian);
    case Encoding::utf8:
    case Encoding::utf8WithMark:
        return platform::replacingInvalidUtf8(bytes);
    case Encoding::latin1:
        break;
    }
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 4);
    for (const char byte : bytes) {
        const auto c = static_cast<std::uint8_t>(byte);
        appendUtf8(text, c >= 0x80 && c < 0xA0 ? windows1252High[c - 0x80] : c);
    }
    return text;
}

DecodedText decodeText(std::string_view bytes) {
    Encoding encoding = Encoding::latin1;
    for (const Encoding marked :
         {Encoding::utf16LittleEndian, Encoding::utf16BigEndian, Encoding::utf8WithMark})
        if (bytes.starts_with(markOf(marked))) {
            encoding = marked;
            break;
        }
    if (encoding == Encoding::latin1 && platform::isValidUtf8(bytes))
        return {std::string(bytes), Encoding::utf8};
    return {decodeAs(bytes.substr(markOf(encoding).size()), encoding), encoding};
}

std::optional<std::string> encodePiece(std::string_view utf8, Encoding encoding) {
    if (encoding == Encoding::latin1) return toWindows1252(utf8);
    std::string bytes = encodeText(utf8, encoding);
    return bytes.substr(markOf(encoding).size());
}

std::string encodeText(std::string_view utf8, Encoding& encoding) {
    switch (encoding) {
    case Encoding::utf8:
        return std::string(utf8);
    case Encoding::utf8WithMark:
        return "\xEF\xBB\xBF" + std::string(utf8);
    case Encoding::utf16LittleEndian:
        return toUtf16(utf8, false);
    case Encoding::utf16BigEndian:
        return toUtf16(utf8, true);
    case Encoding::latin1:
        if (auto bytes = toWindows1252(utf8)) return *bytes;
        encoding = Encoding::utf8;
        return std::string(utf8);
    }
    return std::string(utf8);
}

std::vector<TextLine> splitLines(std::string_view text) {
    std::vector<TextLine> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        std::size_t endLength = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        lines.push_back({text.substr(start, i - start), text.substr(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back({text.substr(start), {}});
    return lines;
}

std::vector<TextLine> splitEncodedLines(std::string_view bytes, Encoding encoding) {
    if (encoding != Encoding::utf16LittleEndian && encoding != Encoding::utf16BigEndian)
        return splitLines(bytes); // the line ends are the same bytes in all three
    const bool big = encoding == Encoding::utf16BigEndian;
    // The code unit at `at`, as one of the two line-end characters or none.
    const auto unitAt = [&](std::size_t at) -> char {
        const char high = bytes[big ? at : at + 1];
        const char low = bytes[big ? at + 1 : at];
        return high == '\0' && (low == '\n' || low == '\r') ? low : '\0';
    };
    std::vector<TextLine> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char unit = unitAt(at);
        if (unit == '\0') continue;
        const std::size_t endLength = unit == '\r' && at + 3 < bytes.size() && unitAt(at + 2) == '\n' ? 4 : 2;
        lines.push_back({bytes.substr(start, at - start), bytes.substr(at, endLength)});
        at += endLength - 2;
        start = at + 2;
    }
    if (start < bytes.size()) lines.push_back({bytes.substr(start), {}});
    return lines;
}

std::optional<double> parseTime(std::string_view text) {
    std::size_t at = 0;
    const auto minutes = digits(text, at, 7);
    if (!minutes || at >= text.size() || text[at] != ':') return std::nullopt;
    ++at;
    std::size_t secondDigits = 0;
    const auto seconds = digits(text, at, 2, &secondDigits);
    if (!seconds || secondDigits != 2 || *seconds >= 60) return std::nullopt;
    double fraction = 0.0;
    if (at < text.size() && (text[at] == '.' || text[at] == ':')) {
        ++at;
        std::size_t fractionDigits = 0;
        const auto value = digits(text, at, 9, &fractionDigits);
        if (!value) return std::nullopt;
        static constexpr double scale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
        fraction = double(*value) / scale[fractionDigits];
    }
    if (at != text.size()) return std::nullopt;
    return double(*minutes * 60 + *seconds) + fraction;
}

std::string timeTag(double seconds) {
    const long long hundredths = std::llround(std::max(0.0, seconds) * 100.0);
    char text[40];
    std::snprintf(text, sizeof text, "[%02lld:%02lld.%02lld]", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return text;
}

double offsetSeconds(std::string_view value) {
    value = trimmed(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::size_t at = 0;
    const auto milliseconds = digits(value, at, 9);
    if (!milliseconds || at != value.size()) return 0.0;
    return (negative ? -1.0 : 1.0) * double(*milliseconds) / 1000.0;
}

std::optional<Line> parseLine(std::string_view text) {
    text = trimmed(text);
    Line line;
    if (text.empty()) return line;
    std::size_t at = 0;
    // Time tags, perhaps with blanks between them.
    while (true) {
        std::size_t open = at;
        while (open < text.size() && isBlank(text[open]))
            ++open;
        if (open >= text.size() || text[open] != '[') break;
        const std::size_t close = text.find(']', open + 1);
        if (close == std::string_view::npos) break;
        const auto time = parseTime(text.substr(open + 1, close - open - 1));
        if (!time) break;
        line.times.push_back(*time);
        at = close + 1;
    }
    if (line.times.empty() && text.front() == '[') {
        const std::size_t colon = text.find(':');
        const std::size_t close = text.find(']');
        // A bracket that starts like a time but is none: a broken line, not a text.
        const bool timeLike =
            (text.size() > 1 && isDigit(text[1])) || (text.size() > 2 && text[1] == '-' && isDigit(text[2]));
        if (timeLike && colon != std::string_view::npos && (close == std::string_view::npos || colon < close))
            return std::nullopt;
        std::size_t name = 1;
        while (name < text.size() &&
               (isLetter(text[name]) ||
                (name > 1 && (isDigit(text[name]) || text[name] == '_' || text[name] == '-'))))
            ++name;
        if (name > 1 && name == colon) {
            if (text.back() != ']') return std::nullopt; // [ar:Someone] and more
            line.kind = Line::Kind::idTag;
            line.tagName = platform::lowercased(text.substr(1, name - 1));
            line.tagValue = std::string(text.substr(name + 1, text.size() - name - 2));
            return line;
        }
    }
    line.kind = line.times.empty() ? Line::Kind::untimed : Line::Kind::timed;
    readWords(text.substr(at), line);
    return line;
}

Beside besideFiles(const std::string& audioPath) {
    const platform::Url audio = platform::Url::fileURLWithPath(audioPath, false);
    const platform::Url stem = audio.deletingPathExtension();
    Beside beside;
    beside.folder = stem.deletingLastPathComponent().path();
    beside.lrcToWrite = stem.deletingLastPathComponent()
                            .appendingPathComponent(stem.lastPathComponent() + ".lrc", false)
                            .path();
    beside.transcription = companionTextURL(audio, ".t.txt").path();
    return beside;
}

std::optional<std::string> findLrc(const Beside& beside) {
    if (platform::fileExists(beside.lrcToWrite) && !platform::isDirectory(beside.lrcToWrite))
        return beside.lrcToWrite;
    // A folder of a whole collection is listed only so far: the window waits for no endless folder.
    constexpr int mostEntries = 20000;
    const std::string wanted = platform::Url::fileURLWithPath(beside.lrcToWrite, false).lastPathComponent();
    const std::string_view stem = std::string_view(wanted).substr(0, wanted.size() - 4);
    DIR* folder = ::opendir(beside.folder.c_str());
    if (folder == nullptr) return std::nullopt;
    std::optional<std::string> found;
    int seen = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (++seen > mostEntries) break;
        const std::string_view name = entry->d_name;
        if (name.size() != wanted.size() || name.substr(0, stem.size()) != stem) continue;
        if (platform::lowercased(name.substr(stem.size())) != ".lrc") continue;
        const std::string path = beside.folder + (beside.folder == "/" ? "" : "/") + std::string(name);
        if (platform::isDirectory(path)) continue;
        // Of several, the same one every time.
        if (!found || path < *found) found = path;
    }
    ::closedir(folder);
    return found;
}

} // namespace vantle::lrc
