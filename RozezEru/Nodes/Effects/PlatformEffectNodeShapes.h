#pragma once
// The shapes several nodes over the platform's effect units share, each node naming its own effect
// (`Derived::effect`): the same parameters, members and constructor. Main thread.

#include "RozezEru/Nodes/Effects/PlatformEffectNode.h"

#include <memory>
#include <vector>

namespace rozezeru {

// A resonant filter: cutoff and resonance.
template <class Derived> class PlatformCutoffResonanceFilterNode : public PlatformEffectNode {
public:
    static const NodeParameterDef& cutoffFrequencyDef() { return def(Derived::effect, "cutoffFrequency"); }
    static const NodeParameterDef& resonanceDef() { return def(Derived::effect, "resonance"); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, resonance);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};

protected:
    PlatformCutoffResonanceFilterNode(std::shared_ptr<Node> input, float cutoffFrequencyValue,
                                      float resonanceValue)
        : PlatformEffectNode(std::move(input), Derived::effect) {
        bindParameters();
        setInitialValues({cutoffFrequencyValue, resonanceValue});
    }
};

// A node over the platform's dynamics processor (DynamicsProcessorUnit): the timing and gain parameters
// every setting of it has, and its meters. The node declares its other parameters, lists them all in
// parameters() and binds them in its constructor.
template <class Derived> class PlatformDynamicsNode : public PlatformEffectNode {
public:
    static const NodeParameterDef& attackTimeDef() { return def(Derived::effect, "attackTime"); }
    static const NodeParameterDef& releaseTimeDef() { return def(Derived::effect, "releaseTime"); }
    static const NodeParameterDef& masterGainDef() { return def(Derived::effect, "masterGain"); }

    // The unit's meters (entries 7, 8 and 9 of its parameter list), in dB; 0 without them.
    float compressionAmount() const { return unitParameterAt(7); }
    float inputAmplitude() const { return unitParameterAt(8); }
    float outputAmplitude() const { return unitParameterAt(9); }

    Parameter<float> attackTime{attackTimeDef()};
    Parameter<float> releaseTime{releaseTimeDef()};
    Parameter<float> masterGain{masterGainDef()};

protected:
    explicit PlatformDynamicsNode(std::shared_ptr<Node> input)
        : PlatformEffectNode(std::move(input), Derived::effect) {}
};

} // namespace rozezeru
