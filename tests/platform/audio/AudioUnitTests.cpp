#include "AudioUnitTestRig.h"

#include "platform/audio/PcmBuffer.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace platform;
using namespace unittest;

namespace {

// One mono input holding `value`, for rendering a unit outside an engine.
class ConstantMonoInput final : public AudioUnitPullInput {
public:
    explicit ConstantMonoInput(float value)
        : buffer_(PcmBuffer::make(*AudioFormat::standard(44100.0, 1), 1024)) {
        std::fill_n(buffer_->channel(0), 1024, value);
    }
    RenderStatus pull(std::uint32_t bus, AUAudioFrameCount frames,
                      const AudioBufferList*& data) const override {
        if (bus != 0) return RenderStatus::notConnected;
        list_ = buffer_->bufferList(frames);
        data = &list_;
        return RenderStatus::success;
    }

private:
    std::unique_ptr<PcmBuffer> buffer_;
    mutable AudioBufferList list_;
};

void fillList(AudioBufferList& list, std::uint32_t frames, float value) {
    for (std::uint32_t c = 0; c < list.numberBuffers; ++c)
        std::fill_n(list.floatData(c), frames, value);
}

bool listHolds(const AudioBufferList& list, std::uint32_t channel, std::uint32_t frames, float value) {
    for (std::uint32_t i = 0; i < frames; ++i)
        if (list.floatData(channel)[i] != value) return false;
    return true;
}

} // namespace

TEST(AudioUnit, BussesFormatsAndRenderResources) {
    GainTestUnit unit;
    ASSERT_EQ(unit.inputBusCount(), 1u);
    ASSERT_EQ(unit.outputBusCount(), 1u);
    EXPECT_EQ(std::tuple(unit.inputBus(0).busType(), unit.outputBus(0).busType(), unit.outputBus(0).format(),
                         unit.maximumFramesToRender()),
              std::tuple(AudioUnitBusType::input, AudioUnitBusType::output, unitStereo(), 512u));
    EXPECT_FALSE(unit.renderResourcesAllocated());

    // Busses carry what the engine carries.
    auto interleaved =
        unit.inputBus(0).setFormat(*AudioFormat::make(CommonFormat::pcmFloat32, 44100.0, 2, true));
    ASSERT_FALSE(interleaved);
    EXPECT_NE(interleaved.error().message.find("non-interleaved 32-bit float"), std::string::npos);
    EXPECT_FALSE(unit.inputBus(0).setFormat(*AudioFormat::make(CommonFormat::pcmInt16, 44100.0, 2, false)));
    EXPECT_FALSE(unit.inputBus(0).setFormat(AudioFormat()));
    EXPECT_EQ(unit.inputBus(0).format(), unitStereo());

    // Allocation checks the channel capabilities (equal counts here) and one rate for all busses.
    ASSERT_TRUE(unit.inputBus(0).setFormat(*AudioFormat::standard(44100.0, 1)));
    auto mismatch = unit.allocateRenderResources();
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error().message, "The audio unit does not support 1 input and 2 output channels");
    ASSERT_TRUE(unit.inputBus(0).setFormat(unitStereo(48000.0)));
    auto rates = unit.allocateRenderResources();
    ASSERT_FALSE(rates);
    EXPECT_EQ(rates.error().message, "The busses of an audio unit must share one sample rate");
    EXPECT_EQ(unit.allocations.load(), 0);

    // The unit may decline a format.
    unit.requiredRate = 44100.0;
    auto declined = unit.outputBus(0).setFormat(unitStereo(48000.0));
    ASSERT_FALSE(declined);
    EXPECT_EQ(declined.error().message,
              "The audio unit does not accept <2 ch, 48000 Hz, Float32, deinterleaved> on output bus 0");
    ASSERT_TRUE(unit.inputBus(0).setFormat(unitStereo()));

    ASSERT_TRUE(unit.allocateRenderResources());
    EXPECT_TRUE(unit.renderResourcesAllocated());
    ASSERT_TRUE(unit.allocateRenderResources());
    EXPECT_EQ(unit.allocations.load(), 1);
    // Nothing the render thread relies on changes while allocated.
    EXPECT_FALSE(unit.outputBus(0).setFormat(unitStereo()));
    EXPECT_FALSE(unit.setMaximumFramesToRender(1024));

    unit.deallocateRenderResources();
    unit.deallocateRenderResources();
    EXPECT_EQ(unit.deallocations.load(), 1);
    EXPECT_FALSE(unit.renderResourcesAllocated());
    EXPECT_FALSE(unit.setMaximumFramesToRender(0));
    ASSERT_TRUE(unit.setMaximumFramesToRender(1024));
    EXPECT_EQ(unit.maximumFramesToRender(), 1024u);

    // Capabilities: any input with two outputs.
    unit.capabilities = {-2, 2};
    ASSERT_TRUE(unit.inputBus(0).setFormat(*AudioFormat::standard(44100.0, 1)));
    EXPECT_TRUE(unit.allocateRenderResources());
}

