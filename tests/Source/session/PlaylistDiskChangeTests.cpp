// A session document is written over only when its file still holds what this document last read
// or wrote there, or when the user has said to write over it.

#include "Source/session/Playlist.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

using namespace vantle;
using namespace vantle::testing;
using Status = Playlist::SaveResult::Status;

namespace {

// Rewrites one byte of the file on its own inode and puts its times back: only the bytes tell.
bool changeByteKeepingSizeAndTimes(const std::string& path, off_t at) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) return false;
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return false;
    unsigned char byte = 0;
    const bool changed = ::pread(fd, &byte, 1, at) == 1 && (byte ^= 0x01, ::pwrite(fd, &byte, 1, at) == 1);
    ::close(fd);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    return changed && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

class PlaylistDiskChange : public ::testing::Test {
protected:
    void SetUp() override {
        session = folder.url("Class.vantle");
        Playlist first;
        first.insertEntry(writeSilentWav(media.url("a.wav"), 1));
        first.insertEntry(writeSilentWav(media.url("b.wav"), 1));
        ASSERT_TRUE(first.save(session).written());
        mine = Playlist::read(session).value();
        // This window's own change, not yet saved.
        mine->allEntries[0]->tags = "w";
        mine->dirty = true;
    }
    platform::Bytes bytes() const { return platform::readFile(session.path()).valueOr(platform::Bytes{}); }
    // What another window saves after it opened the same document and removed a row.
    void saveFromAnotherWindow() {
        std::shared_ptr<Playlist> other = Playlist::read(session).value();
        other->allEntries.pop_back();
        ASSERT_TRUE(other->save(session).written());
    }

    SessionTempFolder folder, media;
    platform::Url session;
    std::shared_ptr<Playlist> mine;
};

TEST_F(PlaylistDiskChange, AFileChangedOutsideIsLeftAsItIsUntilTheUserSaysToWriteOverIt) {
    const struct {
        const char* what;
        std::function<void()> change;
    } outside[] = {
        {"another window saved", [&] { saveFromAnotherWindow(); }},
        {"one byte, same size, same inode and times",
         [&] { ASSERT_TRUE(changeByteKeepingSizeAndTimes(session.path(), off_t(bytes().size() / 2))); }},
    };
    for (const auto& c : outside) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.change();
        const platform::Bytes theirs = bytes();
        testsupport::ScopedConsoleCapture console;
        EXPECT_EQ(*mine->changedOnDisk(session), true);
        EXPECT_EQ(mine->save(session).status, Status::changedOnDisk);
        EXPECT_EQ(bytes(), theirs);
        EXPECT_TRUE(mine->dirty);
        ASSERT_EQ(console.lines().size(), 1u);
        EXPECT_NE(console.lines()[0].find("changed on disk"), std::string::npos);

        // The user's answer: this window's version.
        EXPECT_TRUE(mine->save(session, Playlist::Overwrite::always).written());
        EXPECT_EQ(Playlist::read(session).value()->allEntries.at(0)->tags, "w");
        EXPECT_FALSE(mine->dirty);
    }
}

TEST_F(PlaylistDiskChange, OwnWritesSameBytesAMissingFileAndANewPlaceAreNoChange) {
    const struct {
        const char* what;
        std::function<void()> before;
        platform::Url target;
    } cases[] = {
        {"unchanged since read", [] {}, session},
        {"this document's own earlier save", [&] { ASSERT_TRUE(mine->save(session).written()); }, session},
        {"the same bytes written again (a sync tool)",
         [&] {
             const platform::Bytes same = bytes();
             ASSERT_TRUE(platform::writeFileAtomically(session.path(), same) &&
                         testsupport::touchFile(session.path()));
         },
         session},
        {"the file removed", [&] { std::filesystem::remove(session.path()); }, session},
        // Save As: the panel asked before it named a file that is already there.
        {"a file this document never read",
         [&] {
             saveFromAnotherWindow();
             std::filesystem::rename(session.path(), folder.file("Other.vantle"));
         },
         folder.url("Other.vantle")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.before();
        mine->allEntries[0]->tags = "x";
        EXPECT_EQ(*mine->changedOnDisk(c.target), false);
        EXPECT_TRUE(mine->save(c.target).written());
        EXPECT_EQ(Playlist::read(c.target).value()->allEntries.at(0)->tags, "x");
    }
}

TEST_F(PlaylistDiskChange, AFileThatCannotBeReadToTellIsNotWrittenOver) {
    std::filesystem::remove(session.path());
    ASSERT_TRUE(platform::createDirectory(session.path() + "/kept"));
    testsupport::ScopedConsoleCapture console;
    const Playlist::SaveResult result = mine->save(session);
    EXPECT_TRUE(result.status == Status::failed && result.reason == "is a directory");
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"can't save " + session.absoluteString() + ": is a directory"});
    EXPECT_TRUE(platform::isDirectory(session.path() + "/kept") && mine->dirty);
}

TEST(FileErrorReason, TheSystemsWordsWithoutTheOperationAndPath) {
    const struct {
        platform::Error error;
        const char* reason;
    } cases[] = {
        {platform::Error::make("platform.files", "cannot write \"/m/a\": b.vantle\": Read-only file system",
                               30),
         "read-only file system"},
        {platform::Error::make("platform.files", "cannot write \"/x\": No space left on device", 28),
         "no space left on device"},
        {platform::Error::make("platform.files", "cannot write \"/x\": I/O error", 5), "I/O error"},
        {platform::Error::make("platform.coding", "string is not valid UTF-8"), "string is not valid UTF-8"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::fileErrorReason(c.error), c.reason) << c.error.message;
}

} // namespace
