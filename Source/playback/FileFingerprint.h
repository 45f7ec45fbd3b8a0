#pragma once
// What a player remembers of the file it opened, to tell after a change event whether the file on disk
// still holds the same bytes (a `touch`, or a sync tool writing the same song again) and whether the path
// still names the file it watches. Any thread; a plain value.

#include <cstdint>
#include <optional>
#include <string>

namespace vantle {

struct FileFingerprint {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    // A checksum of the file's first and last 64 KiB: reading a whole song on every change event would
    // cost more than it tells, and a changed song differs there (its header or its end).
    std::uint64_t headAndTail = 0;

    // Nothing when the path names no readable regular file.
    static std::optional<FileFingerprint> of(const std::string& path);

    bool sameBytes(const FileFingerprint& other) const {
        return size == other.size && headAndTail == other.headAndTail;
    }
    bool sameFile(const FileFingerprint& other) const {
        return device == other.device && inode == other.inode;
    }
    // Whether `path` names the file this was taken of now; its bytes are not read.
    bool namedBy(const std::string& path) const;
};

} // namespace vantle
