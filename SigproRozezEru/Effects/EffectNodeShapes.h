#pragma once
// The shapes several effect nodes share: the same parameters, members and constructor, each node naming
// its own component, class and parameter rows (ranges and defaults). `input` must not be null; the values
// are written (clamped) once the parameter tree is set up. Main thread (the kernel renders on the render
// thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <vector>

namespace rozezeru {

class DSPBase;

// Hands `duration` to the kernel of `node` through `setLoopDuration`: out of line, so the reverb shape
// needs no view of the audio unit.
void setKernelLoopDuration(const Node& node, void (*setLoopDuration)(DSPBase* dsp, float duration),
                           float duration);

template <class Derived> class CutoffFilterNode : public EffectNode {
public:
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<Derived>(0); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};

protected:
    CutoffFilterNode(std::shared_ptr<Node> input, platform::AUValue cutoffFrequencyValue)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequencyValue});
    }
};

template <class Derived> class CutoffResonanceFilterNode : public EffectNode {
public:
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<Derived>(0); }
    static NodeParameterDef resonanceDef() { return nodeParameterDef<Derived>(1); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, resonance);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};

protected:
    CutoffResonanceFilterNode(std::shared_ptr<Node> input, platform::AUValue cutoffFrequencyValue,
                              platform::AUValue resonanceValue)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequencyValue, resonanceValue});
    }
};

template <class Derived> class BandFilterNode : public EffectNode {
public:
    static NodeParameterDef centerFrequencyDef() { return nodeParameterDef<Derived>(0); }
    static NodeParameterDef bandwidthDef() { return nodeParameterDef<Derived>(1); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, bandwidth);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> bandwidth{bandwidthDef()};

protected:
    BandFilterNode(std::shared_ptr<Node> input, platform::AUValue centerFrequencyValue,
                   platform::AUValue bandwidthValue)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        writeInitialValues({centerFrequencyValue, bandwidthValue});
    }
};

template <class Derived> class HalfPowerPointFilterNode : public EffectNode {
public:
    static NodeParameterDef halfPowerPointDef() { return nodeParameterDef<Derived>(0); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(halfPowerPoint);
    }

    Parameter<float> halfPowerPoint{halfPowerPointDef()};

protected:
    HalfPowerPointFilterNode(std::shared_ptr<Node> input, platform::AUValue halfPowerPointValue)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        writeInitialValues({halfPowerPointValue});
    }
};

template <class Derived> class ParametricEqualizerFilterNode : public EffectNode {
public:
    static NodeParameterDef centerFrequencyDef() { return nodeParameterDef<Derived>(0); }
    static NodeParameterDef gainDef() { return nodeParameterDef<Derived>(1); }
    static NodeParameterDef qDef() { return nodeParameterDef<Derived>(2); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, gain, q);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> gain{gainDef()};
    Parameter<float> q{qDef()};

protected:
    ParametricEqualizerFilterNode(std::shared_ptr<Node> input, platform::AUValue centerFrequencyValue,
                                  platform::AUValue gainValue, platform::AUValue qValue)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        writeInitialValues({centerFrequencyValue, gainValue, qValue});
    }
};

// A reverb over a loop: the loop duration, fixed when the node is made, sets the echo spacing,
// `reverbDuration` the time to fall by 60 dB. The loop duration (seconds) goes to the kernel once, before
// the value is written (clamped); it cannot be changed later.
template <class Derived> class LoopReverbNode : public EffectNode {
public:
    static NodeParameterDef reverbDurationDef() { return nodeParameterDef<Derived>(0); }

    // Seconds, unless another loop duration is given.
    static constexpr float defaultLoopDuration = 0.1f;

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(reverbDuration);
    }

    Parameter<float> reverbDuration{reverbDurationDef()};

protected:
    using SetLoopDuration = void (*)(DSPBase* dsp, float duration);

    LoopReverbNode(std::shared_ptr<Node> input, platform::AUValue reverbDurationValue, float loopDuration,
                   SetLoopDuration setLoopDuration)
        : EffectNode(std::move(input), Derived::componentSubType) {
        setupParameters();
        setKernelLoopDuration(*this, setLoopDuration, loopDuration);
        writeInitialValues({reverbDurationValue});
    }
};

} // namespace rozezeru
