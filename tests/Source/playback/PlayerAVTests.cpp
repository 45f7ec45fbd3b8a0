// The plain player: seeks clamped to the file (9.9 s without one), played ranges in dance mode up to the
// end of the file, a volume no load resets, and the entry rules it shares with PlayerRZ (a moved file
// found through its bookmark, change events on the playing file). How the file player tells its end is
// the toolkit's.
#include "Source/playback/PlayerAV.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "Source/session/Bookmark.h"
#include "platform/foundation/Console.h"
#include "platform/ui/Badge.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace playbacktest;

namespace {

TEST(PlayerAVTest, SeeksPlaysToTheEndAndRecordsWhatWasHeard) {
    platform::mainQueue().bindToCurrentThread();
    fixtures::TempFolder folder;
    ASSERT_TRUE(writeTone(folder.file("a.wav"), 1.5));
    RecordingDelegate delegate;
    vantle::PlayerAV player(std::make_unique<QuickDevice>());
    player.setDelegate(&delegate);

    struct Seek {
        double to, desired;
    };
    for (const Seek s : {Seek{30.0, 9.9}, Seek{-4.0, 0.0}}) {
        player.setCurrentTime(s.to);
        EXPECT_DOUBLE_EQ(player.desiredTime(), s.desired);
    }
    auto entry = entryFor(folder.file("a.wav"));
    player.setEntry(entry);
    ASSERT_TRUE(player.playable());
    player.setVolume(0.3f);
    for (const Seek s : {Seek{30.0, 1.4}, Seek{0.5, 0.5}}) {
        player.setCurrentTime(s.to);
        EXPECT_DOUBLE_EQ(player.desiredTime(), s.desired);
    }
    EXPECT_EQ(delegate.refreshes, 4);

    player.play();
    EXPECT_TRUE(player.playing());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "►");
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return delegate.finishes > 0; }, 30.0));
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
    ASSERT_TRUE(entry->currentTimeRangeSet);
    ASSERT_EQ(entry->currentTimeRangeSet->ranges.size(), 1u);
    EXPECT_DOUBLE_EQ(entry->currentTimeRangeSet->ranges[0].start, 0.5);
    EXPECT_DOUBLE_EQ(entry->currentTimeRangeSet->ranges[0].end, 1.5);
    player.setEntry(entry);
    EXPECT_FLOAT_EQ(player.volume(), 0.3f);
}

TEST(PlayerAVTest, ChangeEventsOnThePlayingFileLeaveTheMusicPlaying) {
    platform::mainQueue().bindToCurrentThread();
    testsupport::ScopedConsoleCapture console;
    fixtures::TempFolder folder;
    const std::string path = folder.file("a.wav");
    ASSERT_TRUE(writeTone(path, 20.0));
    RecordingDelegate delegate;
    // Held, and let on a little at a time: the song is still playing when each change is read, however
    // late.
    auto quick = std::make_unique<QuickDevice>(2.0);
    QuickDevice& device = *quick;
    device.allowPeriods(0);
    vantle::PlayerAV player(std::move(quick));
    player.setDelegate(&delegate);
    auto entry = entryFor(path);
    player.setEntry(entry);
    player.play();
    device.renderOnly(1.5);
    auto lineCame = [&](const std::string& line) {
        return waitFor([&] { return consoleHas(console, line); });
    };
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return player.playbackTime() > 1.0; }, 10.0));

    // Touched: nothing happens. The rewrite below is handled after the touch on the one main queue: once
    // it is read, so was the touch, and a restart from 0:00 would still show in the held position.
    ASSERT_TRUE(touchFile(path));
    ASSERT_TRUE(lineCame("=== in eventHandler"));
    EXPECT_TRUE(player.isPlaying());
    EXPECT_GT(player.playbackTime(), 1.0);

    // Rewritten longer: read again where it was. A writer paused midway is read midway too, and again
    // once it is done.
    ASSERT_TRUE(writeTone(path, 40.0));
    ASSERT_TRUE(
        platform::mainQueue().drainUntil([&] { return std::abs(player.duration() - 40.0) < 1e-6; }, 10.0));
    ASSERT_TRUE(lineCame("🎈change entry for " + fileURL(path)));
    EXPECT_TRUE(player.isPlaying());
    EXPECT_GT(player.playbackTime(), 1.0);
    EXPECT_NEAR(player.duration(), 40.0, 1e-6);

    // Deleted: plays on, the entry marked missing.
    std::filesystem::remove(path);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return entry->fileMissing; }, 10.0));
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.entry(), entry);
    // A seek, and a pause and a play, go on from the open file.
    player.setCurrentTime(5.0);
    EXPECT_TRUE(player.isPlaying());
    device.renderOnly(1.0);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return player.playbackTime() > 5.2; }, 10.0));
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    const double paused = player.playbackTime();
    player.start();
    EXPECT_TRUE(player.isPlaying());
    device.renderOnly(1.0);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return player.playbackTime() > paused + 0.2; }, 10.0));
    EXPECT_EQ(delegate.refusals, 0);

    // Play with nothing to play says so.
    player.setEntry(entry);
    player.play();
    EXPECT_EQ(delegate.refusals, 1);
    EXPECT_FALSE(player.playing());
}

