#include "platform/foundation/Files.h"
#include "tests/support/FifoGuard.h"
#include "tests/support/TemporaryFolder.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

} // namespace

TEST(Files, AtomicWriteReplacesAndKeepsPermissions) {
    testsupport::TemporaryFolder dir;
    std::string file = dir.path + "/doc.vantle";
    ASSERT_TRUE(writeFileAtomically(file, std::string_view("first")).ok());
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(file, std::string_view("second, longer")).ok());
    EXPECT_EQ(text(readFile(file).value()), "second, longer");
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

TEST(Files, AtomicWriteIntoReadOnlyFolderFailsAndKeepsOldFile) {
    testsupport::TemporaryFolder dir;
    std::string file = dir.path + "/doc.vantle";
    ASSERT_TRUE(writeFileAtomically(file, std::string_view("precious")).ok());
    ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);

    // Root ignores folder permissions, so the write is attempted as an unprivileged user.
    auto attempt = [&] { return writeFileAtomically(file, std::string_view("replacement")).ok(); };
    bool wrote;
    if (::geteuid() == 0) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            ::_exit(attempt() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop privileges";
        wrote = WEXITSTATUS(status) == 1;
    } else {
        wrote = attempt();
    }
    ::chmod(dir.path.c_str(), 0755);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(text(readFile(file).value()), "precious");
}

