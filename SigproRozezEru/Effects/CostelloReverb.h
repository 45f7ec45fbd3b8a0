#pragma once
// A stereo reverb of eight delay lines with feedback; `balance` blends the reverb (1) with the dry input (0).
// Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class CostelloReverb final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "rvsc";
    static constexpr std::string_view nodeClassName = "CostelloReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"feedback", "Feedback", 0.6f, {0.0f, 1.0f}, ParameterUnit::percent},
        {"cutoffFrequency", "Cutoff Frequency", 4000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"balance", "Balance", 1.0f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef feedbackDef() { return nodeParameterDef<CostelloReverb>(0); }
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<CostelloReverb>(1); }
    static NodeParameterDef balanceDef() { return nodeParameterDef<CostelloReverb>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit CostelloReverb(std::shared_ptr<Node> input,
                            platform::AUValue feedback = feedbackDef().defaultValue,
                            platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                            platform::AUValue balance = balanceDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({feedback, cutoffFrequency, balance});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(feedback, cutoffFrequency, balance);
    }

    Parameter<float> feedback{feedbackDef()};
    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> balance{balanceDef()};
};

} // namespace rozezeru
