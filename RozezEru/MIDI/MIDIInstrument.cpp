#include "RozezEru/MIDI/MIDIInstrument.h"

#include "RozezEru/Internals/CheckError.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDISysExReception.h"
#include "platform/audio/MixerNode.h"
#include "platform/dispatch/MainQueue.h"

#include <algorithm>

namespace rozezeru {

// Read on the main queue only, where the instrument also dies, so no lock is needed.
struct MIDIInstrument::Receiver {
    MIDIInstrument* instrument = nullptr;
};

namespace {

// Program change and channel pressure carry one data byte, every other channel message two.
std::size_t channelMessageLength(std::uint8_t status) {
    const auto type = status >> 4;
    return type == 0xC || type == 0xD ? 2 : 3;
}

} // namespace

MIDIInstrument::MIDIInstrument(const std::optional<std::string>& midiInputName)
    : avAudioNode_(std::make_shared<platform::MixerNode>()), receiver_(std::make_shared<Receiver>()),
      midi_(MIDI::shared()) {
    receiver_->instrument = this;
    name_ = midiInputName ? *midiInputName : MemoryAddress::addressString(this);
    createMIDIDestination(midi_->client(), name_);
    midi_->service().objectSetIntegerProperty(midiIn(), platform::kMIDIPropertyPrivate, 1);
}

MIDIInstrument::~MIDIInstrument() {
    receiver_->instrument = nullptr;
    disposeDestinations();
}

void MIDIInstrument::disposeDestinations() {
    for (auto endpoint : destinations_)
        CheckError(midi_->service().endpointDispose(endpoint));
    destinations_.clear();
}

void MIDIInstrument::createMIDIDestination(platform::MIDIClientRef client,
                                           const std::optional<std::string>& name) {
    auto reception = std::make_shared<MIDISysExReception>();
    std::shared_ptr<Receiver> receiver = receiver_;
    auto receive = [receiver, reception](std::span<const std::uint8_t> packetList) {
        for (auto& event : MIDIEvent::events(packetList, *reception)) {
            platform::mainQueue().async([receiver, event = std::move(event)] {
                const auto& bytes = event.data;
                if (!receiver->instrument || bytes.empty() || bytes[0] < 0x80 || bytes[0] >= 0xF0 ||
                    bytes.size() < channelMessageLength(bytes[0]))
                    return;
                receiver->instrument->handleMIDI(bytes[0], bytes[1], bytes.size() > 2 ? bytes[2] : 0);
            });
        }
    };
    platform::MIDIEndpointRef endpoint = 0;
    CheckError(midi_->service().destinationCreate(client, name.value_or(name_), receive, endpoint));
    midiIn_ = endpoint;
    if (endpoint != 0) destinations_.push_back(endpoint);
}

void MIDIInstrument::handleMIDI(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t channel = status & 0x0F;
    switch (status >> 4) {
    case 0x9:
        if (data2 != 0)
            start(data1, data2, channel, std::nullopt);
        else
            stop(data1, channel, std::nullopt);
        break;
    case 0x8:
        stop(data1, channel, std::nullopt);
        break;
    case 0xA:
        receivedMIDIAftertouch(data1, data2, channel, std::nullopt, std::nullopt);
        break;
    case 0xB:
        receivedMIDIController(data1, data2, channel, std::nullopt, std::nullopt);
        break;
    case 0xC:
        programChange(data1, channel, std::nullopt);
        break;
    case 0xD:
        receivedMIDIAftertouch(data1, channel, std::nullopt, std::nullopt);
        break;
    case 0xE:
        receivedMIDIPitchWheel(static_cast<std::uint16_t>(data1 + data2 * 128), channel, std::nullopt,
                               std::nullopt);
        break;
    default:
        break;
    }
}

void MIDIInstrument::receivedMIDINoteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                                        PortID, EventTime) {
    // A note-on at velocity 0 is a note-off, so it must not leave its note behind as active.
    if (velocity == 0) {
        receivedMIDINoteOff(noteNumber, 0, channel, std::nullopt, std::nullopt);
        return;
    }
    mpeActiveNotes_.emplace_back(noteNumber, channel);
    start(noteNumber, velocity, channel, std::nullopt);
}

void MIDIInstrument::receivedMIDINoteOff(std::uint8_t noteNumber, std::uint8_t, std::uint8_t channel, PortID,
                                         EventTime) {
    stop(noteNumber, channel, std::nullopt);
    std::erase(mpeActiveNotes_, std::pair{noteNumber, channel});
}

} // namespace rozezeru