TEST(Files, AtomicWriteOverAFolderFailsAndKeepsIt) {
    // Works for root too: rename cannot replace a non-empty folder with a file.
    testsupport::TemporaryFolder dir;
    std::string target = dir.path + "/folder";
    ASSERT_TRUE(createDirectory(target + "/inside").ok());
    EXPECT_FALSE(writeFileAtomically(target, std::string_view("x")).ok());
    EXPECT_TRUE(isDirectory(target + "/inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

TEST(Files, ReadRemoveCreateCopy) {
    testsupport::TemporaryFolder dir;
    EXPECT_FALSE(readFile(dir.path + "/nothing").ok());
    EXPECT_FALSE(readFile(dir.path).ok());
    EXPECT_FALSE(removeItem(dir.path + "/nothing").ok());

    ASSERT_TRUE(createDirectory(dir.path + "/a/b/c").ok());
    EXPECT_TRUE(createDirectory(dir.path + "/a/b/c").ok());
    EXPECT_TRUE(isDirectory(dir.path + "/a/b/c"));

    std::string src = dir.path + "/a/song.mp3";
    ASSERT_TRUE(writeFileAtomically(src, std::string_view("audio")).ok());
    ASSERT_TRUE(copyItem(src, dir.path + "/a/b/song.mp3").ok());
    EXPECT_EQ(text(readFile(dir.path + "/a/b/song.mp3").value()), "audio");

    ASSERT_TRUE(writeFileAtomically(dir.path + "/a/b/other", std::string_view("keep")).ok());
    auto r = copyItem(src, dir.path + "/a/b/other");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(text(readFile(dir.path + "/a/b/other").value()), "keep");

    // A folder is never removed with what it holds.
    EXPECT_FALSE(removeItem(dir.path + "/a").ok());
    ASSERT_TRUE(removeItem(dir.path + "/a/b/other").ok());
    EXPECT_FALSE(fileExists(dir.path + "/a/b/other"));
    EXPECT_TRUE(fileExists(dir.path + "/a/b/song.mp3"));
}

// Only regular files are read whole: a FIFO would block the reader until a writer comes, a device
// such as /dev/zero never ends, and a file over the limit would take the memory with it.
TEST(Files, ReadsOnlyRegularFilesWithinTheLimit) {
    testsupport::TemporaryFolder dir;
    const std::string fifo = dir.file("x.vantle");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.vantle"));
    std::filesystem::create_symlink(fifo, dir.file("link.vantle"));
    std::filesystem::create_directory(dir.file("folder.vantle"));
    const std::string big = dir.file("big.vantle");
    {
        // Sparse: no disk space and no time, only the size.
        const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(readFileSizeLimit) + 1), 0);
        ::close(fd);
    }

    struct Case {
        std::string path;
        std::uint64_t limit;
        const char* reason;
    };
    const std::vector<Case> refused = {
        {fifo, readFileSizeLimit, "is not a regular file"},
        {dir.file("link.vantle"), readFileSizeLimit, "is not a regular file"},
        {dir.file("zero.vantle"), readFileSizeLimit, "is not a regular file"},
        {dir.file("folder.vantle"), readFileSizeLimit, "directory"},
        {big, readFileSizeLimit, "is larger than 1073741824 bytes"},
        // Reports no size, so only the bytes read count.
        {"/proc/self/status", 16, "is larger than 16 bytes"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.path);
        auto reading = std::async(std::launch::async, [&] { return readFile(c.path, c.limit); });
        if (reading.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            // Blocked in open(): a writer lets it go, so that the test ends.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
            ADD_FAILURE() << "the read blocked";
        }
        Result<Bytes> read = reading.get();
        ASSERT_FALSE(read.ok());
        EXPECT_NE(read.error().message.find(c.reason), std::string::npos) << read.error().message;
        EXPECT_NE(read.error().message.find(c.path), std::string::npos) << read.error().message;
    }

    // A file of exactly the limit is read.
    ASSERT_TRUE(writeFileAtomically(dir.file("small"), std::string_view("sixteen bytes!!!")).ok());
    EXPECT_EQ(text(readFile(dir.file("small"), 16).value()), "sixteen bytes!!!");
    EXPECT_FALSE(readFile("/proc/self/status").value().empty());
}

// A file the program wrote is removed alone; whatever else has taken its name stays, and the error
// says what it is.
TEST(Files, RemovesOneFileOrLinkAndLeavesAnythingElse) {
    testsupport::TemporaryFolder dir;
    ASSERT_TRUE(createDirectory(dir.file("folder/inner")).ok());
    ASSERT_TRUE(writeFileAtomically(dir.file("folder/keep.txt"), std::string_view("mine")).ok());
    ASSERT_TRUE(writeFileAtomically(dir.file("file"), std::string_view("x")).ok());
    std::filesystem::create_directory_symlink(dir.file("folder"), dir.file("link"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    struct Case {
        const char* name;
        int code; // 0: removed
        const char* says;
    };
    const std::vector<Case> cases = {
        {"file", 0, ""},
        {"link", 0, ""},
        {"folder", EISDIR, "it is a folder"},
        {"fifo", EINVAL, "it is a named pipe"},
        {"absent", ENOENT, "cannot remove"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<void> removed = removeItem(dir.file(c.name));
        ASSERT_EQ(removed.ok(), c.code == 0);
        if (removed) continue;
        EXPECT_EQ(removed.error().code, c.code);
        EXPECT_NE(removed.error().message.find(c.says), std::string::npos) << removed.error().message;
        EXPECT_NE(removed.error().message.find(dir.file(c.name)), std::string::npos);
    }
    EXPECT_EQ(testsupport::entryNames(dir.path), (std::set<std::string>{"folder", "fifo"}));
    EXPECT_EQ(testsupport::entryNames(dir.file("folder")), (std::set<std::string>{"inner", "keep.txt"}));
}

// Only a folder made by makeTemporaryDirectory in this run goes with its contents.
TEST(Files, RemovesWithItsContentsOnlyAFolderItMadeItself) {
    testsupport::TemporaryFolder dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("keep.txt"), std::string_view("mine")).ok());
    const Result<void> refused = removeTemporaryDirectory(dir.path);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, EPERM);
    EXPECT_TRUE(fileExists(dir.file("keep.txt")));

    const std::string made = makeTemporaryDirectory(".song.", dir.path).value();
    ASSERT_TRUE(createDirectory(made + "/deep/er").ok());
    ASSERT_TRUE(writeFileAtomically(made + "/deep/part.wav", std::string_view("x")).ok());
    EXPECT_TRUE(removeTemporaryDirectory(made).ok());
    EXPECT_FALSE(fileExists(made));
    // Once it is gone, a folder that someone else makes under the same name is not ours.
    ASSERT_TRUE(createDirectory(made + "/theirs").ok());
    EXPECT_FALSE(removeTemporaryDirectory(made).ok());
    EXPECT_TRUE(isDirectory(made + "/theirs"));

    // Nor is a folder or a link put where one of ours was while it was still listed.
    for (const bool link : {false, true}) {
        const std::string ours = makeTemporaryDirectory(".take.", dir.path).value();
        std::filesystem::rename(ours, ours + ".moved");
        if (link)
            std::filesystem::create_directory_symlink(dir.path + "/theirs-too", ours);
        else
            ASSERT_TRUE(createDirectory(ours).ok());
        ASSERT_TRUE(createDirectory(dir.path + "/theirs-too").ok() || isDirectory(dir.path + "/theirs-too"));
        ASSERT_TRUE(writeFileAtomically((link ? dir.path + "/theirs-too" : ours) + "/keep.txt",
                                        std::string_view("mine"))
                        .ok());
        EXPECT_FALSE(removeTemporaryDirectory(ours).ok()) << (link ? "a link" : "a folder");
        EXPECT_TRUE(fileExists(ours + "/keep.txt"));
    }
}

// One opener for every reader that must not wait: a FIFO, a device or a folder at the path is refused
// at once, and what is opened is not inherited by programs the player starts.
TEST(Files, OpensForReadingOnlyRegularFilesWithoutWaiting) {
    testsupport::TemporaryFolder dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("song.wav"), std::string_view("RIFF")).ok());
    std::filesystem::create_symlink(dir.file("song.wav"), dir.file("link.wav"));
    const std::string fifo = dir.file("fifo.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, dir.file("fifo-link.wav"));
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.wav"));
    std::filesystem::create_directory(dir.file("folder.wav"));
    struct Case {
        const char* name;
        int code; // 0: opened
    };
    const std::vector<Case> cases = {
        {"song.wav", 0},      {"link.wav", 0},        {"fifo.wav", EINVAL},   {"fifo-link.wav", EINVAL},
        {"zero.wav", EINVAL}, {"folder.wav", EISDIR}, {"absent.wav", ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        struct stat status {};
        auto call = testsupport::callGuardedAgainstFifo(
            fifo, [&] { return openRegularFileForReading(path, &status); });
        EXPECT_FALSE(call.blocked);
        ASSERT_EQ(call.result.ok(), c.code == 0) << (call.result ? "" : call.result.error().message);
        if (!call.result) {
            EXPECT_EQ(call.result.error().code, c.code);
            EXPECT_NE(call.result.error().message.find(path), std::string::npos);
            continue;
        }
        const int fd = call.result->get();
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        // The status handed back is the opened file's, not the link's.
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_size, 4);
        char bytes[8] = {};
        EXPECT_EQ(::read(fd, bytes, sizeof bytes), 4);
        EXPECT_EQ(std::string(bytes, 4), "RIFF");
    }
}

