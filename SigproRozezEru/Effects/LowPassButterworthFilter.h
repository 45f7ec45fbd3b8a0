#pragma once
// A Butterworth low-pass filter, one per channel.

#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class LowPassButterworthFilter final : public CutoffFilterNode<LowPassButterworthFilter> {
public:
    static constexpr std::string_view componentSubType = "btlp";
    static constexpr std::string_view nodeClassName = "LowPassButterworthFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"cutoffFrequency", "Cutoff Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
    }};

    explicit LowPassButterworthFilter(std::shared_ptr<Node> input,
                                      platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue)
        : CutoffFilterNode(std::move(input), cutoffFrequency) {}
};

} // namespace rozezeru
