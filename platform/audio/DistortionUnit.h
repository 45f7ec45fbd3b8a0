#pragma once
// The platform's multi-stage distortion (in place of its 'aufx' 'dist' 'appl' unit and of
// AVAudioUnitDistortion), with factory presets. Each channel's input x passes four stages in turn, each
// blended with what it received by its own mix (percent), and the result s is blended with x by the
// final mix:
//   1. Echo: e[n] = (1 - g) s[n - D] + g e[n - D], D = delay (ms, at least one frame), g = exp(-1 / decay):
//      decay is the number of echoes over which they fall by 1/e. Mix: delayMix.
//   2. Ring modulation: s x ((1 - b) sin(2 pi f1 t) + b sin(2 pi f2 t)), b = ringModBalance / 100.
//      Mix: ringModMix.
//   3. Decimation: s sampled and held at rate x (1 - 0.99 decimation / 100), then rounded to a step of
//      2^(1 - bits), bits = 1 + 23 (1 - rounding / 100) (no rounding at 0). Mix: decimationMix.
//   4. Polynomial: p = linearTerm s + squaredTerm s^2 + cubicTerm s^3, its offset removed by a one-pole
//      high-pass at 20 Hz, then soft-clipped: tanh(p x 10^(softClipGain / 20)). Mix: polynomialMix.
// The platform class's two controls are the final mix (wetDryMix) and the soft-clip gain (preGain).
//
// Threads: as ParameterEffectUnit; loading a preset and the two controls: as setting parameters.

#include "platform/audio/ParameterEffectUnit.h"

#include <cstdint>
#include <memory>

namespace platform {

// The factory presets by raw value (AVAudioUnitDistortionPreset); any other raw value names none.
enum class DistortionPreset : std::int32_t {
    drumsBitBrush = 0,
    drumsBufferBeats = 1,
    drumsLoFi = 2,
    multiBrokenSpeaker = 3,
    multiCellphoneConcert = 4,
    multiDecimated1 = 5,
    multiDecimated2 = 6,
    multiDecimated3 = 7,
    multiDecimated4 = 8,
    multiDistortedFunk = 9,
    multiDistortedCubed = 10,
    multiDistortedSquared = 11,
    multiEcho1 = 12,
    multiEcho2 = 13,
    multiEchoTight1 = 14,
    multiEchoTight2 = 15,
    multiEverythingIsBroken = 16,
    speechAlienChatter = 17,
    speechCosmicInterference = 18,
    speechGoldenPi = 19,
    speechRadioTower = 20,
    speechShortwave = 21,
};
inline constexpr std::int32_t distortionPresetCount = 22;

class DistortionUnit final : public ParameterEffectUnit {
public:
    enum Address : AUParameterAddress {
        delay = 0,
        decay = 1,
        delayMix = 2,
        decimation = 3,
        rounding = 4,
        decimationMix = 5,
        linearTerm = 6,
        squaredTerm = 7,
        cubicTerm = 8,
        polynomialMix = 9,
        ringModFreq1 = 10,
        ringModFreq2 = 11,
        ringModBalance = 12,
        ringModMix = 13,
        softClipGain = 14,
        finalMix = 15,
    };

    // 'aufx' 'dist' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit DistortionUnit(const AudioComponentDescription& description = componentDescription());
    ~DistortionUnit() override;

    // Sets all sixteen parameters to the preset's; false (and nothing changes) for a raw value that names
    // no preset.
    bool loadFactoryPreset(DistortionPreset preset);
    // Percent; the final mix.
    float wetDryMix() const { return parameterValue(finalMix); }
    void setWetDryMix(float percent);
    // Decibels; the soft-clip gain.
    float preGain() const { return parameterValue(softClipGain); }
    void setPreGain(float decibels);

protected:
    Result<void> prepareRender(std::uint32_t channels, double sampleRate) override;
    void releaseRender() override;
    void clearRender() override;
    void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
