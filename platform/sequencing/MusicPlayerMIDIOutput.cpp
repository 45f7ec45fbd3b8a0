#include "platform/sequencing/MusicPlayerMIDIOutput.h"

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

} // namespace platform
