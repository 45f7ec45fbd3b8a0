#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
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

    ASSERT_TRUE(removeItem(dir.path + "/a").ok());
    EXPECT_FALSE(fileExists(dir.path + "/a"));
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
