#pragma once
// A Butterworth low-pass filter, one per channel. Main thread (the kernel renders on the render thread).

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

class LowPassButterworthFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "btlp";
    static constexpr std::string_view nodeClassName = "LowPassButterworthFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"cutoffFrequency", "Cutoff Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
    }};
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<LowPassButterworthFilter>(0); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit LowPassButterworthFilter(std::shared_ptr<Node> input,
                                      platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequency});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
};

} // namespace rozezeru
