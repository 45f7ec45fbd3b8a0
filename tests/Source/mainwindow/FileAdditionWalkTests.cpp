// The walk of an added folder where the folder is hostile: nested deeper than the open files a process
// may hold. Nothing beside the depths may be lost, and what is left out is said.

#include "Source/mainwindow/FileAddition.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Files.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/SongArchives.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace vantle::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

// The descriptors this process holds now.
std::size_t openDescriptors() {
    std::size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr)
            ++count;
        ::closedir(dir);
    }
    return count;
}

// Lowers the process's open-file limit to `room` more than it holds now, as a desktop's 1024 would be
// for a walk thousands of folders deep; the limit comes back at the end.
class OpenFileRoom {
public:
    explicit OpenFileRoom(std::size_t room) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = openDescriptors() + room;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~OpenFileRoom() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    OpenFileRoom(const OpenFileRoom&) = delete;
    OpenFileRoom& operator=(const OpenFileRoom&) = delete;

private:
    rlimit saved_{};
};

class FileAdditionWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = platform::makeTemporaryDirectory("walk");
        ASSERT_TRUE(made);
        root = *made;
    }
    void TearDown() override { (void)platform::removeTemporaryDirectory(root); }

    void touch(const std::string& path) {
        ASSERT_TRUE(platform::writeFileAtomically(path, std::string_view("x")));
    }

    // `depth` folders each inside the last under root/deep, the last holding a file; made a step at a
    // time, as their path soon passes what one call may name.
    void nest(std::size_t depth) {
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (std::size_t i = 0; i < depth; ++i) {
            const char* name = i == 0 ? "deep" : "d";
            ASSERT_EQ(::mkdirat(fd, name, 0755), 0);
            const int inner = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            ASSERT_GE(inner, 0);
            fd = inner;
        }
        const int file = ::openat(fd, "bottom.wav", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_GE(file, 0);
        ::close(file);
        ::close(fd);
    }

    std::vector<std::string> namesFound(const std::vector<platform::Url>& urls) {
        std::vector<std::string> names;
        for (const platform::Url& url : urls)
            if (url.path() != root) names.push_back(url.path().substr(root.size() + 1));
        return names;
    }

    std::string root;
};

TEST_F(FileAdditionWalkTest, FoldersNestedPastTheOpenFileLimitLoseNothingBesideThemAndTheCutIsSaid) {
    touch(root + "/a.wav");
    touch(root + "/z.wav");
    ASSERT_TRUE(platform::createDirectory(root + "/m"));
    touch(root + "/m/inner.wav");
    nest(300);
    testsupport::ScopedConsoleCapture console;
    std::optional<std::vector<platform::Url>> found;
    {
        const OpenFileRoom room(100);
        found = FileAddition::filesAt(platform::Url::fileURLWithPath(root, true));
    }
    ASSERT_TRUE(found);
    const std::vector<std::string> names = namesFound(*found);
    EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "m/inner.wav", "z.wav"}));
    const std::vector<std::string> lines = console.lines();
    EXPECT_THAT(lines, Contains(HasSubstr("folders deeper than")));
}

TEST_F(FileAdditionWalkTest, AFolderThatCannotBeReadHalfwaySaysSo) {
    touch(root + "/a.wav");
    nest(40);
    testsupport::ScopedConsoleCapture console;
    std::optional<std::vector<platform::Url>> found;
    {
        // Too few to reach the bottom: the walk fails partway, as a failing stick would.
        const OpenFileRoom room(8);
        found = FileAddition::filesAt(platform::Url::fileURLWithPath(root, true));
    }
    ASSERT_TRUE(found);
    EXPECT_THAT(console.lines(), Contains(HasSubstr(std::strerror(EMFILE))));
}

TEST_F(FileAdditionWalkTest, AFolderInsideThatCannotBeReadIsNamedAndTheRestFound) {
    // Permissions do not bind the superuser: there is nothing unreadable to walk past.
    if (::geteuid() == 0) GTEST_SKIP() << "run as the superuser";
    touch(root + "/a.wav");
    ASSERT_TRUE(platform::createDirectory(root + "/locked"));
    touch(root + "/locked/hidden.wav");
    ASSERT_TRUE(platform::createDirectory(root + "/open"));
    touch(root + "/open/b.wav");
    ASSERT_EQ(::chmod((root + "/locked").c_str(), 0), 0);
    testsupport::ScopedConsoleCapture console;
    const std::optional<std::vector<platform::Url>> found =
        FileAddition::filesAt(platform::Url::fileURLWithPath(root, true));
    ::chmod((root + "/locked").c_str(), 0755);
    ASSERT_TRUE(found);
    EXPECT_EQ(namesFound(*found), (std::vector<std::string>{"a.wav", "open/b.wav"}));
    EXPECT_THAT(console.lines(),
                Contains(HasSubstr(std::string(std::strerror(EACCES)) + " " +
                                   platform::Url::fileURLWithPath(root + "/locked", true).absoluteString())));
}

// A named zip that is no song is refused for the archive's own reason, found where the files are
// measured; a named file of another kind, and a zip found in a folder, carry none.
// A zip is measured by reading its audio whole: never on the window's thread, even among a few files.
TEST_F(FileAdditionWalkTest, ANamedZipThatIsNoSongCarriesItsReasonFromTheWorkersMeasuring) {
    ASSERT_TRUE(platform::createDirectory(root + "/folder"));
    for (const std::string& zip : {root + "/notes.zip", root + "/folder/inside.zip"})
        ASSERT_TRUE(testsupport::writeZip(zip, {{"a.txt", {'x'}}}));
    touch(root + "/notes.txt");
    const std::vector<platform::Url> locations{platform::Url::fileURLWithPath(root + "/notes.zip", false),
                                               platform::Url::fileURLWithPath(root + "/notes.txt", false),
                                               platform::Url::fileURLWithPath(root + "/folder", true)};
    EXPECT_FALSE(FileAddition::measureHere(locations, FileAddition::unlimited));
    EXPECT_FALSE(FileAddition::measureHere({locations[2]}, FileAddition::unlimited));
    EXPECT_TRUE(FileAddition::measureHere({locations[1]}, FileAddition::unlimited));

    platform::mainQueue().bindToCurrentThread();
    platform::SerialQueue worker{"test additions"};
    std::vector<FileAddition::File> files;
    bool finished = false;
    FileAddition addition(
        locations, worker,
        [&](std::vector<FileAddition::File> batch, FileAddition::Progress) {
            for (FileAddition::File& file : batch)
                files.push_back(std::move(file));
        },
        [&] { finished = true; }, {});
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return finished; }, 60));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(
        files[0].archiveRefusal,
        std::optional<std::string>("the zip archive holds \"a.txt\" beside the song's audio and graphics"));
    EXPECT_EQ(files[1].archiveRefusal, std::nullopt);
    EXPECT_EQ(files[2].archiveRefusal, std::nullopt);
}

} // namespace
} // namespace vantle::testing
