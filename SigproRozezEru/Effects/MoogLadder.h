#pragma once
// A ladder low-pass filter with resonance. Main thread (the kernel renders on the render thread).

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

class MoogLadder final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "mgld";
    static constexpr std::string_view nodeClassName = "MoogLadder";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"cutoffFrequency", "Cutoff Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"resonance", "Resonance", 0.5f, {0.0f, 2.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<MoogLadder>(0); }
    static NodeParameterDef resonanceDef() { return nodeParameterDef<MoogLadder>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit MoogLadder(std::shared_ptr<Node> input,
                        platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                        platform::AUValue resonance = resonanceDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequency, resonance});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, resonance);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};
};

} // namespace rozezeru
