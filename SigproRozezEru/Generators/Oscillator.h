#pragma once
// A table-lookup oscillator: the wavetable read at `frequency` × `detuningMultiplier` + `detuningOffset`
// and scaled by `amplitude`. A new node is silent until start(). Main thread (the kernel renders on the
// render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "SigproRozezEru/Generators/OscillatorWaveform.h"
#include "SigproRozezEru/Generators/WavetableOscillatorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>

namespace rozezeru {

class Oscillator final : public WavetableOscillatorNode<Oscillator> {
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

    // Bypassed; the waveform's samples go to the kernel once (a waveform without samples is refused with an
    // error record and the default sine played), then the values are written (clamped). The kernel keeps
    // its copy: later changes to the table are not heard.
    explicit Oscillator(std::shared_ptr<const Table> waveform = defaultOscillatorWaveform(),
                        platform::AUValue frequency = frequencyDef().defaultValue,
                        platform::AUValue amplitude = amplitudeDef().defaultValue,
                        platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
                        platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue)
        : WavetableOscillatorNode(std::move(waveform), frequency, amplitude, detuningOffset,
                                  detuningMultiplier) {}
};

} // namespace rozezeru
