#include "Source/session/SessionSafekeeping.h"

#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/SessionRecovery.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Reaper.h"
#include "platform/foundation/Files.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ManualTimers.h"
#include "tests/support/SmallFilesystem.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

using namespace vantle;
using namespace vantle::testing;

namespace vantle::testing {

// Only a broken program waits this long for the worker's write.
constexpr std::chrono::seconds generousWait{30};

// A saved session of three songs in a folder of its own, the state folder beside it, and a player on its
// second song.
class SafekeepingTest : public ::testing::Test {
protected:
    void SetUp() override {
        setAppStateDirectory(stateFolder.path);
        platform::mainQueue().drain();
        Playlist document;
        for (const char* name : {"a.wav", "b.wav", "c.wav"})
            document.allEntries.push_back(PlaylistEntry::make(writeSilentWav(media.url(name), 60)));
        ASSERT_TRUE(document.save(session).written());
        playlist = Playlist::read(session).value();
        playlist->prepareAfterLoad();
        playlist->assignedEntry = playlist->allEntries[1];
        player.playerEntry = playlist->allEntries[1];
    }
    void TearDown() override { setAppStateDirectory(std::nullopt); }

    SessionSafekeeping::Sources sources() {
        return {[this] {
                    ++statesTaken;
                    return AppState::capture(session, *playlist, player);
                },
                [this] { return SessionRecovery::capture(*playlist, session); },
                [this] { return player.isPlaying(); }};
    }
    // Moves the clock and runs what fell due on the main queue.
    void advance(double seconds) {
        scheduler.advance(seconds);
        platform::mainQueue().drain();
    }
    std::optional<platform::FileStamp> stateStamp() { return platform::fileStamp(appStateFileURL().path()); }

    SessionTempFolder stateFolder;
    SessionTempFolder media;
    platform::Url session = media.url("Friday.vantle");
    std::shared_ptr<Playlist> playlist;
    FakePlayer player;
    testsupport::ManualTimerScheduler scheduler;
    int statesTaken = 0;
};

} // namespace vantle::testing

// Changes coming 67 times a second (a key held down) are taken once they pause, or every few seconds
// while they keep coming, and written off the caller's thread; what waits is written by a flush.
TEST_F(SafekeepingTest, TheStateIsTakenOnceTheChangesPauseAndWrittenOnAWorker) {
    SessionSafekeeping keeper(sources(), scheduler);
    for (int i = 0; i < 20; ++i) {
        keeper.stateChanged();
        advance(0.015);
    }
    EXPECT_EQ(statesTaken, 0);
    EXPECT_FALSE(stateStamp());
    advance(SessionSafekeeping::pauseSeconds);
    EXPECT_EQ(statesTaken, 1);
    ASSERT_TRUE(testsupport::waitUntil([&] { return stateStamp().has_value(); }, generousWait));
    EXPECT_EQ(readAppState()->currentEntryIndex, 1);

    // Never pausing, they are still taken within the longest wait.
    statesTaken = 0;
    for (int i = 0; i < 50; ++i) {
        keeper.stateChanged();
        advance(0.1);
    }
    EXPECT_EQ(statesTaken, 1);

    // A change then a flush (a quit): written at once, with the clock standing still.
    player.startTime = 33;
    keeper.stateChanged();
    keeper.flush();
    EXPECT_EQ(readAppState()->currentTime, 33);

    // While playing, the position moves with no call.
    player.playing = true;
    player.fileTime = 40;
    statesTaken = 0;
    advance(SessionSafekeeping::playingStateSeconds + SessionSafekeeping::checkSeconds);
    EXPECT_EQ(statesTaken, 1);
    keeper.flush();
    EXPECT_EQ(readAppState()->currentTime, 40);
}

// A change waiting when the keeper goes (the window closing) is written after it, off the window's
// thread, and is on disk once the program's exit has waited.
TEST_F(SafekeepingTest, WhatWaitsAtTheEndIsWrittenAfterTheKeeperBeforeTheExit) {
    {
        SessionSafekeeping keeper(sources(), scheduler);
        player.startTime = 21;
        keeper.stateChanged();
    }
    platform::waitForReaped();
    ASSERT_TRUE(readAppState());
    EXPECT_EQ(readAppState()->currentTime, 21);
}

