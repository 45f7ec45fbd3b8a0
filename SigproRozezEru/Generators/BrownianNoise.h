#pragma once
// Brownian ("red") noise: a random walk held within ±0.5 × `amplitude`, its power falling by 6 dB an
// octave. A new node is silent until start(). Main thread (the kernel renders on the render thread).

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

class BrownianNoise final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "bron";
    static constexpr std::string_view nodeClassName = "BrownianNoise";
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"amplitude", "Amplitude", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<BrownianNoise>(0); }

    // Bypassed, then the amplitude written (clamped).
    explicit BrownianNoise(platform::AUValue amplitude = amplitudeDef().defaultValue)
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
