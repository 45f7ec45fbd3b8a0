#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"

#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

std::unique_ptr<AudioEngine> offlineEngine(const AudioFormat& format, std::uint32_t maximumFrames = 1024) {
    auto engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    EXPECT_TRUE(engine->enableManualRenderingMode(format, maximumFrames));
    return engine;
}

float rampValue(std::int64_t n) {
    return float(n % 1000) / 1000.0f - 0.5f;
}

} // namespace

TEST(ManualRendering, MixerAppliesVolumesAndBalanceExactly) {
    auto engine = offlineEngine(stereo());
    MixerNode& mixer = engine->mainMixerNode();
    auto monoRamp = makeSource(mono(), rampValue);
    auto stereoRamp = makeSource(stereo(), [](std::int64_t n) { return float(n % 7) * 0.125f; });
    ASSERT_TRUE(engine->attach(monoRamp.node));
    ASSERT_TRUE(engine->attach(stereoRamp.node));
    ASSERT_TRUE(engine->connect(*monoRamp.node, mixer, 0, 0, std::nullopt));
    ASSERT_TRUE(engine->connect(*stereoRamp.node, mixer, 0, 1, std::nullopt));
    mixer.setInputVolume(0, 0.5f);
    mixer.setInputPan(0, 0.25f); // left 0.75, right 1
    mixer.setInputVolume(1, 0.25f);
    mixer.setInputPan(1, -1.0f); // left 1, right 0
    mixer.setOutputVolume(2.0f);
    mixer.setPan(-0.5f); // left 1, right 0.5
    ASSERT_TRUE(engine->start());

    auto out = renderOfflineFrames(*engine, 3000, 512);
    ASSERT_EQ(out.size(), 2u);
    ASSERT_EQ(out[0].size(), 3000u);
    for (std::int64_t n = 0; n < 3000; ++n) {
        const float m = rampValue(n), s = float(n % 7) * 0.125f;
        const float left = (0.5f * 0.75f * m + 0.25f * s) * 2.0f;
        const float right = (0.5f * m) * 1.0f;
        ASSERT_FLOAT_EQ(out[0][n], left) << n;
        ASSERT_FLOAT_EQ(out[1][n], right) << n;
    }
    EXPECT_EQ(monoRamp.renders->load(), 6); // once per cycle

    for (const auto& [balance, left, right] :
         {std::tuple(1.0f, 0.0f, 1.0f), {0.0f, 1.0f, 1.0f}, {-0.5f, 1.0f, 0.5f}})
        EXPECT_EQ(std::pair(balanceGains(balance).left, balanceGains(balance).right), std::pair(left, right))
            << balance;
}

TEST(ManualRendering, ChannelMappingToTheOutputFormat) {
    // A stereo mixer into a mono manual format: the output node averages the two channels.
    auto engine = offlineEngine(mono());
    auto source = makeSource(stereo(), [](std::int64_t n) { return float(n); });
    // Different values per channel: a pass-through in front gives channel 1 silence.
    auto gate = std::make_shared<PassThroughNode>(stereo());
    ASSERT_TRUE(engine->attach(source.node));
    ASSERT_TRUE(engine->attach(gate));
    ASSERT_TRUE(engine->connect(*source.node, *gate, 0, 0, mono()));
    ASSERT_TRUE(engine->connect(*gate, engine->mainMixerNode(), 0, 0, stereo()));
    ASSERT_TRUE(engine->start());
    auto out = renderOfflineFrames(*engine, 64, 64);
    ASSERT_EQ(out.size(), 1u);
    // mono source -> pass-through copies channel 0, channel 1 silent -> mixer (stereo) -> mono average.
    for (int n = 0; n < 64; ++n)
        ASSERT_FLOAT_EQ(out[0][n], float(n) * 0.5f) << n;

    // A mono source straight into a stereo output fills both channels.
    auto stereoEngine = offlineEngine(stereo());
    auto monoSource = makeSource(mono(), [](std::int64_t n) { return float(n) * 0.01f; });
    ASSERT_TRUE(stereoEngine->attach(monoSource.node));
    ASSERT_TRUE(stereoEngine->connect(*monoSource.node, stereoEngine->outputNode(), 0, 0, std::nullopt));
    ASSERT_TRUE(stereoEngine->start());
    auto both = renderOfflineFrames(*stereoEngine, 32, 32);
    ASSERT_EQ(both.size(), 2u);
    for (int n = 0; n < 32; ++n) {
        ASSERT_FLOAT_EQ(both[0][n], float(n) * 0.01f);
        ASSERT_FLOAT_EQ(both[1][n], float(n) * 0.01f);
    }
}

