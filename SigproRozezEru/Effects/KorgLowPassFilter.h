#pragma once
// A resonant low-pass filter with saturation; its cutoff reaches up to 22050 Hz. Main thread (the kernel
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

class KorgLowPassFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "klpf";
    static constexpr std::string_view nodeClassName = "KorgLowPassFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"cutoffFrequency", "Filter cutoff", 1000.0f, {0.0f, 22050.0f}, ParameterUnit::hertz},
        {"resonance", "Resonance", 1.0f, {0.0f, 2.0f}, ParameterUnit::generic},
        {"saturation", "Saturation", 0.0f, {0.0f, 10.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<KorgLowPassFilter>(0); }
    static NodeParameterDef resonanceDef() { return nodeParameterDef<KorgLowPassFilter>(1); }
    static NodeParameterDef saturationDef() { return nodeParameterDef<KorgLowPassFilter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit KorgLowPassFilter(std::shared_ptr<Node> input,
                               platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                               platform::AUValue resonance = resonanceDef().defaultValue,
                               platform::AUValue saturation = saturationDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequency, resonance, saturation});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, resonance, saturation);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};
    Parameter<float> saturation{saturationDef()};
};

} // namespace rozezeru
