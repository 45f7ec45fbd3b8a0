#include "SigproRozezEru/Effects/Tremolo.h"

#include "RozezEru/Internals/Table.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"

namespace rozezeru {

Tremolo::Tremolo(std::shared_ptr<Node> input, std::shared_ptr<const Table> waveform,
                 platform::AUValue frequency, platform::AUValue depth)
    : EffectNode(std::move(input), componentSubType) {
    setupParameters();
    if (!isReadableWaveform(waveform, "init(_:waveform:frequency:depth:)",
                            "the default sine is read instead"))
        waveform = defaultEffectWaveform();
    rozezEruAU(*this).setWavetable(waveform->content(), 0);
    writeInitialValues({frequency, depth});
    waveform_ = std::move(waveform);
}

void Tremolo::setWaveform(std::shared_ptr<const Table> waveform) {
    if (!isReadableWaveform(waveform, "setWaveform(_:)", "the tremolo keeps its table")) return;
    rozezEruAU(*this).setWavetable(waveform->content(), 0);
    waveform_ = std::move(waveform);
    waveformUpdateHandler_(waveform_->content());
}

std::vector<float> Tremolo::getWaveformValues() const {
    return waveform_ ? waveform_->content() : std::vector<float>{};
}

void Tremolo::setWaveformUpdateHandler(WaveformUpdateHandler handler) {
    waveformUpdateHandler_ = std::move(handler);
}

} // namespace rozezeru
