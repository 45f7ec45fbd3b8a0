#pragma once
// A wavetable read through a phase ramp bent at a knee that `phaseDistortion` moves (0: a straight ramp,
// the table as it is), at `frequency` × `detuningMultiplier` + `detuningOffset`, scaled by `amplitude`. A
// new node is silent until start(). Main thread (the kernel renders on the render thread).

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

class PhaseDistortionOscillator final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "pdho";
    static constexpr std::string_view nodeClassName = "PhaseDistortionOscillator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 5> parameterRows{{
        {"frequency", "Frequency", 440.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"amplitude", "Amplitude", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"phaseDistortion", "Phase distortion", 0.0f, {-1.0f, 1.0f}, ParameterUnit::generic},
        {"detuningOffset", "Frequency offset", 0.0f, {-1000.0f, 1000.0f}, ParameterUnit::hertz},
        {"detuningMultiplier", "Detuning multiplier", 1.0f, {0.9f, 1.11f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<PhaseDistortionOscillator>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<PhaseDistortionOscillator>(1); }
    static NodeParameterDef phaseDistortionDef() { return nodeParameterDef<PhaseDistortionOscillator>(2); }
    static NodeParameterDef detuningOffsetDef() { return nodeParameterDef<PhaseDistortionOscillator>(3); }
    static NodeParameterDef detuningMultiplierDef() { return nodeParameterDef<PhaseDistortionOscillator>(4); }

    // As Oscillator's.
    explicit PhaseDistortionOscillator(
        std::shared_ptr<const Table> waveform = defaultOscillatorWaveform(),
        platform::AUValue frequency = frequencyDef().defaultValue,
        platform::AUValue amplitude = amplitudeDef().defaultValue,
        platform::AUValue phaseDistortion = phaseDistortionDef().defaultValue,
        platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
        platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        waveform_ = handOscillatorWaveform(
            *this, std::move(waveform),
            "init(waveform:frequency:amplitude:phaseDistortion:detuningOffset:detuningMultiplier:)");
        writeInitialValues({frequency, amplitude, phaseDistortion, detuningOffset, detuningMultiplier});
    }

    // The table the kernel was given.
    const std::shared_ptr<const Table>& waveform() const { return waveform_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude, phaseDistortion, detuningOffset, detuningMultiplier);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> phaseDistortion{phaseDistortionDef()};
    Parameter<float> detuningOffset{detuningOffsetDef()};
    Parameter<float> detuningMultiplier{detuningMultiplierDef()};

private:
    std::shared_ptr<const Table> waveform_;
};

} // namespace rozezeru
