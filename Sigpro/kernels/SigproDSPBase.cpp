#include "Sigpro/kernels/SigproDSPBase.h"

namespace sigpro {

SigproDSPBase::SigproDSPBase(int inputBusCount, bool canProcessInPlace)
    : DSPBase(inputBusCount, canProcessInPlace) {}

SigproDSPBase::~SigproDSPBase() {
    if (sp) sp_destroy(&sp);
}

void SigproDSPBase::init(int channelCount, double sampleRate) {
    DSPBase::init(channelCount, sampleRate);
    // A second init without deinit must not leak the first context.
    if (sp) sp_destroy(&sp);
    sp_create(&sp);
    sp->sample_rate = std::int32_t(sampleRate);
    sp->channels = channelCount;
}

void SigproDSPBase::deinit() {
    DSPBase::deinit();
    if (sp) sp_destroy(&sp);
}

void SigproDSPBase::handleMIDIEvent(const AUMIDIEvent& midiEvent) {
    if ((midiEvent.data[0] & 0xF0) == 0x90) triggerValue = 1.0f;
}

} // namespace sigpro
