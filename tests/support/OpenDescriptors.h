#pragma once
// How many descriptors this process holds on one file, found by resolving every link in
// /proc/self/fd to the file it names: a descriptor counts after the file's path moved away or was
// removed. POSIX and the standard library only. Any thread.

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// A file as the kernel knows it, whatever its path is by now.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// The identity of the file at `path`; none when nothing is there.
inline std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// The descriptors open on `file`, watch descriptors (O_PATH) among them.
inline int descriptorsOn(const FileIdentity& file) {
    int count = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec)) {
        struct stat st {};
        // stat follows the link to the open file itself, not to whatever its old path names now.
        if (::stat(it->path().c_str(), &st) == 0 && st.st_dev == file.device && st.st_ino == file.inode)
            ++count;
    }
    return count;
}

// The lowest descriptor open on `file`, or -1: a test may stand another file in for it (dup2) to make
// its reads fail.
inline int descriptorOn(const FileIdentity& file) {
    int lowest = -1;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec)) {
        struct stat st {};
        if (::stat(it->path().c_str(), &st) != 0 || st.st_dev != file.device || st.st_ino != file.inode)
            continue;
        const int fd = std::stoi(it->path().filename().string());
        if (lowest < 0 || fd < lowest) lowest = fd;
    }
    return lowest;
}

} // namespace testsupport
