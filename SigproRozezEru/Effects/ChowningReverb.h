#pragma once
// John Chowning's reverb; `balance` blends the reverb (1) with the dry input (0). Main thread (the kernel
// renders on the render thread).

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

class ChowningReverb final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "jcrv";
    static constexpr std::string_view nodeClassName = "ChowningReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"balance", "Balance", 1.0f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef balanceDef() { return nodeParameterDef<ChowningReverb>(0); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ChowningReverb(std::shared_ptr<Node> input,
                            platform::AUValue balance = balanceDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({balance});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(balance); }

    Parameter<float> balance{balanceDef()};
};

} // namespace rozezeru
