#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace platform;

namespace {

std::atomic<int> leftoversUmaskCalls{0};
// When set, the next fsync (the writer's, of its filled temporary) first runs a start-up's clean-up of
// this target, as another process could at that moment.
std::atomic<bool> leftoversCleanAtFsync{false};
std::string leftoversCleanTarget;

} // namespace

// Every call of the process's umask comes here first, so the test sees whether anything sets it.
extern "C" mode_t umask(mode_t mask) noexcept {
    leftoversUmaskCalls.fetch_add(1);
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

extern "C" int fsync(int fd) {
    if (leftoversCleanAtFsync.exchange(false)) removeTemporariesOf(leftoversCleanTarget);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

TEST(AtomicWriteLeftovers, StaleTemporariesOfTheTargetGoOnTheNextWrite) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    const std::string target = "doc.vantle";
    const std::set<std::string> kept{
        ".doc.vantle.vantle-tmp-Ef34Gh",   // a live writer's, under a minute old
        ".doc.vantle.vantle-tmp-Ab12C",    // not the pattern: one letter short
        ".doc.vantle.vantle-tmp-Ab12C-",   // not the pattern: not a letter or digit
        ".other.vantle.vantle-tmp-Ab12Cd", // another target's
        "doc.vantle.vantle-tmp-Ab12Cd",    // not hidden
        ".doc.vantle.vantle-tmp-Zz99Zz",   // a folder
        // The user's own hidden files, and what older versions left, carry no mark.
        ".doc.vantle.backup",
        ".doc.vantle.before",
        ".doc.vantle.Ab12Cd",
    };
    const std::set<std::string> stale{".doc.vantle.vantle-tmp-Ab12Cd", ".doc.vantle.vantle-tmp-000000"};
    for (const std::string& name : kept) {
        if (name == ".doc.vantle.vantle-tmp-Zz99Zz") continue;
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("x")).ok());
    }
    ASSERT_TRUE(createDirectory(folder + "/.doc.vantle.vantle-tmp-Zz99Zz").ok());
    for (const std::string& name : stale)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("half")).ok());
    // Two minutes old; the young one keeps its time of now.
    const timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    for (const std::string& name : kept) {
        if (name == ".doc.vantle.vantle-tmp-Ef34Gh") continue;
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), old, 0), 0);
    }
    for (const std::string& name : stale)
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), old, 0), 0);

    ASSERT_TRUE(writeFileAtomically(folder + "/" + target, std::string_view("whole")).ok());
    std::set<std::string> expected = kept;
    expected.insert(target);
    EXPECT_EQ(testsupport::entryNames(folder), expected);
    (void)removeTemporaryDirectory(folder);
}

TEST(AtomicWriteLeftovers, NewFilesFollowTheCreationMaskWhichIsReadNotSet) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    const mode_t saved = ::umask(027);
    leftoversUmaskCalls = 0;
    ASSERT_TRUE(writeFileAtomically(folder + "/new.plist", std::string_view("x")).ok());
    struct stat st {};
    ASSERT_EQ(::stat((folder + "/new.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // A file being replaced keeps its own permissions.
    ASSERT_EQ(::chmod((folder + "/new.plist").c_str(), 0604), 0);
    ASSERT_TRUE(writeFileAtomically(folder + "/new.plist", std::string_view("y")).ok());
    ASSERT_EQ(::stat((folder + "/new.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(leftoversUmaskCalls.load(), 0);
    ::umask(saved);
    (void)removeTemporaryDirectory(folder);
}

// At start-up the program is the only writer of its files: a killed run's temporaries go however
// young they are, but not one that a writer of another process is filling (it holds it locked).
TEST(AtomicWriteLeftovers, StartUpRemovesEveryTemporaryOfTheTargetNotBeingWritten) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    const std::set<std::string> young{".state.plist.vantle-tmp-Ab12Cd", ".state.plist.vantle-tmp-000000"};
    const std::set<std::string> kept{
        ".state.plist.vantle-tmp-Lk0ckd", // being written: locked by its writer
        ".other.plist.vantle-tmp-Ab12Cd", // another target's
        "state.plist.vantle-tmp-Ab12Cd",  // not hidden
        ".state.plist.vantle-tmp-Ab12C",  // not the pattern
        "state.plist",                    // the target itself
        ".state.plist.backup",            // the user's own
        ".state.plist.Ab12Cd",            // an older version's, without the mark
    };
    for (const std::string& name : young)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("half")).ok());
    for (const std::string& name : kept)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("x")).ok());
    const int writer = ::open((folder + "/.state.plist.vantle-tmp-Lk0ckd").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);

    removeTemporariesOf(folder + "/state.plist");
    EXPECT_EQ(testsupport::entryNames(folder), kept);

    // Once its writer is gone (as when killed), it goes too.
    ::close(writer);
    removeTemporariesOf(folder + "/state.plist");
    EXPECT_FALSE(fileExists(folder + "/.state.plist.vantle-tmp-Lk0ckd"));
    EXPECT_TRUE(fileExists(folder + "/state.plist"));
    (void)removeTemporaryDirectory(folder);
}

// A folder's sweep (an export's) takes the marked temporaries of every target and nothing else.
TEST(AtomicWriteLeftovers, AFoldersSweepTakesOnlyMarkedTemporariesNobodyHolds) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    const std::set<std::string> leftovers{".a.wav.vantle-tmp-Ab12Cd", ".b c.mp3.vantle-tmp-Zz00aa"};
    const std::set<std::string> kept{
        ".c.wav.vantle-tmp-Lk0ckd", // being written
        "a.wav",
        ".a.wav.backup",
        ".a.wav.Ab12Cd",
        ".vantle-tmp-Ab12Cd", // no target
    };
    for (const std::string& name : leftovers)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("half")).ok());
    for (const std::string& name : kept)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("x")).ok());
    const int writer = ::open((folder + "/.c.wav.vantle-tmp-Lk0ckd").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    removeTemporariesIn(folder);
    EXPECT_EQ(testsupport::entryNames(folder), kept);
    ::close(writer);
    (void)removeTemporaryDirectory(folder);
}

// writeFileAtomically holds its temporary locked while it fills it: a start-up's clean-up in another
// process, coming in between, leaves it alone and the write succeeds.
TEST(AtomicWriteLeftovers, AWritersTemporaryOutlivesAStartUpCleanUp) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    leftoversCleanTarget = folder + "/doc.vantle";
    leftoversCleanAtFsync = true;
    EXPECT_TRUE(writeFileAtomically(leftoversCleanTarget, std::string_view("whole")).ok());
    EXPECT_FALSE(leftoversCleanAtFsync.load());
    const Bytes written = readFile(leftoversCleanTarget).valueOr(Bytes{});
    EXPECT_EQ(std::string(written.begin(), written.end()), "whole");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    (void)removeTemporaryDirectory(folder);
}
