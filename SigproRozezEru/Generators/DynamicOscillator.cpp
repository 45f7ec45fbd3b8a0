#include "SigproRozezEru/Generators/DynamicOscillator.h"

#include "RozezEru/Internals/Table.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/EffectWaveform.h"

namespace rozezeru {

DynamicOscillator::DynamicOscillator(std::shared_ptr<const Table> waveform, platform::AUValue frequency,
                                     platform::AUValue amplitude, platform::AUValue detuningOffset,
                                     platform::AUValue detuningMultiplier)
    : WavetableOscillatorNode(std::move(waveform), frequency, amplitude, detuningOffset, detuningMultiplier) {
}

void DynamicOscillator::setWaveform(std::shared_ptr<const Table> waveform) {
    if (!isReadableWaveform(waveform, "setWaveform(_:)", "the oscillator keeps its table")) return;
    rozezEruAU(*this).setWavetable(waveform->content(), 0);
    waveform_ = std::move(waveform);
    waveformUpdateHandler_(waveform_->content());
}

std::vector<float> DynamicOscillator::getWaveformValues() const {
    return waveform_ ? waveform_->content() : std::vector<float>{};
}

void DynamicOscillator::setWaveformUpdateHandler(WaveformUpdateHandler handler) {
    waveformUpdateHandler_ = std::move(handler);
}

} // namespace rozezeru
