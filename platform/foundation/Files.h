#pragma once
// File operations of the platform layer. Any thread; no shared state.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct stat;

namespace platform {

using Bytes = std::vector<std::uint8_t>;

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);

// A path that names the file open at `fd` itself, whatever its own path names by now (Linux's /proc).
std::string descriptorPath(int fd);

// A file's identity, size and times: a file whose stamp is the same was not written since. A writer may
// set the modification time back; the change time it cannot.
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified = 0, changed = 0; // nanoseconds
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStampOf(const struct stat& status);
// Of what `path` names now, following links; none when nothing is there.
std::optional<FileStamp> fileStamp(const std::string& path);

// A folder as the system knows it: its file system and inode. A folder removed and made again, or a
// mount point whose disk was taken out (a USB stick pulled), is another folder under the same name.
struct FolderIdentity {
    std::uint64_t device = 0, inode = 0;
    bool operator==(const FolderIdentity&) const = default;
};
// Of the folder that holds `path` (its last component is not followed); none when there is none.
std::optional<FolderIdentity> folderIdentityOf(const std::string& path);

// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Hands the descriptor over; the caller closes it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

private:
    int fd_ = -1;
};

// Opens a regular file (after links are followed) for reading. Anything else (a folder, a FIFO, a
// socket, a device) is refused without waiting for it and, where the name shows it at once, without
// opening it, since opening some devices already does something. The descriptor is not inherited by
// programs the player starts. The error's code is the errno (EISDIR for a folder, EINVAL for the rest
// that is not a regular file). With `status`, the opened file's status is left there, so that the
// caller need not ask for it again.
Result<FileDescriptor> openRegularFileForReading(const std::string& path, struct stat* status = nullptr);

// Far above any session, state, notes or preset file, far below what the machine can hold.
inline constexpr std::uint64_t readFileSizeLimit = std::uint64_t(1) << 30;

// The whole of a regular file (after links are followed). Anything else (a folder, a device, a
// FIFO, a socket) is refused without waiting for it, as is a file larger than `sizeLimit`.
Result<Bytes> readFile(const std::string& path, std::uint64_t sizeLimit = readFileSizeLimit);

// Where a save of `path` writes: when `path` is a symbolic link, or a chain of them, the file the
// last one points to (which need not exist yet), so that a link into a synced folder or onto another
// file system stays a link and its file gets the new contents. Any other path is itself. Relative
// links are read from the folder of the link that holds them. Every save below writes there.
Result<std::string> saveTargetOf(const std::string& path);

// Writes through a temporary file in the same folder that is flushed to disk and then
// renamed over the target, so the old file survives any failure (full disk, no permission,
// crash half-way) and readers never see a half-written file. A temporary is named
// "." name temporaryMark and six random letters or digits, a mark no one gives a file of their own;
// those of the same target that a crashed writer left behind are removed once they are a minute
// old and no live writer holds them. Nothing without the mark is ever taken for a temporary.
inline constexpr std::string_view temporaryMark = ".vantle-tmp-";
Result<void> writeFileAtomically(const std::string& path, const void* data, std::size_t size);
inline Result<void> writeFileAtomically(const std::string& path, const Bytes& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}
inline Result<void> writeFileAtomically(const std::string& path, std::string_view text) {
    return writeFileAtomically(path, text.data(), text.size());
}

// A temporary file beside a target, held locked from the moment its name exists until this object
// goes, so that no sweep (of this process or another) takes it while it is written. Letting it go
// leaves the file where it is, for the writer to remove or the next sweep to take.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(std::string path, FileDescriptor held) : path_(std::move(path)), held_(std::move(held)) {}

    // Empty for one made by default or moved from.
    const std::string& path() const { return path_; }
    // The descriptor that holds the lock; open for reading and writing.
    int descriptor() const { return held_.get(); }

private:
    std::string path_;
    FileDescriptor held_;
};

// For writers that cannot hand over their bytes at once (an encoder, a library that opens the path
// itself): an empty file with a unique name beside `path`, in the form writeFileAtomically uses,
// with the permissions `path` has or would get. Write it by its path while holding it, then move it
// into place with replaceItemWithTemporary(); on failure remove it.
Result<TemporaryFile> makeTemporaryFileBeside(const std::string& path);
// Flushes the finished temporary to disk and renames it over `path` (the old file, if any, goes only
// then), still holding it. On failure the temporary is removed and `path` is left as it was.
Result<void> replaceItemWithTemporary(TemporaryFile temporary, const std::string& path);
// ---- checked saves ----
// A save that writes over only what it read: for a file that others may write too (another running
// copy of this program, an editor). The save takes an advisory lock (flock on the target's folder;
// a file system without locks is saved unlocked) that every checked save of that folder takes, reads
// the target, lets the caller choose what to do with what it found, writes the temporary, and looks
// at the target again (device, inode, size, modification and change times) and at its folder
// immediately before the rename or the removal: any difference means it was written meanwhile, or its
// folder replaced, and nothing is replaced.

