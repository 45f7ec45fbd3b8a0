#include "platform/midi/MIDIServiceCore.h"

#include <algorithm>

namespace platform {

namespace {

std::shared_ptr<MIDIObjectAddRemoveNotification>
addRemoveNotification(MIDINotificationMessageID id, MIDIObjectRef child, MIDIObjectType type) {
    auto notification = std::make_shared<MIDIObjectAddRemoveNotification>();
    notification->messageID = id;
    notification->messageSize = sizeof(MIDIObjectAddRemoveNotification);
    notification->child = child;
    notification->childType = type;
    return notification;
}

} // namespace

MIDIServiceCore::Locked::~Locked() {
    auto work = std::move(core_.pending_);
    core_.pending_.clear();
    lock_.unlock();
    if (!work.empty()) core_.dispatch(std::move(work));
}

MIDIStatusCode MIDIServiceCore::clientCreate(std::string_view, NotifyBlock notify, MIDIClientRef& client) {
    Locked lock(*this);
    client = nextRef_++;
    clients_.emplace(client, std::move(notify));
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::clientDispose(MIDIClientRef client) {
    Locked lock(*this);
    if (!clients_.count(client)) return kMIDIInvalidClient;
    std::vector<MIDIPortRef> ports;
    for (auto& [ref, port] : ports_)
        if (port.client == client) ports.push_back(ref);
    for (auto ref : ports)
        disposePortLocked(ref);
    std::vector<MIDIEndpointRef> owned;
    for (auto& [ref, endpoint] : endpoints_)
        if (endpoint.owner == client) owned.push_back(ref);
    for (auto ref : owned)
        removeEndpointLocked(ref);
    clients_.erase(client);
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::inputPortCreate(MIDIClientRef client, std::string_view name, MIDIProtocolID,
                                                ReceiveBlock receive, MIDIPortRef& port) {
    Locked lock(*this);
    if (!clients_.count(client)) return kMIDIInvalidClient;
    Port made{client, true, std::string(name), std::make_shared<const ReceiveBlock>(std::move(receive)),
              {},     0};
    if (auto status = attachPort(made); status != kMIDINoErr) return status;
    port = nextRef_++;
    ports_.emplace(port, std::move(made));
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::outputPortCreate(MIDIClientRef client, std::string_view name,
                                                 MIDIPortRef& port) {
    Locked lock(*this);
    if (!clients_.count(client)) return kMIDIInvalidClient;
    Port made{client, false, std::string(name), nullptr, {}, 0};
    if (auto status = attachPort(made); status != kMIDINoErr) return status;
    port = nextRef_++;
    ports_.emplace(port, std::move(made));
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::portDispose(MIDIPortRef port) {
    Locked lock(*this);
    if (!ports_.count(port)) return kMIDIInvalidPort;
    disposePortLocked(port);
    return kMIDINoErr;
}

void MIDIServiceCore::disposePortLocked(MIDIPortRef ref) {
    auto& port = ports_.at(ref);
    for (auto source : port.sources)
        if (auto* endpoint = findEndpointLocked(source)) detachConnection(port, *endpoint);
    detachPort(port);
    ports_.erase(ref);
}

MIDIStatusCode MIDIServiceCore::portConnectSource(MIDIPortRef ref, MIDIEndpointRef source) {
    Locked lock(*this);
    auto* port = findPortLocked(ref);
    if (!port || !port->input) return kMIDIInvalidPort;
    auto* endpoint = findEndpointLocked(source);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source) return kMIDIWrongEndpointType;
    if (std::find(port->sources.begin(), port->sources.end(), source) != port->sources.end())
        return kMIDINoErr;
    if (auto status = attachConnection(*port, *endpoint); status != kMIDINoErr) return status;
    port->sources.push_back(source);
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::portDisconnectSource(MIDIPortRef ref, MIDIEndpointRef source) {
    Locked lock(*this);
    auto* port = findPortLocked(ref);
    if (!port || !port->input) return kMIDIInvalidPort;
    auto found = std::find(port->sources.begin(), port->sources.end(), source);
    if (found == port->sources.end()) return kMIDINoConnection;
    if (auto* endpoint = findEndpointLocked(source)) detachConnection(*port, *endpoint);
    port->sources.erase(found);
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::destinationCreate(MIDIClientRef client, std::string_view name, ReadBlock read,
                                                  MIDIEndpointRef& destination) {
    return createEndpoint(client, name, MIDIObjectType::destination,
                          std::make_shared<const ReadBlock>(std::move(read)), destination);
}

MIDIStatusCode MIDIServiceCore::sourceCreate(MIDIClientRef client, std::string_view name,
                                             MIDIEndpointRef& source) {
    return createEndpoint(client, name, MIDIObjectType::source, nullptr, source);
}

MIDIStatusCode MIDIServiceCore::createEndpoint(MIDIClientRef client, std::string_view name,
                                               MIDIObjectType type, std::shared_ptr<const ReadBlock> read,
                                               MIDIEndpointRef& out) {
    Locked lock(*this);
    if (!clients_.count(client)) return kMIDIInvalidClient;
    Endpoint endpoint;
    endpoint.type = type;
    endpoint.owner = client;
    endpoint.read = std::move(read);
    endpoint.strings[std::string(kMIDIPropertyName)] = std::string(name);
    if (auto status = attachEndpoint(endpoint); status != kMIDINoErr) return status;
    out = addEndpointLocked(std::move(endpoint), name);
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::endpointDispose(MIDIEndpointRef ref) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(ref);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->owner == 0) return kMIDIWrongEndpointType;
    removeEndpointLocked(ref);
    return kMIDINoErr;
}

MIDIEndpointRef MIDIServiceCore::addEndpointLocked(Endpoint endpoint, std::string_view name) {
    const auto ref = nextRef_++;
    endpoint.strings[std::string(kMIDIPropertyName)] = std::string(name);
    if (!endpoint.integers.count(kMIDIPropertyUniqueID)) {
        auto taken = [&](MIDIUniqueID id) {
            for (auto& [other, e] : endpoints_)
                if (auto found = e.integers.find(kMIDIPropertyUniqueID);
                    found != e.integers.end() && found->second == id)
                    return true;
            return id == 0;
        };
        while (taken(nextUniqueID_))
            ++nextUniqueID_;
        endpoint.integers[std::string(kMIDIPropertyUniqueID)] = nextUniqueID_++;
    }
    const auto type = endpoint.type;
    endpoints_.emplace(ref, std::move(endpoint));
    notifyLocked(addRemoveNotification(MIDINotificationMessageID::objectAdded, ref, type));
    notifyLocked(std::make_shared<MIDINotification>());
    return ref;
}

void MIDIServiceCore::removeEndpointLocked(MIDIEndpointRef ref) {
    auto found = endpoints_.find(ref);
    if (found == endpoints_.end()) return;
    for (auto& [portRef, port] : ports_) {
        auto connection = std::find(port.sources.begin(), port.sources.end(), ref);
        if (connection == port.sources.end()) continue;
        detachConnection(port, found->second);
        port.sources.erase(connection);
    }
    detachEndpoint(found->second);
    const auto type = found->second.type;
    endpoints_.erase(found);
    notifyLocked(addRemoveNotification(MIDINotificationMessageID::objectRemoved, ref, type));
    notifyLocked(std::make_shared<MIDINotification>());
}

MIDIEndpointRef MIDIServiceCore::endpointAtLocked(MIDIObjectType type, std::size_t index,
                                                  std::size_t* count) {
    std::size_t position = 0;
    MIDIEndpointRef found = 0;
    for (auto& [ref, endpoint] : endpoints_) {
        if (endpoint.type != type) continue;
        if (auto hidden = endpoint.integers.find(kMIDIPropertyPrivate);
            hidden != endpoint.integers.end() && hidden->second != 0)
            continue;
        if (position == index) found = ref;
        ++position;
    }
    if (count) *count = position;
    return found;
}

std::size_t MIDIServiceCore::numberOfSources() {
    Locked lock(*this);
    std::size_t count = 0;
    endpointAtLocked(MIDIObjectType::source, SIZE_MAX, &count);
    return count;
}

MIDIEndpointRef MIDIServiceCore::source(std::size_t index) {
    Locked lock(*this);
    return endpointAtLocked(MIDIObjectType::source, index, nullptr);
}

std::size_t MIDIServiceCore::numberOfDestinations() {
    Locked lock(*this);
    std::size_t count = 0;
    endpointAtLocked(MIDIObjectType::destination, SIZE_MAX, &count);
    return count;
}

MIDIEndpointRef MIDIServiceCore::destination(std::size_t index) {
    Locked lock(*this);
    return endpointAtLocked(MIDIObjectType::destination, index, nullptr);
}

MIDIStatusCode MIDIServiceCore::objectGetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                                         std::int32_t& value) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(object);
    if (!endpoint) return kMIDIObjectNotFound;
    auto found = endpoint->integers.find(key);
    if (found == endpoint->integers.end()) return kMIDIUnknownProperty;
    value = found->second;
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::objectSetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                                         std::int32_t value) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(object);
    if (!endpoint) return kMIDIObjectNotFound;
    if (key == kMIDIPropertyUniqueID) {
        for (auto& [ref, other] : endpoints_) {
            if (ref == object) continue;
            if (auto id = other.integers.find(kMIDIPropertyUniqueID);
                id != other.integers.end() && id->second == value)
                return kMIDIIDNotUnique;
        }
    }
    if (key == kMIDIPropertyPrivate && endpoint->owner != 0) {
        if (const auto status = changeEndpointPrivacy(*endpoint, value != 0); status != kMIDINoErr)
            return status;
    }
    endpoint->integers[std::string(key)] = value;
    notifyPropertyChangedLocked(object, *endpoint, key);
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::objectGetStringProperty(MIDIObjectRef object, std::string_view key,
                                                        std::string& value) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(object);
    if (!endpoint) return kMIDIObjectNotFound;
    auto found = endpoint->strings.find(key);
    if (found == endpoint->strings.end()) return kMIDIUnknownProperty;
    value = found->second;
    return kMIDINoErr;
}

MIDIStatusCode MIDIServiceCore::objectSetStringProperty(MIDIObjectRef object, std::string_view key,
                                                        std::string_view value) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(object);
    if (!endpoint) return kMIDIObjectNotFound;
    endpoint->strings[std::string(key)] = std::string(value);
    notifyPropertyChangedLocked(object, *endpoint, key);
    return kMIDINoErr;
}

void MIDIServiceCore::deliverFromSourceLocked(MIDIEndpointRef ref, Endpoint& source,
                                              std::span<const std::uint8_t> packetList) {
    auto eventList = std::make_shared<MIDIEventList>();
    for (const auto& packet : MIDIPacketListView(packetList)) {
        MIDIEventPacket converted{packet.timeStamp, {}};
        source.encoder.encode(packet.data, converted.words);
        if (!converted.words.empty()) eventList->packets.push_back(std::move(converted));
    }
    if (eventList->packets.empty()) return;
    std::vector<std::shared_ptr<const ReceiveBlock>> receivers;
    for (auto& [portRef, port] : ports_)
        if (port.input && std::find(port.sources.begin(), port.sources.end(), ref) != port.sources.end())
            receivers.push_back(port.receive);
    if (receivers.empty()) return;
    post([receivers = std::move(receivers), eventList = std::shared_ptr<const MIDIEventList>(eventList)] {
        for (auto& receive : receivers)
            if (*receive) (*receive)(*eventList);
    });
}

bool MIDIServiceCore::deliverToDestinationLocked(Endpoint& destination,
                                                 std::span<const std::uint8_t> packetList) {
    if (!destination.read || !*destination.read) return false;
    post([read = destination.read, bytes = std::vector<std::uint8_t>(packetList.begin(), packetList.end())] {
        (*read)(bytes);
    });
    return true;
}

void MIDIServiceCore::notifyLocked(std::shared_ptr<const MIDINotification> notification) {
    std::vector<NotifyBlock> blocks;
    for (auto& [ref, notify] : clients_)
        if (notify) blocks.push_back(notify);
    if (blocks.empty()) return;
    post([blocks = std::move(blocks), notification = std::move(notification)] {
        for (auto& notify : blocks)
            notify(*notification);
    });
}

void MIDIServiceCore::notifyPropertyChangedLocked(MIDIObjectRef ref, const Endpoint& endpoint,
                                                  std::string_view key) {
    auto notification = std::make_shared<MIDIObjectPropertyChangeNotification>();
    notification->messageID = MIDINotificationMessageID::propertyChanged;
    notification->messageSize = sizeof(MIDIObjectPropertyChangeNotification);
    notification->object = ref;
    notification->objectType = endpoint.type;
    notification->propertyName = std::string(key);
    notifyLocked(std::move(notification));
}

MIDIServiceCore::Endpoint* MIDIServiceCore::findEndpointLocked(MIDIEndpointRef ref) {
    auto found = endpoints_.find(ref);
    return found == endpoints_.end() ? nullptr : &found->second;
}

MIDIServiceCore::Port* MIDIServiceCore::findPortLocked(MIDIPortRef ref) {
    auto found = ports_.find(ref);
    return found == ports_.end() ? nullptr : &found->second;
}

} // namespace platform
