#pragma once
// The effect kernels as the tests (and the kernel benchmark) see them: one row per code with its node
// class, parameters and the node's defaults; a pull input that serves given stereo signals bus by bus;
// and a kernel made ready at its defaults. Test thread.

#include "ShelfReference.h"
#include "tests/support/Signals.h"

#include "RozezEruEX/DSPRegistry.h"
#include "Sigpro/kernels/SigproKernels.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace effecttest {

using testsupport::noise;
using shelftest::Stereo;

enum class Shape { pair, stereo, own };

struct KernelRow {
    const char* code;
    const char* nodeClass;
    // Names and the node's default values, in address order.
    std::vector<std::pair<const char*, float>> parameters;
    Shape shape;
    // A parameter whose change shows in the output at the defaults, and the value it changes to.
    std::size_t probe = 0;
    float probeValue = 0.0f;
    // A value the probe needs in another parameter (address, value), where the defaults mask the probe.
    std::optional<std::pair<std::size_t, float>> probeSetting = std::nullopt;
};

inline const std::vector<KernelRow>& effectKernelRows() {
    constexpr Shape pair = Shape::pair, stereo = Shape::stereo, own = Shape::own;
    using Setting = std::pair<std::size_t, float>;
    // clang-format off
    static const std::vector<KernelRow> rows{
        {"adsr", "AmplitudeEnvelope", {{"AttackDuration", 0.1f}, {"DecayDuration", 0.1f}, {"SustainLevel", 1},
            {"ReleaseDuration", 0.1f}}, own, 2, 0.5f, Setting{0, 0.001f}},
        {"apan", "AutoPanner", {{"Frequency", 10}, {"Depth", 1}}, own, 0, 3},
        {"awah", "AutoWah", {{"Wah", 0}, {"Mix", 1}, {"Amplitude", 0.1f}}, pair, 0, 0.8f},
        {"blnc", "Balancer", {}, own},
        {"btbp", "BandPassButterworthFilter", {{"CenterFrequency", 2000}, {"Bandwidth", 100}}, pair, 0, 500},
        {"btbr", "BandRejectButterworthFilter", {{"CenterFrequency", 3000}, {"Bandwidth", 2000}}, pair, 0,
            500},
        {"btcr", "BitCrusher", {{"BitDepth", 8}, {"SampleRate", 10000}}, pair, 0, 4},
        {"jcrv", "ChowningReverb", {{"Balance", 1}}, pair, 0, 0.3f},
        {"clip", "Clipper", {{"Limit", 1}}, pair, 0, 0.2f},
        {"comb", "CombFilterReverb", {{"ReverbDuration", 1}}, pair, 0, 0.2f},
        {"conv", "Convolution", {}, own},
        {"rvsc", "CostelloReverb", {{"Feedback", 0.6f}, {"CutoffFrequency", 4000}, {"Balance", 1}}, stereo, 0,
            0.9f},
        {"dcbk", "DCBlock", {}, pair},
        {"diod", "DiodeLadderFilter", {{"CutoffFrequency", 1000}, {"Resonance", 0.5f}}, pair, 0, 300},
        {"cpsr", "DynamicRangeCompressor", {{"Ratio", 1}, {"Threshold", 0}, {"AttackDuration", 0.1f},
            {"ReleaseDuration", 0.1f}}, pair, 1, -30, Setting{0, 4}},
        {"eqfl", "EqualizerFilter", {{"CenterFrequency", 1000}, {"Bandwidth", 100}, {"Gain", 1}}, pair, 2, 4},
        {"alps", "FlatFrequencyResponseReverb", {{"ReverbDuration", 0.5f}}, pair, 0, 2},
        {"fofi", "FormantFilter", {{"CenterFrequency", 1000}, {"AttackDuration", 0.007f},
            {"DecayDuration", 0.04f}}, pair, 0, 300},
        {"bthp", "HighPassButterworthFilter", {{"CutoffFrequency", 500}}, pair, 0, 2000},
        {"peq2", "HighShelfParametricEqualizerFilter", {{"CenterFrequency", 1000}, {"Gain", 1},
            {"Q", 0.707f}}, pair, 1, 4},
        {"klpf", "KorgLowPassFilter", {{"CutoffFrequency", 1000}, {"Resonance", 1}, {"Saturation", 0}}, pair,
            0, 300},
        {"btlp", "LowPassButterworthFilter", {{"CutoffFrequency", 1000}}, pair, 0, 300},
        {"peq1", "LowShelfParametricEqualizerFilter", {{"CornerFrequency", 1000}, {"Gain", 1}, {"Q", 0.707f}},
            pair, 1, 4},
        {"modf", "ModalResonanceFilter", {{"Frequency", 500}, {"QualityFactor", 50}}, pair, 0, 1500},
        {"mgld", "MoogLadder", {{"CutoffFrequency", 1000}, {"Resonance", 0.5f}}, pair, 0, 300},
        {"pan2", "Panner", {{"Pan", 0}}, stereo, 0, 0.7f},
        {"peq0", "PeakingParametricEqualizerFilter", {{"CenterFrequency", 1000}, {"Gain", 1}, {"Q", 0.707f}},
            pair, 1, 4},
        {"phas", "Phaser", {{"NotchMinimumFrequency", 100}, {"NotchMaximumFrequency", 800},
            {"NotchWidth", 1000}, {"NotchFrequency", 1.5f}, {"VibratoMode", 1}, {"Depth", 1}, {"Feedback", 0},
            {"Inverted", 0}, {"LfoBPM", 30}}, stereo, 0, 400},
        {"pshf", "PitchShifter", {{"Shift", 0}, {"WindowSize", 1024}, {"Crossfade", 512}}, pair, 0, 5},
        {"resn", "ResonantFilter", {{"Frequency", 4000}, {"Bandwidth", 1000}}, pair, 0, 1000},
        {"tb3f", "RolandTB303Filter", {{"CutoffFrequency", 500}, {"Resonance", 0.5f}, {"Distortion", 2},
            {"ResonanceAsymmetry", 0.5f}}, pair, 0, 2000},
        {"stre", "StringResonator", {{"FundamentalFrequency", 100}, {"Feedback", 0.95f}}, pair, 0, 300},
        {"dist", "TanhDistortion", {{"Pregain", 2}, {"Postgain", 0.5f}, {"PositiveShapeParameter", 0},
            {"NegativeShapeParameter", 0}}, pair, 0, 5},
        {"lp18", "ThreePoleLowpassFilter", {{"Distortion", 0.5f}, {"CutoffFrequency", 1500},
            {"Resonance", 0.5f}}, pair, 0, 1.5f},
        {"aton", "ToneComplementFilter", {{"HalfPowerPoint", 1000}}, pair, 0, 3000},
        {"tone", "ToneFilter", {{"HalfPowerPoint", 1000}}, pair, 0, 3000},
        {"trem", "Tremolo", {{"Frequency", 10}, {"Depth", 1}}, own, 0, 3},
        {"vdla", "VariableDelay", {{"Time", 0}, {"Feedback", 0}}, pair, 0, 0.01f},
        {"zita", "ZitaReverb", {{"Predelay", 60}, {"CrossoverFrequency", 200}, {"LowReleaseTime", 3},
            {"MidReleaseTime", 2}, {"DampingFrequency", 6000}, {"EqualizerFrequency1", 315},
            {"EqualizerLevel1", 0}, {"EqualizerFrequency2", 1500}, {"EqualizerLevel2", 0}, {"DryWetMix", 1}},
            stereo, 9, 0.3f},
    };
    // clang-format on
    return rows;
}

