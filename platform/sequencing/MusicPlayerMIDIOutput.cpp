#include "platform/sequencing/MusicPlayerMIDIOutput.h"

#include "platform/audio/AudioUnit.h"
#include "platform/midi/DefaultMIDIService.h"
#include "platform/midi/MIDIPacketList.h"

#include <algorithm>
#include <vector>

namespace platform {

MusicPlayerMIDIOutput::MusicPlayerMIDIOutput(std::string clientName, std::shared_ptr<MIDIService> service,
                                             const Clock& clock)
    : clientName_(std::move(clientName)), service_(std::move(service)), clock_(clock) {}

MusicPlayerMIDIOutput::~MusicPlayerMIDIOutput() {
    if (client_) service_->clientDispose(client_);
}

Result<void> MusicPlayerMIDIOutput::open(MusicPlayer& player) {
    if (!port_) {
        if (!service_) service_ = defaultMIDIService();
        MIDIClientRef client = 0;
        MIDIPortRef port = 0;
        if (service_->clientCreate(clientName_, {}, client) != kMIDINoErr)
            return Error::make(clientName_, "No MIDI client.");
        if (service_->outputPortCreate(client, "Sequencer Out", port) != kMIDINoErr) {
            service_->clientDispose(client);
            return Error::make(clientName_, "No MIDI output port.");
        }
        client_ = client;
        port_ = port;
    }
    // Callers hand it over while the player stands still, when setting it again costs nothing.
    player.setMIDIOutput(service_.get(), port_, clock_);
    return {};
}

void MusicPlayerMIDIOutput::releaseNotes(const MusicSequence& sequence) const {
    std::vector<AudioUnit*> units;
    std::vector<std::uint32_t> endpoints;
    for (std::uint32_t i = 0; i < sequence.trackCount(); ++i) {
        const auto track = sequence.indTrack(i).lock();
        if (!track) continue;
        if (AudioUnit* unit = track->destinationNode(); unit && std::ranges::find(units, unit) == units.end())
            units.push_back(unit);
        if (const std::uint32_t endpoint = track->destinationMIDIEndpoint();
            isOpen() && endpoint != 0 && std::ranges::find(endpoints, endpoint) == endpoints.end())
            endpoints.push_back(endpoint);
    }
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t allNotesOff[] = {static_cast<std::uint8_t>(0xB0 | channel), 123, 0};
        for (AudioUnit* unit : units)
            unit->scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, allNotesOff);
        for (std::uint32_t endpoint : endpoints)
            service_->send(port_, endpoint, makePacketList(0, allNotesOff));
    }
}

} // namespace platform
