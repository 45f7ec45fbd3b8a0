#pragma once
// A resonator tuned to a fundamental frequency, with feedback. Main thread (the kernel renders on the render
// thread).

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

class StringResonator final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "stre";
    static constexpr std::string_view nodeClassName = "StringResonator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"fundamentalFrequency", "Fundamental Frequency", 100.0f, {12.0f, 10000.0f}, ParameterUnit::hertz},
        {"feedback", "Feedback", 0.95f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef fundamentalFrequencyDef() { return nodeParameterDef<StringResonator>(0); }
    static NodeParameterDef feedbackDef() { return nodeParameterDef<StringResonator>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit StringResonator(std::shared_ptr<Node> input,
                             platform::AUValue fundamentalFrequency = fundamentalFrequencyDef().defaultValue,
                             platform::AUValue feedback = feedbackDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({fundamentalFrequency, feedback});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(fundamentalFrequency, feedback);
    }

    Parameter<float> fundamentalFrequency{fundamentalFrequencyDef()};
    Parameter<float> feedback{feedbackDef()};
};

} // namespace rozezeru
