#include "platform/audio/DistortionUnit.h"

#include "platform/audio/AUParameterTree.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace platform {

namespace {

using Unit = AudioUnitParameterUnit;
using U = DistortionUnit;

// In the order the platform unit lists them: the echo, the ring modulator, the decimator, the polynomial.
constexpr EffectParameterRow distortionRows[] = {
    {"delay", "Delay", U::delay, 0.1f, 0.1f, 500, Unit::milliseconds},
    {"decay", "Decay", U::decay, 1, 0.1f, 50, Unit::rate},
    {"delayMix", "Delay Mix", U::delayMix, 50, 0, 100, Unit::percent},
    {"ringModFreq1", "Ring Mod Freq1", U::ringModFreq1, 100, 0.5f, 8000, Unit::hertz},
    {"ringModFreq2", "Ring Mod Freq2", U::ringModFreq2, 100, 0.5f, 8000, Unit::hertz},
    {"ringModBalance", "Ring Mod Balance", U::ringModBalance, 50, 0, 100, Unit::percent},
    {"ringModMix", "Ring Mod Mix", U::ringModMix, 0, 0, 100, Unit::percent},
    {"decimation", "Decimation", U::decimation, 50, 0, 100, Unit::percent},
    {"rounding", "Rounding", U::rounding, 0, 0, 100, Unit::percent},
    {"decimationMix", "Decimation Mix", U::decimationMix, 50, 0, 100, Unit::percent},
    {"linearTerm", "Linear Term", U::linearTerm, 0.5f, 0, 1, Unit::linearGain},
    {"squaredTerm", "Squared Term", U::squaredTerm, 10, 0, 20, Unit::linearGain},
    {"cubicTerm", "Cubic Term", U::cubicTerm, 10, 0, 20, Unit::linearGain},
    {"polynomialMix", "Polynomial Mix", U::polynomialMix, 50, 0, 100, Unit::percent},
    {"softClipGain", "Soft Clip Gain", U::softClipGain, -6, -80, 20, Unit::decibels},
    {"finalMix", "Final Mix", U::finalMix, 50, 0, 100, Unit::percent},
};
enum Row : std::size_t {
    delayRow,
    decayRow,
    delayMixRow,
    frequency1Row,
    frequency2Row,
    balanceRow,
    ringMixRow,
    decimationRow,
    roundingRow,
    decimationMixRow,
    linearRow,
    squaredRow,
    cubicRow,
    polynomialMixRow,
    softClipRow,
    finalMixRow,
};

constexpr double longestEcho = 0.5; // seconds: the top of the delay's range

// The presets' values in parameter-address order: the echo's delay, decay and mix; the decimation, rounding
// and mix; the linear, squared and cubic terms and polynomial mix; the ring modulator's two frequencies,
// balance and mix; the soft-clip gain and the final mix.
// clang-format off
constexpr float distortionPresets[distortionPresetCount][16] = {
    {0.1f, 1, 0, 70, 60, 100, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 60}, // Drums Bit Brush
    {80, 8, 60, 40, 20, 50, 0.5f, 2, 2, 20, 100, 100, 50, 0, -6, 70}, // Drums Buffer Beats
    {0.1f, 1, 0, 55, 75, 100, 0.5f, 1, 1, 20, 100, 100, 50, 0, -3, 80}, // Drums LoFi
    {0.1f, 1, 0, 0, 0, 0, 1, 16, 14, 90, 100, 100, 50, 0, 6, 85}, // Multi-Broken Speaker
    {0.1f, 1, 0, 70, 50, 80, 0.8f, 4, 6, 40, 1500, 2200, 50, 20, 0, 90}, // Multi-Cellphone Concert
    {0.1f, 1, 0, 30, 10, 100, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 100}, // Multi-Decimated 1
    {0.1f, 1, 0, 50, 30, 100, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 100}, // Multi-Decimated 2
    {0.1f, 1, 0, 70, 50, 100, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 100}, // Multi-Decimated 3
    {0.1f, 1, 0, 90, 80, 100, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 100}, // Multi-Decimated 4
    {20, 2, 20, 0, 0, 0, 0.7f, 6, 12, 70, 100, 100, 50, 0, -2, 70}, // Multi-Distorted Funk
    {0.1f, 1, 0, 0, 0, 0, 0.3f, 0, 20, 100, 100, 100, 50, 0, 0, 90}, // Multi-Distorted Cubed
    {0.1f, 1, 0, 0, 0, 0, 0.3f, 20, 0, 100, 100, 100, 50, 0, 0, 90}, // Multi-Distorted Squared
    {250, 10, 50, 0, 0, 0, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 60}, // Multi-Echo 1
    {400, 20, 60, 0, 0, 0, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 60}, // Multi-Echo 2
    {40, 4, 50, 0, 0, 0, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 60}, // Multi-Echo Tight 1
    {70, 6, 55, 0, 0, 0, 0.5f, 0, 0, 0, 100, 100, 50, 0, -6, 60}, // Multi-Echo Tight 2
    {120, 6, 40, 60, 50, 60, 0.5f, 12, 12, 70, 300, 700, 30, 50, 6, 100}, // Multi-Everything Is Broken
    {15, 3, 25, 0, 0, 0, 0.5f, 0, 0, 0, 380, 1100, 40, 100, -6, 100}, // Speech Alien Chatter
    {0.1f, 1, 0, 50, 40, 40, 0.5f, 0, 0, 0, 40, 3000, 60, 70, -6, 90}, // Speech Cosmic Interference
    {3.1416f, 2, 30, 0, 0, 0, 0.5f, 0, 0, 0, 314.159f, 271.828f, 50, 60, -6, 80}, // Speech Golden Pi
    {0.1f, 1, 0, 65, 45, 70, 1, 3, 8, 50, 100, 100, 50, 0, 3, 100}, // Speech Radio Tower
    {0.1f, 1, 0, 40, 30, 50, 0.5f, 0, 0, 0, 7, 1800, 20, 60, -6, 90}, // Speech Shortwave
};
// clang-format on

} // namespace