TEST(ManualRendering, SharedSourceRendersOncePerCycle) {
    auto engine = offlineEngine(stereo(), 256);
    auto source = makeSource(stereo(), [](std::int64_t n) { return float(n % 100) * 0.01f; });
    auto left = std::make_shared<PassThroughNode>(stereo());
    auto right = std::make_shared<PassThroughNode>(stereo());
    MixerNode& mixer = engine->mainMixerNode();
    for (auto node : std::vector<std::shared_ptr<AudioNode>>{source.node, left, right})
        ASSERT_TRUE(engine->attach(node));
    ASSERT_TRUE(
        engine->connect(*source.node, {{left.get(), 0}, {right.get(), 0}, {&mixer, 2}}, 0, std::nullopt));
    ASSERT_TRUE(engine->connect(*left, mixer, 0, 0, std::nullopt));
    ASSERT_TRUE(engine->connect(*right, mixer, 0, 1, std::nullopt));
    ASSERT_TRUE(engine->start());

    auto out = renderOfflineFrames(*engine, 256 * 10, 256);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(source.renders->load(), 10);
    EXPECT_EQ(left->renders.load(), 10);
    EXPECT_EQ(right->renders.load(), 10);
    // Every path saw the same frames: three copies of the source, not three successive stretches.
    for (std::int64_t n = 0; n < 2560; ++n)
        ASSERT_FLOAT_EQ(out[0][n], 3.0f * (float(n % 100) * 0.01f)) << n;
}

TEST(ManualRendering, ResampledInputKeepsItsFrequency) {
    using Case = std::tuple<double, double, double, std::uint32_t>;
    for (const auto& [sourceRate, outputRate, frequency, channels] :
         {Case{48000, 44100, 1000, 1}, Case{44100, 48000, 1000, 2}, Case{22050, 44100, 441, 1},
          Case{96000, 44100, 3000, 2}}) {
        SCOPED_TRACE(std::to_string(sourceRate) + " -> " + std::to_string(outputRate));
        auto engine = offlineEngine(stereo(outputRate), 512);
        auto sine = makeSine(*AudioFormat::standard(sourceRate, channels), frequency);
        ASSERT_TRUE(engine->attach(sine.node));
        ASSERT_TRUE(engine->connect(*sine.node, engine->mainMixerNode(), std::nullopt));
        ASSERT_TRUE(engine->start());
        const auto frames = std::uint32_t(outputRate); // one second
        auto out = renderOfflineFrames(*engine, frames, 512);
        ASSERT_EQ(out.size(), 2u);
        const std::size_t settle = 512;

        EXPECT_NEAR(zeroCrossingFrequency(out[0], settle, outputRate), frequency, frequency * 0.001);
        // Wrongly converted audio would land at frequency * outputRate / sourceRate.
        const double wrong = frequency * sourceRate / outputRate;
        EXPECT_GT(goertzelPower(out[0], settle, frequency, outputRate),
                  100.0 * goertzelPower(out[0], settle, wrong, outputRate));
        // No gaps: a 0.5 sine never moves further between samples than its steepest slope allows.
        const double steepest = 0.5 * 2.0 * std::numbers::pi * frequency / outputRate;
        float biggestStep = 0.0f, peak = 0.0f;
        for (std::size_t i = settle; i < out[0].size(); ++i) {
            biggestStep = std::max(biggestStep, std::abs(out[0][i] - out[0][i - 1]));
            peak = std::max(peak, std::abs(out[0][i]));
        }
        EXPECT_LT(biggestStep, steepest * 1.05);
        EXPECT_NEAR(peak, 0.5f, 0.01f);
        // The source was pulled at its own rate: about one second of its frames.
        EXPECT_NEAR(double(sine.frames->load()), sourceRate, sourceRate * 0.01);
        EXPECT_GT(engine->renderCapacity(*sine.node), 512u * sourceRate / outputRate);
    }
}

