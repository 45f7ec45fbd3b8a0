#pragma once
// Folders that take long to list, the stand-in for a collection on a slow network share: each is a link
// to one folder whose entries are links through a chain of links into a deep path, so that asking whether
// an entry is a regular file resolves thousands of path components. Made in a temporary folder; POSIX
// only. Test thread.

#include "tests/support/TemporaryFolder.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

class SlowFolders {
public:
    explicit SlowFolders(int entries = 50) {
        namespace fs = std::filesystem;
        // The chain's links lie 100 folders deep and name each other by absolute path; the last is a file.
        std::string deep = root_.file("d");
        for (int level = 0; level < 100; ++level)
            deep += "/a";
        fs::create_directories(deep);
        std::ofstream(deep + "/end") << "x";
        constexpr int links = 38; // the kernel follows at most 40 in one lookup
        for (int link = links - 1; link >= 0; --link)
            fs::create_symlink(deep + (link == links - 1 ? "/end" : "/l" + std::to_string(link + 1)),
                               deep + "/l" + std::to_string(link));
        fs::create_directory(real());
        for (int entry = 0; entry < entries; ++entry)
            fs::create_symlink(deep + "/l0", real() + "/entry" + std::to_string(entry) + ".dat");
    }

    // A slow folder of that name (a link to the one real folder), made now.
    std::string folder(const std::string& name) const {
        std::filesystem::create_symlink(real(), root_.file(name));
        return root_.file(name);
    }
    // The folder the links lead to, where files put in show in every slow folder.
    std::string real() const { return root_.file("real"); }

private:
    TemporaryFolder root_{"vantle-slow"};
};

} // namespace testsupport
