#pragma once
// The value types of the MIDI service: handles, unique ids, host time stamps, status codes, property
// keys and notification records. Plain values; any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Handles are never 0 for a live object; 0 means none.
using MIDIObjectRef = std::uint32_t;
using MIDIClientRef = MIDIObjectRef;
using MIDIPortRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;
using MIDIUniqueID = std::int32_t;
// Host time in the ticks of platform::hostTime().
using MIDITimeStamp = std::uint64_t;
using MIDIStatusCode = std::int32_t;

inline constexpr MIDIStatusCode kMIDINoErr = 0;
inline constexpr MIDIStatusCode kMIDIParamErr = -50;
inline constexpr MIDIStatusCode kMIDIInvalidClient = -10830;
inline constexpr MIDIStatusCode kMIDIInvalidPort = -10831;
inline constexpr MIDIStatusCode kMIDIWrongEndpointType = -10832;
inline constexpr MIDIStatusCode kMIDINoConnection = -10833;
inline constexpr MIDIStatusCode kMIDIUnknownEndpoint = -10834;
inline constexpr MIDIStatusCode kMIDIUnknownProperty = -10835;
inline constexpr MIDIStatusCode kMIDIWrongPropertyType = -10836;
inline constexpr MIDIStatusCode kMIDIMessageSendErr = -10838;
inline constexpr MIDIStatusCode kMIDIServerStartErr = -10839;
inline constexpr MIDIStatusCode kMIDIObjectNotFound = -10842;
inline constexpr MIDIStatusCode kMIDIIDNotUnique = -10843;

// The protocol an input port wants its event lists in.
enum class MIDIProtocolID : std::int32_t { midi1_0 = 1, midi2_0 = 2 };

enum class MIDIObjectType : std::int32_t { other = -1, device = 0, entity = 1, source = 2, destination = 3 };

// Property keys. Integer properties: uniqueID, isPrivate; the others are strings.
inline constexpr std::string_view kMIDIPropertyUniqueID = "uniqueID";
inline constexpr std::string_view kMIDIPropertyName = "name";
inline constexpr std::string_view kMIDIPropertyDisplayName = "displayName";
inline constexpr std::string_view kMIDIPropertyModel = "model";
inline constexpr std::string_view kMIDIPropertyManufacturer = "manufacturer";
inline constexpr std::string_view kMIDIPropertyImage = "image";
inline constexpr std::string_view kMIDIPropertyDriverOwner = "driverOwner";
inline constexpr std::string_view kMIDIPropertyPrivate = "private";

enum class MIDINotificationMessageID : std::int32_t {
    setupChanged = 1,
    objectAdded = 2,
    objectRemoved = 3,
    propertyChanged = 4,
    thruConnectionsChanged = 5,
    serialPortOwnerChanged = 6,
    ioError = 7,
};

// The common head of every notification; the message id tells which record it is.
struct MIDINotification {
    MIDINotificationMessageID messageID = MIDINotificationMessageID::setupChanged;
    std::uint32_t messageSize = sizeof(MIDINotification);
};

// Message id objectAdded or objectRemoved: an endpoint came or went.
struct MIDIObjectAddRemoveNotification : MIDINotification {
    MIDIObjectRef parent = 0;
    MIDIObjectType parentType = MIDIObjectType::other;
    MIDIObjectRef child = 0;
    MIDIObjectType childType = MIDIObjectType::other;
};

// Message id propertyChanged.
struct MIDIObjectPropertyChangeNotification : MIDINotification {
    MIDIObjectRef object = 0;
    MIDIObjectType objectType = MIDIObjectType::other;
    std::string propertyName;
};

} // namespace platform
