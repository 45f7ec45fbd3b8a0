#pragma once
// White noise, uniform within ±`amplitude`. A new node is silent until start(). Main thread (the kernel
// renders on the render thread).

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

class WhiteNoise final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "wnoz";
    static constexpr std::string_view nodeClassName = "WhiteNoise";
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"amplitude", "Amplitude", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<WhiteNoise>(0); }

    // Bypassed, then the amplitude written (clamped).
    explicit WhiteNoise(platform::AUValue amplitude = amplitudeDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        writeInitialValues({amplitude});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(amplitude);
    }

    Parameter<float> amplitude{amplitudeDef()};
};

} // namespace rozezeru
