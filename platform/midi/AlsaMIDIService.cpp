#include "platform/midi/AlsaMIDIService.h"

#include "platform/foundation/HostTime.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace platform {

namespace {

std::uint64_t sequencerAddress(int client, int port) {
    return std::uint64_t(std::uint32_t(client)) << 16 | std::uint32_t(port);
}
int addressClient(std::uint64_t address) {
    return static_cast<int>(address >> 16);
}
int addressPort(std::uint64_t address) {
    return static_cast<int>(address & 0xFFFF);
}

// A unique id that stays the same for a port across runs, made from its client's and its own name.
MIDIUniqueID stableUniqueID(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return static_cast<MIDIUniqueID>(hash & 0x7FFFFFFF);
}

} // namespace

struct AlsaMIDIService::Stream {
    MIDIPortRef port = 0;            // an input port of ours, or
    MIDIEndpointRef destination = 0; // one of our destinations
    AlsaMIDIDecoder decoder;
    std::map<std::uint64_t, UniversalPacketEncoder> sources; // per sending address, for input ports
    AlsaMIDIEncoder encoder;                                 // for what we send from this port
};

std::shared_ptr<AlsaMIDIService> AlsaMIDIService::open(std::string* why) {
    snd_seq_t* sequencer = nullptr;
    if (int error = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK); error < 0) {
        if (why) *why = std::string("cannot open the ALSA sequencer: ") + snd_strerror(error);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        if (why) *why = std::string("eventfd: ") + std::strerror(errno);
        snd_seq_close(sequencer);
        return nullptr;
    }
    return std::shared_ptr<AlsaMIDIService>(new AlsaMIDIService(sequencer, wakeFd));
}

AlsaMIDIService::AlsaMIDIService(snd_seq_t* sequencer, int wakeFd) : sequencer_(sequencer), wakeFd_(wakeFd) {
    clientId_ = snd_seq_client_id(sequencer_);
    snd_seq_set_client_name(sequencer_, "Vantle");
    announcePort_ = snd_seq_create_simple_port(sequencer_, "Announcements",
                                               SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                               SND_SEQ_PORT_TYPE_APPLICATION);
    if (announcePort_ >= 0)
        snd_seq_connect_from(sequencer_, announcePort_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    {
        Locked lock(*this);
        scanSetupLocked();
    }
    reader_ = std::thread([this] { run(); });
}

AlsaMIDIService::~AlsaMIDIService() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
    if (reader_.joinable()) reader_.join();
    snd_seq_close(sequencer_);
    ::close(wakeFd_);
}

MIDIStatusCode AlsaMIDIService::clientCreate(std::string_view name, NotifyBlock notify,
                                             MIDIClientRef& client) {
    // The sequencer client carries the name of the first client made on it.
    bool first;
    {
        std::lock_guard lock(mutex_);
        first = clients_.empty();
    }
    if (first) snd_seq_set_client_name(sequencer_, std::string(name).c_str());
    return MIDIServiceCore::clientCreate(name, std::move(notify), client);
}

