#include "platform/foundation/SystemFiles.h"

#include <climits>
#include <cstdlib>
#include <linux/magic.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace platform {

bool isSystemFile(const std::string& path, int fd) {
    static constexpr unsigned long systemKinds[] = {
        PROC_SUPER_MAGIC, SYSFS_MAGIC,        DEVPTS_SUPER_MAGIC,  DEBUGFS_MAGIC, TRACEFS_MAGIC,
        SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,  PSTOREFS_MAGIC,
        EFIVARFS_MAGIC,   BINFMTFS_MAGIC,     SELINUX_MAGIC,       SMACK_MAGIC,
    };
    struct statfs kind {};
    if (::fstatfs(fd, &kind) == 0)
        for (unsigned long systemKind : systemKinds)
            if (static_cast<unsigned long>(kind.f_type) == systemKind) return true;
    // /dev is a tmpfs by its kind, like many a user's folder: it is told by the place the path leads to.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return false;
    const std::string_view where(resolved);
    for (std::string_view place : {"/proc/", "/sys/"})
        if (where.substr(0, place.size()) == place) return true;
    if (where.substr(0, 5) != "/dev/") return false;
    struct stat file {};
    struct stat dev {};
    return ::fstat(fd, &file) != 0 || ::stat("/dev", &dev) != 0 || file.st_dev == dev.st_dev;
}

} // namespace platform
