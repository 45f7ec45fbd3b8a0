#pragma once
// Moves its input across the stereo field: an oscillator reading the waveform at `frequency` sets the pan to
// (2 × value − 1) × `depth`. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/Effects/EffectWaveform.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class AutoPanner final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "apan";
    static constexpr std::string_view nodeClassName = "AutoPanner";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"frequency", "Frequency", 10.0f, {0.0f, 100.0f}, ParameterUnit::hertz},
        {"depth", "Depth", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<AutoPanner>(0); }
    static NodeParameterDef depthDef() { return nodeParameterDef<AutoPanner>(1); }

    // `input` must not be null. The waveform's samples go to the kernel once, as its wavetable 0, before
    // the values are written (clamped); the node keeps no reference to the table, so another shape needs
    // another node. A waveform without samples is refused with an error record and the default used.
    explicit AutoPanner(std::shared_ptr<Node> input,
                        platform::AUValue frequency = frequencyDef().defaultValue,
                        platform::AUValue depth = depthDef().defaultValue,
                        std::shared_ptr<const Table> waveform = defaultEffectWaveform());

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, depth);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> depth{depthDef()};
};

} // namespace rozezeru
