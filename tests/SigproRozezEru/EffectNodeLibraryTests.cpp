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
    const char* className;
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

const std::vector<EffectClass>& effectClasses() {
    static const std::vector<EffectClass> classes{
        {"AmplitudeEnvelope", "adsr", make<AmplitudeEnvelope>()},
        {"AutoPanner", "apan", make<AutoPanner>()},
        {"AutoWah", "awah", make<AutoWah>()},
        {"Balancer", "blnc", balancer()},
        {"BandPassButterworthFilter", "btbp", make<BandPassButterworthFilter>()},
        {"BandRejectButterworthFilter", "btbr", make<BandRejectButterworthFilter>()},
        {"BitCrusher", "btcr", make<BitCrusher>()},
        {"ChowningReverb", "jcrv", make<ChowningReverb>()},
        {"Clipper", "clip", make<Clipper>()},
        {"CombFilterReverb", "comb", make<CombFilterReverb>()},
        {"Convolution", "conv", convolution()},
        {"CostelloReverb", "rvsc", make<CostelloReverb>()},
        {"DCBlock", "dcbk", make<DCBlock>()},
        {"DiodeLadderFilter", "diod", make<DiodeLadderFilter>()},
        {"DynamicRangeCompressor", "cpsr", make<DynamicRangeCompressor>()},
        {"EqualizerFilter", "eqfl", make<EqualizerFilter>()},
        {"FlatFrequencyResponseReverb", "alps", make<FlatFrequencyResponseReverb>()},
        {"FormantFilter", "fofi", make<FormantFilter>()},
        {"HighPassButterworthFilter", "bthp", make<HighPassButterworthFilter>()},
        {"HighShelfParametricEqualizerFilter", "peq2", make<HighShelfParametricEqualizerFilter>()},
        {"KorgLowPassFilter", "klpf", make<KorgLowPassFilter>()},
        {"LowPassButterworthFilter", "btlp", make<LowPassButterworthFilter>()},
        {"LowShelfParametricEqualizerFilter", "peq1", make<LowShelfParametricEqualizerFilter>()},
        {"ModalResonanceFilter", "modf", make<ModalResonanceFilter>()},
        {"MoogLadder", "mgld", make<MoogLadder>()},
        {"Panner", "pan2", make<Panner>()},
        {"PeakingParametricEqualizerFilter", "peq0", make<PeakingParametricEqualizerFilter>()},
        {"Phaser", "phas", make<Phaser>()},
        {"PitchShifter", "pshf", make<PitchShifter>()},
        {"ResonantFilter", "resn", make<ResonantFilter>()},
        {"RolandTB303Filter", "tb3f", make<RolandTB303Filter>()},
        {"StringResonator", "stre", make<StringResonator>()},
        {"TanhDistortion", "dist", make<TanhDistortion>()},
        {"ThreePoleLowpassFilter", "lp18", make<ThreePoleLowpassFilter>()},
        {"ToneComplementFilter", "aton", make<ToneComplementFilter>()},
        {"ToneFilter", "tone", make<ToneFilter>()},
        {"Tremolo", "trem", make<Tremolo>()},
        {"VariableDelay", "vdla", make<VariableDelay>()},
        {"ZitaReverb", "zita", make<ZitaReverb>()},
    };
    return classes;
}

