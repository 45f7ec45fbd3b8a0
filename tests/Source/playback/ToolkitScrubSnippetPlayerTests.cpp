#include "Source/playback/ToolkitScrubSnippetPlayer.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "platform/foundation/Url.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace playbacktest;
using vantle::ToolkitScrubSnippetPlayer;

namespace {

constexpr double scrubRampSeconds = 4.0;

// Both channels rise linearly from 0 to 1 over the file, so a sample tells the time it came from.
bool writeScrubRamp(const std::string& path) {
    const auto frames = std::size_t(scrubRampSeconds * 44100.0);
    return testsupport::writeRampFile(path, frames, 0.0f, 1.0f / float(frames), 44100, 2);
}

// Measured on the left channel, skipping the first tenth of a second in which the rate unit settles.
double scrubFrequency(const platform::PcmBuffer& buffer) {
    return testsupport::zeroCrossingFrequency(channelSamples(buffer, 0), 4410, 44100.0);
}

} // namespace

class ToolkitScrubSnippetPlayerTest : public ::testing::Test {
protected:
    // A snippet player on `name` in the folder whose engine renders offline.
    std::unique_ptr<ToolkitScrubSnippetPlayer> makeSnippetPlayer(const std::string& name) {
        auto player = std::make_unique<ToolkitScrubSnippetPlayer>(
            platform::Url::fileURLWithPath(folder.file(name)), fastDevice());
        (void)player->engine().startTest(0.0);
        return player;
    }

    fixtures::TempFolder folder;
};

TEST_F(ToolkitScrubSnippetPlayerTest, PlaysTheFileFromTheTimeSetAndAgainFromWherePauseLeftIt) {
    ASSERT_TRUE(writeScrubRamp(folder.file("ramp.wav")));
    auto player = makeSnippetPlayer("ramp.wav");
    ASSERT_TRUE(player->hasSound());

    player->setCurrentTime(2.0);
    player->play();
    EXPECT_TRUE(player->isPlaying());
    auto heard = player->engine().render(0.1);
    ASSERT_EQ(heard->frameLength(), 4410u);
    // The ramp's value at 2 s is 0.5 and rises by 1/176400 a frame; the tolerance allows for the few
    // milliseconds by which the rate unit delays the audio.
    EXPECT_NEAR(heard->channel(0)[2000], 0.5f + 2000.0f / 176400.0f, 0.01f);
    EXPECT_NEAR(heard->channel(1)[4000], 0.5f + 4000.0f / 176400.0f, 0.01f);

    // A pause stops the sound (after the rate unit's short tail) and keeps the position; play goes
    // on from there.
    player->pause();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 2.1, 0.02);
    (void)player->engine().render(0.02);
    EXPECT_LT(bufferPeak(*player->engine().render(0.2)), 1e-4f);
    player->play();
    heard = player->engine().render(0.1);
    EXPECT_NEAR(heard->channel(0)[2000], 2.1f / 4.0f + 2000.0f / 176400.0f, 0.01f);

    // A new time while playing jumps there at once.
    player->setCurrentTime(1.0);
    heard = player->engine().render(0.1);
    EXPECT_NEAR(heard->channel(0)[2000], 0.25f + 2000.0f / 176400.0f, 0.01f);
}

TEST_F(ToolkitScrubSnippetPlayerTest, RateSpeedsUpAndRaisesPitchOnlyWhenEnabledAndVolumeScales) {
    ASSERT_TRUE(writeSineFile(folder.file("sine.wav"), 4.0, 441.0, 0.5f));
    auto player = makeSnippetPlayer("sine.wav");
    ASSERT_TRUE(player->hasSound());

    // Without enableRate a rate is kept but not heard.
    player->setRate(1.5f);
    player->play();
    auto plain = player->engine().render(0.5);
    EXPECT_NEAR(scrubFrequency(*plain), 441.0, 5.0);
    const double fullRms = testsupport::rms(channelSamples(*plain, 0));
    EXPECT_NEAR(fullRms, 0.5 / std::sqrt(2.0), 0.03);

    player->setEnableRate(true);
    EXPECT_FLOAT_EQ(player->effectiveRate(), 1.5f);
    EXPECT_NEAR(scrubFrequency(*player->engine().render(0.5)), 661.5, 8.0);

    player->setEnableRate(false);
    player->setVolume(0.3f);
    (void)player->engine().render(0.05);
    const auto quiet = player->engine().render(0.3);
    EXPECT_NEAR(scrubFrequency(*quiet), 441.0, 5.0);
    EXPECT_NEAR(testsupport::rms(channelSamples(*quiet, 0)) / fullRms, 0.3, 0.02);

    // Out-of-range volumes are held to 0 … 1.
    player->setVolume(3.0f);
    EXPECT_FLOAT_EQ(player->volume(), 1.0f);
    player->setVolume(-1.0f);
    EXPECT_FLOAT_EQ(player->volume(), 0.0f);
    (void)player->engine().render(0.05);
    EXPECT_LT(bufferPeak(*player->engine().render(0.2)), 1e-4f);
}

TEST_F(ToolkitScrubSnippetPlayerTest, AFileThatCannotBeOpenedGivesASilentPlayer) {
    // A file that is no audio fails to open as a missing one does; which files open is the reader's.
    auto player = makeSnippetPlayer("missing.wav");
    EXPECT_FALSE(player->hasSound());
    player->setCurrentTime(1.0);
    player->setVolume(1.0f);
    player->setEnableRate(true);
    player->setRate(1.5f);
    player->play();
    EXPECT_FALSE(player->isPlaying());
    player->pause();
    // On a live device the engine is never even started.
    ToolkitScrubSnippetPlayer live(platform::Url::fileURLWithPath(folder.file("missing.wav")), fastDevice());
    live.play();
    EXPECT_FALSE(live.engine().isRunning());
}