int AlsaMIDIService::createSequencerPort(const std::string& name, unsigned capabilities) {
    return snd_seq_create_simple_port(sequencer_, name.c_str(), capabilities,
                                      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
}

MIDIStatusCode AlsaMIDIService::attachPort(Port& port) {
    // Our ports are private: others reach us through our endpoints, not through them.
    const unsigned capabilities = port.input ? SND_SEQ_PORT_CAP_WRITE : SND_SEQ_PORT_CAP_READ;
    const int number = createSequencerPort(port.name, capabilities | SND_SEQ_PORT_CAP_NO_EXPORT);
    if (number < 0) return kMIDIInvalidPort;
    port.address = sequencerAddress(clientId_, number);
    auto stream = std::make_unique<Stream>();
    stream->port = nextRef_; // the ref the port is about to get
    streams_[number] = std::move(stream);
    return kMIDINoErr;
}

void AlsaMIDIService::detachPort(Port& port) {
    snd_seq_delete_simple_port(sequencer_, addressPort(port.address));
    streams_.erase(addressPort(port.address));
}

MIDIStatusCode AlsaMIDIService::attachConnection(Port& port, Endpoint& source) {
    if (snd_seq_connect_from(sequencer_, addressPort(port.address), addressClient(source.address),
                             addressPort(source.address)) < 0)
        return kMIDINoConnection;
    return kMIDINoErr;
}

void AlsaMIDIService::detachConnection(Port& port, Endpoint& source) {
    snd_seq_disconnect_from(sequencer_, addressPort(port.address), addressClient(source.address),
                            addressPort(source.address));
    if (auto stream = streams_.find(addressPort(port.address)); stream != streams_.end())
        stream->second->sources.erase(source.address);
}

unsigned AlsaMIDIService::endpointCapabilities(MIDIObjectType type, bool isPrivate) {
    const bool isSource = type == MIDIObjectType::source;
    // Our own sends reach a private destination directly, which needs only the plain write capability.
    const unsigned access = isSource ? SND_SEQ_PORT_CAP_READ : SND_SEQ_PORT_CAP_WRITE;
    if (isPrivate) return access | SND_SEQ_PORT_CAP_NO_EXPORT;
    return access | (isSource ? SND_SEQ_PORT_CAP_SUBS_READ : SND_SEQ_PORT_CAP_SUBS_WRITE);
}

MIDIStatusCode AlsaMIDIService::attachEndpoint(Endpoint& endpoint) {
    if (endpoint.owner == 0) return kMIDINoErr;
    const bool isSource = endpoint.type == MIDIObjectType::source;
    const auto hidden = endpoint.integers.find(kMIDIPropertyPrivate);
    const unsigned capabilities =
        endpointCapabilities(endpoint.type, hidden != endpoint.integers.end() && hidden->second != 0);
    const int number = createSequencerPort(endpoint.strings[std::string(kMIDIPropertyName)], capabilities);
    if (number < 0) return kMIDIServerStartErr;
    endpoint.address = sequencerAddress(clientId_, number);
    auto stream = std::make_unique<Stream>();
    if (!isSource) stream->destination = nextRef_; // the ref the endpoint is about to get
    streams_[number] = std::move(stream);
    return kMIDINoErr;
}

void AlsaMIDIService::detachEndpoint(Endpoint& endpoint) {
    if (endpoint.owner == 0) return;
    snd_seq_delete_simple_port(sequencer_, addressPort(endpoint.address));
    streams_.erase(addressPort(endpoint.address));
}

MIDIStatusCode AlsaMIDIService::changeEndpointPrivacy(Endpoint& endpoint, bool isPrivate) {
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_port_info(sequencer_, addressPort(endpoint.address), info) < 0)
        return kMIDIObjectNotFound;
    snd_seq_port_info_set_capability(info, endpointCapabilities(endpoint.type, isPrivate));
    if (snd_seq_set_port_info(sequencer_, addressPort(endpoint.address), info) < 0)
        return kMIDIServerStartErr;
    return kMIDINoErr;
}

MIDIStatusCode AlsaMIDIService::output(std::uint64_t from, std::uint64_t to, bool toSubscribers,
                                       std::span<const std::uint8_t> packetList, AlsaMIDIEncoder& encoder) {
    MIDIStatusCode status = kMIDINoErr;
    for (const auto& packet : MIDIPacketListView(packetList)) {
        encoder.encode(packet.data, [&](snd_seq_event_t& event) {
            snd_seq_ev_set_source(&event, addressPort(from));
            if (toSubscribers)
                snd_seq_ev_set_subs(&event);
            else
                snd_seq_ev_set_dest(&event, addressClient(to), addressPort(to));
            snd_seq_ev_set_direct(&event);
            if (snd_seq_event_output_direct(sequencer_, &event) < 0) status = kMIDIMessageSendErr;
        });
    }
    return status;
}

MIDIStatusCode AlsaMIDIService::send(MIDIPortRef portRef, MIDIEndpointRef destination,
                                     std::span<const std::uint8_t> packetList) {
    Locked lock(*this);
    auto* port = findPortLocked(portRef);
    if (!port || port->input) return kMIDIInvalidPort;
    auto* endpoint = findEndpointLocked(destination);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::destination) return kMIDIWrongEndpointType;
    auto stream = streams_.find(addressPort(port->address));
    if (stream == streams_.end()) return kMIDIInvalidPort;
    return output(port->address, endpoint->address, false, packetList, stream->second->encoder);
}

MIDIStatusCode AlsaMIDIService::received(MIDIEndpointRef source, std::span<const std::uint8_t> packetList) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(source);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source || endpoint->owner == 0) return kMIDIWrongEndpointType;
    auto stream = streams_.find(addressPort(endpoint->address));
    if (stream == streams_.end()) return kMIDIUnknownEndpoint;
    return output(endpoint->address, 0, true, packetList, stream->second->encoder);
}

