#pragma once
// A first-order low-pass filter given by its half-power point.

#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class ToneFilter final : public HalfPowerPointFilterNode<ToneFilter> {
public:
    static constexpr std::string_view componentSubType = "tone";
    static constexpr std::string_view nodeClassName = "ToneFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"halfPowerPoint", "Half-Power Point", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
    }};

    explicit ToneFilter(std::shared_ptr<Node> input,
                        platform::AUValue halfPowerPoint = halfPowerPointDef().defaultValue)
        : HalfPowerPointFilterNode(std::move(input), halfPowerPoint) {}
};

} // namespace rozezeru
