#include "SigproNodeRig.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/DSPInterface.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/AmplitudeEnvelope.h"
#include "SigproRozezEru/Effects/AutoPanner.h"
#include "SigproRozezEru/Effects/AutoWah.h"
#include "SigproRozezEru/Effects/Balancer.h"
#include "SigproRozezEru/Effects/BandPassButterworthFilter.h"
#include "SigproRozezEru/Effects/BandRejectButterworthFilter.h"
#include "SigproRozezEru/Effects/BitCrusher.h"
#include "SigproRozezEru/Effects/ChowningReverb.h"
#include "SigproRozezEru/Effects/Clipper.h"
#include "SigproRozezEru/Effects/CombFilterReverb.h"
#include "SigproRozezEru/Effects/Convolution.h"
#include "SigproRozezEru/Effects/CostelloReverb.h"
#include "SigproRozezEru/Effects/DCBlock.h"
#include "SigproRozezEru/Effects/DiodeLadderFilter.h"
#include "SigproRozezEru/Effects/DynamicRangeCompressor.h"
#include "SigproRozezEru/Effects/EqualizerFilter.h"
#include "SigproRozezEru/Effects/FlatFrequencyResponseReverb.h"
#include "SigproRozezEru/Effects/FormantFilter.h"
#include "SigproRozezEru/Effects/HighPassButterworthFilter.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/KorgLowPassFilter.h"
#include "SigproRozezEru/Effects/LowPassButterworthFilter.h"
#include "SigproRozezEru/Effects/LowShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/ModalResonanceFilter.h"
#include "SigproRozezEru/Effects/MoogLadder.h"
#include "SigproRozezEru/Effects/Panner.h"
#include "SigproRozezEru/Effects/PeakingParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/Phaser.h"
#include "SigproRozezEru/Effects/PitchShifter.h"
#include "SigproRozezEru/Effects/ResonantFilter.h"
#include "SigproRozezEru/Effects/RolandTB303Filter.h"
#include "SigproRozezEru/Effects/StringResonator.h"
#include "SigproRozezEru/Effects/TanhDistortion.h"
#include "SigproRozezEru/Effects/ThreePoleLowpassFilter.h"
#include "SigproRozezEru/Effects/ToneComplementFilter.h"
#include "SigproRozezEru/Effects/ToneFilter.h"
#include "SigproRozezEru/Effects/Tremolo.h"
#include "SigproRozezEru/Effects/VariableDelay.h"
#include "SigproRozezEru/Effects/ZitaReverb.h"
#include "platform/audio/AUParameterTree.h"
#include "tests/support/Signals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace rozezeru;
using namespace sigpronodetest;

namespace {

using Unit = platform::AudioUnitParameterUnit;
constexpr Unit gen = Unit::generic, pct = Unit::percent, sec = Unit::seconds, frames = Unit::sampleFrames,
               hz = Unit::hertz, semitones = Unit::relativeSemiTones, bpm = Unit::BPM;

struct ExpectedParameter {
    const char* identifier;
    const char* name;
    float defaultValue, lower, upper;
    Unit unit;
};

using Maker = std::function<std::shared_ptr<EffectNode>(std::shared_ptr<Node> input)>;

struct EffectClass {
    const char* className;
    const char* subtype;
    Maker make;
    std::vector<ExpectedParameter> parameters;
};

template <class Effect> Maker make() {
    return [](std::shared_ptr<Node> input) { return std::make_shared<Effect>(std::move(input)); };
}

Maker balancer() {
    return [](std::shared_ptr<Node> input) {
        return std::make_shared<Balancer>(std::move(input),
                                          std::make_shared<SignalNode>([](std::int64_t) { return 0.25f; }));
    };
}

Maker convolution() {
    return [](std::shared_ptr<Node> input) {
        static const testsupport::TemporaryFolder folder("vantle-effects");
        const std::string path = folder.file("impulse.wav");
        EXPECT_TRUE(
            testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {{1.0f, 0.5f}}, 44100));
        return std::make_shared<Convolution>(std::move(input), platform::Url::fileURLWithPath(path));
    };
}

