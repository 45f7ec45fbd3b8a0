// What the player's chain does per render cycle through seeks, loads, rate changes and a stop: the
// work put through the stretcher, and the time heard.

#include "Source/playback/PlayerRZ.h"

#include "PlaybackTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/TimePitchUnit.h"

#include <gtest/gtest.h>

using namespace playbacktest;

TEST(PlayerRZChainCost, SeeksAndLoadsStayCheapAStopCostsNoStretchingAndTheTimeMovesEvenly) {
    platform::mainQueue().bindToCurrentThread();
    testsupport::TemporaryFolder folder;
    ASSERT_TRUE(writeSineFile(folder.file("a.wav"), 8.0, 440.0));
    ASSERT_TRUE(writeSineFile(folder.file("b.wav"), 8.0, 660.0));
    vantle::PlayerRZ player(fastDevice());
    ASSERT_TRUE(player.engine().startTest(0.0));
    auto buffer = platform::PcmBuffer::make(player.engine().avEngine().manualRenderingFormat(), 512);
    const platform::TimePitchUnit& unit = player.timePitch()->timePitchAU();

    player.setEntry(entryFor(folder.file("a.wav")));
    player.setRate(0.9f);
    player.play();
    std::vector<std::uint64_t> work;
    std::vector<double> heard;
    for (int cycle = 0; cycle < 320; ++cycle) {
        if (cycle == 40) player.setCurrentTime(3.0);
        if (cycle == 80) {
            player.setEntry(entryFor(folder.file("b.wav")));
            player.play();
        }
        if (cycle == 140) player.setRate(1.0f);
        if (cycle == 200) player.setRate(0.9f);
        if (cycle == 260) player.stop();
        const std::uint64_t before = unit.stretchedFrames();
        ASSERT_EQ(*player.engine().avEngine().renderOffline(512, *buffer),
                  platform::ManualRenderingStatus::success);
        work.push_back(unit.stretchedFrames() - before);
        heard.push_back(player.rzplayer()->currentTime());
        platform::mainQueue().drain();
    }

    // Before, the first cycle after the seek and after the load took in the stretcher's whole pipeline
    // (a dozen cycles' worth); now no cycle takes in more than a steady one and a starting share.
    for (std::size_t i = 0; i < 260; ++i)
        EXPECT_LE(work[i], std::uint64_t((1.25 + 1.1) * 512 + 2)) << "cycle " << i;
    // Stopped, the stretcher takes in nothing.
    for (std::size_t i = 261; i < work.size(); ++i)
        EXPECT_EQ(work[i], 0u) << "cycle " << i;
    // The seek is heard from its place on, and across the switches to rate 1 and back the time heard
    // moves evenly: between 0.9 and 1 cycle per cycle, give or take the few milliseconds a crossfade
    // lines the sounds up by.
    EXPECT_NEAR(heard[40], 3.0, 0.001);
    const double cycle = 512.0 / 44100.0;
    for (std::size_t i = 100; i < 255; ++i) {
        EXPECT_GE(heard[i] - heard[i - 1], 0.9 * cycle - 0.006) << "cycle " << i;
        EXPECT_LE(heard[i] - heard[i - 1], 1.0 * cycle + 0.006) << "cycle " << i;
    }
    EXPECT_GT(heard[254], 1.0);
}
