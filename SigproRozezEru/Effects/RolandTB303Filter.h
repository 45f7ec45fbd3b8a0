#pragma once
// A resonant low-pass filter with distortion and resonance asymmetry. Main thread (the kernel renders on the
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

class RolandTB303Filter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "tb3f";
    static constexpr std::string_view nodeClassName = "RolandTB303Filter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"cutoffFrequency", "Cutoff Frequency", 500.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"resonance", "Resonance", 0.5f, {0.0f, 2.0f}, ParameterUnit::generic},
        {"distortion", "Distortion", 2.0f, {0.0f, 4.0f}, ParameterUnit::generic},
        {"resonanceAsymmetry", "Resonance Asymmetry", 0.5f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef cutoffFrequencyDef() { return nodeParameterDef<RolandTB303Filter>(0); }
    static NodeParameterDef resonanceDef() { return nodeParameterDef<RolandTB303Filter>(1); }
    static NodeParameterDef distortionDef() { return nodeParameterDef<RolandTB303Filter>(2); }
    static NodeParameterDef resonanceAsymmetryDef() { return nodeParameterDef<RolandTB303Filter>(3); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit RolandTB303Filter(std::shared_ptr<Node> input,
                               platform::AUValue cutoffFrequency = cutoffFrequencyDef().defaultValue,
                               platform::AUValue resonance = resonanceDef().defaultValue,
                               platform::AUValue distortion = distortionDef().defaultValue,
                               platform::AUValue resonanceAsymmetry = resonanceAsymmetryDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({cutoffFrequency, resonance, distortion, resonanceAsymmetry});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(cutoffFrequency, resonance, distortion, resonanceAsymmetry);
    }

    Parameter<float> cutoffFrequency{cutoffFrequencyDef()};
    Parameter<float> resonance{resonanceDef()};
    Parameter<float> distortion{distortionDef()};
    Parameter<float> resonanceAsymmetry{resonanceAsymmetryDef()};
};

} // namespace rozezeru