struct DistortionUnit::State {
    struct Channel {
        std::vector<float> echo;
        float held = 0.0f;
        float highPassIn = 0.0f, highPassOut = 0.0f;
    };
    double sampleRate = 44100.0;
    std::vector<Channel> channels;
    std::size_t echoPosition = 0;
    double phase1 = 0.0, phase2 = 0.0; // ring modulator, in cycles
    double holdPhase = 1.0;            // a new sample is taken when it reaches 1
};

AudioComponentDescription DistortionUnit::componentDescription() {
    return appleEffectDescription("dist");
}

DistortionUnit::DistortionUnit(const AudioComponentDescription& description)
    : ParameterEffectUnit(description, distortionRows) {}

DistortionUnit::~DistortionUnit() {
    deallocateRenderResources();
}

bool DistortionUnit::loadFactoryPreset(DistortionPreset preset) {
    const auto raw = std::int32_t(preset);
    if (raw < 0 || raw >= distortionPresetCount) return false;
    const auto tree = parameterTree();
    for (AUParameterAddress address = 0; address < 16; ++address)
        tree->parameterWithAddress(address)->setValue(distortionPresets[raw][address]);
    return true;
}

void DistortionUnit::setWetDryMix(float percent) {
    setRow(finalMixRow, percent);
}

void DistortionUnit::setPreGain(float decibels) {
    setRow(softClipRow, decibels);
}

Result<void> DistortionUnit::prepareRender(std::uint32_t channels, double sampleRate) {
    auto state = std::make_unique<State>();
    state->sampleRate = sampleRate;
    const auto length = std::size_t(std::ceil(longestEcho * sampleRate)) + 1;
    state->channels.assign(channels, State::Channel{std::vector<float>(length, 0.0f)});
    state_ = std::move(state);
    return Result<void>();
}

