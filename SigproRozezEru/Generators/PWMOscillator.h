#pragma once
// A band-limited pulse wave, high for `pulseWidth` of each cycle, at `frequency` × `detuningMultiplier` +
// `detuningOffset`, scaled by `amplitude`; no wavetable. A new node is silent until start(). Main thread
// (the kernel renders on the render thread).

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

class PWMOscillator final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "pwmo";
    static constexpr std::string_view nodeClassName = "PWMOscillator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 5> parameterRows{{
        {"frequency", "Frequency", 440.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"amplitude", "Amplitude", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"pulseWidth", "Pulse Width", 0.5f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"detuningOffset", "Frequency offset", 0.0f, {-1000.0f, 1000.0f}, ParameterUnit::hertz},
        {"detuningMultiplier", "Frequency detuning multiplier", 1.0f, {0.9f, 1.11f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<PWMOscillator>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<PWMOscillator>(1); }
    static NodeParameterDef pulseWidthDef() { return nodeParameterDef<PWMOscillator>(2); }
    static NodeParameterDef detuningOffsetDef() { return nodeParameterDef<PWMOscillator>(3); }
    static NodeParameterDef detuningMultiplierDef() { return nodeParameterDef<PWMOscillator>(4); }

    // Bypassed, then the values written (clamped).
    explicit PWMOscillator(platform::AUValue frequency = frequencyDef().defaultValue,
                           platform::AUValue amplitude = amplitudeDef().defaultValue,
                           platform::AUValue pulseWidth = pulseWidthDef().defaultValue,
                           platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
                           platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        writeInitialValues({frequency, amplitude, pulseWidth, detuningOffset, detuningMultiplier});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude, pulseWidth, detuningOffset, detuningMultiplier);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> pulseWidth{pulseWidthDef()};
    Parameter<float> detuningOffset{detuningOffsetDef()};
    Parameter<float> detuningMultiplier{detuningMultiplierDef()};
};

} // namespace rozezeru
