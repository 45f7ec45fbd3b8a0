#include "tests/support/TapRig.h"

#include "SigproRozezEru/Taps/PitchTap.h"
#include "platform/dispatch/MainQueue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace testsupport;

namespace {

TEST(PitchTap, FindsTheToneOnEveryChannel) {
    for (const platform::AudioFormat& format : {mono(), stereo()}) {
        const std::uint32_t channels = format.channelCount();
        SCOPED_TRACE(channels);
        ScopedAudioFormat scoped(format);
        auto node = std::make_shared<SignalNode>(
            [](std::int64_t n) {
                return float(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * double(n) / 44100.0));
            },
            format);
        TapRig rig(node);
        int reports = 0;
        auto tap = std::make_shared<rozezeru::PitchTap>(
            node, 4096, [&](const std::vector<float>& pitch, const std::vector<float>& amp) {
                EXPECT_EQ(pitch.size(), 2u);
                EXPECT_EQ(amp.size(), 2u);
                ++reports;
            });
        EXPECT_EQ(tap->amplitude(), 0.0f);
        tap->start();
        rig.feed(4096, 12);
        ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return reports == 12; }, 5.0));
        EXPECT_EQ(tap->trackerCount(), channels);
        for (std::uint32_t c = 0; c < channels; ++c)
            EXPECT_NEAR(tap->pitch()[c], 440.0f, 4.4f);
        // The mean over the buffer's channels, whatever their number.
        EXPECT_GT(tap->amp()[0], 0.0f);
        EXPECT_FLOAT_EQ(tap->amplitude(),
                        channels == 1 ? tap->amp()[0] : (tap->amp()[0] + tap->amp()[1]) / 2);
        const float amplitude = tap->amplitude();
        tap->stop();
        EXPECT_EQ(tap->leftPitch() + tap->rightPitch(), 0.0f);
        EXPECT_EQ(tap->amplitude(), amplitude);
    }
}

} // namespace
