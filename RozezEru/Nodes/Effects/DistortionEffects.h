#pragma once
// The nodes over the platform's distortion unit: all of it, or one stage of it. The member definitions are in
// PlatformEffectParameterDefs.h.

#include "RozezEru/Nodes/Effects/PlatformEffectNode.h"

#include <memory>
#include <vector>

namespace rozezeru {

// The decimation stage of the platform's distortion unit alone: construction turns the unit's polynomial,
// ring-modulator and echo stages off. Main thread.
class Decimator final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::decimator;
    static const NodeParameterDef& decimationDef() { return def(effect, "decimation"); }
    static const NodeParameterDef& roundingDef() { return def(effect, "rounding"); }
    static const NodeParameterDef& finalMixDef() { return def(effect, "finalMix"); }

    explicit Decimator(std::shared_ptr<Node> input, float decimation = decimationDef().defaultValue,
                       float rounding = roundingDef().defaultValue,
                       float finalMix = finalMixDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(decimation, rounding, finalMix);
    }

    Parameter<float> decimation{decimationDef()};
    Parameter<float> rounding{roundingDef()};
    Parameter<float> finalMix{finalMixDef()};
};

// Every control of the platform's distortion unit (DistortionUnit). Main thread.
class Distortion final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::distortion;
    static const NodeParameterDef& delayDef() { return def(effect, "delay"); }
    static const NodeParameterDef& decayDef() { return def(effect, "decay"); }
    static const NodeParameterDef& delayMixDef() { return def(effect, "delayMix"); }
    static const NodeParameterDef& ringModFreq1Def() { return def(effect, "ringModFreq1"); }
    static const NodeParameterDef& ringModFreq2Def() { return def(effect, "ringModFreq2"); }
    static const NodeParameterDef& ringModBalanceDef() { return def(effect, "ringModBalance"); }
    static const NodeParameterDef& ringModMixDef() { return def(effect, "ringModMix"); }
    static const NodeParameterDef& decimationDef() { return def(effect, "decimation"); }
    static const NodeParameterDef& roundingDef() { return def(effect, "rounding"); }
    static const NodeParameterDef& decimationMixDef() { return def(effect, "decimationMix"); }
    static const NodeParameterDef& linearTermDef() { return def(effect, "linearTerm"); }
    static const NodeParameterDef& squaredTermDef() { return def(effect, "squaredTerm"); }
    static const NodeParameterDef& cubicTermDef() { return def(effect, "cubicTerm"); }
    static const NodeParameterDef& polynomialMixDef() { return def(effect, "polynomialMix"); }
    static const NodeParameterDef& softClipGainDef() { return def(effect, "softClipGain"); }
    static const NodeParameterDef& finalMixDef() { return def(effect, "finalMix"); }

    explicit Distortion(
        std::shared_ptr<Node> input, float delay = delayDef().defaultValue,
        float decay = decayDef().defaultValue, float delayMix = delayMixDef().defaultValue,
        float ringModFreq1 = ringModFreq1Def().defaultValue,
        float ringModFreq2 = ringModFreq2Def().defaultValue,
        float ringModBalance = ringModBalanceDef().defaultValue,
        float ringModMix = ringModMixDef().defaultValue, float decimation = decimationDef().defaultValue,
        float rounding = roundingDef().defaultValue, float decimationMix = decimationMixDef().defaultValue,
        float linearTerm = linearTermDef().defaultValue, float squaredTerm = squaredTermDef().defaultValue,
        float cubicTerm = cubicTermDef().defaultValue, float polynomialMix = polynomialMixDef().defaultValue,
        float softClipGain = softClipGainDef().defaultValue, float finalMix = finalMixDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(delay, decay, delayMix, ringModFreq1, ringModFreq2, ringModBalance, ringModMix,
                             decimation, rounding, decimationMix, linearTerm, squaredTerm, cubicTerm,
                             polynomialMix, softClipGain, finalMix);
    }

    Parameter<float> delay{delayDef()};
    Parameter<float> decay{decayDef()};
    Parameter<float> delayMix{delayMixDef()};
    Parameter<float> ringModFreq1{ringModFreq1Def()};
    Parameter<float> ringModFreq2{ringModFreq2Def()};
    Parameter<float> ringModBalance{ringModBalanceDef()};
    Parameter<float> ringModMix{ringModMixDef()};
    Parameter<float> decimation{decimationDef()};
    Parameter<float> rounding{roundingDef()};
    Parameter<float> decimationMix{decimationMixDef()};
    Parameter<float> linearTerm{linearTermDef()};
    Parameter<float> squaredTerm{squaredTermDef()};
    Parameter<float> cubicTerm{cubicTermDef()};
    Parameter<float> polynomialMix{polynomialMixDef()};
    Parameter<float> softClipGain{softClipGainDef()};
    Parameter<float> finalMix{finalMixDef()};
};

// The ring-modulator stage of the platform's distortion unit alone: construction opens the ring
// modulator's own mix fully and turns the echo, decimation and polynomial stages off, so that the node
// does what its name says. Main thread.
class RingModulator final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::ringModulator;
    static const NodeParameterDef& ringModFreq1Def() { return def(effect, "ringModFreq1"); }
    static const NodeParameterDef& ringModFreq2Def() { return def(effect, "ringModFreq2"); }
    static const NodeParameterDef& ringModBalanceDef() { return def(effect, "ringModBalance"); }
    static const NodeParameterDef& finalMixDef() { return def(effect, "finalMix"); }

    explicit RingModulator(std::shared_ptr<Node> input, float ringModFreq1 = ringModFreq1Def().defaultValue,
                           float ringModFreq2 = ringModFreq2Def().defaultValue,
                           float ringModBalance = ringModBalanceDef().defaultValue,
                           float finalMix = finalMixDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(ringModFreq1, ringModFreq2, ringModBalance, finalMix);
    }

    Parameter<float> ringModFreq1{ringModFreq1Def()};
    Parameter<float> ringModFreq2{ringModFreq2Def()};
    Parameter<float> ringModBalance{ringModBalanceDef()};
    Parameter<float> finalMix{finalMixDef()};
};

} // namespace rozezeru