void DistortionUnit::releaseRender() {
    state_.reset();
}

void DistortionUnit::clearRender() {
    for (auto& channel : state_->channels) {
        std::fill(channel.echo.begin(), channel.echo.end(), 0.0f);
        channel.held = channel.highPassIn = channel.highPassOut = 0.0f;
    }
    state_->echoPosition = 0;
    state_->phase1 = state_->phase2 = 0.0;
    state_->holdPhase = 1.0;
}

void DistortionUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) {
    State& s = *state_;
    if (s.channels.empty()) return;
    const double rate = s.sampleRate;
    const std::size_t echoLength = s.channels[0].echo.size();
    const auto echoFrames = std::clamp<std::size_t>(
        std::size_t(std::lround(current(delayRow) * 0.001 * rate)), 1, echoLength - 1);
    const auto echoFeedback = float(std::exp(-1.0 / double(current(decayRow))));
    const float delayMix = current(delayMixRow) * 0.01f;
    const double step1 = current(frequency1Row) / rate, step2 = current(frequency2Row) / rate;
    const float balance = current(balanceRow) * 0.01f;
    const float ringMix = current(ringMixRow) * 0.01f;
    const double holdStep = 1.0 - 0.99 * current(decimationRow) * 0.01;
    const float rounding = current(roundingRow);
    const auto quantum = float(std::exp2(-23.0 * (1.0 - rounding * 0.01)));
    const float decimationMix = current(decimationMixRow) * 0.01f;
    const float linear = current(linearRow), squared = current(squaredRow), cubic = current(cubicRow);
    const float polynomialMix = current(polynomialMixRow) * 0.01f;
    const float clipGain = std::pow(10.0f, current(softClipRow) / 20.0f);
    const float finalMix = current(finalMixRow) * 0.01f;
    const auto highPassPole = float(std::exp(-2.0 * std::numbers::pi * 20.0 / rate));
    const std::uint32_t channels =
        std::min<std::uint32_t>(io.numberBuffers, std::uint32_t(s.channels.size()));

    for (AUAudioFrameCount i = offset; i < offset + frames; ++i) {
        const auto modulator = float((1.0 - balance) * std::sin(2.0 * std::numbers::pi * s.phase1) +
                                     balance * std::sin(2.0 * std::numbers::pi * s.phase2));
        s.phase1 = std::fmod(s.phase1 + step1, 1.0);
        s.phase2 = std::fmod(s.phase2 + step2, 1.0);
        s.holdPhase += holdStep;
        const bool sampleNow = s.holdPhase >= 1.0;
        if (sampleNow) s.holdPhase -= std::floor(s.holdPhase);
        const std::size_t echoRead = (s.echoPosition + echoLength - echoFrames) % echoLength;

        for (std::uint32_t c = 0; c < channels; ++c) {
            State::Channel& channel = s.channels[c];
            const float x = io.floatData(c)[i];
            float signal = x;

            const float echo = channel.echo[echoRead];
            channel.echo[s.echoPosition] = flushTiny((1.0f - echoFeedback) * signal + echoFeedback * echo);
            signal += delayMix * (echo - signal);

            signal += ringMix * (signal * modulator - signal);

            if (sampleNow) channel.held = signal;
            float decimated = channel.held;
            if (rounding > 0.0f) decimated = std::round(decimated / quantum) * quantum;
            signal += decimationMix * (decimated - signal);

            const float polynomial = signal * (linear + signal * (squared + signal * cubic));
            channel.highPassOut =
                flushTiny(polynomial - channel.highPassIn + highPassPole * channel.highPassOut);
            channel.highPassIn = polynomial;
            signal += polynomialMix * (std::tanh(channel.highPassOut * clipGain) - signal);

            io.floatData(c)[i] = x + finalMix * (signal - x);
        }
        s.echoPosition = (s.echoPosition + 1) % echoLength;
    }
}

} // namespace platform
