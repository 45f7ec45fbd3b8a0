#include "platform/foundation/Files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace platform;

namespace {

std::atomic<int> leftoversUmaskCalls{0};

} // namespace

// Every call of the process's umask comes here first, so the test sees whether anything sets it.
extern "C" mode_t umask(mode_t mask) noexcept {
    leftoversUmaskCalls.fetch_add(1);
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

TEST(AtomicWriteLeftovers, StaleTemporariesOfTheTargetGoOnTheNextWrite) {
    const std::string folder = makeTemporaryDirectory("leftovers").value();
    const std::string target = "doc.vantle";
    const std::set<std::string> kept{
        ".doc.vantle.Ef34Gh",   // a live writer's, under a minute old
        ".doc.vantle.Ab12C",    // not the pattern: one letter short
        ".doc.vantle.Ab12C-",   // not the pattern: not a letter or digit
        ".other.vantle.Ab12Cd", // another target's
        "doc.vantle.Ab12Cd",    // not hidden
        ".doc.vantle.Zz99Zz",   // a folder
    };
    const std::set<std::string> stale{".doc.vantle.Ab12Cd", ".doc.vantle.000000"};
    for (const std::string& name : kept) {
        if (name == ".doc.vantle.Zz99Zz") continue;
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("x")).ok());
    }
    ASSERT_TRUE(createDirectory(folder + "/.doc.vantle.Zz99Zz").ok());
    for (const std::string& name : stale)
        ASSERT_TRUE(writeFileAtomically(folder + "/" + name, std::string_view("half")).ok());
    // Two minutes old; the young one keeps its time of now.
    const timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    for (const std::string& name : kept) {
        if (name == ".doc.vantle.Ef34Gh") continue;
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), old, 0), 0);
    }
    for (const std::string& name : stale)
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), old, 0), 0);

    ASSERT_TRUE(writeFileAtomically(folder + "/" + target, std::string_view("whole")).ok());
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        present.insert(entry.path().filename().string());
    std::set<std::string> expected = kept;
    expected.insert(target);
    EXPECT_EQ(present, expected);
    (void)removeItem(folder);
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
    (void)removeItem(folder);
}
