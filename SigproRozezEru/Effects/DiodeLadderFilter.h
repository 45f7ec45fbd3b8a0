#pragma once
// A diode-ladder low-pass filter with resonance.

#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class DiodeLadderFilter final : public CutoffResonanceFilterNode<DiodeLadderFilter> {
public:
    static constexpr std::string_view componentSubType = "diod";
    static constexpr std::string_view nodeClassName = "DiodeLadderFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"cutoffFrequency", "Cutoff Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"resonance", "Resonance", 0.5f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};

    explicit DiodeLadderFilter(std::shared_ptr<Node> input,
                               platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                               platform::AUValue resonance = resonanceDef().defaultValue)
        : CutoffResonanceFilterNode(std::move(input), cutoffFrequency, resonance) {}
};

} // namespace rozezeru
