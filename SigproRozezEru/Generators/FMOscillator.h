#pragma once
// Frequency modulation on one wavetable: a carrier at `baseFrequency` × `carrierMultiplier`, its phase
// moved by a modulator at `baseFrequency` × `modulatingMultiplier` with depth `modulationIndex`, scaled by
// `amplitude`. A new node is silent until start(). Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/Generators/OscillatorWaveform.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class FMOscillator final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "fosc";
    static constexpr std::string_view nodeClassName = "FMOscillator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 5> parameterRows{{
        {"baseFrequency", "Base Frequency", 440.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"carrierMultiplier", "Carrier Multiplier", 1.0f, {0.0f, 1000.0f}, ParameterUnit::generic},
        {"modulatingMultiplier", "Modulating Multiplier", 1.0f, {0.0f, 1000.0f}, ParameterUnit::generic},
        {"modulationIndex", "Modulation Index", 1.0f, {0.0f, 1000.0f}, ParameterUnit::generic},
        {"amplitude", "Amplitude", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef baseFrequencyDef() { return nodeParameterDef<FMOscillator>(0); }
    static NodeParameterDef carrierMultiplierDef() { return nodeParameterDef<FMOscillator>(1); }
    static NodeParameterDef modulatingMultiplierDef() { return nodeParameterDef<FMOscillator>(2); }
    static NodeParameterDef modulationIndexDef() { return nodeParameterDef<FMOscillator>(3); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<FMOscillator>(4); }

    // As Oscillator's.
    explicit FMOscillator(std::shared_ptr<const Table> waveform = defaultOscillatorWaveform(),
                          platform::AUValue baseFrequency = baseFrequencyDef().defaultValue,
                          platform::AUValue carrierMultiplier = carrierMultiplierDef().defaultValue,
                          platform::AUValue modulatingMultiplier = modulatingMultiplierDef().defaultValue,
                          platform::AUValue modulationIndex = modulationIndexDef().defaultValue,
                          platform::AUValue amplitude = amplitudeDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        waveform_ = handOscillatorWaveform(
            *this, std::move(waveform),
            "init(waveform:baseFrequency:carrierMultiplier:modulatingMultiplier:modulationIndex:amplitude:)");
        writeInitialValues(
            {baseFrequency, carrierMultiplier, modulatingMultiplier, modulationIndex, amplitude});
    }

    // The table the kernel was given.
    const std::shared_ptr<const Table>& waveform() const { return waveform_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(baseFrequency, carrierMultiplier, modulatingMultiplier, modulationIndex,
                             amplitude);
    }

    Parameter<float> baseFrequency{baseFrequencyDef()};
    Parameter<float> carrierMultiplier{carrierMultiplierDef()};
    Parameter<float> modulatingMultiplier{modulatingMultiplierDef()};
    Parameter<float> modulationIndex{modulationIndexDef()};
    Parameter<float> amplitude{amplitudeDef()};

private:
    std::shared_ptr<const Table> waveform_;
};

} // namespace rozezeru
