#pragma once
// One resonant mode given by its frequency and quality factor. Main thread (the kernel renders on the render
// thread).

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

class ModalResonanceFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "modf";
    static constexpr std::string_view nodeClassName = "ModalResonanceFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"frequency", "Resonant Frequency", 500.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"qualityFactor", "Quality Factor", 50.0f, {0.0f, 100.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<ModalResonanceFilter>(0); }
    static NodeParameterDef qualityFactorDef() { return nodeParameterDef<ModalResonanceFilter>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ModalResonanceFilter(std::shared_ptr<Node> input,
                                  platform::AUValue frequency = frequencyDef().defaultValue,
                                  platform::AUValue qualityFactor = qualityFactorDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({frequency, qualityFactor});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, qualityFactor);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> qualityFactor{qualityFactorDef()};
};

} // namespace rozezeru
