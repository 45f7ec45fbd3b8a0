#pragma once
// A table-lookup oscillator: the wavetable read at `frequency` × `detuningMultiplier` + `detuningOffset`
// and scaled by `amplitude`. A new node is silent until start(). Main thread (the kernel renders on the
// render thread).

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

class Oscillator final : public GeneratorNode {
public:
    static constexpr std::string_view componentSubType = "oscl";
    static constexpr std::string_view nodeClassName = "Oscillator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"frequency", "Frequency", 440.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"amplitude", "Amplitude", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"detuningOffset", "Frequency offset", 0.0f, {-1000.0f, 1000.0f}, ParameterUnit::hertz},
        {"detuningMultiplier", "Frequency detuning multiplier", 1.0f, {0.9f, 1.11f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<Oscillator>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<Oscillator>(1); }
    static NodeParameterDef detuningOffsetDef() { return nodeParameterDef<Oscillator>(2); }
    static NodeParameterDef detuningMultiplierDef() { return nodeParameterDef<Oscillator>(3); }

    // Bypassed; the waveform's samples go to the kernel once (a waveform without samples is refused with an
    // error record and the default sine played), then the values are written (clamped). The kernel keeps
    // its copy: later changes to the table are not heard.
    explicit Oscillator(std::shared_ptr<const Table> waveform = defaultOscillatorWaveform(),
                        platform::AUValue frequency = frequencyDef().defaultValue,
                        platform::AUValue amplitude = amplitudeDef().defaultValue,
                        platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
                        platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        stop();
        waveform_ =
            handOscillatorWaveform(*this, std::move(waveform),
                                   "init(waveform:frequency:amplitude:detuningOffset:detuningMultiplier:)");
        writeInitialValues({frequency, amplitude, detuningOffset, detuningMultiplier});
    }

    // The table the kernel was given.
    const std::shared_ptr<const Table>& waveform() const { return waveform_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude, detuningOffset, detuningMultiplier);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> detuningOffset{detuningOffsetDef()};
    Parameter<float> detuningMultiplier{detuningMultiplierDef()};

private:
    std::shared_ptr<const Table> waveform_;
};

} // namespace rozezeru
