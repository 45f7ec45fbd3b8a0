#pragma once
// An oscillator that morphs between up to four wavetables of one size: `index` 0 plays the first, 3 the
// last (with fewer tables, 3 still the last), values between blend neighbours; read at `frequency` ×
// `detuningMultiplier` + `detuningOffset` and scaled by `amplitude`. Changes of `index`, like those of any
// parameter, glide over 0.02 s. A new node is silent until start(). Main thread (the kernel renders on the
// render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class Table;

class MorphingOscillator final : public GeneratorNode {
public:
    using Tables = std::vector<std::shared_ptr<const Table>>;

    static constexpr std::string_view componentSubType = "morf";
    static constexpr std::string_view nodeClassName = "MorphingOscillator";
    // The kernel's table slots; `index` spans them.
    static constexpr std::size_t maximumTableCount = 4;
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses. The
    // hertz unit of amplitude and index is as stored documents and callers know it.
    static constexpr std::array<NodeParameterRow, 5> parameterRows{{
        {"frequency", "Frequency", 440.0f, {0.0f, 22050.0f}, ParameterUnit::hertz},
        {"amplitude", "Amplitude", 0.5f, {0.0f, 1.0f}, ParameterUnit::hertz},
        {"index", "Index", 0.0f, {0.0f, 3.0f}, ParameterUnit::hertz},
        {"detuningOffset", "Detuning offset", 0.0f, {-1000.0f, 1000.0f}, ParameterUnit::hertz},
        {"detuningMultiplier", "Detuning multiplier", 1.0f, {0.9f, 1.11f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<MorphingOscillator>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<MorphingOscillator>(1); }
    static NodeParameterDef indexDef() { return nodeParameterDef<MorphingOscillator>(2); }
    static NodeParameterDef detuningOffsetDef() { return nodeParameterDef<MorphingOscillator>(3); }
    static NodeParameterDef detuningMultiplierDef() { return nodeParameterDef<MorphingOscillator>(4); }

    // Sine, triangle, square and sawtooth, 4096 samples each; made once and shared.
    static const Tables& defaultWaveformArray();

    // Bypassed; the tables go to the kernel once, table i as its wavetable i, then the values are written
    // (clamped). A list the kernel could not read (empty, a table without samples, tables of unequal
    // size) is refused with an error record and the default sine played alone; of more than four tables
    // the first four are played, with an error record. The kernel keeps its copies.
    explicit MorphingOscillator(Tables waveformArray = defaultWaveformArray(),
                                platform::AUValue frequency = frequencyDef().defaultValue,
                                platform::AUValue amplitude = amplitudeDef().defaultValue,
                                platform::AUValue index = indexDef().defaultValue,
                                platform::AUValue detuningOffset = detuningOffsetDef().defaultValue,
                                platform::AUValue detuningMultiplier = detuningMultiplierDef().defaultValue);

    // The tables the kernel was given, in slot order.
    const Tables& waveformArray() const { return waveformArray_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude, index, detuningOffset, detuningMultiplier);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> index{indexDef()};
    Parameter<float> detuningOffset{detuningOffsetDef()};
    Parameter<float> detuningMultiplier{detuningMultiplierDef()};

private:
    Tables waveformArray_;
};

} // namespace rozezeru
