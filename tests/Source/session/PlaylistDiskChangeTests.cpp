// A session document is written over only when its file still holds what this document last read
// or wrote there, or when the user has said to write over it.

#include "Source/session/Playlist.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace vantle::testing {
namespace {

using Status = Playlist::SaveResult::Status;

// Rewrites one byte of the file on its own inode and puts its times back: only the bytes tell.
bool changeByteKeepingSizeAndTimes(const std::string& path) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) return false;
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return false;
    const off_t at = before.st_size / 2;
    unsigned char byte = 0;
    const bool changed = ::pread(fd, &byte, 1, at) == 1 && (byte ^= 0x01, ::pwrite(fd, &byte, 1, at) == 1);
    ::close(fd);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    return changed && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

TEST(PlaylistDiskChange, OnlyAFileChangedSinceThisDocumentReadOrWroteItIsLeftAlone) {
    SessionTempFolder folder, media;
    const platform::Url session = folder.url("Class.vantle"), other = folder.url("Other.vantle");
    auto bytes = [&](const platform::Url& url) {
        return platform::readFile(url.path()).valueOr(platform::Bytes{});
    };
    std::shared_ptr<Playlist> mine;
    // Another window, which opened the same document, removes a row and saves.
    auto anotherWindowSaves = [&] {
        std::shared_ptr<Playlist> theirs = Playlist::read(session).value();
        theirs->allEntries.pop_back();
        ASSERT_TRUE(theirs->save(session).written());
    };
    const struct {
        const char* what;
        std::function<void()> outside;
        platform::Url target;
        Status status;
    } cases[] = {
        {"another window saved", anotherWindowSaves, session, Status::changedOnDisk},
        {"one byte, same size, inode and times",
         [&] { ASSERT_TRUE(changeByteKeepingSizeAndTimes(session.path())); }, session, Status::changedOnDisk},
        {"a folder in its place, which cannot be read to tell",
         [&] {
             std::filesystem::remove(session.path());
             std::filesystem::create_directories(session.path() + "/kept");
         },
         session, Status::failed},
        {"nothing", [] {}, session, Status::written},
        {"this document's own earlier save", [&] { ASSERT_TRUE(mine->save(session).written()); }, session,
         Status::written},
        {"the same bytes written again, as a sync tool does",
         [&] { ASSERT_TRUE(platform::writeFileAtomically(session.path(), bytes(session))); }, session,
         Status::written},
        {"the file removed", [&] { std::filesystem::remove(session.path()); }, session, Status::written},
        // Save As: the panel asked before it named a file that is already there.
        {"a file this document never read", [&] { ASSERT_TRUE(Playlist().save(other).written()); }, other,
         Status::written},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(session.path());
        Playlist first;
        for (const char* name : {"a.wav", "b.wav"})
            first.insertEntry(writeSilentWav(media.url(name), 1));
        ASSERT_TRUE(first.save(session).written());
        mine = Playlist::read(session).value();
        mine->allEntries[0]->tags = "w";
        mine->dirty = true;
        c.outside();
        const platform::Bytes before = bytes(c.target);

        testsupport::ScopedConsoleCapture console;
        const Playlist::SaveResult result = mine->save(c.target);
        EXPECT_EQ(result.status, c.status);
        if (c.status == Status::written) {
            EXPECT_EQ(Playlist::read(c.target).value()->allEntries.at(0)->tags, "w");
            continue;
        }
        EXPECT_TRUE(mine->dirty);
        if (c.status == Status::failed) {
            EXPECT_EQ(result.reason, "is a directory");
            EXPECT_EQ(console.lines().size(), 1u);
            EXPECT_TRUE(platform::isDirectory(session.path() + "/kept"));
            continue;
        }
        EXPECT_EQ(bytes(session), before);
        // The user's answer: this window's version.
        EXPECT_TRUE(mine->save(session, Playlist::Overwrite::always).written());
        EXPECT_EQ(Playlist::read(session).value()->allEntries.at(0)->tags, "w");
        EXPECT_FALSE(mine->dirty);
    }
}

// Hooks set for one test, taken off whatever ends it.
struct ScopedSaveSteps {
    explicit ScopedSaveSteps(std::function<void(platform::SaveStep, const std::string&)> step) {
        platform::setFileWriteHooks({std::move(step), {}});
    }
    ~ScopedSaveSteps() { platform::setFileWriteHooks(); }
    ScopedSaveSteps(const ScopedSaveSteps&) = delete;
    ScopedSaveSteps& operator=(const ScopedSaveSteps&) = delete;
};

// Another window's save lands while this one's is under way: after it looked, after it wrote its
// temporary, just before the rename. Nothing the other window wrote is replaced, and the save says so.
TEST(PlaylistDiskChange, AnotherWindowsSaveDuringThisOneIsNeverWrittenOver) {
    for (const platform::SaveStep step : {platform::SaveStep::read, platform::SaveStep::temporaryWritten,
                                          platform::SaveStep::beforeReplacing}) {
        SCOPED_TRACE(int(step));
        SessionTempFolder folder, media;
        const platform::Url session = folder.url("Class.vantle");
        Playlist first;
        for (const char* name : {"a.wav", "b.wav"})
            first.insertEntry(writeSilentWav(media.url(name), 1));
        ASSERT_TRUE(first.save(session).written());
        std::shared_ptr<Playlist> mine = Playlist::read(session).value();
        std::shared_ptr<Playlist> theirs = Playlist::read(session).value();
        mine->allEntries[0]->tags = "m";
        theirs->allEntries[1]->tags = "t";
        // Their bytes, as the other copy writes them; its own save would wait for this one's lock.
        const platform::Bytes theirBytes = platform::encodePlist(*theirs).value();
        bool done = false;
        ScopedSaveSteps steps([&](platform::SaveStep now, const std::string& target) {
            if (now != step || done) return;
            done = true;
            ASSERT_TRUE(platform::writeFileAtomically(target, theirBytes));
        });
        EXPECT_EQ(mine->save(session).status, Status::changedOnDisk);
        EXPECT_TRUE(done);
        EXPECT_EQ(Playlist::read(session).value()->allEntries.at(1)->tags, "t");
    }
}

// A second window that only opened the session and closed it, its song never played: nothing to write,
// so the file is not touched and the first window is asked nothing at its next save.
TEST(PlaylistDiskChange, ASessionOpenedAndClosedUnplayedIsNotWrittenAgain) {
    SessionTempFolder folder, media;
    const platform::Url session = folder.url("Class.vantle");
    Playlist first;
    for (const char* name : {"a.wav", "b.wav"})
        first.insertEntry(writeSilentWav(media.url(name), 1));
    first.assignedEntry = first.allEntries[1];
    // The first window was listening to its song as it saved.
    first.assignedEntry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    first.assignedEntry->currentTimeRangeSet->ranges = {{0, 2.96}};
    ASSERT_TRUE(first.save(session).written());
    const std::optional<platform::FileStamp> written = platform::fileStamp(session.path());

    std::shared_ptr<Playlist> second = Playlist::read(session).value();
    second->prepareAfterLoad();
    // Loading the song opens a listening where playback stands; leaving it closes that listening.
    second->assignedEntry->beginTimeRange(second->currentTime);
    second->assignedEntry->finishListening(platform::Clock::system());
    EXPECT_TRUE(second->save(session).written());
    EXPECT_EQ(platform::fileStamp(session.path()), written) << "neither replaced nor touched";

    // The first window saves after it without a question.
    first.allEntries[0]->tags = "f";
    EXPECT_EQ(first.save(session).status, Status::written);
}

} // namespace
} // namespace vantle::testing
