#pragma once
// Takes the constant (DC) part out of its input; it has no parameters. Main thread (the kernel renders on the
// render thread).

#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"

#include <array>
#include <memory>
#include <string_view>

namespace rozezeru {

class DCBlock final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "dcbk";
    static constexpr std::string_view nodeClassName = "DCBlock";
    static constexpr std::array<NodeParameterRow, 0> parameterRows{};

    // `input` must not be null. The unit gets an empty parameter tree.
    explicit DCBlock(std::shared_ptr<Node> input) : EffectNode(std::move(input), componentSubType) {
        setupParameters();
    }
};

} // namespace rozezeru
