#pragma once
// The MIDI client and output port through which a sequencer's player sends the tracks routed to MIDI
// endpoints. Opened on first need, so a sequencer that never plays to an endpoint holds no client.
// Same thread as the sequencer that owns it.

#include "platform/foundation/Clock.h"
#include "platform/foundation/Result.h"
#include "platform/midi/MIDIService.h"
#include "platform/sequencing/MusicPlayer.h"

#include <memory>
#include <string>

namespace platform {

class MusicPlayerMIDIOutput {
public:
    // Without a service, the process's default one, taken when first opened.
    explicit MusicPlayerMIDIOutput(std::string clientName, std::shared_ptr<MIDIService> service = nullptr,
                                   const Clock& clock = Clock::system());
    // Every player given the port must have stopped sending by then.
    ~MusicPlayerMIDIOutput();
    MusicPlayerMIDIOutput(const MusicPlayerMIDIOutput&) = delete;
    MusicPlayerMIDIOutput& operator=(const MusicPlayerMIDIOutput&) = delete;

    // Opens the client and port once, and hands them to `player`.
    Result<void> open(MusicPlayer& player);
    bool isOpen() const { return port_ != 0; }
    MIDIService& service() const { return *service_; }
    MIDIPortRef port() const { return port_; }

    // A stopped player leaves sounding notes on: all notes off (controller 123) on every channel, once
    // to each unit and, when open, each endpoint that a track of `sequence` is routed to.
    void releaseNotes(const MusicSequence& sequence) const;

private:
    std::string clientName_;
    std::shared_ptr<MIDIService> service_;
    const Clock& clock_;
    MIDIClientRef client_ = 0;
    MIDIPortRef port_ = 0;
};

} // namespace platform
