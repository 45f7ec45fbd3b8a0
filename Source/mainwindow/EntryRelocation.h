#pragma once
// Where the folder of a moved file went, so that the other files of that folder can follow.
// Any thread.

#include <optional>
#include <string>
#include <string_view>

namespace vantle {

// The parts of the old and the new path before their common end: /Music/Old/Band/song.mp3 moved
// to /Volumes/Disk/Band/song.mp3 gives /Music/Old and /Volumes/Disk.
struct MovedFolders {
    std::string oldPrefix;
    std::string newPrefix;

    friend bool operator==(const MovedFolders&, const MovedFolders&) = default;
};

// Paths are compared by whole components, so a folder name is never split. Nothing when the file
// was renamed (no common end), when nothing but the file's place in the same folder tree is the
// same on both sides (equal prefixes), or when the old prefix would be the root: every other file
// would then seem to have moved.
std::optional<MovedFolders> movedFolders(std::string_view newPath, std::string_view oldPath);

// The path under the new prefix when `path` lies under the old one (below it by whole components).
std::optional<std::string> relocatedPath(const MovedFolders& folders, std::string_view path);

} // namespace vantle
