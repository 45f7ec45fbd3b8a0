#include "platform/foundation/Files.h"

#include "platform/foundation/Console.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {
namespace fs = std::filesystem;

namespace {

Error fileError(const std::string& what, const std::string& path, int err) {
    return Error::make("platform.files", what + " \"" + path + "\": " + std::strerror(err), err);
}

Error fileError(const std::string& what, const std::string& path, const std::error_code& ec) {
    return Error::make("platform.files", what + " \"" + path + "\": " + ec.message(), ec.value());
}

// The mask as the process started, before any thread could create files; only for kernels that
// do not report it in /proc.
const mode_t filesStartupUmask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

// The file-creation mask, read without setting it: setting it, even for a moment, would change the
// permissions of files that other threads create meanwhile.
mode_t filesCurrentUmask() {
    const FileDescriptor fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return filesStartupUmask;
    char text[4096];
    ssize_t n = ::read(fd.get(), text, sizeof text - 1);
    if (n <= 0) return filesStartupUmask;
    text[n] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (line == nullptr) return filesStartupUmask;
    return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8) & 0777);
}

// A temporary of writeFileAtomically: "." name temporaryMark and the six letters or digits that
// mkostemp puts in place of "XXXXXX". With `name` empty, the temporary of any target.
bool filesIsTemporaryOf(std::string_view entry, std::string_view name) {
    constexpr std::size_t randomPart = 6;
    const std::size_t suffix = temporaryMark.size() + randomPart;
    if (entry.size() < 2 + suffix || entry.front() != '.') return false;
    const std::string_view target = entry.substr(1, entry.size() - 1 - suffix);
    if (name.empty() ? target.empty() : target != name) return false;
    if (entry.substr(entry.size() - suffix, temporaryMark.size()) != temporaryMark) return false;
    for (char c : entry.substr(entry.size() - randomPart))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// A process that died while writing leaves its temporary behind; the next write of the same
// target removes those that nobody has touched for `staleSeconds` or, with none, every one, but never
// one that a live writer holds locked (a slow one may not have touched its own for a minute). An empty
// `name` stands for every target.
void filesRemoveTemporaries(const fs::path& folder, const std::string& name,
                            std::optional<time_t> staleSeconds) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!filesIsTemporaryOf(entry->d_name, name)) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (staleSeconds && st.st_mtime >= now - *staleSeconds) continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

std::mutex& filesHooksMutex() {
    static std::mutex mutex;
    return mutex;
}

FileWriteHooks& filesHooks() {
    static FileWriteHooks hooks;
    return hooks;
}

std::optional<double>& filesLockPatience() {
    static std::optional<double> seconds;
    return seconds;
}

void filesStep(SaveStep step, const std::string& target) {
    std::function<void(SaveStep, const std::string&)> hook;
    {
        std::lock_guard lock(filesHooksMutex());
        hook = filesHooks().step;
    }
    if (hook) hook(step, target);
}

// The mode is the user's wish, not the data: a file system that has no Unix permissions (FAT, a
// FUSE mount of one) or keeps them for the owner alone is written as `cp` writes it, with its own.
int filesChangeMode(int fd, mode_t mode) {
    std::function<int(int, unsigned)> hook;
    {
        std::lock_guard lock(filesHooksMutex());
        hook = filesHooks().changeMode;
    }
    if ((hook ? hook(fd, mode) : ::fchmod(fd, mode)) == 0) return 0;
    if (errno == ENOSYS || errno == EPERM || errno == EOPNOTSUPP || errno == ENOTSUP) return 0;
    return -1;
}

} // namespace

void setFolderLockPatience(std::optional<double> seconds) {
    std::lock_guard lock(filesHooksMutex());
    filesLockPatience() = seconds;
}

void setFileWriteHooks(FileWriteHooks hooks) {
    std::lock_guard lock(filesHooksMutex());
    filesHooks() = std::move(hooks);
}

std::string descriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

