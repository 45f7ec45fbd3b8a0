#include "RozezEru/Nodes/Playback/TimePitch.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A 1 kHz sine source node that counts the frames it was asked for.
class PlaybackToneSource final : public rozezeru::Node {
public:
    PlaybackToneSource() : counted_(enginetest::makeSine(enginetest::stereo(), 1000.0)) {}
    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return counted_.node; }
    std::int64_t framesPulled() const { return counted_.frames->load(); }

private:
    enginetest::CountingSource counted_;
};

// Frequency from rising zero crossings over the second half of the channel (after any latency).
double playbackToneFrequency(const platform::PcmBuffer& buffer) {
    const float* samples = buffer.channel(0);
    const std::uint32_t begin = buffer.frameLength() / 2;
    std::int64_t first = -1, last = -1, crossings = 0;
    for (std::uint32_t i = begin + 1; i < buffer.frameLength(); ++i)
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            if (first < 0)
                first = i;
            else
                ++crossings;
            last = i;
        }
    if (crossings == 0) return 0.0;
    return double(crossings) * buffer.format().sampleRate() / double(last - first);
}

struct PlaybackRender {
    double frequency;
    std::int64_t pulled;
};

template <typename MakeNode> PlaybackRender renderThrough(MakeNode makeNode, double seconds) {
    auto engine = nodetest::fastEngine();
    auto source = std::make_shared<PlaybackToneSource>();
    auto node = makeNode(source);
    engine->setOutput(node);
    EXPECT_TRUE(engine->startTest(seconds));
    auto rendered = engine->render(seconds);
    EXPECT_TRUE(rendered);
    if (!rendered) return {0.0, 0};
    return {playbackToneFrequency(*rendered), source->framesPulled()};
}

} // namespace

TEST(TimePitch, WritesClampStoreAndReachTheUnit) {
    rozezeru::TimePitch node(std::make_shared<PlaybackToneSource>(), 2.0f, 0.0f, 8.0f);
    // Created values are stored unchanged; the unit keeps its own initial rate until a write.
    EXPECT_EQ(node.rate(), 2.0f);
    EXPECT_EQ(node.timePitchAU().rate(), 1.0f);

    node.setRate(0.0f);
    EXPECT_EQ(node.rate(), 0.03125f);
    node.setRate(100.0f);
    EXPECT_EQ(node.rate(), 32.0f);
    node.setRate(2.0f);
    EXPECT_EQ(node.rate(), 2.0f);
    EXPECT_EQ(node.timePitchAU().rate(), 2.0f);

    node.setPitch(3000.0f);
    EXPECT_EQ(node.pitch(), 2400.0f);
    node.setPitch(-5000.0f);
    EXPECT_EQ(node.pitch(), -2400.0f);
    EXPECT_EQ(node.timePitchAU().pitch(), -2400.0f);

    node.setOverlap(1.0f);
    EXPECT_EQ(node.overlap(), 3.0f);
    node.setOverlap(64.0f);
    EXPECT_EQ(node.overlap(), 32.0f);

    node.setRate(std::nanf(""));
    EXPECT_EQ(node.rate(), 2.0f);
    ASSERT_EQ(node.connections().size(), 1u);
}

TEST(VariSpeed, StartAndStopRememberTheRate) {
    auto input = std::make_shared<PlaybackToneSource>();
    rozezeru::VariSpeed created(input, 2.0f);
    EXPECT_TRUE(created.isStarted());
    created.stop();
    EXPECT_EQ(created.rate(), 1.0f);
    EXPECT_FALSE(created.isStarted());
    created.start();
    EXPECT_EQ(created.rate(), 2.0f);

    created.setRate(3.0f);
    created.stop();
    created.start();
    EXPECT_EQ(created.rate(), 3.0f);

    // A write without stop() leaves the last known rate where it was.
    created.setRate(1.5f);
    EXPECT_EQ(created.lastKnownRate(), 3.0f);
    created.start();
    EXPECT_EQ(created.rate(), 3.0f);

    rozezeru::VariSpeed fast(input, 10.0f);
    EXPECT_EQ(fast.rate(), 10.0f);
    EXPECT_EQ(fast.lastKnownRate(), 10.0f);
    fast.start();
    EXPECT_EQ(fast.rate(), 4.0f);
}

TEST(TimePitch, RateChangesSpeedButKeepsThePitchOffline) {
    auto doubled = renderThrough(
        [](std::shared_ptr<rozezeru::Node> source) {
            auto node = std::make_shared<rozezeru::TimePitch>(source);
            node->setRate(2.0f);
            return node;
        },
        2.0);
    EXPECT_NEAR(doubled.frequency, 1000.0, 10.0);
    // Two seconds of output consume about four seconds of input (plus what primes the stretcher).
    EXPECT_NEAR(double(doubled.pulled) / 44100.0, 4.0, 0.4);

    auto octave = renderThrough(
        [](std::shared_ptr<rozezeru::Node> source) {
            auto node = std::make_shared<rozezeru::TimePitch>(source);
            node->setPitch(1200.0f);
            return node;
        },
        2.0);
    EXPECT_NEAR(octave.frequency, 2000.0, 20.0);
    EXPECT_NEAR(double(octave.pulled) / 44100.0, 2.0, 0.4);
}

TEST(VariSpeed, RateTwoDoublesPitchAndSpeedOffline) {
    auto result = renderThrough(
        [](std::shared_ptr<rozezeru::Node> source) {
            auto node = std::make_shared<rozezeru::VariSpeed>(source);
            node->setRate(2.0f);
            return node;
        },
        2.0);
    EXPECT_NEAR(result.frequency, 2000.0, 20.0);
    EXPECT_NEAR(double(result.pulled) / 44100.0, 4.0, 0.2);
}
