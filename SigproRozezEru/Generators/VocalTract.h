#pragma once
// A voice: a glottis at `frequency` with `tenseness`, a tongue at `tonguePosition` with `tongueDiameter`,
// and the nose open by `nasality`; it sounds continuously while started. A new node is silent until
// start(). Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class VocalTract final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "vocw";
    static constexpr std::string_view nodeClassName = "VocalTract";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 5> parameterRows{{
        {"frequency", "Glottal frequency", 160.0f, {0.0f, 22050.0f}, ParameterUnit::hertz},
        {"tonguePosition", "Tongue position", 0.5f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"tongueDiameter", "Tongue diameter", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"tenseness", "Vocal tenseness", 0.6f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"nasality", "Nasality", 0.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<VocalTract>(0); }
    static NodeParameterDef tonguePositionDef() { return nodeParameterDef<VocalTract>(1); }
    static NodeParameterDef tongueDiameterDef() { return nodeParameterDef<VocalTract>(2); }
    static NodeParameterDef tensenessDef() { return nodeParameterDef<VocalTract>(3); }
    static NodeParameterDef nasalityDef() { return nodeParameterDef<VocalTract>(4); }

    // Bypassed, then the values written (clamped).
    explicit VocalTract(platform::AUValue frequency = frequencyDef().defaultValue,
                        platform::AUValue tonguePosition = tonguePositionDef().defaultValue,
                        platform::AUValue tongueDiameter = tongueDiameterDef().defaultValue,
                        platform::AUValue tenseness = tensenessDef().defaultValue,
                        platform::AUValue nasality = nasalityDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        writeInitialValues({frequency, tonguePosition, tongueDiameter, tenseness, nasality});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, tonguePosition, tongueDiameter, tenseness, nasality);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> tonguePosition{tonguePositionDef()};
    Parameter<float> tongueDiameter{tongueDiameterDef()};
    Parameter<float> tenseness{tensenessDef()};
    Parameter<float> nasality{nasalityDef()};
};

} // namespace rozezeru
