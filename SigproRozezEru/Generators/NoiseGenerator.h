#pragma once
// What the three noise generators share: one `amplitude` parameter (0 … 1, default 1) and a node that is
// silent until start(). Each generator names its own component and class. Main thread (the kernel
// renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <vector>

namespace rozezeru {

template <class Derived> class NoiseGenerator : public GeneratorNode {
public:
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"amplitude", "Amplitude", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<Derived>(0); }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(amplitude);
    }

    Parameter<float> amplitude{amplitudeDef()};

protected:
    // Bypassed, then the amplitude written (clamped).
    explicit NoiseGenerator(platform::AUValue amplitudeValue) : GeneratorNode(Derived::componentSubType) {
        setupParameters();
        stop();
        writeInitialValues({amplitudeValue});
    }
};

} // namespace rozezeru
