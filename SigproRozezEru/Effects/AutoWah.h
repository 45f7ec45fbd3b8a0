#pragma once
// An automatic wah: a band-pass filter swept by the level of the input. Main thread (the kernel renders on
// the render thread).

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

class AutoWah final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "awah";
    static constexpr std::string_view nodeClassName = "AutoWah";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"wah", "Wah Amount", 0.0f, {0.0f, 1.0f}, ParameterUnit::percent},
        {"mix", "Dry/Wet Mix", 1.0f, {0.0f, 1.0f}, ParameterUnit::percent},
        {"amplitude", "Overall level", 0.1f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef wahDef() { return nodeParameterDef<AutoWah>(0); }
    static NodeParameterDef mixDef() { return nodeParameterDef<AutoWah>(1); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<AutoWah>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit AutoWah(std::shared_ptr<Node> input, platform::AUValue wah = wahDef().defaultValue,
                     platform::AUValue mix = mixDef().defaultValue,
                     platform::AUValue amplitude = amplitudeDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({wah, mix, amplitude});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(wah, mix, amplitude);
    }

    Parameter<float> wah{wahDef()};
    Parameter<float> mix{mixDef()};
    Parameter<float> amplitude{amplitudeDef()};
};

} // namespace rozezeru
