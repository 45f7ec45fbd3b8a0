#pragma once
// The in-process MIDI back end: clients of one process exchange messages through it, as tests and
// headless runs need. Delivery is synchronous (blocks run on the thread whose call caused them, after the
// call's own work) or threaded (one delivery thread, like a real service's receive thread). It also stands
// in for other programs' sources and destinations and can make chosen operations fail. Any thread.

#include "platform/midi/MIDIServiceCore.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <thread>

namespace platform {

class LoopbackMIDIService final : public MIDIServiceCore {
public:
    enum class Delivery { synchronous, threaded };
    // The operations whose failure can be injected.
    enum class Operation {
        clientCreate,
        inputPortCreate,
        outputPortCreate,
        portDispose,
        portConnectSource,
        portDisconnectSource,
        send,
        received,
        destinationCreate,
        sourceCreate,
        endpointDispose,
        setIntegerProperty,
    };

    explicit LoopbackMIDIService(Delivery delivery = Delivery::synchronous);
    ~LoopbackMIDIService() override;

    MIDIStatusCode clientCreate(std::string_view name, NotifyBlock notify, MIDIClientRef& client) override;
    MIDIStatusCode inputPortCreate(MIDIClientRef client, std::string_view name, MIDIProtocolID protocol,
                                   ReceiveBlock receive, MIDIPortRef& port) override;
    MIDIStatusCode outputPortCreate(MIDIClientRef client, std::string_view name, MIDIPortRef& port) override;
    MIDIStatusCode portDispose(MIDIPortRef port) override;
    MIDIStatusCode portConnectSource(MIDIPortRef port, MIDIEndpointRef source) override;
    MIDIStatusCode portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) override;
    MIDIStatusCode send(MIDIPortRef port, MIDIEndpointRef destination,
                        std::span<const std::uint8_t> packetList) override;
    MIDIStatusCode received(MIDIEndpointRef source, std::span<const std::uint8_t> packetList) override;
    MIDIStatusCode destinationCreate(MIDIClientRef client, std::string_view name, ReadBlock read,
                                     MIDIEndpointRef& destination) override;
    MIDIStatusCode sourceCreate(MIDIClientRef client, std::string_view name,
                                MIDIEndpointRef& source) override;
    MIDIStatusCode endpointDispose(MIDIEndpointRef endpoint) override;
    MIDIStatusCode objectSetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                            std::int32_t value) override;

    // Endpoints of another program or device, announced like any other.
    MIDIEndpointRef addExternalSource(std::string_view name);
    MIDIEndpointRef addExternalDestination(std::string_view name);
    bool removeExternalEndpoint(MIDIEndpointRef endpoint);
    // Sends a packet list from an external source to the ports connected to it.
    MIDIStatusCode emit(MIDIEndpointRef externalSource, std::span<const std::uint8_t> packetList);
    // The packet lists sent to an external destination so far, in order.
    std::vector<std::vector<std::uint8_t>> packetListsReceived(MIDIEndpointRef externalDestination);

    // The next `count` calls of `operation` fail with `status` and change nothing.
    void failNext(Operation operation, MIDIStatusCode status, int count = 1);
    // Returns once every delivery posted before the call has run. Not from a block.
    void waitUntilIdle();

protected:
    void dispatch(std::vector<std::function<void()>> work) override;

private:
    MIDIStatusCode injected(Operation operation);
    MIDIEndpointRef addExternal(MIDIObjectType type, std::string_view name);
    void run();

    const Delivery delivery_;
    std::mutex faultMutex_;
    std::map<Operation, std::pair<MIDIStatusCode, int>> faults_;
    std::map<MIDIEndpointRef, std::vector<std::vector<std::uint8_t>>> externalReceived_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::function<void()>> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace platform
