#pragma once
// A formant filter: a resonance at the centre frequency with its own attack and decay. Main thread (the
// kernel renders on the render thread).

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

class FormantFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "fofi";
    static constexpr std::string_view nodeClassName = "FormantFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"centerFrequency", "Center Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"attackDuration", "Attack duration", 0.007f, {0.0f, 0.1f}, ParameterUnit::seconds},
        {"decayDuration", "Decay duration", 0.04f, {0.0f, 0.1f}, ParameterUnit::seconds},
    }};
    static NodeParameterDef centerFrequencyDef() { return nodeParameterDef<FormantFilter>(0); }
    static NodeParameterDef attackDurationDef() { return nodeParameterDef<FormantFilter>(1); }
    static NodeParameterDef decayDurationDef() { return nodeParameterDef<FormantFilter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit FormantFilter(std::shared_ptr<Node> input,
                           platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
                           platform::AUValue attackDuration = attackDurationDef().defaultValue,
                           platform::AUValue decayDuration = decayDurationDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({centerFrequency, attackDuration, decayDuration});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, attackDuration, decayDuration);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> attackDuration{attackDurationDef()};
    Parameter<float> decayDuration{decayDurationDef()};
};

} // namespace rozezeru
