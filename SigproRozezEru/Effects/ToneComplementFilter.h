#pragma once
// A first-order high-pass filter, the complement of ToneFilter. Main thread (the kernel renders on the render
// thread).

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

class ToneComplementFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "aton";
    static constexpr std::string_view nodeClassName = "ToneComplementFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"halfPowerPoint", "Half-Power Point", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
    }};
    static NodeParameterDef halfPowerPointDef() { return nodeParameterDef<ToneComplementFilter>(0); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ToneComplementFilter(std::shared_ptr<Node> input,
                                  platform::AUValue halfPowerPoint = halfPowerPointDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({halfPowerPoint});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(halfPowerPoint);
    }

    Parameter<float> halfPowerPoint{halfPowerPointDef()};
};

} // namespace rozezeru
