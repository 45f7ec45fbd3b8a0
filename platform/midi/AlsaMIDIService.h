#pragma once
// The MIDI service over the ALSA sequencer. The process is one sequencer client; each port and each
// endpoint of our clients is a sequencer port of it, and the other clients' ports are the sources and
// destinations of the setup, followed through System:Announce. One reader thread, woken by the sequencer
// or an eventfd, receives events and runs every delivery and notification. Any thread.

#include "platform/midi/AlsaMIDICoding.h"
#include "platform/midi/MIDIServiceCore.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class AlsaMIDIService final : public MIDIServiceCore {
public:
    // Opens the sequencer; nothing, with the reason in `why`, when it cannot be opened.
    static std::shared_ptr<AlsaMIDIService> open(std::string* why = nullptr);
    ~AlsaMIDIService() override;

    MIDIStatusCode clientCreate(std::string_view name, NotifyBlock notify, MIDIClientRef& client) override;
    MIDIStatusCode send(MIDIPortRef port, MIDIEndpointRef destination,
                        std::span<const std::uint8_t> packetList) override;
    MIDIStatusCode received(MIDIEndpointRef source, std::span<const std::uint8_t> packetList) override;

    // The sequencer port capabilities of one of our endpoints. A private one offers no subscription and
    // is not exported: other programs neither list it nor connect to it, and only we send to it.
    static unsigned endpointCapabilities(MIDIObjectType type, bool isPrivate);

protected:
    MIDIStatusCode attachPort(Port& port) override;
    void detachPort(Port& port) override;
    MIDIStatusCode attachConnection(Port& port, Endpoint& source) override;
    void detachConnection(Port& port, Endpoint& source) override;
    MIDIStatusCode attachEndpoint(Endpoint& endpoint) override;
    void detachEndpoint(Endpoint& endpoint) override;
    MIDIStatusCode changeEndpointPrivacy(Endpoint& endpoint, bool isPrivate) override;
    void dispatch(std::vector<std::function<void()>> work) override;

private:
    struct Stream; // the coders of one of our sequencer ports

    AlsaMIDIService(snd_seq_t* sequencer, int wakeFd);
    void run();
    void handle(snd_seq_event_t& event);
    void scanSetupLocked();
    int createSequencerPort(const std::string& name, unsigned capabilities);
    MIDIStatusCode output(std::uint64_t from, std::uint64_t to, bool toSubscribers,
                          std::span<const std::uint8_t> packetList, AlsaMIDIEncoder& encoder);

    snd_seq_t* sequencer_;
    int wakeFd_;
    int clientId_ = -1;
    int announcePort_ = -1;
    std::map<int, std::unique_ptr<Stream>> streams_; // by our sequencer port
    std::map<std::uint64_t, MIDIEndpointRef> externalSources_;
    std::map<std::uint64_t, MIDIEndpointRef> externalDestinations_;

    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread reader_;
};

} // namespace platform
