#include "Source/mainwindow/EntryRelocation.h"

#include <vector>

namespace vantle {

namespace {

std::vector<std::string_view> relocationComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) parts.push_back(path.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return parts;
}

// The first `count` components as a path; "" for none.
std::string relocationPrefix(const std::vector<std::string_view>& parts, std::size_t count) {
    std::string prefix;
    for (std::size_t i = 0; i < count; ++i) {
        prefix += '/';
        prefix += parts[i];
    }
    return prefix;
}

} // namespace

std::optional<MovedFolders> movedFolders(std::string_view newPath, std::string_view oldPath) {
    const std::vector<std::string_view> newParts = relocationComponents(newPath);
    const std::vector<std::string_view> oldParts = relocationComponents(oldPath);
    std::size_t common = 0;
    while (common < newParts.size() && common < oldParts.size() &&
           newParts[newParts.size() - 1 - common] == oldParts[oldParts.size() - 1 - common])
        ++common;
    if (common == 0 || common == oldParts.size()) return std::nullopt;
    MovedFolders folders{relocationPrefix(oldParts, oldParts.size() - common),
                         relocationPrefix(newParts, newParts.size() - common)};
    if (folders.oldPrefix == folders.newPrefix) return std::nullopt;
    return folders;
}

std::optional<std::string> relocatedPath(const MovedFolders& folders, std::string_view path) {
    if (folders.oldPrefix.empty() || path.size() <= folders.oldPrefix.size() + 1 ||
        !path.starts_with(folders.oldPrefix) || path[folders.oldPrefix.size()] != '/')
        return std::nullopt;
    return folders.newPrefix + std::string(path.substr(folders.oldPrefix.size()));
}

} // namespace vantle
