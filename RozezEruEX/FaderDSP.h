#pragma once
// The "fder" kernel: two independently ramped gains for the left and right channel, and two switches
// (on above 0.5) that swap the channels or sum them to mono. The switches are no rampers: they take
// effect at once, from a parameter event at its sample. Two channels, one input, processed in place.
// Threads as DSPBase.

#include "RozezEruEX/DSPBase.h"

#include <atomic>

namespace rozezeru {

class FaderDSP final : public DSPBase {
public:
    static constexpr AUParameterAddress leftGainAddress = 0;
    static constexpr AUParameterAddress rightGainAddress = 1;
    static constexpr AUParameterAddress flipStereoAddress = 2;
    static constexpr AUParameterAddress mixToMonoAddress = 3;

    FaderDSP();

    void setParameter(AUParameterAddress address, AUValue value, bool immediate) override;
    AUValue getParameter(AUParameterAddress address) override;
    void handleParameterEvent(const AUParameterEvent& parameterEvent) override;
    void process(FrameRange range) override;

private:
    // The switch at `address`, or null for the gains.
    std::atomic<bool>* flagAt(AUParameterAddress address);

    ParameterRamper leftGain_;
    ParameterRamper rightGain_;
    // Written from any thread (and by events on the render thread), read by process.
    std::atomic<bool> flipStereo_{false};
    std::atomic<bool> mixToMono_{false};
};

} // namespace rozezeru