// Every class's parameters in address order, as the library's documentation gives them.
const std::vector<ExpectedParameter> allParameters{
    {"AmplitudeEnvelope", "attackDuration", "Attack time", 0.1f, 0, 99, sec},
    {"AmplitudeEnvelope", "decayDuration", "Decay time", 0.1f, 0, 99, sec},
    {"AmplitudeEnvelope", "sustainLevel", "Sustain Level", 1, 0, 99, gen},
    {"AmplitudeEnvelope", "releaseDuration", "Release time", 0.1f, 0, 99, sec},
    {"AutoPanner", "frequency", "Frequency", 10, 0, 100, hz},
    {"AutoPanner", "depth", "Depth", 1, 0, 1, gen},
    {"AutoWah", "wah", "Wah Amount", 0, 0, 1, pct},
    {"AutoWah", "mix", "Dry/Wet Mix", 1, 0, 1, pct},
    {"AutoWah", "amplitude", "Overall level", 0.1f, 0, 1, pct},
    {"BandPassButterworthFilter", "centerFrequency", "Center Frequency", 2000, 12, 20000, hz},
    {"BandPassButterworthFilter", "bandwidth", "Bandwidth", 100, 0, 20000, hz},
    {"BandRejectButterworthFilter", "centerFrequency", "Center Frequency", 3000, 12, 20000, hz},
    {"BandRejectButterworthFilter", "bandwidth", "Bandwidth", 2000, 0, 20000, hz},
    {"BitCrusher", "bitDepth", "Bit Depth", 8, 1, 24, gen},
    {"BitCrusher", "sampleRate", "Sample Rate", 10000, 0, 20000, hz},
    {"ChowningReverb", "balance", "Balance", 1, 0, 1, pct},
    {"Clipper", "limit", "Threshold", 1, 0, 1, gen},
    {"CombFilterReverb", "reverbDuration", "Reverb duration", 1, 0, 10, sec},
    {"CostelloReverb", "feedback", "Feedback", 0.6f, 0, 1, pct},
    {"CostelloReverb", "cutoffFrequency", "Cutoff Frequency", 4000, 12, 20000, hz},
    {"CostelloReverb", "balance", "Balance", 1, 0, 1, pct},
    {"DiodeLadderFilter", "cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
    {"DiodeLadderFilter", "resonance", "Resonance", 0.5f, 0, 1, gen},
    {"DynamicRangeCompressor", "ratio", "Ratio", 1, 0.01f, 100, hz},
    {"DynamicRangeCompressor", "threshold", "Threshold", 0, -100, 0, gen},
    {"DynamicRangeCompressor", "attackDuration", "Attack duration", 0.1f, 0, 1, sec},
    {"DynamicRangeCompressor", "releaseDuration", "Release duration", 0.1f, 0, 1, sec},
    {"EqualizerFilter", "centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
    {"EqualizerFilter", "bandwidth", "Bandwidth", 100, 0, 20000, hz},
    {"EqualizerFilter", "gain", "Gain", 1, 0, 20, gen},
    {"FlatFrequencyResponseReverb", "reverbDuration", "Reverb duration", 0.5f, 0, 10, sec},
    {"FormantFilter", "centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
    {"FormantFilter", "attackDuration", "Attack duration", 0.007f, 0, 0.1f, sec},
    {"FormantFilter", "decayDuration", "Decay duration", 0.04f, 0, 0.1f, sec},
    {"HighPassButterworthFilter", "cutoffFrequency", "Cutoff Frequency", 500, 12, 20000, hz},
    {"HighShelfParametricEqualizerFilter", "centerFrequency", "Corner Frequency", 1000, 12, 20000, hz},
    {"HighShelfParametricEqualizerFilter", "gain", "Gain", 1, 0, 10, gen},
    {"HighShelfParametricEqualizerFilter", "q", "Q", 0.707f, 0, 2, gen},
    {"KorgLowPassFilter", "cutoffFrequency", "Filter cutoff", 1000, 0, 22050, hz},
    {"KorgLowPassFilter", "resonance", "Resonance", 1, 0, 2, gen},
    {"KorgLowPassFilter", "saturation", "Saturation", 0, 0, 10, gen},
    {"LowPassButterworthFilter", "cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
    {"LowShelfParametricEqualizerFilter", "cornerFrequency", "Corner Frequency", 1000, 12, 20000, hz},
    {"LowShelfParametricEqualizerFilter", "gain", "Gain", 1, 0, 10, gen},
    {"LowShelfParametricEqualizerFilter", "q", "Q", 0.707f, 0, 2, gen},
    {"ModalResonanceFilter", "frequency", "Resonant Frequency", 500, 12, 20000, hz},
    {"ModalResonanceFilter", "qualityFactor", "Quality Factor", 50, 0, 100, gen},
    {"MoogLadder", "cutoffFrequency", "Cutoff Frequency", 1000, 12, 20000, hz},
    {"MoogLadder", "resonance", "Resonance", 0.5f, 0, 2, pct},
    {"Panner", "pan", "Pan", 0, -1, 1, gen},
    {"PeakingParametricEqualizerFilter", "centerFrequency", "Center Frequency", 1000, 12, 20000, hz},
    {"PeakingParametricEqualizerFilter", "gain", "Gain", 1, 0, 10, gen},
    {"PeakingParametricEqualizerFilter", "q", "Q", 0.707f, 0, 2, gen},
    {"Phaser", "notchMinimumFrequency", "Min notch frequency", 100, 20, 5000, hz},
    {"Phaser", "notchMaximumFrequency", "Max notch frequency", 800, 20, 10000, hz},
    {"Phaser", "notchWidth", "Notch width", 1000, 10, 5000, hz},
    {"Phaser", "notchFrequency", "Notch frequency", 1.5f, 1.1f, 4, hz},
    {"Phaser", "vibratoMode", "Vibrato mode", 1, 0, 1, gen},
    {"Phaser", "depth", "Depth", 1, 0, 1, gen},
    {"Phaser", "feedback", "Feedback", 0, 0, 1, gen},
    {"Phaser", "inverted", "Inversion", 0, 0, 1, gen},
    {"Phaser", "lfoBPM", "LFO Frequency", 30, 24, 360, bpm},
    {"PitchShifter", "shift", "Shift", 0, -24, 24, semitones},
    {"PitchShifter", "windowSize", "Window size", 1024, 0, 10000, frames},
    {"PitchShifter", "crossfade", "Crossfade", 512, 0, 10000, frames},
    {"ResonantFilter", "frequency", "Frequency", 4000, 100, 20000, hz},
    {"ResonantFilter", "bandwidth", "Bandwidth of the filter.", 1000, 0, 10000, hz},
    {"RolandTB303Filter", "cutoffFrequency", "Cutoff Frequency", 500, 12, 20000, hz},
    {"RolandTB303Filter", "resonance", "Resonance", 0.5f, 0, 2, gen},
    {"RolandTB303Filter", "distortion", "Distortion", 2, 0, 4, gen},
    {"RolandTB303Filter", "resonanceAsymmetry", "Resonance Asymmetry", 0.5f, 0, 1, pct},
    {"StringResonator", "fundamentalFrequency", "Fundamental Frequency", 100, 12, 10000, hz},
    {"StringResonator", "feedback", "Feedback", 0.95f, 0, 1, pct},
    {"TanhDistortion", "pregain", "Pregain", 2, 0, 10, gen},
    {"TanhDistortion", "postgain", "Postgain", 0.5f, 0, 10, gen},
    {"TanhDistortion", "positiveShapeParameter", "Positive Shape Parameter", 0, -10, 10, gen},
    {"TanhDistortion", "negativeShapeParameter", "Negative Shape Parameter", 0, -10, 10, gen},
    {"ThreePoleLowpassFilter", "distortion", "Distortion", 0.5f, 0, 2, pct},
    {"ThreePoleLowpassFilter", "cutoffFrequency", "Cutoff Frequency", 1500, 12, 20000, hz},
    {"ThreePoleLowpassFilter", "resonance", "Resonance", 0.5f, 0, 2, pct},
    {"ToneComplementFilter", "halfPowerPoint", "Half-Power Point", 1000, 12, 20000, hz},
    {"ToneFilter", "halfPowerPoint", "Half-Power Point", 1000, 12, 20000, hz},
    {"Tremolo", "frequency", "Frequency", 10, 0, 100, hz},
    {"Tremolo", "depth", "Depth", 1, 0, 1, pct},
    {"VariableDelay", "time", "Delay time", 0, 0, 10, sec},
    {"VariableDelay", "feedback", "Feedback", 0, 0, 1, gen},
    {"ZitaReverb", "predelay", "PreDelay", 60, 10, 100, gen},
    {"ZitaReverb", "crossoverFrequency", "Crossover frequency", 200, 50, 1000, hz},
    {"ZitaReverb", "lowReleaseTime", "Low release time", 3, 1, 8, sec},
    {"ZitaReverb", "midReleaseTime", "Mid Release Time", 2, 1, 8, sec},
    {"ZitaReverb", "dampingFrequency", "Damping Frequency", 6000, 1500, 47040, hz},
    {"ZitaReverb", "equalizerFrequency1", "EQ Frequency 1", 315, 40, 2500, hz},
    {"ZitaReverb", "equalizerLevel1", "EQ Level 1", 0, -15, 15, gen},
    {"ZitaReverb", "equalizerFrequency2", "EQ Frequency 2", 1500, 160, 10000, hz},
    {"ZitaReverb", "equalizerLevel2", "EQ Level 2", 0, -15, 15, gen},
    {"ZitaReverb", "dryWetMix", "Dry Wet Mix", 1, 0, 1, pct},
};

std::vector<ExpectedParameter> parametersOf(const std::string& className) {
    std::vector<ExpectedParameter> parameters;
    for (const ExpectedParameter& p : allParameters)
        if (p.className == className) parameters.push_back(p);
    return parameters;
}

} // namespace

TEST(EffectNodeLibrary, EveryClassHasItsDefinitionsBypassesAndRampsItsKernel) {
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
        const std::vector<ExpectedParameter> expected = parametersOf(effect.className);
        ASSERT_EQ(parameters.size(), expected.size());
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const ExpectedParameter& e = expected[address];
            SCOPED_TRACE(e.identifier);
            const NodeParameterDef& def = parameters[address]->def();
            EXPECT_EQ(std::tuple(def.identifier, def.name, def.address, def.defaultValue,
                                 def.range.lowerBound, def.range.upperBound, def.unit, def.flags),
                      std::tuple(e.identifier, e.name, address, e.defaultValue, e.lower, e.upper, e.unit,
                                 0xC2000000u));
            EXPECT_EQ(unit.parameterTree()->allParameters()[address]->identifier(), e.identifier);
            EXPECT_EQ(parameters[address]->value(), e.defaultValue);
        }

        auto engine = offlineToolkitEngine(node);
        node->stop();
        const auto bypassed = renderToolkit(*engine, 1024);
        for (const auto& channel : bypassed)
            EXPECT_EQ(channel, std::vector<float>(noise.begin(), noise.begin() + 1024));
        node->start();

        // A ramp reaches the kernel in the next render cycle; how writes are clamped to the ranges above is
        // the node parameter's to show.
        const auto rampTarget = [](const ExpectedParameter& e) {
            return e.lower + 0.3f * (e.upper - e.lower);
        };
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const ExpectedParameter& e = expected[address];
            EXPECT_NE(rzGetParameterValue(unit.dsp(), address), rampTarget(e)) << e.identifier;
            parameters[address]->ramp(rampTarget(e), 0.005f);
        }
        renderToolkit(*engine, 512);
        for (std::size_t address = 0; address < parameters.size(); ++address)
            EXPECT_EQ(rzGetParameterValue(unit.dsp(), address), rampTarget(expected[address]))
                << expected[address].identifier;
    }
}