FileStamp fileStampOf(const struct stat& status) {
    return {std::uint64_t(status.st_dev), std::uint64_t(status.st_ino), std::uint64_t(status.st_size),
            std::int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            std::int64_t(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return fileStampOf(status);
}

std::optional<FolderIdentity> folderIdentityOf(const std::string& path) {
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    return FolderIdentity{static_cast<std::uint64_t>(status.st_dev),
                          static_cast<std::uint64_t>(status.st_ino)};
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

void FileDescriptor::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

// A device (a link to /dev/zero) never ends, a FIFO or a socket may never answer; a folder has no
// bytes.
std::optional<Error> filesNotRegular(const std::string& path, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return fileError("cannot read", path, EISDIR);
    if (!S_ISREG(st.st_mode))
        return Error::make("platform.files", "cannot read \"" + path + "\": it is not a regular file",
                           EINVAL);
    return std::nullopt;
}

} // namespace

Result<FileDescriptor> openRegularFileForReading(const std::string& path, struct stat* status) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        if (std::optional<Error> refused = filesNotRegular(path, st)) return *refused;
    // Non-blocking, in case the name was given to a FIFO since: the check below turns it away.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return fileError("cannot open", path, errno);
    if (::fstat(fd.get(), &st) != 0) return fileError("cannot read", path, errno);
    if (std::optional<Error> refused = filesNotRegular(path, st)) return *refused;
    if (status) *status = st;
    return fd;
}

namespace {

Result<Bytes> filesReadOpened(int fd, const struct stat& st, const std::string& path,
                              std::uint64_t sizeLimit) {
    if (static_cast<std::uint64_t>(st.st_size) > sizeLimit)
        return Error::make(
            "platform.files",
            "cannot read \"" + path + "\": it is larger than " + std::to_string(sizeLimit) + " bytes", EFBIG);
    Bytes bytes;
    bytes.reserve(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fileError("cannot read", path, errno);
        }
        if (n == 0) break;
        // A file that grows while it is read (or reports no size, as those in /proc do) is held to
        // the same limit.
        if (bytes.size() + static_cast<std::size_t>(n) > sizeLimit)
            return Error::make("platform.files",
                               "cannot read \"" + path + "\": it is larger than " +
                                   std::to_string(sizeLimit) + " bytes",
                               EFBIG);
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

} // namespace

Result<Bytes> readFile(const std::string& path, std::uint64_t sizeLimit) {
    struct stat st;
    Result<FileDescriptor> opened = openRegularFileForReading(path, &st);
    if (!opened) return opened.error();
    return filesReadOpened(opened->get(), st, path, sizeLimit);
}

Result<std::string> saveTargetOf(const std::string& path) {
    // As many links as the kernel follows in one path before it gives up.
    constexpr int mostLinks = 40;
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        // Nothing there (a new file, a link to one still to be made) or nothing that can be looked at:
        // the write names it, and says why if it fails.
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        if (hops == mostLinks) return fileError("cannot write", path, ELOOP);
        std::string link(st.st_size > 0 ? std::size_t(st.st_size) + 1 : std::size_t(PATH_MAX), '\0');
        const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
        if (length < 0) return fileError("cannot write", path, errno);
        if (std::size_t(length) >= link.size()) return fileError("cannot write", path, ENAMETOOLONG);
        link.resize(std::size_t(length));
        if (link.empty()) return fileError("cannot write", path, ENOENT);
        if (link.front() != '/') {
            const fs::path folder = fs::path(current).parent_path();
            if (!folder.empty()) link = (folder / link).string();
        }
        current = std::move(link);
    }
}

namespace {

// Six letters or digits, as mkostemp would choose them.
std::string filesRandomPart() {
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string part(6, ' ');
    for (char& c : part)
        c = letters[pick(generator)];
    return part;
}

// Locks a new temporary for its writer. False only when someone else holds it: a sweep, which then
// removes it. A file system without locks has no sweep that could take it either.
bool filesHoldTemporary(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    return errno != EWOULDBLOCK && errno != EINTR;
}

// Creates the marked temporary of `path` beside it, open for writing and locked before any sweep can
// find it, with the permissions the target has or, for a new file, the usual 0666 & ~umask.
Result<FileDescriptor> filesOpenTemporary(const std::string& path, std::string& temporary) {
    fs::path target(path);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string stem = folder.string() + "/." + target.filename().string() + std::string(temporaryMark);
    filesRemoveTemporaries(folder, target.filename().string(), 60);
    constexpr int attempts = 100;
    FileDescriptor fd;
    // Made without a name and locked, then named: its name never exists unlocked.
    FileDescriptor nameless(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (nameless.get() >= 0 && filesHoldTemporary(nameless.get())) {
        const std::string self = descriptorPath(nameless.get());
        for (int attempt = 0; attempt < attempts; ++attempt) {
            temporary = stem + filesRandomPart();
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                fd = std::move(nameless);
                break;
            }
            if (errno != EEXIST) break;
        }
    }
    // A file system without nameless files (or no /proc): named first and locked at once; one that a
    // sweep took in between is made again.
    for (int attempt = 0; fd.get() < 0 && attempt < attempts; ++attempt) {
        temporary = stem + "XXXXXX";
        FileDescriptor made(::mkostemp(temporary.data(), O_CLOEXEC));
        if (made.get() < 0) return fileError("cannot write", path, errno);
        struct stat st;
        if (filesHoldTemporary(made.get()) && ::fstat(made.get(), &st) == 0 && st.st_nlink > 0)
            fd = std::move(made);
    }
    if (fd.get() < 0) return fileError("cannot write", path, EAGAIN);
    struct stat old;
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~filesCurrentUmask();
    if (filesChangeMode(fd.get(), mode) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        return fileError("cannot write", path, err);
    }
    return fd;
}

// Makes a rename to `path` durable: the folder's entry reaches the disk.
void filesSyncFolderOf(const std::string& path) {
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const FileDescriptor dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

// Renames the flushed temporary over `path` and makes the rename durable.
Result<void> filesCommit(const std::string& temporary, const std::string& path) {
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        return fileError("cannot write", path, err);
    }
    filesSyncFolderOf(path);
    return {};
}

} // namespace

namespace {

// Writes all of `size` bytes; an errno on failure, else 0.
int filesWriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

// The temporary of `path` filled with `size` bytes and flushed to disk, still open and locked; on
// failure none is left.
Result<FileDescriptor> filesWriteTemporary(const std::string& path, const void* data, std::size_t size,
                                           std::string& temporary) {
    Result<FileDescriptor> opened = filesOpenTemporary(path, temporary);
    if (!opened) return opened.error();
    int err = filesWriteAll(opened->get(), data, size);
    if (err == 0 && ::fsync(opened->get()) != 0) err = errno;
    if (err == 0) return opened;
    ::unlink(temporary.c_str());
    return fileError("cannot write", path, err);
}

} // namespace

Result<void> writeFileAtomically(const std::string& given, const void* data, std::size_t size) {
    const Result<std::string> target = saveTargetOf(given);
    if (!target) return target.error();
    const std::string& path = *target;
    std::string temporary;
    const Result<FileDescriptor> written = filesWriteTemporary(path, data, size, temporary);
    if (!written) return written.error();
    // Renamed while still open and locked: a sweep by another run takes only temporaries nobody holds.
    return filesCommit(temporary, path);
}

Result<TemporaryFile> makeTemporaryFileBeside(const std::string& given) {
    const Result<std::string> path = saveTargetOf(given);
    if (!path) return path.error();
    std::string temporary;
    auto opened = filesOpenTemporary(*path, temporary);
    if (!opened) return opened.error();
    return TemporaryFile(std::move(temporary), std::move(opened.value()));
}

Result<void> replaceItemWithTemporary(TemporaryFile temporary, const std::string& given) {
    // The temporary was made beside where the link points, and goes there.
    const Result<std::string> target = saveTargetOf(given);
    if (!target) {
        ::unlink(temporary.path().c_str());
        return target.error();
    }
    const std::string& path = *target;
    // The writer may have written through a descriptor of its own: this one flushes the same file.
    if (::fsync(temporary.descriptor()) != 0) {
        const int err = errno;
        ::unlink(temporary.path().c_str());
        return fileError("cannot write", path, err);
    }
    return filesCommit(temporary.path(), path);
}

namespace {

// Held around a checked save's look, write and rename: the saves of other running copies of the
// program in the same folder wait for it. A file system without locks (or a folder that cannot be
// opened for reading) is saved without one. The wait is bounded: a save is made on the window's thread,
// and a lock held for ever by something else (a hung copy, another program locking the folder) must not
// hold the window with it. The save then goes on unlocked; its look just before the rename still keeps
// it from replacing a write made meanwhile.
class FilesFolderLock {
public:
    explicit FilesFolderLock(const std::string& target) {
        fs::path folder = fs::path(target).parent_path();
        if (folder.empty()) folder = ".";
        folder_ = FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder_.get() < 0) return;
        double patience = 3.0;
        {
            std::lock_guard lock(filesHooksMutex());
            if (filesLockPatience()) patience = *filesLockPatience();
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
        for (;;) {
            if (::flock(folder_.get(), LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) return; // no locks on this file system
            if (std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        consolePrint("saving " + target + " without its folder's lock: something else has held it for " +
                     std::to_string(int(patience * 1000)) + " ms");
        folder_ = FileDescriptor();
    }

private:
    // Closing it lets the lock go.
    FileDescriptor folder_;
};

} // namespace

namespace {

// Whether the open file was written after it was stamped so. Losing its name (the rename over it)
// changes only its change time.
bool filesWrittenSince(int fd, const FileStamp& stamp) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    const FileStamp now = fileStampOf(st);
    return now.size != stamp.size || now.modified != stamp.modified;
}

// The file replaced by a save was written in place after the save's last look: its bytes go back under
// the name, unless the save's own file there was written over meanwhile too.
Result<CheckedSave> filesPutBack(int fd, const std::string& target, std::uint64_t readLimit,
                                 const std::optional<FileStamp>& saved) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return fileError("cannot read", target, errno);
    Result<Bytes> theirs = filesReadOpened(fd, st, target, readLimit);
    if (!theirs) return theirs.error();
    std::string temporary;
    const Result<FileDescriptor> opened =
        filesWriteTemporary(target, theirs->data(), theirs->size(), temporary);
    if (!opened) return opened.error();
    if (fileStamp(target) != saved) {
        ::unlink(temporary.c_str());
        return CheckedSave{CheckedSave::Status::changedOnDisk, fileStamp(target)};
    }
    if (Result<void> committed = filesCommit(temporary, target); !committed) return committed.error();
    return CheckedSave{CheckedSave::Status::changedOnDisk, fileStamp(target)};
}

} // namespace

Result<CheckedSave> saveFileChecked(const std::string& path, std::uint64_t readLimit,
                                    const std::function<SaveChoice(const FoundFile&)>& choose) {
    const Result<std::string> resolved = saveTargetOf(path);
    if (!resolved) return resolved.error();
    FoundFile found;
    found.target = *resolved;
    const std::string& target = found.target;
    const FilesFolderLock lock(target);
    filesStep(SaveStep::locked, target);
    found.folder = folderIdentityOf(target);
    struct stat st;
    // Held until after the rename: an editor writing into the file in place after the last look
    // writes into this one, where the save can still see it.
    FileDescriptor replaced;
    if (Result<FileDescriptor> opened = openRegularFileForReading(target, &st)) {
        // The stamp of what is read: a write while it is read shows at the look before the rename.
        found.stamp = fileStampOf(st);
        Result<Bytes> bytes = filesReadOpened(opened->get(), st, target, readLimit);
        if (bytes) {
            found.bytes = std::move(*bytes);
        } else {
            found.unreadable = bytes.error();
        }
        replaced = std::move(*opened);
    } else if (::lstat(target.c_str(), &st) == 0) {
        found.stamp = fileStamp(target);
        found.unreadable = opened.error();
    }
    filesStep(SaveStep::read, target);
    SaveChoice choice = choose(found);
    using Status = CheckedSave::Status;
    switch (choice.action) {
    case SaveChoice::Action::leave:
        return CheckedSave{Status::left, found.stamp};
    case SaveChoice::Action::remove: {
        filesStep(SaveStep::beforeReplacing, target);
        const std::optional<FileStamp> now = fileStamp(target);
        if (now != found.stamp || folderIdentityOf(target) != found.folder)
            return CheckedSave{Status::changedOnDisk, now};
        if (!found.stamp) return CheckedSave{Status::removed, std::nullopt};
        if (Result<void> removed = removeItem(target); !removed) return removed.error();
        filesSyncFolderOf(target);
        return CheckedSave{Status::removed, std::nullopt};
    }
    case SaveChoice::Action::write:
        break;
    }
    // Written again with the same bytes, a file would only look changed to everyone else watching it.
    if (found.stamp && !found.unreadable && found.bytes == choice.bytes)
        return CheckedSave{Status::alreadyThere, found.stamp};
    std::string temporary;
    const Result<FileDescriptor> opened =
        filesWriteTemporary(target, choice.bytes.data(), choice.bytes.size(), temporary);
    if (!opened) return opened.error();
    filesStep(SaveStep::temporaryWritten, target);
    filesStep(SaveStep::beforeReplacing, target);
    if (const std::optional<FileStamp> now = fileStamp(target);
        now != found.stamp || folderIdentityOf(target) != found.folder) {
        ::unlink(temporary.c_str());
        return CheckedSave{Status::changedOnDisk, now};
    }
    filesStep(SaveStep::checked, target);
    // The file as written, before anyone else can open it by its name.
    std::optional<FileStamp> written;
    if (::fstat(opened->get(), &st) == 0) written = fileStampOf(st);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        return fileError("cannot write", target, err);
    }
    filesStep(SaveStep::replaced, target);
    // The rename itself changes the file's change time, and nothing else; a size or modification time
    // unlike the one written is a write from elsewhere since, which must not pass for this save's.
    if (written && ::fstat(opened->get(), &st) == 0) {
        const FileStamp now = fileStampOf(st);
        if (now.size == written->size && now.modified == written->modified) written = now;
    }
    if (found.stamp && replaced.get() >= 0 && filesWrittenSince(replaced.get(), *found.stamp))
        return filesPutBack(replaced.get(), target, readLimit, written);
    filesSyncFolderOf(target);
    return CheckedSave{Status::written, written};
}

void removeTemporariesOf(const std::string& path) {
    fs::path target(path);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    filesRemoveTemporaries(folder, target.filename().string(), std::nullopt);
}

void removeTemporariesIn(const std::string& folder) {
    filesRemoveTemporaries(folder.empty() ? fs::path(".") : fs::path(folder), std::string(), std::nullopt);
}

namespace {

const char* filesKindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a file";
}

} // namespace

