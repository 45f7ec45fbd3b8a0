#pragma once
// The "adsr" kernel: one attack-decay-sustain-release envelope, opened and closed by note events,
// multiplies both channels. A note-on opens the gate at its velocity / 127 (velocity 0 closes it), a
// note-off closes it. One input, processed in place. Threads as DSPBase.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/modules/sp_adsr.h"

#include <array>
#include <string_view>

namespace sigpro {

class AmplitudeEnvelopeDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 4> parameterNames{"AttackDuration", "DecayDuration",
                                                                    "SustainLevel", "ReleaseDuration"};

    AmplitudeEnvelopeDSP();
    ~AmplitudeEnvelopeDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    void reset() override;
    void process(FrameRange range) override;
    // The gate follows note-ons and note-offs on any channel; every other message is ignored.
    void handleMIDIEvent(const AUMIDIEvent& midiEvent) override;

private:
    void destroyEnvelope();

    sp_adsr* envelope_ = nullptr;
    std::array<ParameterRamper, 4> ramps_;
    float level_ = 0.0f;
};

} // namespace sigpro
