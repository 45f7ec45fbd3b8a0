#pragma once
// Shifts the pitch of its input by semitones with a windowed crossfade. Main thread (the kernel renders on
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

class PitchShifter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "pshf";
    static constexpr std::string_view nodeClassName = "PitchShifter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"shift", "Shift", 0.0f, {-24.0f, 24.0f}, ParameterUnit::relativeSemiTones},
        {"windowSize", "Window size", 1024.0f, {0.0f, 10000.0f}, ParameterUnit::sampleFrames},
        {"crossfade", "Crossfade", 512.0f, {0.0f, 10000.0f}, ParameterUnit::sampleFrames},
    }};
    static NodeParameterDef shiftDef() { return nodeParameterDef<PitchShifter>(0); }
    static NodeParameterDef windowSizeDef() { return nodeParameterDef<PitchShifter>(1); }
    static NodeParameterDef crossfadeDef() { return nodeParameterDef<PitchShifter>(2); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit PitchShifter(std::shared_ptr<Node> input, platform::AUValue shift = shiftDef().defaultValue,
                          platform::AUValue windowSize = windowSizeDef().defaultValue,
                          platform::AUValue crossfade = crossfadeDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({shift, windowSize, crossfade});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(shift, windowSize, crossfade);
    }

    Parameter<float> shift{shiftDef()};
    Parameter<float> windowSize{windowSizeDef()};
    Parameter<float> crossfade{crossfadeDef()};
};

} // namespace rozezeru
