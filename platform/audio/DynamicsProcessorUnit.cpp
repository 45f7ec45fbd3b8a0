#include "platform/audio/DynamicsProcessorUnit.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

using Unit = AudioUnitParameterUnit;
using D = DynamicsProcessorUnit;

constexpr EffectParameterRow dynamicsRows[] = {
    {"threshold", "Threshold", D::threshold, -20, -40, 20, Unit::decibels},
    {"headRoom", "Head Room", D::headRoom, 5, 0.1f, 40, Unit::decibels},
    {"expansionRatio", "Expansion Ratio", D::expansionRatio, 2, 1, 50, Unit::rate},
    {"expansionThreshold", "Expansion Threshold", D::expansionThreshold, 2, 1, 50, Unit::decibels},
    {"attackTime", "Attack Time", D::attackTime, 0.001f, 0.0001f, 0.2f, Unit::seconds},
    {"releaseTime", "Release Time", D::releaseTime, 0.05f, 0.01f, 3, Unit::seconds},
    {"masterGain", "Master Gain", D::masterGain, 0, -40, 40, Unit::decibels},
    {"compressionAmount", "Compression Amount", D::compressionAmount, 0, -120, 120, Unit::decibels,
     effectMeterFlags},
    {"inputAmplitude", "Input Amplitude", D::inputAmplitude, D::silenceDecibels, -120, 40, Unit::decibels,
     effectMeterFlags},
    {"outputAmplitude", "Output Amplitude", D::outputAmplitude, D::silenceDecibels, -120, 40, Unit::decibels,
     effectMeterFlags},
};

// The one-pole coefficient of a time constant of `seconds`.
float dynamicsPole(float seconds, double sampleRate) {
    return float(std::exp(-1.0 / (double(seconds) * sampleRate)));
}

// The gain in dB the static curve gives a level of `level` dB (the master gain aside).
float dynamicsCurveGain(float level, float threshold, float headRoom, float expansionThreshold,
                        float expansionRatio) {
    if (level > threshold) {
        const float over = level - threshold;
        return threshold + headRoom * over / (headRoom + over) - level;
    }
    const float expansion = DynamicsProcessorUnit::expansionFloor + expansionThreshold;
    if (level < expansion) return (expansionRatio - 1.0f) * (level - expansion);
    return 0.0f;
}

} // namespace

AudioComponentDescription DynamicsProcessorUnit::componentDescription() {
    return appleEffectDescription("dcmp");
}

DynamicsProcessorUnit::DynamicsProcessorUnit(const AudioComponentDescription& description)
    : ParameterEffectUnit(description, dynamicsRows) {}

DynamicsProcessorUnit::~DynamicsProcessorUnit() {
    deallocateRenderResources();
}

Result<void> DynamicsProcessorUnit::prepareRender(std::uint32_t, double sampleRate) {
    sampleRate_ = sampleRate;
    envelope_ = 0.0f;
    return Result<void>();
}

void DynamicsProcessorUnit::clearRender() {
    envelope_ = 0.0f;
}

void DynamicsProcessorUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset,
                                         AUAudioFrameCount frames) {
    const float thresholdDB = current(0), headRoomDB = current(1), ratio = current(2);
    const float expansionDB = current(3), master = current(6);
    const float attack = dynamicsPole(current(4), sampleRate_);
    const float release = dynamicsPole(current(5), sampleRate_);
    const float masterGain = std::pow(10.0f, master / 20.0f);
    float level = silenceDecibels, gain = 0.0f;
    for (AUAudioFrameCount i = offset; i < offset + frames; ++i) {
        float largest = 0.0f;
        for (std::uint32_t c = 0; c < io.numberBuffers; ++c)
            largest = std::max(largest, std::fabs(io.floatData(c)[i]));
        const float pole = largest > envelope_ ? attack : release;
        envelope_ = flushTiny(pole * envelope_ + (1.0f - pole) * largest);
        level = std::max(silenceDecibels, 20.0f * std::log10(std::max(envelope_, 1e-6f)));
        gain = dynamicsCurveGain(level, thresholdDB, headRoomDB, expansionDB, ratio);
        const float factor = std::pow(10.0f, gain / 20.0f) * masterGain;
        for (std::uint32_t c = 0; c < io.numberBuffers; ++c)
            io.floatData(c)[i] *= factor;
    }
    if (frames == 0) return;
    publish(7, gain);
    publish(8, level);
    publish(9, std::clamp(level + gain + master, silenceDecibels, 40.0f));
}

} // namespace platform