TEST(AudioUnit, RendersOutsideAnEngineAndRefusesWhatItCannotRender) {
    GainTestUnit generator(GainTestUnit::generatorDescription(), 0);
    auto buffer = PcmBuffer::make(unitStereo(), 1024);
    AudioBufferList list = buffer->bufferList(256);

    auto renderAtZero = [&](AUAudioFrameCount frames, std::uint32_t bus, AudioBufferList& out) {
        return generator.render(AudioTime::withSampleTime(0, 44100.0), frames, bus, out,
                                AudioUnitPullInput::none());
    };

    // Not allocated: an error, and silence rather than stale samples.
    fillList(list, 256, 7.0f);
    EXPECT_EQ(renderAtZero(256, 0, list), RenderStatus::error);
    EXPECT_TRUE(listHolds(list, 0, 256, 0.0f));

    ASSERT_TRUE(generator.allocateRenderResources());
    EXPECT_EQ(renderAtZero(256, 0, list), RenderStatus::success);
    EXPECT_TRUE(listHolds(list, 0, 256, 1.0f));
    EXPECT_TRUE(listHolds(list, 1, 256, 1.0f));
    generator.gain().setValue(0.5f);
    // Without a sample time the unit counts its own frames, so events still find their frame.
    ASSERT_TRUE(generator.scheduleParameterRamp(300, 0, GainTestUnit::gainAddress, 0.125f));
    std::int64_t seenSampleTime = -1;
    generator.tokenByAddingRenderObserver([&](AudioUnitRenderActionFlags, const AudioTime& when,
                                              AUAudioFrameCount,
                                              std::uint32_t) { seenSampleTime = when.sampleTime(); });
    ASSERT_EQ(generator.render(AudioTime::withHostTime(5), 256, 0, list, AudioUnitPullInput::none()),
              RenderStatus::success);
    EXPECT_EQ(seenSampleTime, 256);
    EXPECT_TRUE(listHolds(list, 1, 44, 0.5f));
    EXPECT_EQ(list.floatData(1)[44], 0.125f);

    // More frames than the limit, an output list of another width, a bus the unit lacks.
    AudioBufferList wide = buffer->bufferList(600);
    EXPECT_EQ(renderAtZero(600, 0, wide), RenderStatus::error);
    AudioBufferList narrow = list;
    narrow.numberBuffers = 1;
    EXPECT_EQ(renderAtZero(256, 0, narrow), RenderStatus::error);
    EXPECT_EQ(renderAtZero(256, 1, list), RenderStatus::error);
    EXPECT_TRUE(listHolds(list, 0, 256, 0.0f));

    // An effect copies what its input has; channels the input lacks are silent.
    GainTestUnit effect;
    ASSERT_TRUE(effect.allocateRenderResources());
    effect.gain().setValue(0.25f);
    const ConstantMonoInput input(2.0f);
    ASSERT_EQ(effect.render(AudioTime::withSampleTime(0, 44100.0), 256, 0, list, input),
              RenderStatus::success);
    EXPECT_TRUE(listHolds(list, 0, 256, 0.5f));
    EXPECT_TRUE(listHolds(list, 1, 256, 0.0f));
    ASSERT_EQ(
        effect.render(AudioTime::withSampleTime(256, 44100.0), 256, 0, list, AudioUnitPullInput::none()),
        RenderStatus::success);
    EXPECT_TRUE(listHolds(list, 0, 256, 0.0f));
}