TEST(ManualRendering, StatusesAndSampleTime) {
    auto engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    auto buffer = PcmBuffer::make(stereo(), 1024);

    auto notManual = engine->renderOffline(256, *buffer);
    EXPECT_FALSE(notManual);
    EXPECT_FALSE(engine->enableManualRenderingMode(stereo(), 0));
    EXPECT_FALSE(engine->enableManualRenderingMode(stereo(), AudioEngine::maximumManualFrameCount + 1));
    EXPECT_FALSE(
        engine->enableManualRenderingMode(*AudioFormat::make(CommonFormat::pcmInt16, 44100, 2, false), 512));
    ASSERT_TRUE(engine->start());                                   // on the null device
    EXPECT_FALSE(engine->enableManualRenderingMode(stereo(), 512)); // must be stopped first
    engine->stop();
    ASSERT_TRUE(engine->enableManualRenderingMode(stereo(), 512));
    EXPECT_TRUE(engine->isInManualRenderingMode());
    EXPECT_EQ(engine->manualRenderingFormat(), stereo());
    EXPECT_EQ(engine->manualRenderingMaximumFrameCount(), 512u);
    EXPECT_EQ(engine->outputNode().outputFormat(0), stereo());

    EXPECT_FALSE(engine->renderOffline(256, *buffer)); // not started
    ASSERT_TRUE(engine->start());
    EXPECT_FALSE(engine->renderOffline(513, *buffer)); // over the maximum
    auto monoBuffer = PcmBuffer::make(mono(), 1024);
    EXPECT_FALSE(engine->renderOffline(256, *monoBuffer));
    auto small = PcmBuffer::make(stereo(), 100);
    EXPECT_FALSE(engine->renderOffline(256, *small));

    // An empty graph renders silence successfully and advances the timeline.
    buffer->channel(0)[0] = 1.0f;
    auto status = engine->renderOffline(256, *buffer);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, ManualRenderingStatus::success);
    EXPECT_EQ(buffer->frameLength(), 256u);
    EXPECT_EQ(buffer->channel(0)[0], 0.0f);
    EXPECT_EQ(engine->manualRenderingSampleTime(), 256);
    ASSERT_TRUE(engine->renderOffline(100, *buffer));
    EXPECT_EQ(engine->manualRenderingSampleTime(), 356);
    EXPECT_FALSE(engine->disableManualRenderingMode()); // running
    engine->pause();
    EXPECT_EQ(engine->manualRenderingSampleTime(), 356);
    ASSERT_TRUE(engine->start());
    EXPECT_EQ(engine->manualRenderingSampleTime(), 356);
    engine->stop();
    EXPECT_EQ(engine->manualRenderingSampleTime(), 0);

    // A failing node makes the cycle an error; its audio is silence.
    auto failing = std::make_shared<SourceNode>(
        stereo(), [](const AudioTime&, std::uint32_t, AudioBufferList&) { return false; });
    ASSERT_TRUE(engine->attach(failing));
    ASSERT_TRUE(engine->connect(*failing, engine->mainMixerNode(), std::nullopt));
    ASSERT_TRUE(engine->start());
    auto failed = engine->renderOffline(128, *buffer);
    ASSERT_TRUE(failed);
    EXPECT_EQ(*failed, ManualRenderingStatus::error);
    engine->detach(*failing);
    EXPECT_EQ(*engine->renderOffline(128, *buffer), ManualRenderingStatus::success);

    // A render started while another is under way cannot run.
    std::optional<ManualRenderingStatus> nested;
    auto nestedBuffer = PcmBuffer::make(stereo(), 64);
    AudioEngine* raw = engine.get();
    auto reentrant =
        std::make_shared<SourceNode>(stereo(), [&](const AudioTime&, std::uint32_t, AudioBufferList& out) {
            if (auto inner = raw->renderOffline(64, *nestedBuffer)) nested = *inner;
            for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                out.floatData(c)[0] = 0.0f;
            return true;
        });
    ASSERT_TRUE(engine->attach(reentrant));
    ASSERT_TRUE(engine->connect(*reentrant, engine->mainMixerNode(), std::nullopt));
    EXPECT_EQ(*engine->renderOffline(64, *buffer), ManualRenderingStatus::success);
    ASSERT_TRUE(nested);
    EXPECT_EQ(*nested, ManualRenderingStatus::cannotDoInCurrentContext);

    engine->stop();
    ASSERT_TRUE(engine->disableManualRenderingMode());
    EXPECT_FALSE(engine->isInManualRenderingMode());
    EXPECT_EQ(engine->outputNode().outputFormat(0), engine->outputDevice().outputFormat());
}

TEST(ManualRendering, InputNodeBlockFeedsTheGraph) {
    auto engine = offlineEngine(mono(), 256);
    std::vector<float> samples(300);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(i) * 0.001f;
    std::size_t position = 0;
    AudioBufferList supply;
    InputNode& input = engine->inputNode();
    EXPECT_FALSE(input.setManualRenderingInputBlock(
        *AudioFormat::make(CommonFormat::pcmFloat32, 44100, 2, true), nullptr));
    ASSERT_TRUE(
        input.setManualRenderingInputBlock(mono(), [&](std::uint32_t frames) -> const AudioBufferList* {
            if (position + frames > samples.size()) return nullptr;
            supply.numberBuffers = 1;
            supply.buffers[0] = {1, std::uint32_t(frames * sizeof(float)), samples.data() + position};
            position += frames;
            return &supply;
        }));
    EXPECT_EQ(input.outputFormat(0), mono());
    ASSERT_TRUE(engine->connect(input, engine->mainMixerNode(), std::nullopt));
    ASSERT_TRUE(engine->start());

    auto buffer = PcmBuffer::make(mono(), 256);
    EXPECT_EQ(*engine->renderOffline(200, *buffer), ManualRenderingStatus::success);
    for (int i = 0; i < 200; ++i)
        ASSERT_FLOAT_EQ(buffer->channel(0)[i], float(i) * 0.001f);
    EXPECT_EQ(*engine->renderOffline(200, *buffer), ManualRenderingStatus::insufficientDataFromInputNode);
    EXPECT_EQ(buffer->channel(0)[0], 0.0f);
}

