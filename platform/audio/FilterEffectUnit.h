#pragma once
// The platform's filter effects (in place of its band-pass 'bpas', high-pass 'hpas', low-pass 'lpas',
// high-shelf 'hshf', low-shelf 'lshf' and parametric equaliser 'pmeq' units, type 'aufx', maker 'appl'):
// one second-order section per channel.
//   - Low- and high-pass: the bilinear-transform sections of the analogue prototype 1 / (s^2 + s/Q + 1),
//     with Q = 10^(resonance / 20) / sqrt 2: at resonance 0 the Butterworth response, 3 dB down at the
//     cutoff; each dB of resonance lifts the gain at the cutoff by one dB.
//   - Band-pass: gain 1 at the centre, 3 dB down at centre x 2^(+-bandwidth / 2400) (bandwidth in cents).
//   - Shelves and equaliser: the DSP library's sp_pareq section, at the gain's linear value; the shelves
//     with Q = 1 / sqrt 2 reach the gain far below (low shelf) or above (high shelf) the corner, the
//     equaliser reaches it at its centre, with the width the Q gives.
// Frequencies are held below 0.49 x rate. Coefficients follow the parameters at every slice.
//
// Threads: as ParameterEffectUnit.

#include "platform/audio/ParameterEffectUnit.h"

#include <memory>

namespace platform {

class FilterEffectUnit final : public ParameterEffectUnit {
public:
    enum class Kind { bandPass, highPass, lowPass, highShelf, lowShelf, parametricEQ };

    // 'aufx' 'bpas', 'hpas', 'lpas', 'hshf', 'lshf' or 'pmeq', 'appl'.
    static AudioComponentDescription componentDescription(Kind kind);

    explicit FilterEffectUnit(Kind kind);
    FilterEffectUnit(Kind kind, const AudioComponentDescription& description);
    ~FilterEffectUnit() override;

    Kind kind() const { return kind_; }

protected:
    Result<void> prepareRender(std::uint32_t channels, double sampleRate) override;
    void releaseRender() override;
    void clearRender() override;
    void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) override;

private:
    struct State;
    const Kind kind_;
    std::unique_ptr<State> state_;
};

} // namespace platform
