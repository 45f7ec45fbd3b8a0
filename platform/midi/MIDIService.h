#pragma once
// The platform MIDI service: clients, input and output ports, sources and destinations with their
// properties, sending and receiving. Stands in for CoreMIDI. Back ends: the ALSA sequencer for users and
// an in-process loopback for tests and headless runs. Every operation may be called from any thread;
// blocks are called on the service's own delivery thread (or, for a synchronous loopback, on the thread
// whose call caused them), never with a lock of the service held.

#include "platform/midi/MIDIPacketList.h"
#include "platform/midi/MIDITypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

class MIDIService {
public:
    // Client notifications; for propertyChanged the record is a MIDIObjectPropertyChangeNotification, for
    // objectAdded and objectRemoved a MIDIObjectAddRemoveNotification.
    using NotifyBlock = std::function<void(const MIDINotification& notification)>;
    // What an input port receives from the sources connected to it.
    using ReceiveBlock = std::function<void(const MIDIEventList& eventList)>;
    // What a destination of the client receives: a packet list as bytes (MIDIPacketListView walks it).
    using ReadBlock = std::function<void(std::span<const std::uint8_t> packetList)>;

    virtual ~MIDIService() = default;

    virtual MIDIStatusCode clientCreate(std::string_view name, NotifyBlock notify, MIDIClientRef& client) = 0;
    // Disposes of the client's ports and endpoints too.
    virtual MIDIStatusCode clientDispose(MIDIClientRef client) = 0;

    virtual MIDIStatusCode inputPortCreate(MIDIClientRef client, std::string_view name,
                                           MIDIProtocolID protocol, ReceiveBlock receive,
                                           MIDIPortRef& port) = 0;
    virtual MIDIStatusCode outputPortCreate(MIDIClientRef client, std::string_view name,
                                            MIDIPortRef& port) = 0;
    virtual MIDIStatusCode portDispose(MIDIPortRef port) = 0;
    virtual MIDIStatusCode portConnectSource(MIDIPortRef port, MIDIEndpointRef source) = 0;
    virtual MIDIStatusCode portDisconnectSource(MIDIPortRef port, MIDIEndpointRef source) = 0;

    // Sends a packet list through an output port to a destination.
    virtual MIDIStatusCode send(MIDIPortRef port, MIDIEndpointRef destination,
                                std::span<const std::uint8_t> packetList) = 0;
    // Delivers a packet list as coming from one of the client's own sources.
    virtual MIDIStatusCode received(MIDIEndpointRef source, std::span<const std::uint8_t> packetList) = 0;

    virtual MIDIStatusCode destinationCreate(MIDIClientRef client, std::string_view name, ReadBlock read,
                                             MIDIEndpointRef& destination) = 0;
    virtual MIDIStatusCode sourceCreate(MIDIClientRef client, std::string_view name,
                                        MIDIEndpointRef& source) = 0;
    virtual MIDIStatusCode endpointDispose(MIDIEndpointRef endpoint) = 0;

    // The endpoints in the service's order; private endpoints are left out. An index past the end gives 0.
    virtual std::size_t numberOfSources() = 0;
    virtual MIDIEndpointRef source(std::size_t index) = 0;
    virtual std::size_t numberOfDestinations() = 0;
    virtual MIDIEndpointRef destination(std::size_t index) = 0;

    virtual MIDIStatusCode objectGetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                                    std::int32_t& value) = 0;
    // A unique id already held by another object fails with kMIDIIDNotUnique.
    virtual MIDIStatusCode objectSetIntegerProperty(MIDIObjectRef object, std::string_view key,
                                                    std::int32_t value) = 0;
    virtual MIDIStatusCode objectGetStringProperty(MIDIObjectRef object, std::string_view key,
                                                   std::string& value) = 0;
    virtual MIDIStatusCode objectSetStringProperty(MIDIObjectRef object, std::string_view key,
                                                   std::string_view value) = 0;
};

} // namespace platform
