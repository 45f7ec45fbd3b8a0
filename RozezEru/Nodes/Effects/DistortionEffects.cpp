#include "RozezEru/Nodes/Effects/DistortionEffects.h"

namespace rozezeru {

Decimator::Decimator(std::shared_ptr<Node> input, float decimation, float rounding, float finalMix)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({decimation, rounding, finalMix});
    // Polynomial, ring-modulator and echo mixes, in that order.
    for (platform::AUParameterAddress address : {9, 13, 2})
        writeUnitParameter(address, 0.0f);
}

Distortion::Distortion(std::shared_ptr<Node> input, float delay, float decay, float delayMix,
                       float ringModFreq1, float ringModFreq2, float ringModBalance, float ringModMix,
                       float decimation, float rounding, float decimationMix, float linearTerm,
                       float squaredTerm, float cubicTerm, float polynomialMix, float softClipGain,
                       float finalMix)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({delay, decay, delayMix, ringModFreq1, ringModFreq2, ringModBalance, ringModMix,
                      decimation, rounding, decimationMix, linearTerm, squaredTerm, cubicTerm, polynomialMix,
                      softClipGain, finalMix});
}

RingModulator::RingModulator(std::shared_ptr<Node> input, float ringModFreq1, float ringModFreq2,
                             float ringModBalance, float finalMix)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({ringModFreq1, ringModFreq2, ringModBalance, finalMix});
    // The unit's ring-modulator mix starts closed and its other stages open: without this the node would
    // colour the sound and never ring-modulate it.
    writeUnitParameter(13, 100.0f);
    for (platform::AUParameterAddress address : {2, 5, 9})
        writeUnitParameter(address, 0.0f);
}

} // namespace rozezeru
