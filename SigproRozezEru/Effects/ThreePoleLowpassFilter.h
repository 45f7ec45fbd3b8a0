#pragma once
// A three-pole resonant low-pass filter with distortion, which comes first. Main thread (the kernel renders
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

class ThreePoleLowpassFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "lp18";
    static constexpr std::string_view nodeClassName = "ThreePoleLowpassFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"distortion", "Distortion", 0.5f, {0.0f, 2.0f}, ParameterUnit::percent},
        {"cutoffFrequency", "Cutoff Frequency", 1500.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"resonance", "Resonance", 0.5f, {0.0f, 2.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef distortionDef() { return nodeParameterDef<ThreePoleLowpassFilter>(0); }
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<ThreePoleLowpassFilter>(1); }
    static NodeParameterDef resonanceDef() { return nodeParameterDef<ThreePoleLowpassFilter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ThreePoleLowpassFilter(std::shared_ptr<Node> input,
                                    platform::AUValue distortion = distortionDef().defaultValue,
                                    platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                                    platform::AUValue resonance = resonanceDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({distortion, cutoffFrequency, resonance});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(distortion, cutoffFrequency, resonance);
    }

    Parameter<float> distortion{distortionDef()};
    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};
};

} // namespace rozezeru
