#pragma once
// What the toolkit tells its users about one platform MIDI endpoint: names and maker data as the service
// reports them, the unique id and the handles. A plain value, usable from any thread.

#include "platform/foundation/KeyedCoding.h"
#include "platform/midi/MIDITypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class MIDIService;
}

namespace rozezeru {

struct EndpointInfo {
    std::string name;
    std::string displayName;
    std::string model;
    std::string manufacturer;
    std::string image;
    std::string driverOwner;
    platform::MIDIUniqueID midiUniqueID = 0;
    platform::MIDIEndpointRef midiEndpointRef = 0;
    std::optional<platform::MIDIPortRef> midiPortRef;

    // Reads the endpoint's properties; one that cannot be read is empty (or 0 for the id).
    static EndpointInfo read(platform::MIDIService& service, platform::MIDIEndpointRef endpoint);

    // The handle is the service's of the moment, so it takes no part: the same endpoint read again is
    // equal as long as its properties did not change. Fields are compared, never their hashes.
    bool operator==(const EndpointInfo& other) const;
    std::size_t hash() const;

    // Keyed coding under the field names; the first eight keys are required, "midiPortRef" is written
    // only when present.
    void encode(platform::KeyedEncoder& encoder) const;
    static EndpointInfo decode(const platform::KeyedDecoder& decoder);
    // The same keys as a JSON object; bytes of the texts that are not UTF-8 are written as U+FFFD. A
    // missing required key or a value of the wrong type or range gives nothing, with the reason in
    // `error`.
    std::string json() const;
    static std::optional<EndpointInfo> fromJSON(std::string_view text, std::string* error = nullptr);
};

} // namespace rozezeru

template <> struct std::hash<rozezeru::EndpointInfo> {
    std::size_t operator()(const rozezeru::EndpointInfo& info) const { return info.hash(); }
};