TEST(AudioUnitNode, ConfiguresItsUnitForTheGraph) {
    const AudioFormat mono = *AudioFormat::standard(44100.0, 1);
    auto owned = std::make_unique<GainTestUnit>();
    GainTestUnit* unit = owned.get();
    auto node = std::make_shared<AudioUnitNode>(std::move(owned));
    EXPECT_EQ(node->numberOfInputs(), 1u);
    EXPECT_EQ(node->numberOfOutputs(), 1u);
    EXPECT_EQ(node->inputFormat(0), unitStereo());

    AudioEngine engine(std::make_unique<NullAudioDevice>());
    ASSERT_TRUE(engine.enableManualRenderingMode(mono, 1024));
    auto source = testsupport::makeSource(mono, [](std::int64_t) { return 0.5f; });
    ASSERT_TRUE(engine.attach(source.node));
    ASSERT_TRUE(engine.attach(node));
    ASSERT_TRUE(engine.connect(*source.node, *node, 0, 0, mono));
    ASSERT_TRUE(engine.connect(*node, engine.outputNode(), 0, 0, mono));
    EXPECT_FALSE(unit->renderResourcesAllocated()); // attached, not started

    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(unit->renderResourcesAllocated());
    EXPECT_FALSE(node->configurationError());
    EXPECT_EQ(unit->inputBus(0).format(), mono);
    EXPECT_EQ(unit->outputBus(0).format(), mono);
    EXPECT_EQ(unit->maximumFramesToRender(), 1024u); // grown to the engine's slice
    unit->gain().setValue(2.0f);
    auto out = testsupport::renderOfflineFrames(engine, 2048, 1024);
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].size(), 2048u);
    for (float sample : out[0])
        ASSERT_EQ(sample, 1.0f);

    // New plans that leave the unit's formats alone do not reallocate it; reset reaches it.
    engine.reset();
    EXPECT_EQ(unit->allocations.load(), 1);
    EXPECT_EQ(unit->resets.load(), 1);

    // A unit that cannot take the connection's format renders silence and says why.
    auto stereoOnly = std::make_unique<GainTestUnit>();
    stereoOnly->capabilities = {2, 2};
    auto rig = makeUnitRig(std::move(stereoOnly), mono, 256, [](std::int64_t) { return 0.5f; });
    ASSERT_TRUE(rig.node->configurationError());
    EXPECT_EQ(rig.node->configurationError()->message,
              "The audio unit does not support 1 input and 1 output channels");
    auto buffer = PcmBuffer::make(mono, 256);
    auto status = rig.engine->renderOffline(256, *buffer);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, ManualRenderingStatus::error);
    EXPECT_EQ(buffer->channel(0)[0], 0.0f);
}

TEST(AudioUnitNode, BypassPassesInputThroughUnchanged) {
    auto signal = [](std::int64_t n) { return float((n * 7919) % 2001 - 1000) / 1000.0f; };
    auto rig = makeUnitRig(std::make_unique<GainTestUnit>(), unitStereo(), 512, signal);
    rig.unit->gain().setValue(0.25f);
    rig.unit->setShouldBypassEffect(true);
    auto bypassed = testsupport::renderOfflineFrames(*rig.engine, 1500, 512);
    ASSERT_EQ(bypassed.size(), 2u);
    ASSERT_EQ(bypassed[0].size(), 1500u);
    for (std::int64_t n = 0; n < 1500; ++n) {
        ASSERT_EQ(bypassed[0][n], signal(n)) << n;
        ASSERT_EQ(bypassed[1][n], signal(n)) << n;
    }
    EXPECT_EQ(rig.unit->renders.load(), 0);

    rig.unit->setShouldBypassEffect(false);
    auto processed = testsupport::renderOfflineFrames(*rig.engine, 512, 512);
    for (std::int64_t n = 0; n < 512; ++n)
        ASSERT_FLOAT_EQ(processed[0][n], signal(1500 + n) * 0.25f) << n;

    // A bypassed generator is silent.
    auto generatorRig = makeUnitRig(std::make_unique<GainTestUnit>(GainTestUnit::generatorDescription(), 0),
                                    unitStereo(), 512, [](std::int64_t) { return 0.0f; });
    EXPECT_EQ(generatorRig.node->numberOfInputs(), 0u);
    auto sounding = testsupport::renderOfflineFrames(*generatorRig.engine, 512, 512);
    EXPECT_EQ(sounding[0][100], 1.0f);
    generatorRig.unit->setShouldBypassEffect(true);
    auto silent = testsupport::renderOfflineFrames(*generatorRig.engine, 512, 512);
    for (float sample : silent[1])
        ASSERT_EQ(sample, 0.0f);
}