// The recovery file holds the unsaved order and keys while there are any, and goes with a save; laid
// over the document as it was saved, it gives the list as it was.
TEST_F(SafekeepingTest, TheRecoveryFileFollowsTheUnsavedOrderAndKeys) {
    SessionSafekeeping keeper(sources(), scheduler);
    const platform::Url file = sessionRecoveryFileURL();
    const platform::Url d = writeSilentWav(media.url("d.wav"), 60);
    const auto check = [&] {
        advance(SessionSafekeeping::checkSeconds);
        keeper.flush();
    };
    check();
    EXPECT_FALSE(platform::fileExists(file.path()));

    struct Step {
        const char* change;
        std::function<void()> make;
        std::vector<std::string> order; // empty: the saved order
        std::vector<std::pair<std::string, int>> keys;
    };
    const Step steps[] = {
        {"a key", [&] { playlist->allEntries[1]->keyShift = 2; }, {}, {{"b.wav", 2}}},
        {"a move",
         [&] { playlist->insertEntry(playlist->allEntries[2]->_url, playlist->allEntries[0]); },
         {"c.wav", "a.wav", "b.wav"},
         {{"b.wav", 2}}},
        {"an addition",
         [&] { playlist->insertEntry(d); },
         {"c.wav", "a.wav", "b.wav", "d.wav"},
         {{"b.wav", 2}}},
        {"a removal and a key back",
         [&] {
             playlist->allEntries.erase(playlist->allEntries.begin() + 1);
             playlist->allEntries[1]->keyShift = 0;
         },
         {"c.wav", "b.wav", "d.wav"},
         {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        step.make();
        playlist->dirty = true;
        check();
        platform::Result<SessionRecovery> kept = readSessionRecovery(file);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->playlistURL, session);
        std::shared_ptr<Playlist> saved = Playlist::read(session).value();
        kept->apply(*saved);
        EXPECT_TRUE(saved->dirty);
        const std::vector<std::string> savedOrder{"a.wav", "b.wav", "c.wav"};
        EXPECT_EQ(fileNames(saved->allEntries), step.order.empty() ? savedOrder : step.order);
        std::vector<std::pair<std::string, int>> keys;
        for (const auto& entry : saved->allEntries)
            if (entry->keyShift != 0) keys.emplace_back(entry->_url.lastPathComponent(), entry->keyShift);
        EXPECT_EQ(keys, step.keys);
    }
    ASSERT_TRUE(playlist->save(session).written());
    check();
    EXPECT_FALSE(platform::fileExists(file.path()));
}

// Two running copies that share the state folder (one on another display): the second keeps no recovery
// file, so it never writes over or removes the first's; once the first has gone, a start keeps it again.
TEST_F(SafekeepingTest, ASecondRunningCopyKeepsNoRecoveryFile) {
    const platform::Url file = sessionRecoveryFileURL();
    auto first = std::make_unique<SessionSafekeeping>(sources(), scheduler);
    playlist->allEntries[1]->keyShift = 2;
    playlist->dirty = true;
    first->flush();
    const platform::Bytes kept = platform::readFile(file.path()).value();

    const SessionRecovery others{media.url("Other.vantle"), std::nullopt, {{media.url("a.wav"), 5}}};
    SessionSafekeeping::Sources second = sources();
    second.recovery = [&] { return std::optional<SessionRecovery>(others); };
    {
        SessionSafekeeping copy(second, scheduler);
        EXPECT_TRUE(first->keepsRecovery());
        EXPECT_FALSE(copy.keepsRecovery());
        advance(SessionSafekeeping::checkSeconds);
        copy.flush();
        copy.discardRecovery();
        copy.discardWaitingRecovery(file);
        copy.flush();
        EXPECT_EQ(platform::readFile(file.path()).value(), kept);
    }
    // The first run's exit: its lock goes after its last write.
    first.reset();
    platform::waitForReaped();
    SessionSafekeeping next(second, scheduler);
    EXPECT_TRUE(next.keepsRecovery());
    next.flush();
    EXPECT_EQ(readSessionRecovery(file).value(), others);
}

// A run killed mid-edit (no quit, no destructor) leaves on disk the song's listening and position, the
// list's order and the keys changed since the save, a few seconds after each change.
TEST_F(SafekeepingTest, ARunKilledMidEditLeavesWhatTheNextStartNeeds) {
    const platform::Url file = sessionRecoveryFileURL();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The run: playing the second song, its key raised, the third song moved to the top.
        SessionSafekeeping keeper(sources(), scheduler);
        player.playing = true;
        player.fileTime = 42;
        player.playerEntry->currentTimeRangeSet->ranges = {{10, 42}};
        player.playerEntry->keyShift = 3;
        playlist->insertEntry(playlist->allEntries[2]->_url, playlist->allEntries[0]);
        for (int i = 0; i < 4; ++i)
            advance(SessionSafekeeping::checkSeconds);
        for (;;)
            ::pause();
    }
    const bool written = testsupport::waitUntil(
        [&] {
            platform::Result<AppState> state = readAppState();
            return platform::fileExists(file.path()) && state && state->currentTime == 42;
        },
        generousWait);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(written);
    EXPECT_TRUE(WIFSIGNALED(status));

    platform::Result<AppState> state = readAppState();
    ASSERT_TRUE(state && state->currentTimeRangeSet);
    EXPECT_EQ(state->playlistURL, session);
    EXPECT_EQ(state->currentEntryIndex, 2); // the list as it was then: c, a, b
    EXPECT_EQ(state->currentTimeRangeSet->ranges, (std::vector<TimeRange>{{10, 42}}));
    // Never logged: the next start's leaving of the song gives it its line.
    EXPECT_EQ(state->currentListeningLogged, false);
    std::shared_ptr<Playlist> saved = Playlist::read(session).value();
    readSessionRecovery(file).value().apply(*saved);
    EXPECT_EQ(fileNames(saved->allEntries), (std::vector<std::string>{"c.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(saved->allEntries[2]->keyShift, 3);
}

// A session on a USB stick that is pulled: the mount point left behind is another folder under the same
// name, and so is a folder removed and made again. The save writes into neither, whatever it is told to
// write over; the folder itself back, it saves.
TEST(SessionFolder, ASaveNeverWritesIntoAnotherFolderUnderTheSameName) {
    SessionTempFolder media;
    const platform::Url song = writeSilentWav(media.url("a.wav"), 5);
    const std::string stick = media.path + "/stick";
    ASSERT_TRUE(platform::createDirectory(stick));
    const platform::Url session = platform::Url::fileURLWithPath(stick + "/Friday.vantle");
    Playlist document;
    document.insertEntry(song);
    ASSERT_TRUE(document.save(session).written());

    const auto refused = [&](Playlist::Overwrite overwrite) {
        document.dirty = true;
        const Playlist::SaveResult result = document.save(session, overwrite);
        EXPECT_EQ(result.status, Playlist::SaveResult::Status::folderReplaced);
        EXPECT_TRUE(document.dirty);
        EXPECT_FALSE(platform::fileExists(session.path()));
    };

    // Another file system mounted over the folder (the stick's own, gone: the folder below it shows).
    {
        testsupport::SmallFilesystem other(1);
        if (other.mounted()) {
            ASSERT_EQ(::mount(other.path().c_str(), stick.c_str(), nullptr, MS_BIND, nullptr), 0);
            refused(Playlist::Overwrite::ifUnchanged);
            refused(Playlist::Overwrite::always);
            ASSERT_EQ(::umount2(stick.c_str(), MNT_DETACH), 0);
            EXPECT_TRUE(document.save(session).written());
        }
    }

    // The folder removed and made again (held open, so that the new one cannot take its inode).
    const platform::FileDescriptor held(::open(stick.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const platform::Bytes lastSaved = platform::readFile(session.path()).value();
    std::filesystem::remove_all(stick);
    ASSERT_TRUE(platform::createDirectory(stick));
    refused(Playlist::Overwrite::always);

    // The other folder holds the file as it was last saved (a stick mounted again, a FAT folder the system
    // numbered anew): it is the session's folder still, and the save writes. Other bytes there are not.
    ASSERT_TRUE(platform::writeFileAtomically(session.path(), platform::Bytes{'x'}));
    EXPECT_EQ(document.save(session, Playlist::Overwrite::always).status,
              Playlist::SaveResult::Status::folderReplaced);
    ASSERT_TRUE(platform::writeFileAtomically(session.path(), lastSaved));
    EXPECT_TRUE(document.save(session).written());

    // No folder at all: a failure with the system's reason.
    std::filesystem::remove_all(stick);
    EXPECT_EQ(document.save(session).status, Playlist::SaveResult::Status::failed);
}
