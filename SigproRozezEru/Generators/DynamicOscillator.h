#pragma once
// A table-lookup oscillator whose wavetable can be replaced while it plays: the kernel fades from the old
// table to the new one over 200 frames. Reads at `frequency` × `detuningMultiplier` + `detuningOffset`,
// scaled by `amplitude`. A new node is silent until start(). Main thread (the kernel renders on the render
// thread).

#include "RozezEru/Nodes/DynamicWaveformNode.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "SigproRozezEru/Generators/OscillatorWaveform.h"
#include "SigproRozezEru/Generators/WavetableOscillatorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class DynamicOscillator final : public WavetableOscillatorNode<DynamicOscillator>,
                                public DynamicWaveformNode {
public:
    static constexpr std::string_view componentSubType = "csto";
    static constexpr std::string_view nodeClassName = "DynamicOscillator";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"frequency", "Frequency", 440.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
        {"amplitude", "Amplitude", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"detuningOffset", "Frequency offset", 0.0f, {-1000.0f, 1000.0f}, ParameterUnit::hertz},
        {"detuningMultiplier", "Frequency detuning multiplier", 1.0f, {0.9f, 1.11f}, ParameterUnit::generic},
    }};

    // As Oscillator's; the update handler is not called.
    explicit DynamicOscillator(std::shared_ptr<const Table> waveform = defaultOscillatorWaveform(),
                               platform::AUValue frequency = frequencyDef().defaultValue,
                               platform::AUValue amplitude = amplitudeDef().defaultValue,
                               platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
                               platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue);

    // Also while the oscillator plays. A waveform without samples is refused with an error record, and
    // nothing changes.
    void setWaveform(std::shared_ptr<const Table> waveform) override;
    std::vector<float> getWaveformValues() const override;
    void setWaveformUpdateHandler(WaveformUpdateHandler handler) override;

private:
    WaveformUpdateHandler waveformUpdateHandler_ = [](const std::vector<float>&) {};
};

} // namespace rozezeru
