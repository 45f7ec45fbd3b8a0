#include "RozezEru/MIDI/MIDISampler.h"

#include "RozezEru/Internals/CheckError.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDISysExReception.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/SamplerUnit.h"

#include <algorithm>

namespace rozezeru {

MIDISampler::MIDISampler(const std::optional<std::string>& midiInputName) : midi_(MIDI::shared()) {
    name_ = midiInputName ? *midiInputName : MemoryAddress::addressString(this);
    makeDestination(midi_->client(), name_);
    midi_->service().objectSetIntegerProperty(midiIn(), platform::kMIDIPropertyPrivate, 1);
}

MIDISampler::~MIDISampler() {
    for (auto endpoint : destinations_)
        CheckError(midi_->service().endpointDispose(endpoint));
}

void MIDISampler::createMIDIDestination(platform::MIDIClientRef client,
                                        const std::optional<std::string>& name) {
    makeDestination(client, name);
}

void MIDISampler::makeDestination(platform::MIDIClientRef client, const std::optional<std::string>& name) {
    // The block holds the unit, not the sampler, so a live destination never keeps the sampler alive.
    std::shared_ptr<platform::AudioUnitNode> unit = samplerUnit();
    auto reception = std::make_shared<MIDISysExReception>();
    auto receive = [unit, reception](std::span<const std::uint8_t> packetList) {
        for (const auto& event : MIDIEvent::events(packetList, *reception))
            unit->auAudioUnit().scheduleMIDIEvent(platform::AUEventSampleTimeImmediate, 0, event.data);
    };
    platform::MIDIEndpointRef endpoint = 0;
    CheckError(midi_->service().destinationCreate(client, name.value_or(this->name()), receive, endpoint));
    midiIn_ = endpoint;
    if (endpoint != 0) destinations_.push_back(endpoint);
}

void MIDISampler::handleNoteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel) {
    if (velocity > 0)
        play(noteNumber, velocity, channel);
    else
        stop(noteNumber, channel);
}

void MIDISampler::handleController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel) {
    unit().sendController(controller, value, channel);
}

void MIDISampler::disposeMIDIDestination() {
    if (midiIn_ == 0) return;
    midi_->service().endpointDispose(midiIn_);
    std::erase(destinations_, midiIn_);
    midiIn_ = 0;
}

} // namespace rozezeru
