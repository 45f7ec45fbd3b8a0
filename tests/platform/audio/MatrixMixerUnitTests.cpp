#include "tests/support/EngineRig.h"

#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/MatrixMixerUnit.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

Result<void> matrixTestSetCount(AudioUnit& unit, AudioUnitScope scope, std::uint32_t count) {
    return unit.setProperty(AudioUnitProperty::elementCount, scope, 0, std::as_bytes(std::span(&count, 1)));
}

} // namespace

TEST(MatrixMixerUnit, BusCountsFollowTheElementCount) {
    auto node = AudioComponentRegistry::shared().instantiate(MatrixMixerUnit::componentDescription()).value();
    AudioUnit& unit = node->auAudioUnit();
    ASSERT_TRUE(matrixTestSetCount(unit, AudioUnitScope::input, 3));
    EXPECT_EQ(node->numberOfInputs(), 3u);
    std::uint32_t count = 0;
    ASSERT_TRUE(unit.getProperty(AudioUnitProperty::elementCount, AudioUnitScope::input, 0,
                                 std::as_writable_bytes(std::span(&count, 1))));
    EXPECT_EQ(count, 3u);

    EXPECT_EQ(matrixTestSetCount(unit, AudioUnitScope::output, 2).error().code,
              AudioUnitErr::propertyNotWritable);
    EXPECT_EQ(matrixTestSetCount(unit, AudioUnitScope::global, 2).error().code, AudioUnitErr::invalidScope);
    using Refusal = std::tuple<AudioUnitParameterID, AudioUnitScope, AudioUnitElement, int>;
    const Refusal refusals[] = {
        {0, AudioUnitScope::global, MatrixMixerUnit::crosspointElement(64, 0), AudioUnitErr::invalidElement},
        {0, AudioUnitScope::output, 64, AudioUnitErr::invalidElement},
        {1, AudioUnitScope::input, 0, AudioUnitErr::invalidParameter},
    };
    for (const auto& [id, scope, element, code] : refusals) {
        EXPECT_EQ(unit.setParameter(id, scope, element, 1.0f).error().code, code) << element;
        EXPECT_EQ(unit.getParameter(id, scope, element).error().code, code) << element;
    }
}

TEST(MatrixMixerUnit, RendersTheMatrixSampleBySample) {
    using testsupport::stereo;
    auto engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    ASSERT_TRUE(engine->enableManualRenderingMode(stereo(), 256));
    auto node = std::make_shared<AudioUnitNode>(std::make_unique<MatrixMixerUnit>());
    auto input = [](std::uint32_t channel, std::int64_t n) {
        return channel == 0 ? float(n % 97) : -float(n % 13);
    };
    auto source = std::make_shared<SourceNode>(
        stereo(),
        [input, n = std::int64_t(0)](const AudioTime&, std::uint32_t frames, AudioBufferList& out) mutable {
            for (std::uint32_t i = 0; i < frames; ++i, ++n)
                for (std::uint32_t c = 0; c < 2; ++c)
                    out.floatData(c)[i] = input(c, n);
            return true;
        });
    for (auto added : std::vector<std::shared_ptr<AudioNode>>{node, source})
        ASSERT_TRUE(engine->attach(added));
    ASSERT_TRUE(engine->connect(*source, *node, stereo()));
    ASSERT_TRUE(engine->connect(*node, engine->outputNode(), stereo()));
    ASSERT_TRUE(engine->start());

    AudioUnit& unit = node->auAudioUnit();
    auto volume = [&](AudioUnitScope scope, AudioUnitElement element, float value) {
        ASSERT_TRUE(unit.setParameter(MatrixMixerUnit::volumeParameter, scope, element, value));
    };
    // Silent until opened up; then a swap, with channel 1 at half volume into a master of 2.
    EXPECT_EQ(testsupport::renderOfflineFrames(*engine, 100, 100)[0], std::vector<float>(100, 0.0f));
    for (std::uint32_t c = 0; c < 2; ++c) {
        volume(AudioUnitScope::input, c, c == 0 ? 1.0f : 0.5f);
        volume(AudioUnitScope::output, c, 1.0f);
    }
    volume(AudioUnitScope::global, MatrixMixerUnit::crosspointElement(0, 1), 1.0f);
    volume(AudioUnitScope::global, MatrixMixerUnit::crosspointElement(1, 0), 1.0f);
    volume(AudioUnitScope::global, MatrixMixerUnit::masterElement, 2.0f);
    const auto out = testsupport::renderOfflineFrames(*engine, 1000, 256);
    for (std::int64_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(out[0][i], input(1, i + 100)) << i;
        ASSERT_EQ(out[1][i], 2.0f * input(0, i + 100)) << i;
    }
}