std::string fileErrorReason(const Error& error) {
    std::string reason = error.message;
    if (error.domain == "platform.files") {
        // The message names the operation and the quoted path first; the system's words come last.
        const std::size_t end = reason.rfind("\": ");
        if (end != std::string::npos) reason.erase(0, end + 3);
    }
    // Inside a sentence "Read-only file system" reads "read-only file system"; "I/O error" stays.
    if (reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[0])) &&
        std::islower(static_cast<unsigned char>(reason[1])))
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

Result<void> removeItem(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return fileError("cannot remove", path, errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return Error::make("platform.files",
                           "left \"" + path + "\" as it is: it is " + filesKindOf(st.st_mode) +
                               ", not a file",
                           S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // unlink never takes a folder, should one have come to the name since.
    if (::unlink(path.c_str()) != 0) return fileError("cannot remove", path, errno);
    return {};
}

Result<void> createDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return fileError("cannot create folder", path, ec);
    if (!isDirectory(path)) return fileError("cannot create folder", path, ENOTDIR);
    return {};
}

namespace {

// Renames the finished temporary to `path` unless something has that name by now.
int filesRenameWithoutReplacing(const std::string& temporary, const std::string& path) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a hard link fails the same way on an existing name.
    if (::link(temporary.c_str(), path.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // Nor hard links (FAT): a look just before the rename is what is left.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return EEXIST;
    return ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}

Result<void> filesCopyBytes(int from, int to, const std::string& source, const std::string& target) {
    std::vector<std::uint8_t> chunk(1 << 20);
    for (;;) {
        const ssize_t got = ::read(from, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return fileError("cannot read", source, errno);
        }
        if (got == 0) return {};
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, chunk.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return fileError("cannot copy to", target, errno);
            }
            done += put;
        }
    }
}

} // namespace

