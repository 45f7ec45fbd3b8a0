#include "RozezEru/Nodes/Effects/DynamicsEffects.h"

namespace rozezeru {

Compressor::Compressor(std::shared_ptr<Node> input, float threshold, float headRoom, float attackTime,
                       float releaseTime, float masterGain)
    : PlatformDynamicsNode(std::move(input)) {
    bindParameters();
    setInitialValues({threshold, headRoom, attackTime, releaseTime, masterGain});
}

DynamicsProcessor::DynamicsProcessor(std::shared_ptr<Node> input, float threshold, float headRoom,
                                     float expansionRatio, float expansionThreshold, float attackTime,
                                     float releaseTime, float masterGain)
    : PlatformDynamicsNode(std::move(input)) {
    bindParameters();
    setInitialValues(
        {threshold, headRoom, expansionRatio, expansionThreshold, attackTime, releaseTime, masterGain});
}

Expander::Expander(std::shared_ptr<Node> input, float expansionRatio, float expansionThreshold,
                   float attackTime, float releaseTime, float masterGain)
    : PlatformDynamicsNode(std::move(input)) {
    bindParameters();
    setInitialValues({expansionRatio, expansionThreshold, attackTime, releaseTime, masterGain});
}

PeakLimiter::PeakLimiter(std::shared_ptr<Node> input, float attackTime, float decayTime, float preGain)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({attackTime, decayTime, preGain});
}

} // namespace rozezeru
