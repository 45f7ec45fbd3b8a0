#include "RozezEruEX/FaderDSP.h"

namespace rozezeru {

FaderDSP::FaderDSP() : DSPBase(1, true) {
    leftGain_.startRamp(1.0f, 0);
    rightGain_.startRamp(1.0f, 0);
    parameters[leftGainAddress] = &leftGain_;
    parameters[rightGainAddress] = &rightGain_;
}

std::atomic<bool>* FaderDSP::flagAt(AUParameterAddress address) {
    if (address == flipStereoAddress) return &flipStereo_;
    if (address == mixToMonoAddress) return &mixToMono_;
    return nullptr;
}

void FaderDSP::setParameter(AUParameterAddress address, AUValue value, bool immediate) {
    if (std::atomic<bool>* flag = flagAt(address))
        flag->store(value > 0.5f, std::memory_order_relaxed);
    else
        DSPBase::setParameter(address, value, immediate);
}

AUValue FaderDSP::getParameter(AUParameterAddress address) {
    if (std::atomic<bool>* flag = flagAt(address)) return flag->load(std::memory_order_relaxed) ? 1.0f : 0.0f;
    return DSPBase::getParameter(address);
}

void FaderDSP::handleParameterEvent(const AUParameterEvent& parameterEvent) {
    if (std::atomic<bool>* flag = flagAt(parameterEvent.parameterAddress))
        flag->store(parameterEvent.value > 0.5f, std::memory_order_relaxed);
    else
        DSPBase::handleParameterEvent(parameterEvent);
}

void FaderDSP::process(FrameRange range) {
    if (range.count == 0) return;
    const AudioBufferList* input = inputBufferLists[0];
    AudioBufferList& output = *outputBufferList;
    // Missing channels: silence in, nothing written out.
    const float* inLeft = input && input->numberBuffers > 0 ? input->floatData(0) : nullptr;
    const float* inRight = input && input->numberBuffers > 1 ? input->floatData(1) : nullptr;
    float* outLeft = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    float* outRight = output.numberBuffers > 1 ? output.floatData(1) : nullptr;
    const bool mono = mixToMono_.load(std::memory_order_relaxed);

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float left = inLeft ? inLeft[frame] : 0.0f;
        const float right = inRight ? inRight[frame] : 0.0f;
        const float leftGain = leftGain_.nextValue();
        const float rightGain = rightGain_.nextValue();
        float outputLeft;
        float outputRight;
        if (mono) {
            outputLeft = outputRight = (left * leftGain + right * rightGain) * 0.5f;
        } else if (flipStereo_.load(std::memory_order_relaxed)) {
            // The gains stay with their output channels; the inputs swap.
            outputLeft = leftGain * right;
            outputRight = rightGain * left;
        } else {
            outputLeft = leftGain * left;
            outputRight = rightGain * right;
        }
        if (outLeft) outLeft[frame] = outputLeft;
        if (outRight) outRight[frame] = outputRight;
    }
}

} // namespace rozezeru