Result<void> copyItem(const std::string& from, const std::string& to) {
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return fileError("cannot copy to", to, EEXIST);
    Result<FileDescriptor> source = openRegularFileForReading(from, &st);
    if (!source) return source.error();
    return copyItem(*source, from, to);
}

Result<void> copyItem(const FileDescriptor& source, const std::string& from, const std::string& to) {
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return fileError("cannot copy to", to, EEXIST);
    if (::fstat(source.get(), &st) != 0 || ::lseek(source.get(), 0, SEEK_SET) != 0)
        return fileError("cannot read", from, errno);
    if (std::optional<Error> refused = filesNotRegular(from, st)) return *refused;
    std::string temporary;
    Result<FileDescriptor> opened = filesOpenTemporary(to, temporary);
    if (!opened) return opened.error();
    const int fd = opened->get();
    auto failed = [&](Error error) -> Result<void> {
        ::unlink(temporary.c_str());
        return error;
    };
    // As a copy made by hand gets them: the source's permissions, as far as the creation mask allows.
    (void)::fchmod(fd, st.st_mode & 0777 & ~filesCurrentUmask());
    if (Result<void> copied = filesCopyBytes(source.get(), fd, from, to); !copied)
        return failed(copied.error());
    if (::fsync(fd) != 0) return failed(fileError("cannot copy to", to, errno));
    // Renamed while still open and locked: an export starting in this folder meanwhile sweeps only
    // temporaries nobody holds.
    if (const int err = filesRenameWithoutReplacing(temporary, to); err != 0)
        return failed(fileError("cannot copy to", to, err));
    filesSyncFolderOf(to);
    return {};
}

