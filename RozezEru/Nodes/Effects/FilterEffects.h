#pragma once
// The nodes over the platform's filter and equaliser units. The member definitions are in
// PlatformEffectParameterDefs.h.

#include "RozezEru/Nodes/Effects/PlatformEffectNodeShapes.h"

#include <memory>
#include <vector>

namespace rozezeru {

// The platform's band-pass filter (FilterEffectUnit). Main thread.
class BandPassFilter final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::bandPassFilter;
    static const NodeParameterDef& centerFrequencyDef() { return def(effect, "centerFrequency"); }
    static const NodeParameterDef& bandwidthDef() { return def(effect, "bandwidth"); }

    explicit BandPassFilter(std::shared_ptr<Node> input,
                            float centerFrequency = centerFrequencyDef().defaultValue,
                            float bandwidth = bandwidthDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, bandwidth);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> bandwidth{bandwidthDef()};
};

// The platform's resonant high-pass filter (FilterEffectUnit). Main thread.
class HighPassFilter final : public PlatformCutoffResonanceFilterNode<HighPassFilter> {
public:
    static constexpr PlatformEffect effect = PlatformEffect::highPassFilter;

    explicit HighPassFilter(std::shared_ptr<Node> input,
                            float cutoffFrequency = cutoffFrequencyDef().defaultValue,
                            float resonance = resonanceDef().defaultValue)
        : PlatformCutoffResonanceFilterNode(std::move(input), cutoffFrequency, resonance) {}
};

// The platform's high-shelf filter (FilterEffectUnit). Main thread.
class HighShelfFilter final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::highShelfFilter;
    static const NodeParameterDef& cutOffFrequencyDef() { return def(effect, "cutOffFrequency"); }
    static const NodeParameterDef& gainDef() { return def(effect, "gain"); }

    explicit HighShelfFilter(std::shared_ptr<Node> input,
                             float cutOffFrequency = cutOffFrequencyDef().defaultValue,
                             float gain = gainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutOffFrequency, gain);
    }

    Parameter<float> cutOffFrequency{cutOffFrequencyDef()};
    Parameter<float> gain{gainDef()};
};

// The platform's resonant low-pass filter (FilterEffectUnit). Main thread.
class LowPassFilter final : public PlatformCutoffResonanceFilterNode<LowPassFilter> {
public:
    static constexpr PlatformEffect effect = PlatformEffect::lowPassFilter;

    explicit LowPassFilter(std::shared_ptr<Node> input,
                           float cutoffFrequency = cutoffFrequencyDef().defaultValue,
                           float resonance = resonanceDef().defaultValue)
        : PlatformCutoffResonanceFilterNode(std::move(input), cutoffFrequency, resonance) {}
};

// The platform's low-shelf filter (FilterEffectUnit). Main thread.
class LowShelfFilter final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::lowShelfFilter;
    static const NodeParameterDef& cutoffFrequencyDef() { return def(effect, "cutoffFrequency"); }
    static const NodeParameterDef& gainDef() { return def(effect, "gain"); }

    explicit LowShelfFilter(std::shared_ptr<Node> input,
                            float cutoffFrequency = cutoffFrequencyDef().defaultValue,
                            float gain = gainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, gain);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> gain{gainDef()};
};

// The platform's parametric equaliser band (FilterEffectUnit). Main thread.
class ParametricEQ final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::parametricEQ;
    static const NodeParameterDef& centerFreqDef() { return def(effect, "centerFreq"); }
    static const NodeParameterDef& qDef() { return def(effect, "q"); }
    static const NodeParameterDef& gainDef() { return def(effect, "gain"); }

    explicit ParametricEQ(std::shared_ptr<Node> input, float centerFreq = centerFreqDef().defaultValue,
                          float q = qDef().defaultValue, float gain = gainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFreq, q, gain);
    }

    Parameter<float> centerFreq{centerFreqDef()};
    Parameter<float> q{qDef()};
    Parameter<float> gain{gainDef()};
};

} // namespace rozezeru
