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
    PlaybackToneSource() : counted_(testsupport::makeSine(testsupport::stereo(), 1000.0)) {}
    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return counted_.node; }
    std::int64_t framesPulled() const { return counted_.frames->load(); }

private:
    testsupport::CountingSource counted_;
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
    auto engine = nodetest::fastToolkitEngine();
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
    // Created values are stored unchanged and reach the unit.
    EXPECT_EQ(node.rate(), 2.0f);
    EXPECT_EQ(node.timePitchAU().rate(), 2.0f);

    for (auto [set, expected] : {std::pair{0.0f, 0.03125f}, {100.0f, 32.0f}, {2.0f, 2.0f}}) {
        node.setRate(set);
        EXPECT_EQ(node.rate(), expected) << set;
    }
    EXPECT_EQ(node.timePitchAU().rate(), 2.0f);
    for (auto [set, expected] : {std::pair{3000.0f, 2400.0f}, {-5000.0f, -2400.0f}}) {
        node.setPitch(set);
        EXPECT_EQ(node.pitch(), expected) << set;
    }
    EXPECT_EQ(node.timePitchAU().pitch(), -2400.0f);
    for (auto [set, expected] : {std::pair{1.0f, 3.0f}, {64.0f, 32.0f}}) {
        node.setOverlap(set);
        EXPECT_EQ(node.overlap(), expected) << set;
    }

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

TEST(TimePitch, RateChangesSpeedAndPitchChangesFrequencyOffline) {
    // Two seconds of output; the input pulled includes what primes the stretcher.
    struct Case {
        const char* name;
        bool variSpeed;
        float rate, pitch;
        double frequency, inputSeconds, inputTolerance;
    };
    for (auto c : {Case{"time-pitch rate 2", false, 2.0f, 0.0f, 1000.0, 4.0, 0.4},
                   {"time-pitch octave up", false, 1.0f, 1200.0f, 2000.0, 2.0, 0.4},
                   {"varispeed rate 2", true, 2.0f, 0.0f, 2000.0, 4.0, 0.2}}) {
        SCOPED_TRACE(c.name);
        auto result = renderThrough(
            [&](std::shared_ptr<rozezeru::Node> source) -> std::shared_ptr<rozezeru::Node> {
                if (c.variSpeed) {
                    auto node = std::make_shared<rozezeru::VariSpeed>(source);
                    node->setRate(c.rate);
                    return node;
                }
                auto node = std::make_shared<rozezeru::TimePitch>(source);
                node->setRate(c.rate);
                node->setPitch(c.pitch);
                return node;
            },
            2.0);
        EXPECT_NEAR(result.frequency, c.frequency, c.frequency / 100.0);
        EXPECT_NEAR(double(result.pulled) / 44100.0, c.inputSeconds, c.inputTolerance);
    }
}