TEST(ManualRendering, RenderTimesShareOneTimeline) {
    auto engine = offlineEngine(stereo(), 512);
    auto sine = makeSine(stereo(48000), 440.0);
    auto idle = makeSine(stereo(), 440.0);
    auto effect = std::make_shared<PassThroughNode>(stereo(48000));
    for (auto node : std::vector<std::shared_ptr<AudioNode>>{sine.node, idle.node, effect})
        ASSERT_TRUE(engine->attach(node));
    ASSERT_TRUE(engine->connect(*sine.node, *effect, 0, 0, std::nullopt));
    ASSERT_TRUE(engine->connect(*effect, engine->mainMixerNode(), std::nullopt));
    EXPECT_FALSE(sine.node->lastRenderTime()); // not running
    ASSERT_TRUE(engine->start());
    EXPECT_FALSE(sine.node->lastRenderTime()); // not rendered yet

    auto buffer = PcmBuffer::make(stereo(), 512);
    ASSERT_TRUE(engine->renderOffline(512, *buffer));
    ASSERT_TRUE(engine->renderOffline(300, *buffer));
    for (AudioNode* node : {static_cast<AudioNode*>(sine.node.get()), static_cast<AudioNode*>(effect.get()),
                            static_cast<AudioNode*>(&engine->mainMixerNode()),
                            static_cast<AudioNode*>(&engine->outputNode())}) {
        auto time = node->lastRenderTime();
        ASSERT_TRUE(time) << node->typeName();
        EXPECT_TRUE(time->isSampleTimeValid());
        EXPECT_FALSE(time->isHostTimeValid());
        EXPECT_EQ(time->sampleTime(), 512);
        EXPECT_EQ(time->sampleRate(), 44100.0);
    }
    EXPECT_FALSE(idle.node->lastRenderTime()); // not connected to the output
    engine->stop();
    EXPECT_FALSE(sine.node->lastRenderTime());
    ASSERT_TRUE(engine->start());
    EXPECT_FALSE(sine.node->lastRenderTime()); // a new run starts without render times
    ASSERT_TRUE(engine->renderOffline(100, *buffer));
    EXPECT_EQ(sine.node->lastRenderTime()->sampleTime(), 0);
}

TEST(ManualRendering, RenderPathDoesNotAllocate) {
    traptest::ScopedTrapHooks hooks;
    auto engine = offlineEngine(stereo(), 1024);
    MixerNode& mixer = engine->mainMixerNode();
    auto resampled = makeSine(mono(48000), 1000.0);
    auto direct = makeSine(stereo(), 500.0);
    auto effect = std::make_shared<PassThroughNode>(stereo());
    for (auto node : std::vector<std::shared_ptr<AudioNode>>{resampled.node, direct.node, effect})
        ASSERT_TRUE(engine->attach(node));
    ASSERT_TRUE(engine->connect(*resampled.node, mixer, std::nullopt));
    ASSERT_TRUE(engine->connect(*direct.node, {{effect.get(), 0}, {&mixer, 1}}, 0, std::nullopt));
    ASSERT_TRUE(engine->connect(*effect, mixer, 0, 2, std::nullopt));
    mixer.setInputPan(0, 0.3f);
    ASSERT_TRUE(engine->start());
    auto buffer = PcmBuffer::make(stereo(), 1024);

    testsupport::AllocationTrap::resetCounts();
    for (std::uint32_t frames : {1024u, 1u, 333u, 1000u, 512u})
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(*engine->renderOffline(frames, *buffer), ManualRenderingStatus::success);
    EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 100u);
    traptest::expectNoRenderAllocations();

    // The trap itself catches allocations on a marked thread.
    {
        testsupport::ScopedRenderThread marked;
        auto leak = std::make_unique<int>(1);
        EXPECT_EQ(*leak, 1);
    }
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 1u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 1u);
    if (testsupport::AllocationTrap::countsMalloc()) {
        testsupport::ScopedRenderThread marked;
        void* volatile block = std::malloc(64);
        std::free(block);
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 2u);
    }
}