void AlsaMIDIService::dispatch(std::vector<std::function<void()>> work) {
    if (std::this_thread::get_id() == reader_.get_id()) {
        for (auto& item : work)
            item();
        return;
    }
    {
        std::lock_guard lock(queueMutex_);
        for (auto& item : work)
            queue_.push_back(std::move(item));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void AlsaMIDIService::run() {
    const int count = snd_seq_poll_descriptors_count(sequencer_, POLLIN);
    std::vector<pollfd> descriptors(static_cast<std::size_t>(count) + 1);
    descriptors[0] = {wakeFd_, POLLIN, 0};
    snd_seq_poll_descriptors(sequencer_, descriptors.data() + 1, static_cast<unsigned>(count), POLLIN);
    for (;;) {
        if (::poll(descriptors.data(), descriptors.size(), -1) < 0 && errno != EINTR) return;
        if (descriptors[0].revents & POLLIN) {
            std::uint64_t value;
            [[maybe_unused]] auto read = ::read(wakeFd_, &value, sizeof value);
        }
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(queueMutex_);
            if (stopping_) return;
            work.swap(queue_);
        }
        for (auto& item : work)
            item();
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(sequencer_, &event) >= 0 && event)
            handle(*event);
    }
}

void AlsaMIDIService::handle(snd_seq_event_t& event) {
    Locked lock(*this);
    if (event.dest.port == announcePort_) {
        scanSetupLocked();
        return;
    }
    auto found = streams_.find(event.dest.port);
    if (found == streams_.end()) return;
    auto& stream = *found->second;
    std::vector<std::uint8_t> bytes;
    stream.decoder.decode(event, bytes);
    if (bytes.empty()) return;
    const auto now = hostTime();
    if (stream.destination) {
        if (auto* destination = findEndpointLocked(stream.destination))
            deliverToDestinationLocked(*destination, makePacketList(now, bytes));
        return;
    }
    auto* port = findPortLocked(stream.port);
    if (!port || !port->receive) return;
    auto eventList = std::make_shared<MIDIEventList>();
    MIDIEventPacket packet{now, {}};
    stream.sources[sequencerAddress(event.source.client, event.source.port)].encode(bytes, packet.words);
    if (packet.words.empty()) return;
    eventList->packets.push_back(std::move(packet));
    post([receive = port->receive, eventList = std::shared_ptr<const MIDIEventList>(eventList)] {
        if (*receive) (*receive)(*eventList);
    });
}

void AlsaMIDIService::scanSetupLocked() {
    std::set<std::uint64_t> sources;
    std::set<std::uint64_t> destinations;
    std::map<std::uint64_t, std::string> names;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(sequencer_, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || id == clientId_) continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(sequencer_, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            if (caps & SND_SEQ_PORT_CAP_NO_EXPORT) continue;
            const auto address = sequencerAddress(id, snd_seq_port_info_get_port(port));
            names[address] =
                std::string(snd_seq_client_info_get_name(client)) + ":" + snd_seq_port_info_get_name(port);
            if ((caps & SND_SEQ_PORT_CAP_READ) && (caps & SND_SEQ_PORT_CAP_SUBS_READ))
                sources.insert(address);
            if ((caps & SND_SEQ_PORT_CAP_WRITE) && (caps & SND_SEQ_PORT_CAP_SUBS_WRITE))
                destinations.insert(address);
        }
    }
    auto update = [&](std::map<std::uint64_t, MIDIEndpointRef>& known, const std::set<std::uint64_t>& present,
                      MIDIObjectType type) {
        for (auto it = known.begin(); it != known.end();) {
            if (present.count(it->first)) {
                ++it;
                continue;
            }
            removeEndpointLocked(it->second);
            it = known.erase(it);
        }
        for (auto address : present) {
            const auto& fullName = names[address];
            const auto portName = fullName.substr(fullName.find(':') + 1);
            if (auto existing = known.find(address); existing != known.end()) {
                auto* endpoint = findEndpointLocked(existing->second);
                auto& name = endpoint->strings[std::string(kMIDIPropertyName)];
                if (name != portName) {
                    name = portName;
                    notifyPropertyChangedLocked(existing->second, *endpoint, kMIDIPropertyName);
                }
                continue;
            }
            Endpoint endpoint;
            endpoint.type = type;
            endpoint.address = address;
            MIDIUniqueID id = stableUniqueID(fullName + (type == MIDIObjectType::source ? ">" : "<"));
            for (bool clash = true; clash;) {
                clash = id == 0;
                for (auto& [ref, other] : endpoints_)
                    if (auto held = other.integers.find(kMIDIPropertyUniqueID);
                        held != other.integers.end() && held->second == id)
                        clash = true;
                if (clash) id = (id + 1) & 0x7FFFFFFF;
            }
            endpoint.integers[std::string(kMIDIPropertyUniqueID)] = id;
            known[address] = addEndpointLocked(std::move(endpoint), portName);
        }
    };
    update(externalSources_, sources, MIDIObjectType::source);
    update(externalDestinations_, destinations, MIDIObjectType::destination);
}

} // namespace platform
