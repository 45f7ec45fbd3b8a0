#include "RozezEru/Nodes/Effects/Delay.h"
#include "RozezEru/Nodes/Effects/DistortionEffects.h"
#include "RozezEru/Nodes/Effects/DynamicsEffects.h"
#include "RozezEru/Nodes/Effects/FilterEffects.h"
#include "RozezEru/Nodes/Effects/NewPitch.h"
#include "RozezEru/Nodes/Effects/PlatformDistortion.h"
#include "RozezEru/Nodes/Effects/PlatformEffectPresets.h"
#include "RozezEru/Nodes/Effects/Reverb.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"
#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace rozezeru;

namespace {

using FxFactory = std::function<std::shared_ptr<PlatformEffectNode>(std::shared_ptr<Node>)>;

template <class Wrapper> std::pair<PlatformEffect, FxFactory> fxWrapper() {
    return {Wrapper::effect, [](std::shared_ptr<Node> input) { return std::make_shared<Wrapper>(input); }};
}

platform::AudioUnit& fxUnit(const Node& node) {
    return std::static_pointer_cast<platform::AudioUnitNode>(node.avAudioNode())->auAudioUnit();
}

float fxUnitValue(const Node& node, platform::AUParameterAddress address) {
    return fxUnit(node).parameterTree()->parameterWithAddress(address)->value();
}

} // namespace

TEST(PlatformEffectNodes, EveryWrapperBindsItsUnitsParametersInOrderAtTheirDefaultsAndClampsWrites) {
    const std::pair<PlatformEffect, FxFactory> wrappers[] = {
        fxWrapper<Delay>(),          fxWrapper<Decimator>(),       fxWrapper<Distortion>(),
        fxWrapper<RingModulator>(),  fxWrapper<Compressor>(),      fxWrapper<DynamicsProcessor>(),
        fxWrapper<Expander>(),       fxWrapper<PeakLimiter>(),     fxWrapper<BandPassFilter>(),
        fxWrapper<HighPassFilter>(), fxWrapper<HighShelfFilter>(), fxWrapper<LowPassFilter>(),
        fxWrapper<LowShelfFilter>(), fxWrapper<ParametricEQ>(),
    };
    for (const auto& [effect, make] : wrappers) {
        const auto input = testsupport::constantNode();
        const auto node = make(input);
        const auto other = make(input);
        SCOPED_TRACE(node->className());
        EXPECT_EQ(node->connections(), std::vector<std::shared_ptr<Node>>{input});
        EXPECT_EQ(fxUnit(*node).componentDescription(), platformEffectDescription(effect));
        const auto& defs = platformEffectParameterDefs(effect);
        const auto members = node->parameters();
        ASSERT_EQ(members.size(), defs.size());
        for (std::size_t i = 0; i < defs.size(); ++i) {
            const NodeParameterDef& def = defs[i];
            const auto& bound = members[i]->parameter();
            ASSERT_TRUE(bound) << def.identifier;
            EXPECT_EQ(std::tuple(bound->identifier(), bound->address(), bound->minValue(), bound->maxValue(),
                                 bound->flags(), members[i]->value()),
                      std::tuple(def.identifier, def.address, def.range.lowerBound, def.range.upperBound,
                                 def.flags, def.defaultValue));
            // The unit has one expansion threshold, in decibels, as the dynamics processor's definition says.
            EXPECT_EQ(bound->unit(), def.identifier == "expansionThreshold"
                                         ? platform::AudioUnitParameterUnit::decibels
                                         : def.unit);
            members[i]->setValue(def.range.lowerBound - 1000.0f);
            EXPECT_EQ(fxUnitValue(*node, def.address), def.range.lowerBound) << def.identifier;
            members[i]->setValue(def.range.upperBound + 1000.0f);
            EXPECT_EQ(members[i]->value(), def.range.upperBound) << def.identifier;
            EXPECT_EQ(other->parameters()[i]->value(), def.defaultValue) << def.identifier;
        }
        node->stop();
        EXPECT_FALSE(node->isStarted());
        node->start();
        EXPECT_TRUE(node->isStarted());
    }
}

