#pragma once
// The shape of the table-lookup oscillators (Oscillator, DynamicOscillator): the wavetable read at
// `frequency` × `detuningMultiplier` + `detuningOffset` and scaled by `amplitude`, each node naming its own
// component, class and parameter rows. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/Generators/OscillatorWaveform.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <vector>

namespace rozezeru {

template <class Derived> class WavetableOscillatorNode : public GeneratorNode {
public:
    static NodeParameterDef frequencyDef() { return nodeParameterDef<Derived>(0); }
    static NodeParameterDef amplitudeDef() { return nodeParameterDef<Derived>(1); }
    static NodeParameterDef detuningOffsetDef() { return nodeParameterDef<Derived>(2); }
    static NodeParameterDef detuningMultiplierDef() { return nodeParameterDef<Derived>(3); }

    // The table the kernel was given last.
    const std::shared_ptr<const Table>& waveform() const { return waveform_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, amplitude, detuningOffset, detuningMultiplier);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> amplitude{amplitudeDef()};
    Parameter<float> detuningOffset{detuningOffsetDef()};
    Parameter<float> detuningMultiplier{detuningMultiplierDef()};

protected:
    // Bypassed; the waveform's samples go to the kernel (a waveform without samples is refused with an
    // error record and the default sine played), then the values are written (clamped).
    WavetableOscillatorNode(std::shared_ptr<const Table> waveform, platform::AUValue frequencyValue,
                            platform::AUValue amplitudeValue, platform::AUValue detuningOffsetValue,
                            platform::AUValue detuningMultiplierValue)
        : GeneratorNode(Derived::componentSubType) {
        setupParameters();
        stop();
        waveform_ =
            handOscillatorWaveform(*this, std::move(waveform),
                                   "init(waveform:frequency:amplitude:detuningOffset:detuningMultiplier:)");
        writeInitialValues({frequencyValue, amplitudeValue, detuningOffsetValue, detuningMultiplierValue});
    }

    std::shared_ptr<const Table> waveform_;
};

} // namespace rozezeru