// One cycle of a sine, lifted to 0 ... 1: the auto-panner's and the tremolo's table.
inline std::vector<float> liftedSine(std::size_t points = 1024) {
    std::vector<float> table(points);
    for (std::size_t n = 0; n < points; ++n)
        table[n] = float(0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * double(n) / double(points)));
    return table;
}

// A kernel of `row` at its node defaults, initialized at 44100 Hz; the wavetable kernels get their table
// (a short noise impulse for the convolution).
inline std::unique_ptr<rozezeru::DSPBase> readyKernel(const KernelRow& row) {
    sigpro::registerSigproKernels();
    auto dsp = rozezeru::create(row.code);
    for (std::size_t address = 0; address < row.parameters.size(); ++address)
        dsp->setParameter(address, row.parameters[address].second, false);
    const std::string code = row.code;
    if (code == "apan" || code == "trem") rozezeru::rzSetWavetable(dsp.get(), liftedSine().data(), 1024, 0);
    if (code == "conv") {
        const std::vector<float> impulse = noise(256, 9u);
        rozezeru::rzSetWavetable(dsp.get(), impulse.data(), impulse.size(), 0);
        sigpro::rzConvolutionSetPartitionLength(dsp.get(), 256);
    }
    dsp->init(2, 44100.0);
    return dsp;
}

// Serves, for each bus, the frames of its stereo signal from `position` on (one signal per bus pulled).
class SignalInput final : public platform::AudioUnitPullInput {
public:
    explicit SignalInput(std::vector<Stereo> busses) : busses_(std::move(busses)), lists_(busses_.size()) {}

    platform::RenderStatus pull(std::uint32_t bus, platform::AUAudioFrameCount frames,
                                const platform::AudioBufferList*& data) const override {
        platform::AudioBufferList& list = lists_[bus];
        list.numberBuffers = 2;
        for (std::uint32_t c = 0; c < 2; ++c) {
            const std::vector<float>& samples = c == 0 ? busses_[bus].left : busses_[bus].right;
            list.buffers[c] = {1, frames * 4, const_cast<float*>(samples.data() + position)};
        }
        data = &list;
        return platform::RenderStatus::success;
    }

    std::size_t frames() const { return busses_[0].left.size(); }
    std::size_t position = 0;

private:
    std::vector<Stereo> busses_;
    mutable std::vector<platform::AudioBufferList> lists_;
};

// Renders all of `input` through the harness's kernel in cycles of 512 frames from `sampleTime`, the
// first cycle with `events`.
inline Stereo renderSignal(kerneltest::KernelHarness& harness, SignalInput& input,
                           std::int64_t sampleTime = 0, const rozezeru::AURenderEvent* events = nullptr) {
    Stereo output;
    for (input.position = 0; input.position < input.frames();) {
        const auto frames = std::uint32_t(std::min<std::size_t>(512, input.frames() - input.position));
        harness.render(sampleTime + std::int64_t(input.position), frames,
                       input.position == 0 ? events : nullptr, &input);
        output.left.insert(output.left.end(), harness.output(0), harness.output(0) + frames);
        output.right.insert(output.right.end(), harness.output(1), harness.output(1) + frames);
        input.position += frames;
    }
    return output;
}

// Noise on every bus of a kernel: `frames` frames, channels and busses each their own.
inline SignalInput noiseInput(const rozezeru::DSPBase& dsp, std::size_t frames, std::uint32_t seed) {
    std::vector<Stereo> busses;
    for (int bus = 0; bus < rozezeru::rzInputBusCount(&dsp); ++bus, seed += 2)
        busses.push_back({noise(frames, seed), noise(frames, seed + 1)});
    return SignalInput(std::move(busses));
}

} // namespace effecttest
