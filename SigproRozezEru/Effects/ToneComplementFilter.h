#pragma once
// A first-order high-pass filter, the complement of ToneFilter.

#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class ToneComplementFilter final : public HalfPowerPointFilterNode<ToneComplementFilter> {
public:
    static constexpr std::string_view componentSubType = "aton";
    static constexpr std::string_view nodeClassName = "ToneComplementFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"halfPowerPoint", "Half-Power Point", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
    }};

    explicit ToneComplementFilter(std::shared_ptr<Node> input,
                                  platform::AUValue halfPowerPoint = halfPowerPointDef().defaultValue)
        : HalfPowerPointFilterNode(std::move(input), halfPowerPoint) {}
};

} // namespace rozezeru