// A copy takes its name only when it is whole and never replaces what is there.
TEST(Files, CopiesAFileWholeOrNotAtAll) {
    testsupport::TemporaryFolder dir;
    std::string song(300 * 1024, '\0');
    for (std::size_t i = 0; i < song.size(); ++i)
        song[i] = static_cast<char>(i * 7 % 251);
    ASSERT_TRUE(writeFileAtomically(dir.file("song.wav"), song).ok());
    ASSERT_EQ(::chmod(dir.file("song.wav").c_str(), 0640), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    ASSERT_TRUE(createDirectory(dir.file("out")).ok());

    ASSERT_TRUE(copyItem(dir.file("song.wav"), dir.file("out/song.wav")).ok());
    EXPECT_EQ(text(readFile(dir.file("out/song.wav")).value()), song);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("out/song.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_TRUE(writeFileAtomically(dir.file("out/other.wav"), std::string_view("theirs")).ok());
    struct Case {
        const char* from;
        const char* to;
        int code;
    };
    const std::vector<Case> refused = {
        {"song.wav", "out/other.wav", EEXIST},    {"pipe.wav", "out/pipe.wav", EINVAL},
        {"out", "out/folder.wav", EISDIR},        {"absent.wav", "out/absent.wav", ENOENT},
        {"song.wav", "missing/song.wav", ENOENT},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.from);
        auto call = testsupport::callGuardedAgainstFifo(
            dir.file("pipe.wav"), [&] { return copyItem(dir.file(c.from), dir.file(c.to)); });
        EXPECT_FALSE(call.blocked);
        ASSERT_FALSE(call.result.ok());
        EXPECT_EQ(call.result.error().code, c.code);
    }
    EXPECT_EQ(text(readFile(dir.file("out/other.wav")).value()), "theirs");
    EXPECT_EQ(testsupport::entryNames(dir.file("out")), (std::set<std::string>{"song.wav", "other.wav"}));
}

// A copy from a file already opened takes that file from its start, whatever its path names by now.
TEST(Files, CopiesTheOpenedFileNotWhatItsPathNamesLater) {
    testsupport::TemporaryFolder dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("song.wav"), std::string_view("the checked song")).ok());
    Result<FileDescriptor> opened = openRegularFileForReading(dir.file("song.wav"));
    ASSERT_TRUE(opened.ok());
    char first[4];
    ASSERT_EQ(::read(opened->get(), first, sizeof first), ssize_t(sizeof first));
    ASSERT_TRUE(writeFileAtomically(dir.file("song.wav"), std::string_view("put there since")).ok());

    ASSERT_TRUE(copyItem(*opened, dir.file("song.wav"), dir.file("copy.wav")).ok());
    EXPECT_EQ(text(readFile(dir.file("copy.wav")).value()), "the checked song");
    const Result<void> again = copyItem(*opened, dir.file("song.wav"), dir.file("copy.wav"));
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, EEXIST);
    // Not a regular file, whoever opened it.
    const FileDescriptor folder(::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const Result<void> fromFolder = copyItem(folder, dir.path, dir.file("folder.wav"));
    ASSERT_FALSE(fromFolder.ok());
    EXPECT_EQ(fromFolder.error().code, EISDIR);
    EXPECT_EQ(testsupport::entryNames(dir.path), (std::set<std::string>{"song.wav", "copy.wav"}));
}

// A copy is as private as the user's creation mask asks, as one made by hand would be, and keeps
// the source's own restrictions.
TEST(Files, ACopyHasTheSourcesPermissionsAsTheCreationMaskAllows) {
    testsupport::TemporaryFolder dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("song.wav"), std::string_view("a song")).ok());
    struct Case {
        mode_t source, mask, copy;
    };
    const Case cases[] = {{0644, 077, 0600}, {0644, 027, 0640}, {0600, 022, 0600}, {0664, 002, 0664}};
    for (const Case& c : cases) {
        char trace[32];
        std::snprintf(trace, sizeof trace, "%03o under umask %03o", unsigned(c.source), unsigned(c.mask));
        SCOPED_TRACE(trace);
        ASSERT_EQ(::chmod(dir.file("song.wav").c_str(), c.source), 0);
        const mode_t saved = ::umask(c.mask);
        const Result<void> copied = copyItem(dir.file("song.wav"), dir.file("copy.wav"));
        ::umask(saved);
        ASSERT_TRUE(copied.ok()) << copied.error().message;
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("copy.wav").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.copy);
        ASSERT_TRUE(removeItem(dir.file("copy.wav")).ok());
    }
}