namespace {

// The folders makeTemporaryDirectory made in this process and nobody has removed yet.
struct FilesOwnFolders {
    std::mutex mutex;
    // Each folder's device and inode as made: a folder put at its path later is someone else's.
    std::map<std::string, std::pair<dev_t, ino_t>> paths;
};

FilesOwnFolders& filesOwnFolders() {
    static FilesOwnFolders folders;
    return folders;
}

} // namespace

Result<std::string> makeTemporaryDirectory(std::string_view prefix, const std::string& parent) {
    std::error_code ec;
    fs::path base = parent.empty() ? fs::temp_directory_path(ec) : fs::path(parent);
    if (ec) base = "/tmp";
    std::string tmpl = (base / (std::string(prefix) + ".XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr) return fileError("cannot create folder", tmpl, errno);
    struct stat st;
    if (::lstat(tmpl.c_str(), &st) != 0) return fileError("cannot create folder", tmpl, errno);
    FilesOwnFolders& own = filesOwnFolders();
    std::lock_guard lock(own.mutex);
    own.paths[tmpl] = {st.st_dev, st.st_ino};
    return tmpl;
}

Result<void> removeTemporaryDirectory(const std::string& path) {
    FilesOwnFolders& own = filesOwnFolders();
    std::lock_guard lock(own.mutex);
    const auto found = own.paths.find(path);
    struct stat st;
    const bool ours = found != own.paths.end() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                      std::pair(st.st_dev, st.st_ino) == found->second;
    if (!ours) {
        // Moved away or replaced since: whatever the path names now was not made here.
        if (found != own.paths.end()) own.paths.erase(found);
        return Error::make("platform.files",
                           "left \"" + path + "\" as it is: not a temporary folder made by this program",
                           EPERM);
    }
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) return fileError("cannot remove", path, ec);
    own.paths.erase(found);
    return {};
}

} // namespace platform
