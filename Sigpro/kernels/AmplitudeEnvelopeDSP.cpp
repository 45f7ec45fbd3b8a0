#include "Sigpro/kernels/AmplitudeEnvelopeDSP.h"

#include <algorithm>

namespace sigpro {

AmplitudeEnvelopeDSP::AmplitudeEnvelopeDSP() : SigproDSPBase(1, true) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

AmplitudeEnvelopeDSP::~AmplitudeEnvelopeDSP() {
    destroyEnvelope();
}

void AmplitudeEnvelopeDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    destroyEnvelope();
    sp_adsr_create(&envelope_);
    sp_adsr_init(sp, envelope_);
}

void AmplitudeEnvelopeDSP::deinit() {
    SigproDSPBase::deinit();
    destroyEnvelope();
}

void AmplitudeEnvelopeDSP::reset() {
    if (isInitialized && envelope_) sp_adsr_init(sp, envelope_);
}

void AmplitudeEnvelopeDSP::destroyEnvelope() {
    if (envelope_) sp_adsr_destroy(&envelope_);
}

void AmplitudeEnvelopeDSP::handleMIDIEvent(const AUMIDIEvent& midiEvent) {
    const std::uint8_t status = midiEvent.data[0] & 0xF0;
    if (status == 0x90)
        triggerValue = float(double(midiEvent.data[2]) / 127.0);
    else if (status == 0x80)
        triggerValue = 0.0f;
}

void AmplitudeEnvelopeDSP::process(FrameRange range) {
    if (range.count == 0 || !envelope_) return;
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const std::uint32_t channels = std::min<std::uint32_t>(output.numberBuffers, 2);
    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        envelope_->attack = ramps_[0].nextValue();
        envelope_->decay = ramps_[1].nextValue();
        envelope_->sustain = ramps_[2].nextValue();
        envelope_->release = ramps_[3].nextValue();
        float gate = triggerValue;
        sp_adsr_compute(sp, envelope_, &gate, &level_);
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            const float in =
                input && channel < input->numberBuffers ? input->floatData(channel)[frame] : 0.0f;
            output.floatData(channel)[frame] = in * level_;
        }
    }
}

} // namespace sigpro
