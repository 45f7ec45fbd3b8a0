#pragma once
// Amplitude modulation: the input times 1 − `depth` × an oscillator that reads a replaceable wavetable at
// `frequency`. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/DynamicWaveformNode.h"
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

class Tremolo final : public EffectNode, public DynamicWaveformNode {
public:
    static constexpr std::string_view componentSubType = "trem";
    static constexpr std::string_view nodeClassName = "Tremolo";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"frequency", "Frequency", 10.0f, {0.0f, 100.0f}, ParameterUnit::hertz},
        {"depth", "Depth", 1.0f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<Tremolo>(0); }
    static NodeParameterDef depthDef() { return nodeParameterDef<Tremolo>(1); }

    // `input` must not be null. The waveform's samples go to the kernel as its wavetable 0 before the
    // values are written (clamped), and the node keeps the table; the update handler is not called. A
    // waveform without samples is refused with an error record and the default used.
    explicit Tremolo(std::shared_ptr<Node> input,
                     std::shared_ptr<const Table> waveform = defaultEffectWaveform(),
                     platform::AUValue frequency = frequencyDef().defaultValue,
                     platform::AUValue depth = depthDef().defaultValue);

    // While the tremolo plays too: the kernel fades over to the new table. A waveform without samples is
    // refused with an error record, and nothing changes.
    void setWaveform(std::shared_ptr<const Table> waveform) override;
    std::vector<float> getWaveformValues() const override;
    void setWaveformUpdateHandler(WaveformUpdateHandler handler) override;
    // The table kept: the one last given to the constructor or setWaveform.
    const std::shared_ptr<const Table>& waveform() const { return waveform_; }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, depth);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> depth{depthDef()};

private:
    std::shared_ptr<const Table> waveform_;
    WaveformUpdateHandler waveformUpdateHandler_ = [](const std::vector<float>&) {};
};

} // namespace rozezeru
