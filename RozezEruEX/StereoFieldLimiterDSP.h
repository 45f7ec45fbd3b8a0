#pragma once
// The "sflm" kernel: narrows the stereo image by blending each channel with the opposite one in
// proportion to a ramped amount (0 passes the input, 1 gives both channels the mid signal). The ramper
// starts at 0; the node writes the real value. Two channels, not in place. Threads as DSPBase.

#include "RozezEruEX/DSPBase.h"

namespace rozezeru {

class StereoFieldLimiterDSP final : public DSPBase {
public:
    static constexpr AUParameterAddress amountAddress = 0;

    StereoFieldLimiterDSP();
    void process(FrameRange range) override;

private:
    ParameterRamper amount_;
};

} // namespace rozezeru