TEST(PlayerAVTest, AMovedFileIsFoundThroughTheBookmarkItsLoadKept) {
    platform::mainQueue().bindToCurrentThread();
    vantle::testing::ScopedFakeApp app;
    testsupport::ScopedConsoleCapture console;
    fixtures::TempFolder folder;
    const std::string before = folder.file("before.wav"), after = folder.file("after.wav");
    ASSERT_TRUE(writeTone(before, 1.0));
    vantle::PlayerAV player(std::make_unique<QuickDevice>());
    auto entry = entryFor(before);
    player.setEntry(entry);
    ASSERT_TRUE(entry->storedBookmark);
    player.setEntry(nullptr);
    std::filesystem::rename(before, after);

    player.setEntry(entry);
    EXPECT_EQ(player.entry(), entry);
    EXPECT_TRUE(player.playable());
    EXPECT_EQ(entry->_url.path(), after);
    EXPECT_EQ(app.window.reloadedRows, std::vector<std::shared_ptr<vantle::PlaylistEntry>>{entry});

    // Gone altogether: the bookmark that leads nowhere is dropped, and the entry is missing. It was
    // tried twice, before and after the bookmark, each failure said as the graph player says it.
    player.setEntry(nullptr);
    std::filesystem::remove(after);
    console.clear();
    player.setEntry(entry);
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.starts_with("154 error ") && line.ends_with(" can't open " + fileURL(after)))
            << line;
    EXPECT_FALSE(player.entry());
    EXPECT_FALSE(player.playable());
    EXPECT_FALSE(entry->storedBookmark);
    EXPECT_TRUE(entry->fileMissing);
}

} // namespace

// With its folder gone the song plays on from the file open; once that no longer reads either (its
// device gone), Play says so instead of leaving silence, and plays the song once its folder is back.
TEST(PlayerAVTest, ASongWhoseFolderGoesPlaysOnAndOneThatNoLongerReadsIsSaid) {
    platform::mainQueue().bindToCurrentThread();
    fixtures::TempFolder folder;
    const std::string home = folder.file("Stick"), away = folder.file("Stick gone");
    const std::string path = home + "/song.wav";
    std::filesystem::create_directories(home);
    ASSERT_TRUE(writeSineFile(path, 6.0, 1000.0));
    RecordingDelegate delegate;
    vantle::PlayerAV player(fastDevice());
    player.setDelegate(&delegate);
    ASSERT_TRUE(player.engine().startTest(0.0));
    auto entry = entryFor(path);
    player.setEntry(entry);
    player.setVolume(1.0f);
    auto loud = [&] {
        return testsupport::rms(channelSamples(*player.engine().render(0.5), 0), 13230) > 0.3;
    };

    std::filesystem::rename(home, away);
    player.setCurrentTime(2.0);
    player.play();
    EXPECT_TRUE(player.playing());
    EXPECT_TRUE(loud());
    player.stop();

    ASSERT_TRUE(spoilInPlace(away + "/song.wav"));
    player.play();
    EXPECT_EQ(delegate.refusals, 1);
    EXPECT_FALSE(player.playing());
    EXPECT_TRUE(entry->fileMissing);
    EXPECT_EQ(player.entry(), entry);

    std::filesystem::create_directories(home);
    ASSERT_TRUE(writeSineFile(path, 6.0, 1000.0));
    player.play();
    EXPECT_TRUE(player.playing());
    EXPECT_FALSE(entry->fileMissing);
    EXPECT_TRUE(loud());
    EXPECT_EQ(delegate.refusals, 1);
    player.stop();
}
