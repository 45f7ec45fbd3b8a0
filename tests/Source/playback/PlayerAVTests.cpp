// The plain player: seeks clamped to the file (9.9 s without one), played ranges in dance mode up to the
// end of the file, and a volume no load resets. How the file player tells its end is the toolkit's.
#include "Source/playback/PlayerAV.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "platform/ui/Badge.h"

#include <gtest/gtest.h>

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

} // namespace
