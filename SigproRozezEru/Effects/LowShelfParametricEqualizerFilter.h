#pragma once
// A low-shelf equaliser: lifts or cuts everything below the corner frequency by `gain` (linear; 1 is flat),
// one filter per channel. Main thread (the kernel renders on the render thread).

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

class LowShelfParametricEqualizerFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "peq1";
    static constexpr std::string_view nodeClassName = "LowShelfParametricEqualizerFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"cornerFrequency", "Corner Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"gain", "Gain", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"q", "Q", 0.707f, {0.0f, 2.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef cornerFrequencyDef() {
        return nodeParameterDef<LowShelfParametricEqualizerFilter>(0);
    }
    static NodeParameterDef gainDef() { return nodeParameterDef<LowShelfParametricEqualizerFilter>(1); }
    static NodeParameterDef qDef() { return nodeParameterDef<LowShelfParametricEqualizerFilter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit LowShelfParametricEqualizerFilter(
        std::shared_ptr<Node> input, platform::AUValue cornerFrequency = cornerFrequencyDef().defaultValue,
        platform::AUValue gain = gainDef().defaultValue, platform::AUValue q = qDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({cornerFrequency, gain, q});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cornerFrequency, gain, q);
    }

    Parameter<float> cornerFrequency{cornerFrequencyDef()};
    Parameter<float> gain{gainDef()};
    Parameter<float> q{qDef()};
};

} // namespace rozezeru