TEST(PlatformEffectNodes, ConstructionValuesAndTheStagesTheDistortionWrappersSet) {
    const auto input = testsupport::constantNode();
    const Delay delay(input, 0.5f, 20, 8000, 60);
    EXPECT_EQ(std::tuple(delay.time.wrappedValue(), delay.feedback.wrappedValue(),
                         delay.lowPassCutoff.wrappedValue(), delay.dryWetMix.wrappedValue()),
              std::tuple(0.5f, 20.0f, 8000.0f, 60.0f));

    // Addresses: 2 delay mix, 5 decimation mix, 9 polynomial mix, 13 ring-modulator mix.
    const Decimator decimator(input, 70, 30, 80);
    EXPECT_EQ(std::tuple(fxUnitValue(decimator, 9), fxUnitValue(decimator, 13), fxUnitValue(decimator, 2),
                         fxUnitValue(decimator, 3), fxUnitValue(decimator, 4), fxUnitValue(decimator, 15)),
              std::tuple(0.0f, 0.0f, 0.0f, 70.0f, 30.0f, 80.0f));
    // The ring modulator rings: its own mix open, the other stages out.
    const RingModulator ring(input);
    EXPECT_EQ(
        std::tuple(fxUnitValue(ring, 13), fxUnitValue(ring, 2), fxUnitValue(ring, 5), fxUnitValue(ring, 9)),
        std::tuple(100.0f, 0.0f, 0.0f, 0.0f));
    const Distortion distortion(input);
    EXPECT_EQ(fxUnitValue(distortion, 13), 0.0f);
}

TEST(PlatformEffectNodes, DynamicsMetersReadTheUnitsMeters) {
    auto compressor = std::make_shared<Compressor>(testsupport::constantNode(0.5f));
    auto engine = testsupport::offlineToolkitEngine(compressor);
    testsupport::renderToolkit(*engine, 4096);
    // 0.5 is 6 dB below full scale and 14 dB over the threshold of -20 dB with 5 dB of head room.
    EXPECT_NEAR(compressor->inputAmplitude(), -6.02f, 0.05f);
    EXPECT_NEAR(compressor->compressionAmount(), -20.0f + 5.0f * 13.98f / 18.98f + 6.02f, 0.05f);
    EXPECT_NEAR(compressor->outputAmplitude(), -20.0f + 5.0f * 13.98f / 18.98f, 0.05f);
}

TEST(PlatformEffectNodes, PlatformDistortionStoresItsControlsAndPassesThemOn) {
    PlatformDistortion distortion(testsupport::constantNode(), 30, 10);
    EXPECT_EQ(std::tuple(distortion.dryWetMix(), distortion.preGain(), distortion.distAU().wetDryMix(),
                         distortion.distAU().preGain()),
              std::tuple(30.0f, 10.0f, 30.0f, 10.0f));
    distortion.loadFactoryPreset(platform::DistortionPreset::drumsLoFi);
    EXPECT_EQ(
        std::tuple(distortion.dryWetMix(), distortion.distAU().wetDryMix(), distortion.distAU().preGain()),
        std::tuple(30.0f, 80.0f, -3.0f));
    distortion.setPreGain(50);
    EXPECT_EQ(std::pair(distortion.preGain(), distortion.distAU().preGain()), std::pair(50.0f, 20.0f));
}

