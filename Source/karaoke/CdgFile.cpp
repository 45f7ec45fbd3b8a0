#include "Source/karaoke/CdgFile.h"

#include "platform/foundation/Files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vantle {

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// The name without its last extension; a name that starts with its only dot has none.
std::string_view baseNameOf(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

bool hasCdgExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot != 0 && equalIgnoringAsciiCase(name.substr(dot + 1), "cdg");
}

std::string asciiLowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        c = asciiLower(c);
    return lowered;
}

std::pair<std::string, std::string> splitFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

std::string joinFolder(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::optional<std::string> cdgNameInListing(const std::string& audioFileName,
                                            const std::vector<std::string>& fileNames) {
    const std::string_view base = baseNameOf(audioFileName);
    // The least name of each kind, so that the choice does not depend on the listing's order.
    const std::string* exact = nullptr;
    const std::string* caseless = nullptr;
    for (const std::string& name : fileNames) {
        if (name == audioFileName || !hasCdgExtension(name)) continue;
        const std::string_view candidate = baseNameOf(name);
        if (candidate == base) {
            if (exact == nullptr || name < *exact) exact = &name;
        } else if (equalIgnoringAsciiCase(candidate, base)) {
            if (caseless == nullptr || name < *caseless) caseless = &name;
        }
    }
    if (exact != nullptr) return *exact;
    if (caseless != nullptr) return *caseless;
    return std::nullopt;
}

std::string cdgKeyOf(std::string_view fileName) {
    return hasCdgExtension(fileName) ? asciiLowered(baseNameOf(fileName)) : std::string();
}

std::string songKeyOf(std::string_view fileName) {
    return asciiLowered(baseNameOf(fileName));
}

std::vector<std::string> listFileNames(const std::string& folder, std::size_t limit,
                                       const std::function<bool()>& stopped) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return names;
    for (const auto end = std::filesystem::directory_iterator();
         entries != end && names.size() < limit && !(stopped && stopped()); entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_regular_file(typeError)) names.push_back(entries->path().filename().string());
        if (error) break;
    }
    return names;
}

std::optional<std::string> cdgBesidePath(const std::string& audioPath) {
    const auto [folder, fileName] = splitFolder(audioPath);
    if (fileName.empty()) return std::nullopt;
    const std::string base(baseNameOf(fileName));
    // Most songs have their graphics in one of the two usual spellings: no listing needed.
    for (const char* extension : {".CDG", ".cdg"}) {
        const std::string path = joinFolder(folder, base + extension);
        if (base + extension != fileName && isRegularFile(path)) return path;
    }
    const auto name = cdgNameInListing(fileName, listFileNames(folder));
    if (!name) return std::nullopt;
    return joinFolder(folder, *name);
}

platform::Result<std::vector<std::uint8_t>> readCdgFile(const std::string& path) {
    return platform::readFile(path, cdgMaximumBytes);
}

} // namespace vantle
