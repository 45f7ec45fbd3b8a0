#pragma once
// One equaliser band: a boost or cut of `gain` around the centre frequency. Main thread (the kernel renders
// on the render thread).

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

class EqualizerFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "eqfl";
    static constexpr std::string_view nodeClassName = "EqualizerFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"centerFrequency", "Center Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"bandwidth", "Bandwidth", 100.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"gain", "Gain", 1.0f, {0.0f, 20.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef centerFrequencyDef() { return nodeParameterDef<EqualizerFilter>(0); }
    static NodeParameterDef bandwidthDef() { return nodeParameterDef<EqualizerFilter>(1); }
    static NodeParameterDef gainDef() { return nodeParameterDef<EqualizerFilter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit EqualizerFilter(std::shared_ptr<Node> input,
                             platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
                             platform::AUValue bandwidth = bandwidthDef().defaultValue,
                             platform::AUValue gain = gainDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({centerFrequency, bandwidth, gain});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, bandwidth, gain);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> bandwidth{bandwidthDef()};
    Parameter<float> gain{gainDef()};
};

} // namespace rozezeru
