#include "RozezEruEX/StereoFieldLimiterDSP.h"

namespace rozezeru {

StereoFieldLimiterDSP::StereoFieldLimiterDSP() : DSPBase(1, false) {
    parameters[amountAddress] = &amount_;
}

void StereoFieldLimiterDSP::process(FrameRange range) {
    if (range.count == 0) return;
    const AudioBufferList* input = inputBufferLists[0];
    AudioBufferList& output = *outputBufferList;
    const float* inLeft = input && input->numberBuffers > 0 ? input->floatData(0) : nullptr;
    const float* inRight = input && input->numberBuffers > 1 ? input->floatData(1) : nullptr;
    float* outLeft = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    float* outRight = output.numberBuffers > 1 ? output.floatData(1) : nullptr;

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float amount = amount_.nextValue();
        const float left = inLeft ? inLeft[frame] : 0.0f;
        const float right = inRight ? inRight[frame] : 0.0f;
        const double keep = 1.0 - double(amount) * 0.5;
        if (outLeft) outLeft[frame] = float(double(left) * keep + double(amount * right) * 0.5);
        if (outRight) outRight[frame] = float(double(right) * keep + double(amount * left) * 0.5);
    }
}

} // namespace rozezeru
