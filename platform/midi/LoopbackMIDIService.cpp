#include "platform/midi/LoopbackMIDIService.h"

namespace platform {

LoopbackMIDIService::LoopbackMIDIService(Delivery delivery) : delivery_(delivery) {
    if (delivery_ == Delivery::threaded) thread_ = std::thread([this] { run(); });
}

LoopbackMIDIService::~LoopbackMIDIService() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    thread_.join();
}

void LoopbackMIDIService::dispatch(std::vector<std::function<void()>> work) {
    if (delivery_ == Delivery::synchronous) {
        for (auto& item : work)
            item();
        return;
    }
    {
        std::lock_guard lock(queueMutex_);
        for (auto& item : work)
            queue_.push_back(std::move(item));
    }
    queueChanged_.notify_all();
}

void LoopbackMIDIService::run() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        // Deliveries still queued at the end are dropped, as a service going away drops them.
        if (stopping_) return;
        auto item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        item();
        item = nullptr;
        lock.lock();
        busy_ = false;
        queueChanged_.notify_all();
    }
}

void LoopbackMIDIService::waitUntilIdle() {
    if (delivery_ == Delivery::synchronous) return;
    std::unique_lock lock(queueMutex_);
    queueChanged_.wait(lock, [this] { return stopping_ || (queue_.empty() && !busy_); });
}

void LoopbackMIDIService::failNext(Operation operation, MIDIStatusCode status, int count) {
    std::lock_guard lock(faultMutex_);
    faults_[operation] = {status, count};
}

MIDIStatusCode LoopbackMIDIService::injected(Operation operation) {
    std::lock_guard lock(faultMutex_);
    auto found = faults_.find(operation);
    if (found == faults_.end()) return kMIDINoErr;
    const auto status = found->second.first;
    if (--found->second.second <= 0) faults_.erase(found);
    return status;
}

MIDIStatusCode LoopbackMIDIService::clientCreate(std::string_view name, NotifyBlock notify,
                                                 MIDIClientRef& client) {
    if (auto status = injected(Operation::clientCreate)) return status;
    return MIDIServiceCore::clientCreate(name, std::move(notify), client);
}

MIDIStatusCode LoopbackMIDIService::inputPortCreate(MIDIClientRef client, std::string_view name,
                                                    MIDIProtocolID protocol, ReceiveBlock receive,
                                                    MIDIPortRef& port) {
    if (auto status = injected(Operation::inputPortCreate)) return status;
    return MIDIServiceCore::inputPortCreate(client, name, protocol, std::move(receive), port);
}

MIDIStatusCode LoopbackMIDIService::outputPortCreate(MIDIClientRef client, std::string_view name,
                                                     MIDIPortRef& port) {
    if (auto status = injected(Operation::outputPortCreate)) return status;
    return MIDIServiceCore::outputPortCreate(client, name, port);
}

MIDIStatusCode LoopbackMIDIService::portDispose(MIDIPortRef port) {
    if (auto status = injected(Operation::portDispose)) return status;
    return MIDIServiceCore::portDispose(port);
}

MIDIStatusCode LoopbackMIDIService::portConnectSource(MIDIPortRef port, MIDIEndpointRef source) {
    if (auto status = injected(Operation::portConnectSource)) return status;
    return MIDIServiceCore::portConnectSource(port, source);
}

MIDIStatusCode LoopbackMIDIService::portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) {
    if (auto status = injected(Operation::portDisconnectSource)) return status;
    return MIDIServiceCore::portDisconnectSource(port, source);
}

MIDIStatusCode LoopbackMIDIService::destinationCreate(MIDIClientRef client, std::string_view name,
                                                      ReadBlock read, MIDIEndpointRef& destination) {
    if (auto status = injected(Operation::destinationCreate)) return status;
    return MIDIServiceCore::destinationCreate(client, name, std::move(read), destination);
}

MIDIStatusCode LoopbackMIDIService::sourceCreate(MIDIClientRef client, std::string_view name,
                                                 MIDIEndpointRef& source) {
    if (auto status = injected(Operation::sourceCreate)) return status;
    return MIDIServiceCore::sourceCreate(client, name, source);
}

MIDIStatusCode LoopbackMIDIService::endpointDispose(MIDIEndpointRef endpoint) {
    if (auto status = injected(Operation::endpointDispose)) return status;
    return MIDIServiceCore::endpointDispose(endpoint);
}

MIDIStatusCode LoopbackMIDIService::objectSetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                                             std::int32_t value) {
    if (auto status = injected(Operation::setIntegerProperty)) return status;
    return MIDIServiceCore::objectSetIntegerProperty(object, key, value);
}

MIDIStatusCode LoopbackMIDIService::send(MIDIPortRef portRef, MIDIEndpointRef destination,
                                         std::span<const std::uint8_t> packetList) {
    if (auto status = injected(Operation::send)) return status;
    Locked lock(*this);
    auto* port = findPortLocked(portRef);
    if (!port || port->input) return kMIDIInvalidPort;
    auto* endpoint = findEndpointLocked(destination);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::destination) return kMIDIWrongEndpointType;
    if (endpoint->owner == 0)
        externalReceived_[destination].emplace_back(packetList.begin(), packetList.end());
    else
        deliverToDestinationLocked(*endpoint, packetList);
    return kMIDINoErr;
}

MIDIStatusCode LoopbackMIDIService::received(MIDIEndpointRef source,
                                             std::span<const std::uint8_t> packetList) {
    if (auto status = injected(Operation::received)) return status;
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(source);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source || endpoint->owner == 0) return kMIDIWrongEndpointType;
    deliverFromSourceLocked(source, *endpoint, packetList);
    return kMIDINoErr;
}

MIDIEndpointRef LoopbackMIDIService::addExternal(MIDIObjectType type, std::string_view name) {
    Locked lock(*this);
    Endpoint endpoint;
    endpoint.type = type;
    return addEndpointLocked(std::move(endpoint), name);
}

MIDIEndpointRef LoopbackMIDIService::addExternalSource(std::string_view name) {
    return addExternal(MIDIObjectType::source, name);
}

MIDIEndpointRef LoopbackMIDIService::addExternalDestination(std::string_view name) {
    return addExternal(MIDIObjectType::destination, name);
}

bool LoopbackMIDIService::removeExternalEndpoint(MIDIEndpointRef ref) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(ref);
    if (!endpoint || endpoint->owner != 0) return false;
    removeEndpointLocked(ref);
    externalReceived_.erase(ref);
    return true;
}

MIDIStatusCode LoopbackMIDIService::emit(MIDIEndpointRef externalSource,
                                         std::span<const std::uint8_t> packetList) {
    Locked lock(*this);
    auto* endpoint = findEndpointLocked(externalSource);
    if (!endpoint) return kMIDIUnknownEndpoint;
    if (endpoint->type != MIDIObjectType::source || endpoint->owner != 0) return kMIDIWrongEndpointType;
    deliverFromSourceLocked(externalSource, *endpoint, packetList);
    return kMIDINoErr;
}

std::vector<std::vector<std::uint8_t>>
LoopbackMIDIService::packetListsReceived(MIDIEndpointRef externalDestination) {
    Locked lock(*this);
    auto found = externalReceived_.find(externalDestination);
    return found == externalReceived_.end() ? std::vector<std::vector<std::uint8_t>>() : found->second;
}

} // namespace platform