TEST(PlatformEffectNodes, ReverbClampsItsMixAndStopsByDrying) {
    Reverb reverb(testsupport::constantNode(), 2.0f);
    // Clamped in the initialiser as in the setter, so the unit never gets 200 %.
    EXPECT_EQ(std::pair(reverb.dryWetMix(), reverb.reverbAU().wetDryMix()), std::pair(1.0f, 100.0f));
    const std::pair<float, float> mixes[] = {{1.7f, 1.0f}, {-0.2f, 0.0f}, {0.25f, 0.25f}};
    for (auto [set, read] : mixes) {
        reverb.setDryWetMix(set);
        EXPECT_EQ(std::pair(reverb.dryWetMix(), reverb.reverbAU().wetDryMix()), std::pair(read, read * 100));
    }
    reverb.stop();
    EXPECT_EQ(
        std::tuple(reverb.isStarted(), reverb.reverbAU().wetDryMix(), reverb.reverbAU().shouldBypassEffect()),
        std::tuple(false, 0.0f, false));
    reverb.setDryWetMix(0.5f);
    EXPECT_EQ(std::pair(reverb.isStarted(), reverb.reverbAU().wetDryMix()), std::pair(false, 50.0f));
    reverb.bypass();
    reverb.play();
    EXPECT_EQ(std::pair(reverb.isStarted(), reverb.reverbAU().wetDryMix()), std::pair(true, 50.0f));
    reverb.loadFactoryPreset(platform::ReverbPreset::cathedral);
    EXPECT_EQ(std::pair(reverb.reverbAU().preset(), reverb.dryWetMix()),
              std::pair(platform::ReverbPreset::cathedral, 0.5f));
}

TEST(PlatformEffectNodes, PresetNamesAndNeighbours) {
    using platform::DistortionPreset, platform::ReverbPreset;
    EXPECT_EQ(name(DistortionPreset(0)), "Drums Bit Brush");
    EXPECT_EQ(name(DistortionPreset(20)), "Speech Radio Tower");
    EXPECT_EQ(name(DistortionPreset(22)), "Unknown");
    EXPECT_EQ(name(ReverbPreset(12)), "Large Hall 2");
    EXPECT_EQ(name(ReverbPreset(13)), "Unknown ");
    std::set<std::string> distortionNames, reverbNames;
    for (auto preset : allValues<DistortionPreset>())
        distortionNames.insert(name(preset));
    for (auto preset : allValues<ReverbPreset>())
        reverbNames.insert(name(preset));
    EXPECT_EQ(std::pair(distortionNames.size(), reverbNames.size()),
              std::pair(std::size_t(22), std::size_t(13)));

    EXPECT_EQ(next(ReverbPreset(12)), ReverbPreset(0));
    EXPECT_EQ(previous(DistortionPreset(0)), DistortionPreset(21));
    EXPECT_EQ(previous(ReverbPreset(5)), ReverbPreset(4));
    EXPECT_EQ(next(DistortionPreset(21)), DistortionPreset(0));
    const auto all = allValues<ReverbPreset>();
    allValues<ReverbPreset>().resize(5);
    EXPECT_EQ(std::pair(next(ReverbPreset(4)), previous(ReverbPreset(0))),
              std::pair(ReverbPreset(0), ReverbPreset(4)));
    allValues<ReverbPreset>().clear();
    EXPECT_EQ(std::pair(next(ReverbPreset(3)), previous(ReverbPreset(3))),
              std::pair(ReverbPreset(3), ReverbPreset(3)));
    allValues<ReverbPreset>() = all;
}

TEST(PlatformEffectNodes, NewPitchReachesTheUnitsPitch) {
    const auto input = testsupport::constantNode();
    NewPitch pitch(input);
    EXPECT_EQ(pitch.connections(), std::vector<std::shared_ptr<Node>>{input});
    EXPECT_EQ(pitch.pitch(), 0.0f);
    pitch.setPitch(5000.0f);
    EXPECT_EQ(pitch.pitch(), 2400.0f);
    pitch.stop();
    EXPECT_EQ(std::pair(pitch.isStarted(), fxUnit(pitch).shouldBypassEffect()), std::pair(false, true));
    pitch.start();
    EXPECT_TRUE(pitch.isStarted());
}
