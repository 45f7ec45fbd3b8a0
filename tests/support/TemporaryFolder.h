#pragma once
// A fresh folder under the system's temporary folder, removed with all it holds when the test is done.
// The standard library and POSIX only. Test thread.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace testsupport {

class TemporaryFolder {
public:
    explicit TemporaryFolder(std::string_view prefix = "vantle-test") : path(make(prefix)) {}
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The path of `name` inside the folder (nothing is created).
    std::string file(std::string_view name) const { return path + "/" + std::string(name); }

    const std::string path;

private:
    static std::string make(std::string_view prefix) {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / (std::string(prefix) + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
        return pattern;
    }
};

// The names in a folder, hidden ones too; none when it cannot be read.
inline std::set<std::string> entryNames(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

// Sets the file's times to now, as `touch` and sync tools do; the bytes stay.
inline bool touchFile(const std::string& path) {
    return ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0;
}

// The file's own bytes replaced by ones no decoder takes, on the same inode: what a descriptor
// still open on it reads from now on, as from a device that has gone.
inline bool spoilInPlace(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return bool(out << std::string(4096, 'z'));
}

} // namespace testsupport
