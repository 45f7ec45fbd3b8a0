#pragma once
// The platform's dynamics processor (in place of its 'aufx' 'dcmp' 'appl' unit): a compressor with a
// ceiling and a downward expander, over one level for all channels.
//
// Level. L is the decibel value of an envelope of the largest magnitude among the channels, which rises
// toward it with the attack time and falls with the release time (one-pole, time constants in seconds).
// Static curve, with T the threshold, H the head room, E = expansionThreshold + expansionFloor and R the
// expansion ratio (all in dB but R):
//     L > T:       out = T + H (L - T) / (H + L - T)   (slope 1 at T, never above T + H)
//     E <= L <= T: out = L
//     L < E:       out = E - R (E - L)
// The gain out - L, plus the master gain, is applied to every channel. The expansion threshold counts up
// from expansionFloor, so its range (1 ... 50 dB) spans what a noise gate needs, below any compression
// threshold, and its default (2 dB) leaves a compressor's quiet passages alone.
//
// Meters (read-only parameters 7, 8, 9, published at the end of each render cycle): the gain of the
// curve in dB ("compression amount", negative while compressing or expanding), L, and L plus the gain and
// the master gain.
//
// Threads: as ParameterEffectUnit.

#include "platform/audio/ParameterEffectUnit.h"

namespace platform {

class DynamicsProcessorUnit final : public ParameterEffectUnit {
public:
    enum Address : AUParameterAddress {
        threshold = 0,
        headRoom = 1,
        expansionRatio = 2,
        expansionThreshold = 3,
        attackTime = 4,
        releaseTime = 5,
        masterGain = 6,
        compressionAmount = 7,
        inputAmplitude = 8,
        outputAmplitude = 9,
    };
    // The meters' floor: the level of silence.
    static constexpr float silenceDecibels = -120.0f;
    // Where the expansion threshold counts from, dBFS.
    static constexpr float expansionFloor = -100.0f;

    // 'aufx' 'dcmp' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit DynamicsProcessorUnit(const AudioComponentDescription& description = componentDescription());
    ~DynamicsProcessorUnit() override;

protected:
    Result<void> prepareRender(std::uint32_t channels, double sampleRate) override;
    void clearRender() override;
    void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) override;

private:
    double sampleRate_ = 44100.0;
    float envelope_ = 0.0f; // render thread
};

} // namespace platform
