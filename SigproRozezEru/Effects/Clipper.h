#pragma once
// Clips its input at the threshold `limit`. Main thread (the kernel renders on the render thread).

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

class Clipper final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "clip";
    static constexpr std::string_view nodeClassName = "Clipper";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"limit", "Threshold", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef limitDef() { return nodeParameterDef<Clipper>(0); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit Clipper(std::shared_ptr<Node> input, platform::AUValue limit = limitDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({limit});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(limit); }

    Parameter<float> limit{limitDef()};
};

} // namespace rozezeru
