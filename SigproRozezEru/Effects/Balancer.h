#pragma once
// Brings the level of its input to the level of a second signal, the comparator: the "blnc" kernel scales
// input bus 0 so that its power follows bus 1. It has no parameters and no parameter tree. Main thread (the
// kernel renders on the render thread).

#include "RozezEruEX/ProgrammingError.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class Balancer final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "blnc";
    static constexpr std::string_view nodeClassName = "Balancer";
    static constexpr std::array<NodeParameterRow, 0> parameterRows{};

    // Neither may be null.
    Balancer(std::shared_ptr<Node> input, std::shared_ptr<Node> comparator)
        : EffectNode(std::move(input), componentSubType), comparator_(std::move(comparator)) {
        if (!comparator_) stopOnProgrammingError("A balancer needs a comparator node.");
    }

    // The input, then the comparator: the engine's wiring puts them on input busses 0 and 1.
    std::vector<std::shared_ptr<Node>> connections() const override { return {input(), comparator_}; }
    const std::shared_ptr<Node>& comparator() const { return comparator_; }

private:
    const std::shared_ptr<Node> comparator_;
};

} // namespace rozezeru