// The target as the save found it, under the lock.
struct FoundFile {
    std::string target;                   // where the save writes: links followed (saveTargetOf)
    std::optional<FileStamp> stamp;       // none when nothing is there
    std::optional<Error> unreadable;      // a file there that could not be read whole (EFBIG: too large)
    Bytes bytes;                          // what it held, when read
    std::optional<FolderIdentity> folder; // the folder the save writes into, as it was locked
};

// What the caller makes of the file found.
struct SaveChoice {
    enum class Action { write, remove, leave };
    Action action = Action::leave;
    Bytes bytes;
    static SaveChoice writing(Bytes bytes) { return {Action::write, std::move(bytes)}; }
    static SaveChoice removing() { return {Action::remove, {}}; }
    static SaveChoice leaving() { return {Action::leave, {}}; }
};

struct CheckedSave {
    enum class Status {
        written,      // the new bytes are in place
        alreadyThere, // the file held exactly those bytes: nothing was written
        removed,
        left,          // the caller chose to leave the file as it was
        changedOnDisk, // written meanwhile by someone else: left as they wrote it
    };
    Status status = Status::left;
    // The file as this save left it, for the caller's next comparison: taken from the written file
    // itself, so a write by someone else right after the rename still shows as theirs. None when
    // nothing is there.
    // An in-place write into the replaced file between the last look and the rename is not lost:
    // its bytes are put back, and the save answers changedOnDisk.
    std::optional<FileStamp> stamp;
};

// Reads at most `readLimit` bytes of the target (more: `unreadable` with EFBIG). The bytes a write
// chooses go through a temporary as writeFileAtomically's do; a choice to write what the file already
// holds writes nothing. An error only for a write or removal that failed; the file is then as it was.
Result<CheckedSave> saveFileChecked(const std::string& path, std::uint64_t readLimit,
                                    const std::function<SaveChoice(const FoundFile&)>& choose);

// For tests: steps of a checked save at which an outside writer is let in, and the call that gives a
// temporary its permissions. Empty members act as the program does; setting none restores all.
// `checked`: the look before the rename found the file as read; `replaced`: the rename is done.
enum class SaveStep { locked, read, temporaryWritten, beforeReplacing, checked, replaced };
struct FileWriteHooks {
    std::function<void(SaveStep, const std::string& target)> step;
    std::function<int(int fd, unsigned mode)> changeMode; // as fchmod: 0, or -1 with errno set
};
void setFileWriteHooks(FileWriteHooks hooks = {});
// For tests: how long a checked save waits for the folder lock another holds; none: the program's own.
void setFolderLockPatience(std::optional<double> seconds = std::nullopt);

// Removes every temporary of `path` that writeFileAtomically left behind, whatever its age, except
// one that writeFileAtomically is filling at this moment (in any process). For the start of a program that is
// the only writer of `path`, where a killed run's leftovers would otherwise wait for a write a minute later.
void removeTemporariesOf(const std::string& path);
// The same for every target in `folder`: each marked temporary that no live writer holds goes.
void removeTemporariesIn(const std::string& folder);

// The system's reason for a failed file operation as a phrase for a sentence ("read-only file system",
// "permission denied"), without the operation and the path the error's message begins with. An
// error from elsewhere gives its message.
std::string fileErrorReason(const Error& error);

// Removes the file at `path`: one regular file or one symbolic link (not what it points to).
// Anything else there (a folder, a FIFO, a device) is left as it is and the error says what it is.
Result<void> removeItem(const std::string& path);
// Creates the folder and any missing parents; succeeds when it already exists.
Result<void> createDirectory(const std::string& path);
// Copies the regular file `from` to `to`, which must not exist (EEXIST otherwise: nothing is ever
// replaced). The bytes go to a marked temporary beside `to`, held locked while it is filled, flushed
// to disk and only then renamed to `to`; a failed copy removes its temporary, so `to` never names a
// partial copy, whatever stops the copy half-way (a full disk, a kill).
Result<void> copyItem(const std::string& from, const std::string& to);
// The same for a source the caller has opened (and checked) already: what it copies is that very file,
// from its start, whatever `from` names by now. `from` only names it in errors.
Result<void> copyItem(const FileDescriptor& source, const std::string& from, const std::string& to);

// A fresh, empty folder named prefix + six random characters under `parent`, by default the system's
// temporary folder.
Result<std::string> makeTemporaryDirectory(std::string_view prefix = "vantle",
                                           const std::string& parent = {});
// Removes a folder that makeTemporaryDirectory made in this process, with everything in it. Any
// other path is refused and left alone: nothing else is ever removed with its contents.
Result<void> removeTemporaryDirectory(const std::string& path);

} // namespace platform
