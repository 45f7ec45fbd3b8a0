#pragma once
// A plucked string: silent until trigger() (or any note-on) plucks it; the tone at `frequency` dies away
// and darkens by itself. A new node is not bypassed: it sounds at the first pluck. Main thread (the kernel
// renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class PluckedString final : public GeneratorNode, public Triggerable {
public:
    static constexpr std::string_view componentSubType = "pluk";
    static constexpr std::string_view nodeClassName = "PluckedString";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"frequency",
         "Variable frequency. Values less than the initial frequency are doubled until greater than that.",
         110.0f,
         {0.0f, 22000.0f},
         ParameterUnit::hertz},
        {"amplitude", "Amplitude", 0.5f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<PluckedString>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<PluckedString>(1); }

    // The values are written (clamped) once the parameter tree is set up.
    explicit PluckedString(platform::AUValue frequency = frequencyDef().defaultValue,
                           platform::AUValue amplitude = amplitudeDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        writeInitialValues({frequency, amplitude});
    }

    using Triggerable::trigger;
    // Writes both values (clamped), then plucks.
    void trigger(platform::AUValue frequency, platform::AUValue amplitude) {
        this->frequency.setWrappedValue(frequency);
        this->amplitude.setWrappedValue(amplitude);
        trigger();
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
};

} // namespace rozezeru