// Every effect class with its parameters as the library's documentation gives them.
const std::vector<EffectClass>& effectClasses() {
    static const std::vector<EffectClass> classes{
        {"AmplitudeEnvelope",
         "adsr",
         make<AmplitudeEnvelope>(),
         {
             {"attackDuration", "Attack time", 0.1f, 0, 99, sec},
             {"decayDuration", "Decay time", 0.1f, 0, 99, sec},
             {"sustainLevel", "Sustain Level", 1, 0, 99, gen},
             {"releaseDuration", "Release time", 0.1f, 0, 99, sec},
         }},
        {"AutoPanner",
         "apan",
         make<AutoPanner>(),
         {
             {"frequency", "Frequency", 10, 0, 100, hz},
             {"depth", "Depth", 1, 0, 1, gen},
         }},
        {"AutoWah",
         "awah",
         make<AutoWah>(),
         {
             {"wah", "Wah Amount", 0, 0, 1, pct},
             {"mix", "Dry/Wet Mix", 1, 0, 1, pct},
             {"amplitude", "Overall level", 0.1f, 0, 1, pct},
         }},
        {"Balancer", "blnc", balancer(), {}},
        {"BandPassButterworthFilter",
         "btbp",
         make<BandPassButterworthFilter>(),
         {
             {"centerFrequency", "Center Frequency", 2000, 12, 20000, hz},
             {"bandwidth", "Bandwidth", 100, 0, 20000, hz},
         }},
        {"BandRejectButterworthFilter",
         "btbr",
         make<BandRejectButterworthFilter>(),
         {
             {"centerFrequency", "Center Frequency", 3000, 12, 20000, hz},
             {"bandwidth", "Bandwidth", 2000, 0, 20000, hz},
         }},
        {"BitCrusher",
         "btcr",
         make<BitCrusher>(),
         {
             {"bitDepth", "Bit Depth", 8, 1, 24, gen},
             {"sampleRate", "Sample Rate", 10000, 0, 20000, hz},
         }},
        {"ChowningReverb",
         "jcrv",
         make<ChowningReverb>(),
         {
             {"balance", "Balance", 1, 0, 1, pct},
         }},
        {"Clipper",
         "clip",
         make<Clipper>(),
         {
             {"limit", "Threshold", 1, 0, 1, gen},
         }},
        {"CombFilterReverb",
         "comb",
         make<CombFilterReverb>(),
         {
             {"reverbDuration", "Reverb duration", 1, 0, 10, sec},
         }},
        {"Convolution", "conv", convolution(), {}},
        {"CostelloReverb",
         "rvsc",
         make<CostelloReverb>(),
         {
             {"feedback", "Feedback", 0.6f, 0, 1, pct},
             {"cutoffFrequency", "Cutoff Frequency", 4000, 12, 20000, hz},
             {"balance", "Balance", 1, 0, 1, pct},
         }},
        {"DCBlock", "dcbk", make<DCBlock>(), {}},
        {"DiodeLadderFilter",
         "diod",
         make<DiodeLadderFilter>(),
         {
             {"cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
             {"resonance", "Resonance", 0.5f, 0, 1, gen},
         }},
        {"DynamicRangeCompressor",
         "cpsr",
         make<DynamicRangeCompressor>(),
         {
             {"ratio", "Ratio", 1, 0.01f, 100, hz},
             {"threshold", "Threshold", 0, -100, 0, gen},
             {"attackDuration", "Attack duration", 0.1f, 0, 1, sec},
             {"releaseDuration", "Release duration", 0.1f, 0, 1, sec},
         }},
        {"EqualizerFilter",
         "eqfl",
         make<EqualizerFilter>(),
         {
             {"centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
             {"bandwidth", "Bandwidth", 100, 0, 20000, hz},
             {"gain", "Gain", 1, 0, 20, gen},
         }},
        {"FlatFrequencyResponseReverb",
         "alps",
         make<FlatFrequencyResponseReverb>(),
         {
             {"reverbDuration", "Reverb duration", 0.5f, 0, 10, sec},
         }},
        {"FormantFilter",
         "fofi",
         make<FormantFilter>(),
         {
             {"centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
             {"attackDuration", "Attack duration", 0.007f, 0, 0.1f, sec},
             {"decayDuration", "Decay duration", 0.04f, 0, 0.1f, sec},
         }},
        {"HighPassButterworthFilter",
         "bthp",
         make<HighPassButterworthFilter>(),
         {
             {"cutoffFrequency", "Cutoff Frequency", 500, 12, 20000, hz},
         }},
        {"HighShelfParametricEqualizerFilter",
         "peq2",
         make<HighShelfParametricEqualizerFilter>(),
         {
             {"centerFrequency", "Corner Frequency", 1000, 12, 20000, hz},
             {"gain", "Gain", 1, 0, 10, gen},
             {"q", "Q", 0.707f, 0, 2, gen},
         }},
        {"KorgLowPassFilter",
         "klpf",
         make<KorgLowPassFilter>(),
         {
             {"cutoffFrequency", "Filter cutoff", 1000, 0, 22050, hz},
             {"resonance", "Resonance", 1, 0, 2, gen},
             {"saturation", "Saturation", 0, 0, 10, gen},
         }},
        {"LowPassButterworthFilter",
         "btlp",
         make<LowPassButterworthFilter>(),
         {
             {"cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
         }},
        {"LowShelfParametricEqualizerFilter",
         "peq1",
         make<LowShelfParametricEqualizerFilter>(),
         {
             {"cornerFrequency", "Corner Frequency", 1000, 12, 20000, hz},
             {"gain", "Gain", 1, 0, 10, gen},
             {"q", "Q", 0.707f, 0, 2, gen},
         }},
        {"ModalResonanceFilter",
         "modf",
         make<ModalResonanceFilter>(),
         {
             {"frequency", "Resonant Frequency", 500, 12, 20000, hz},
             {"qualityFactor", "Quality Factor", 50, 0, 100, gen},
         }},
        {"MoogLadder",
         "mgld",
         make<MoogLadder>(),
         {
             {"cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
             {"resonance", "Resonance", 0.5f, 0, 2, pct},
         }},
        {"Panner",
         "pan2",
         make<Panner>(),
         {
             {"pan", "Pan", 0, -1, 1, gen},
         }},
        {"PeakingParametricEqualizerFilter",
         "peq0",
         make<PeakingParametricEqualizerFilter>(),
         {
             {"centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
             {"gain", "Gain", 1, 0, 10, gen},
             {"q", "Q", 0.707f, 0, 2, gen},
         }},
        {"Phaser",
         "phas",
         make<Phaser>(),
         {
             {"notchMinimumFrequency", "Min notch frequency", 100, 20, 5000, hz},
             {"notchMaximumFrequency", "Max notch frequency", 800, 20, 10000, hz},
             {"notchWidth", "Notch width", 1000, 10, 5000, hz},
             {"notchFrequency", "Notch frequency", 1.5f, 1.1f, 4, hz},
             {"vibratoMode", "Vibrato mode", 1, 0, 1, gen},
             {"depth", "Depth", 1, 0, 1, gen},
             {"feedback", "Feedback", 0, 0, 1, gen},
             {"inverted", "Inversion", 0, 0, 1, gen},
             {"lfoBPM", "LFO Frequency", 30, 24, 360, bpm},
         }},
        {"PitchShifter",
         "pshf",
         make<PitchShifter>(),
         {
             {"shift", "Shift", 0, -24, 24, semitones},
             {"windowSize", "Window size", 1024, 0, 10000, frames},
             {"crossfade", "Crossfade", 512, 0, 10000, frames},
         }},
        {"ResonantFilter",
         "resn",
         make<ResonantFilter>(),
         {
             {"frequency", "Frequency", 4000, 100, 20000, hz},
             {"bandwidth", "Bandwidth of the filter.", 1000, 0, 10000, hz},
         }},
        {"RolandTB303Filter",
         "tb3f",
         make<RolandTB303Filter>(),
         {
             {"cutoffFrequency", "Cutoff Frequency", 500, 12, 20000, hz},
             {"resonance", "Resonance", 0.5f, 0, 2, gen},
             {"distortion", "Distortion", 2, 0, 4, gen},
             {"resonanceAsymmetry", "Resonance Asymmetry", 0.5f, 0, 1, pct},
         }},
        {"StringResonator",
         "stre",
         make<StringResonator>(),
         {
             {"fundamentalFrequency", "Fundamental Frequency", 100, 12, 10000, hz},
             {"feedback", "Feedback", 0.95f, 0, 1, pct},
         }},
        {"TanhDistortion",
         "dist",
         make<TanhDistortion>(),
         {
             {"pregain", "Pregain", 2, 0, 10, gen},
             {"postgain", "Postgain", 0.5f, 0, 10, gen},
             {"positiveShapeParameter", "Positive Shape Parameter", 0, -10, 10, gen},
             {"negativeShapeParameter", "Negative Shape Parameter", 0, -10, 10, gen},
         }},
        {"ThreePoleLowpassFilter",
         "lp18",
         make<ThreePoleLowpassFilter>(),
         {
             {"distortion", "Distortion", 0.5f, 0, 2, pct},
             {"cutoffFrequency", "Cutoff Frequency", 1500, 12, 20000, hz},
             {"resonance", "Resonance", 0.5f, 0, 2, pct},
         }},
        {"ToneComplementFilter",
         "aton",
         make<ToneComplementFilter>(),
         {
             {"halfPowerPoint", "Half-Power Point", 1000, 12, 20000, hz},
         }},
        {"ToneFilter",
         "tone",
         make<ToneFilter>(),
         {
             {"halfPowerPoint", "Half-Power Point", 1000, 12, 20000, hz},
         }},
        {"Tremolo",
         "trem",
         make<Tremolo>(),
         {
             {"frequency", "Frequency", 10, 0, 100, hz},
             {"depth", "Depth", 1, 0, 1, pct},
         }},
        {"VariableDelay",
         "vdla",
         make<VariableDelay>(),
         {
             {"time", "Delay time", 0, 0, 10, sec},
             {"feedback", "Feedback", 0, 0, 1, gen},
         }},
        {"ZitaReverb",
         "zita",
         make<ZitaReverb>(),
         {
             {"predelay", "PreDelay", 60, 10, 100, gen},
             {"crossoverFrequency", "Crossover frequency", 200, 50, 1000, hz},
             {"lowReleaseTime", "Low release time", 3, 1, 8, sec},
             {"midReleaseTime", "Mid Release Time", 2, 1, 8, sec},
             {"dampingFrequency", "Damping Frequency", 6000, 1500, 47040, hz},
             {"equalizerFrequency1", "EQ Frequency 1", 315, 40, 2500, hz},
             {"equalizerLevel1", "EQ Level 1", 0, -15, 15, gen},
             {"equalizerFrequency2", "EQ Frequency 2", 1500, 160, 10000, hz},
             {"equalizerLevel2", "EQ Level 2", 0, -15, 15, gen},
             {"dryWetMix", "Dry Wet Mix", 1, 0, 1, pct},
         }},
    };
    return classes;
}

} // namespace

TEST(EffectNodeLibrary, EveryClassHasItsDefinitionsClampsBypassesRendersAndAutomates) {
    const std::vector<float> noise = testsupport::noise(8192, 7, 0.5f);
    for (const EffectClass& effect : effectClasses()) {
        SCOPED_TRACE(effect.className);
        const auto input =
            std::make_shared<SignalNode>([&noise](std::int64_t n) { return noise[std::size_t(n)]; });
        const std::shared_ptr<EffectNode> node = effect.make(input);
        EXPECT_EQ(node->className(), effect.className);
        EXPECT_EQ(node->connections().front(), input);
        RozezEruAU& unit = rozezEruAU(*node);
        EXPECT_EQ(unit.componentDescription().componentType, fourCC("aumf"));
        EXPECT_EQ(unit.componentDescription().componentSubType, fourCC(effect.subtype));

        const auto parameters = node->parameters();
        ASSERT_EQ(parameters.size(), effect.parameters.size());
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const ExpectedParameter& e = effect.parameters[address];
            SCOPED_TRACE(e.identifier);
            const NodeParameterDef& def = parameters[address]->def();
            EXPECT_EQ(def.identifier, e.identifier);
            EXPECT_EQ(def.name, e.name);
            EXPECT_EQ(def.address, address);
            EXPECT_EQ(def.defaultValue, e.defaultValue);
            EXPECT_EQ(def.range.lowerBound, e.lower);
            EXPECT_EQ(def.range.upperBound, e.upper);
            EXPECT_EQ(def.unit, e.unit);
            EXPECT_EQ(def.flags, 0xC2000000u);
            EXPECT_EQ(unit.parameterTree()->allParameters()[address]->identifier(), e.identifier);
            EXPECT_EQ(parameters[address]->value(), e.defaultValue);
        }

        auto engine = offlineToolkitEngine(node);
        node->stop();
        const auto bypassed = renderToolkit(*engine, 1024);
        for (const auto& channel : bypassed)
            EXPECT_EQ(channel, std::vector<float>(noise.begin(), noise.begin() + 1024));
        node->start();
        for (const auto& channel : renderToolkit(*engine, 4096))
            EXPECT_TRUE(
                std::all_of(channel.begin(), channel.end(), [](float x) { return std::isfinite(x); }));

        // A ramp reaches the kernel in the next render cycle; writes reach it at once, clamped.
        const auto rampTarget = [](const ExpectedParameter& e) {
            return e.lower + 0.3f * (e.upper - e.lower);
        };
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const ExpectedParameter& e = effect.parameters[address];
            EXPECT_NE(rzGetParameterValue(unit.dsp(), address), rampTarget(e)) << e.identifier;
            parameters[address]->ramp(rampTarget(e), 0.005f);
        }
        renderToolkit(*engine, 512);
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const ExpectedParameter& e = effect.parameters[address];
            SCOPED_TRACE(e.identifier);
            EXPECT_EQ(rzGetParameterValue(unit.dsp(), address), rampTarget(e));
            for (const auto& [written, stored] : {std::pair{2.0f * e.upper - e.lower, e.upper},
                                                  std::pair{2.0f * e.lower - e.upper - 1.0f, e.lower}}) {
                parameters[address]->setValue(written);
                EXPECT_EQ(parameters[address]->value(), stored);
                EXPECT_EQ(rzGetParameterValue(unit.dsp(), address), stored);
            }
        }
    }
}
