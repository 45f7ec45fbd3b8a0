#include "platform/audio/PeakLimiterUnit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {

namespace {

using Unit = AudioUnitParameterUnit;

constexpr EffectParameterRow limiterRows[] = {
    {"attackTime", "Attack Time", PeakLimiterUnit::attackTime, 0.012f, 0.001f, 0.03f, Unit::seconds},
    {"decayTime", "Decay Time", PeakLimiterUnit::decayTime, 0.024f, 0.001f, 0.06f, Unit::seconds},
    {"preGain", "Pre Gain", PeakLimiterUnit::preGain, 0, -40, 40, Unit::decibels},
};

// The averaging of the held gain may round a hair above what a frame needs: aim just below the ceiling.
constexpr float limiterTarget = PeakLimiterUnit::ceiling * (1.0f - 1e-5f);

} // namespace

struct PeakLimiterUnit::State {
    double sampleRate = 44100.0;
    std::uint32_t delay = 0;               // D frames; the held minimum spans D + 1 frames
    std::vector<std::vector<float>> lines; // per channel, D frames
    std::size_t linePosition = 0;
    // Sliding minimum of the needed gain: a ring of (frame, gain) pairs with rising gains.
    std::vector<std::int64_t> minimumFrames;
    std::vector<float> minimumGains;
    std::size_t head = 0, count = 0;
    std::int64_t frame = 0;
    float held = 1.0f;         // after the decay
    std::vector<float> recent; // the last D + 1 held gains, for the average
    std::size_t recentPosition = 0;
    std::uint32_t averaged = 1; // frames in the average
    double sum = 1.0;

    void clear() {
        for (auto& line : lines)
            std::fill(line.begin(), line.end(), 0.0f);
        linePosition = head = count = recentPosition = 0;
        frame = 0;
        held = 1.0f;
        std::fill(recent.begin(), recent.end(), 1.0f);
        sum = double(averaged);
    }

    void pushNeeded(float gain) {
        const std::size_t capacity = minimumGains.size();
        while (count > 0 && minimumGains[(head + count - 1) % capacity] >= gain)
            --count;
        minimumFrames[(head + count) % capacity] = frame;
        minimumGains[(head + count) % capacity] = gain;
        ++count;
        while (minimumFrames[head] <= frame - std::int64_t(delay) - 1) {
            head = (head + 1) % capacity;
            --count;
        }
    }

    void setAveraged(std::uint32_t frames) {
        frames = std::clamp<std::uint32_t>(frames, 1, delay + 1);
        if (frames == averaged) return;
        averaged = frames;
        sum = 0.0;
        const std::size_t size = recent.size();
        for (std::uint32_t k = 0; k < frames; ++k)
            sum += recent[(recentPosition + size - 1 - k) % size];
    }
};

AudioComponentDescription PeakLimiterUnit::componentDescription() {
    return appleEffectDescription("lmtr");
}

PeakLimiterUnit::PeakLimiterUnit(const AudioComponentDescription& description)
    : ParameterEffectUnit(description, limiterRows) {}

PeakLimiterUnit::~PeakLimiterUnit() {
    deallocateRenderResources();
}

std::uint32_t PeakLimiterUnit::lookAheadFrames(double sampleRate) {
    return std::uint32_t(std::ceil(lookAheadSeconds * sampleRate));
}

Result<void> PeakLimiterUnit::prepareRender(std::uint32_t channels, double sampleRate) {
    auto state = std::make_unique<State>();
    state->sampleRate = sampleRate;
    state->delay = std::max<std::uint32_t>(1, lookAheadFrames(sampleRate));
    state->lines.assign(channels, std::vector<float>(state->delay, 0.0f));
    state->minimumFrames.resize(state->delay + 2);
    state->minimumGains.resize(state->delay + 2);
    state->recent.resize(state->delay + 1);
    state->averaged = 1;
    state->clear();
    state_ = std::move(state);
    return Result<void>();
}

void PeakLimiterUnit::releaseRender() {
    state_.reset();
}

void PeakLimiterUnit::clearRender() {
    state_->clear();
}

void PeakLimiterUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) {
    State& s = *state_;
    s.setAveraged(std::uint32_t(std::lround(double(current(0)) * s.sampleRate)));
    const float decay = float(std::exp(-1.0 / (double(current(1)) * s.sampleRate)));
    const float preGain = std::pow(10.0f, current(2) / 20.0f);
    const std::uint32_t channels = std::min<std::uint32_t>(io.numberBuffers, std::uint32_t(s.lines.size()));
    const std::size_t ring = s.recent.size();
    for (AUAudioFrameCount i = offset; i < offset + frames; ++i, ++s.frame) {
        float largest = 0.0f;
        for (std::uint32_t c = 0; c < channels; ++c)
            largest = std::max(largest, std::fabs(io.floatData(c)[i] * preGain));
        s.pushNeeded(largest > limiterTarget ? limiterTarget / largest : 1.0f);
        const float minimum = s.minimumGains[s.head];
        s.held = minimum < s.held ? minimum : decay * s.held + (1.0f - decay) * minimum;

        s.sum += double(s.held) - double(s.recent[(s.recentPosition + ring - s.averaged) % ring]);
        s.recent[s.recentPosition] = s.held;
        s.recentPosition = (s.recentPosition + 1) % ring;
        const float gain = std::min(1.0f, float(s.sum / double(s.averaged)));

        for (std::uint32_t c = 0; c < channels; ++c) {
            float& line = s.lines[c][s.linePosition];
            const float delayed = line;
            line = io.floatData(c)[i] * preGain;
            io.floatData(c)[i] = delayed * gain;
        }
        s.linePosition = (s.linePosition + 1) % s.delay;
    }
}

} // namespace platform
