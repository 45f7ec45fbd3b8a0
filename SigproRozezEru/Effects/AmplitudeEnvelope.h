#pragma once
// An attack-decay-sustain-release envelope on its input, opened by openGate() and closed by closeGate(); its
// gate starts closed, so a new envelope is silent. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class AmplitudeEnvelope final : public EffectNode, public Gated {
public:
    static constexpr std::string_view componentSubType = "adsr";
    static constexpr std::string_view nodeClassName = "AmplitudeEnvelope";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"attackDuration", "Attack time", 0.1f, {0.0f, 99.0f}, ParameterUnit::seconds},
        {"decayDuration", "Decay time", 0.1f, {0.0f, 99.0f}, ParameterUnit::seconds},
        {"sustainLevel", "Sustain Level", 1.0f, {0.0f, 99.0f}, ParameterUnit::generic},
        {"releaseDuration", "Release time", 0.1f, {0.0f, 99.0f}, ParameterUnit::seconds},
    }};
    static NodeParameterDef attackDurationDef() { return nodeParameterDef<AmplitudeEnvelope>(0); }
    static NodeParameterDef decayDurationDef() { return nodeParameterDef<AmplitudeEnvelope>(1); }
    static NodeParameterDef sustainLevelDef() { return nodeParameterDef<AmplitudeEnvelope>(2); }
    static NodeParameterDef releaseDurationDef() { return nodeParameterDef<AmplitudeEnvelope>(3); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit AmplitudeEnvelope(std::shared_ptr<Node> input,
                               platform::AUValue attackDuration = attackDurationDef().defaultValue,
                               platform::AUValue decayDuration = decayDurationDef().defaultValue,
                               platform::AUValue sustainLevel = sustainLevelDef().defaultValue,
                               platform::AUValue releaseDuration = releaseDurationDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({attackDuration, decayDuration, sustainLevel, releaseDuration});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(attackDuration, decayDuration, sustainLevel, releaseDuration);
    }

    Parameter<float> attackDuration{attackDurationDef()};
    Parameter<float> decayDuration{decayDurationDef()};
    Parameter<float> sustainLevel{sustainLevelDef()};
    Parameter<float> releaseDuration{releaseDurationDef()};
};

} // namespace rozezeru
