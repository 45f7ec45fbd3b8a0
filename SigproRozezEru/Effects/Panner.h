#pragma once
// Places its input in the stereo field: -1 left, 0 centre, 1 right. Main thread (the kernel renders on the
// render thread).

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

class Panner final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "pan2";
    static constexpr std::string_view nodeClassName = "Panner";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"pan", "Pan", 0.0f, {-1.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef panDef() { return nodeParameterDef<Panner>(0); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit Panner(std::shared_ptr<Node> input, platform::AUValue pan = panDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({pan});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(pan); }

    Parameter<float> pan{panDef()};
};

} // namespace rozezeru
