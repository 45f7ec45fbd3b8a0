#pragma once
// What the MIDI back ends share: the tables of clients, ports and endpoints with their properties and
// unique ids, the endpoint lists, the notifications, and the delivery of packets to ports and
// destinations. A back end adds the transport (hooks called with the table lock held) and the thread that
// runs deliveries (dispatch()). Any thread.

#include "platform/midi/MIDIService.h"
#include "platform/midi/UniversalPackets.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class MIDIServiceCore : public MIDIService {
public:
    MIDIStatusCode clientCreate(std::string_view name, NotifyBlock notify, MIDIClientRef& client) override;
    MIDIStatusCode clientDispose(MIDIClientRef client) override;
    MIDIStatusCode inputPortCreate(MIDIClientRef client, std::string_view name, MIDIProtocolID protocol,
                                   ReceiveBlock receive, MIDIPortRef& port) override;
    MIDIStatusCode outputPortCreate(MIDIClientRef client, std::string_view name, MIDIPortRef& port) override;
    MIDIStatusCode portDispose(MIDIPortRef port) override;
    MIDIStatusCode portConnectSource(MIDIPortRef port, MIDIEndpointRef source) override;
    MIDIStatusCode portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) override;
    MIDIStatusCode destinationCreate(MIDIClientRef client, std::string_view name, ReadBlock read,
                                     MIDIEndpointRef& destination) override;
    MIDIStatusCode sourceCreate(MIDIClientRef client, std::string_view name,
                                MIDIEndpointRef& source) override;
    MIDIStatusCode endpointDispose(MIDIEndpointRef endpoint) override;
    std::size_t numberOfSources() override;
    MIDIEndpointRef source(std::size_t index) override;
    std::size_t numberOfDestinations() override;
    MIDIEndpointRef destination(std::size_t index) override;
    MIDIStatusCode objectGetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                            std::int32_t& value) override;
    MIDIStatusCode objectSetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                            std::int32_t value) override;
    MIDIStatusCode objectGetStringProperty(MIDIObjectRef object, std::string_view key,
                                           std::string& value) override;
    MIDIStatusCode objectSetStringProperty(MIDIObjectRef object, std::string_view key,
                                           std::string_view value) override;

protected:
    struct Endpoint {
        MIDIObjectType type = MIDIObjectType::source;
        MIDIClientRef owner = 0; // 0: another program's (or device's) endpoint
        std::shared_ptr<const ReadBlock> read;
        std::map<std::string, std::int32_t, std::less<>> integers;
        std::map<std::string, std::string, std::less<>> strings;
        UniversalPacketEncoder encoder; // a source's bytes as the packets its input ports receive
        std::uint64_t address = 0;      // the back end's own address of the endpoint
    };
    struct Port {
        MIDIClientRef client = 0;
        bool input = false;
        std::string name;
        std::shared_ptr<const ReceiveBlock> receive;
        std::vector<MIDIEndpointRef> sources;
        std::uint64_t address = 0;
    };

    // Transport hooks, called with mutex_ held; they must not call blocks. A failing attach leaves the
    // tables unchanged.
    virtual MIDIStatusCode attachPort(Port& port) { return kMIDINoErr; }
    virtual void detachPort(Port& port) {}
    virtual MIDIStatusCode attachConnection(Port& port, Endpoint& source) { return kMIDINoErr; }
    virtual void detachConnection(Port& port, Endpoint& source) {}
    virtual MIDIStatusCode attachEndpoint(Endpoint& endpoint) { return kMIDINoErr; }
    virtual void detachEndpoint(Endpoint& endpoint) {}
    // One of our endpoints becomes private (or public again): the transport stops (or starts) offering it
    // to other programs. Called before the property is stored; a failure leaves it unchanged.
    virtual MIDIStatusCode changeEndpointPrivacy(Endpoint& endpoint, bool isPrivate) { return kMIDINoErr; }
    // Runs work on the delivery thread, in order; called without the lock.
    virtual void dispatch(std::vector<std::function<void()>> work) = 0;

    // Holds mutex_; when it ends, hands the work posted meanwhile to dispatch() with the lock released, so
    // no block runs under the lock.
    class Locked {
    public:
        explicit Locked(MIDIServiceCore& core) : core_(core), lock_(core.mutex_) {}
        ~Locked();
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        MIDIServiceCore& core_;
        std::unique_lock<std::mutex> lock_;
    };

    // Queues work for dispatch when the current Locked ends. mutex_ held.
    void post(std::function<void()> work) { pending_.push_back(std::move(work)); }

    // Adds an endpoint with a fresh unique id and announces it. mutex_ held.
    MIDIEndpointRef addEndpointLocked(Endpoint endpoint, std::string_view name);
    // Removes an endpoint, its connections and announces that. mutex_ held.
    void removeEndpointLocked(MIDIEndpointRef ref);
    // Encodes a source's packets and posts them to the input ports connected to it. mutex_ held.
    void deliverFromSourceLocked(MIDIEndpointRef ref, Endpoint& source,
                                 std::span<const std::uint8_t> packetList);
    // Posts a packet list to a destination's read block; false when it has none. mutex_ held.
    bool deliverToDestinationLocked(Endpoint& destination, std::span<const std::uint8_t> packetList);
    // Posts a notification to every client. mutex_ held.
    void notifyLocked(std::shared_ptr<const MIDINotification> notification);
    void notifyPropertyChangedLocked(MIDIObjectRef ref, const Endpoint& endpoint, std::string_view key);

    Endpoint* findEndpointLocked(MIDIEndpointRef ref);
    Port* findPortLocked(MIDIPortRef ref);
    MIDIEndpointRef endpointAtLocked(MIDIObjectType type, std::size_t index, std::size_t* count);

    std::mutex mutex_;
    std::map<MIDIClientRef, NotifyBlock> clients_;
    std::map<MIDIPortRef, Port> ports_;
    std::map<MIDIEndpointRef, Endpoint> endpoints_; // in the order of their coming
    MIDIObjectRef nextRef_ = 1;
    MIDIUniqueID nextUniqueID_ = 0x40000000;

private:
    std::vector<std::function<void()>> pending_;

    MIDIStatusCode createEndpoint(MIDIClientRef client, std::string_view name, MIDIObjectType type,
                                  std::shared_ptr<const ReadBlock> read, MIDIEndpointRef& out);
    void disposePortLocked(MIDIPortRef ref);
};

} // namespace platform
