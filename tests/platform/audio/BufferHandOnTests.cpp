#include "GainTestUnit.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

// A pass-through that hands its input on instead of copying it.
class ForwardingNode final : public AudioNode {
public:
    explicit ForwardingNode(const AudioFormat& format) : AudioNode(1, 1) {
        setDefaultInputFormat(0, format);
        setDefaultOutputFormat(0, format);
    }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out, const AudioTime&,
                        std::uint32_t) override {
        context.forwardInput(0, frames, out);
        return RenderStatus::success;
    }
};

// Each channel its own signal, so that crossed buffers show.
float handOnSignal(std::int64_t n, std::uint32_t channel) {
    return float((n * 7919) % 2003) / 2003.0f - 0.5f + float(channel);
}

std::vector<float> handOnExpected(std::size_t frames, std::uint32_t channel, float gain) {
    std::vector<float> expected(frames);
    for (std::size_t n = 0; n < frames; ++n)
        expected[n] = gain * handOnSignal(std::int64_t(n), channel);
    return expected;
}

struct HandOnGraph {
    std::unique_ptr<AudioEngine> engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    std::shared_ptr<std::atomic<int>> renders = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<SourceNode> source = std::make_shared<SourceNode>(
        stereo(), [renders = renders, position = std::int64_t(0)](const AudioTime&, std::uint32_t frames,
                                                                  AudioBufferList& out) mutable {
            ++*renders;
            for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                for (std::uint32_t i = 0; i < frames; ++i)
                    out.floatData(c)[i] = handOnSignal(position + i, c);
            position += frames;
            return true;
        });

    HandOnGraph() {
        EXPECT_TRUE(engine->enableManualRenderingMode(stereo(), 512));
        EXPECT_TRUE(engine->attach(source));
    }
    template <typename Node> std::shared_ptr<Node> add(std::shared_ptr<Node> node) {
        EXPECT_TRUE(engine->attach(node));
        return node;
    }
    std::shared_ptr<AudioUnitNode> gain(float value) {
        auto node = add(std::make_shared<AudioUnitNode>(std::make_unique<unittest::GainTestUnit>()));
        static_cast<unittest::GainTestUnit&>(node->auAudioUnit()).gain().setValue(value);
        return node;
    }
    std::vector<std::vector<float>> render(std::uint32_t frames) {
        EXPECT_TRUE(engine->start());
        return renderOfflineFrames(*engine, frames, 300);
    }
};

} // namespace

TEST(BufferHandOn, PassThroughChainsAndBypassedUnitsDeliverTheInputExactly) {
    for (const bool bypassed : {false, true}) {
        SCOPED_TRACE(bypassed ? "bypassed" : "processing");
        HandOnGraph graph;
        AudioNode* previous = graph.source.get();
        auto unit = graph.gain(0.25f);
        unit->auAudioUnit().setShouldBypassEffect(bypassed);
        auto forward = [&]() -> AudioNode* {
            return graph.add(std::make_shared<ForwardingNode>(stereo())).get();
        };
        for (AudioNode* node :
             {forward(), forward(), static_cast<AudioNode*>(unit.get()), forward(), forward()}) {
            ASSERT_TRUE(graph.engine->connect(*previous, *node, 0, 0, stereo()));
            previous = node;
        }
        ASSERT_TRUE(graph.engine->connect(*previous, graph.engine->mainMixerNode(), stereo()));

        const auto out = graph.render(1500);
        ASSERT_EQ(out.size(), 2u);
        for (std::uint32_t c = 0; c < 2; ++c)
            EXPECT_EQ(out[c], handOnExpected(1500, c, bypassed ? 1.0f : 0.25f));
        EXPECT_EQ(graph.renders->load(), 5);
    }
}

TEST(BufferHandOn, FanOutGivesEveryConsumerTheSameSamples) {
    // The source feeds a unit that processes in place and a forwarding node; the forwarding node feeds
    // another in-place unit and the mixer. Were any of them to write into a shared buffer, the mix would
    // not be the sum of the gains.
    HandOnGraph graph;
    auto doubled = graph.gain(2.0f);
    auto forward = graph.add(std::make_shared<ForwardingNode>(stereo()));
    auto tripled = graph.gain(3.0f);
    MixerNode& mixer = graph.engine->mainMixerNode();
    ASSERT_TRUE(graph.engine->connect(*graph.source, {{doubled.get(), 0}, {forward.get(), 0}}, 0, stereo()));
    ASSERT_TRUE(graph.engine->connect(*forward, {{tripled.get(), 0}, {&mixer, 1}}, 0, stereo()));
    ASSERT_TRUE(graph.engine->connect(*doubled, mixer, 0, 0, stereo()));
    ASSERT_TRUE(graph.engine->connect(*tripled, mixer, 0, 2, stereo()));

    const auto out = graph.render(900);
    ASSERT_EQ(out.size(), 2u);
    for (std::uint32_t c = 0; c < 2; ++c) {
        const auto one = handOnExpected(900, c, 1.0f);
        for (std::size_t n = 0; n < one.size(); ++n)
            ASSERT_FLOAT_EQ(out[c][n], 2.0f * one[n] + one[n] + 3.0f * one[n]) << c << " " << n;
    }
    EXPECT_EQ(graph.renders->load(), 3);
}
