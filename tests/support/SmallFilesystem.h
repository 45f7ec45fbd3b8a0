#pragma once
// A memory file system of a given size mounted on a fresh temporary folder, for tests of what writers
// do when the disk fills up. Mounting needs root (or the right capability): where the machine refuses,
// mounted() is false and the test skips. Unmounted and removed when the test is done. POSIX and Linux
// only. Test thread.

#include "tests/support/TemporaryFolder.h"

#include <sys/mount.h>

#include <cstdint>
#include <string>

namespace testsupport {

class SmallFilesystem {
public:
    explicit SmallFilesystem(std::uint32_t megabytes)
        : mounted_(::mount("tmpfs", folder_.path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                           ("size=" + std::to_string(megabytes) + "m").c_str()) == 0) {}
    ~SmallFilesystem() {
        if (mounted_) ::umount2(folder_.path.c_str(), MNT_DETACH);
    }
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return folder_.path; }
    std::string file(const std::string& name) const { return folder_.file(name); }

private:
    TemporaryFolder folder_{"vantle-small-fs"};
    bool mounted_;
};

} // namespace testsupport
