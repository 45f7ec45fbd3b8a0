#include "RozezEru/MIDI/EndpointInfo.h"

#include "platform/midi/MIDIService.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>
#include <vector>

namespace rozezeru {

namespace {

constexpr const char* stringKeys[] = {"name", "displayName", "model", "manufacturer", "image", "driverOwner"};

template <typename Info> auto stringFields(Info& info) {
    return std::array{&info.name,         &info.displayName, &info.model,
                      &info.manufacturer, &info.image,       &info.driverOwner};
}

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// A JSON number that must fit T exactly: 2.5 or 2^40 is no MIDI id or handle.
template <typename T> std::optional<T> integer(const nlohmann::json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
        return static_cast<T>(number);
    }
    const auto number = value.get<std::int64_t>();
    if (number < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        number > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(number);
}

} // namespace

EndpointInfo EndpointInfo::read(platform::MIDIService& service, platform::MIDIEndpointRef endpoint) {
    EndpointInfo info;
    const std::string_view keys[] = {platform::kMIDIPropertyName,  platform::kMIDIPropertyDisplayName,
                                     platform::kMIDIPropertyModel, platform::kMIDIPropertyManufacturer,
                                     platform::kMIDIPropertyImage, platform::kMIDIPropertyDriverOwner};
    const auto fields = stringFields(info);
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (service.objectGetStringProperty(endpoint, keys[i], *fields[i]) != platform::kMIDINoErr)
            fields[i]->clear();
    if (service.objectGetIntegerProperty(endpoint, platform::kMIDIPropertyUniqueID, info.midiUniqueID) !=
        platform::kMIDINoErr)
        info.midiUniqueID = 0;
    info.midiEndpointRef = endpoint;
    return info;
}

bool EndpointInfo::operator==(const EndpointInfo& other) const {
    return name == other.name && displayName == other.displayName && model == other.model &&
           manufacturer == other.manufacturer && image == other.image && driverOwner == other.driverOwner &&
           midiUniqueID == other.midiUniqueID && midiPortRef == other.midiPortRef;
}

std::size_t EndpointInfo::hash() const {
    std::size_t seed = 0;
    for (const auto* text : stringFields(*this))
        combine(seed, std::hash<std::string>{}(*text));
    combine(seed, std::hash<std::int32_t>{}(midiUniqueID));
    combine(seed, midiPortRef.has_value());
    if (midiPortRef) combine(seed, std::hash<std::uint32_t>{}(*midiPortRef));
    return seed;
}

void EndpointInfo::encode(platform::KeyedEncoder& encoder) const {
    const auto fields = stringFields(*this);
    for (std::size_t i = 0; i < fields.size(); ++i)
        encoder.encode(stringKeys[i], *fields[i]);
    encoder.encode("midiUniqueID", midiUniqueID);
    encoder.encode("midiEndpointRef", midiEndpointRef);
    encoder.encodeIfPresent("midiPortRef", midiPortRef);
}

EndpointInfo EndpointInfo::decode(const platform::KeyedDecoder& decoder) {
    EndpointInfo info;
    const auto fields = stringFields(info);
    for (std::size_t i = 0; i < fields.size(); ++i)
        *fields[i] = decoder.decode<std::string>(stringKeys[i]);
    info.midiUniqueID = decoder.decode<platform::MIDIUniqueID>("midiUniqueID");
    info.midiEndpointRef = decoder.decode<platform::MIDIEndpointRef>("midiEndpointRef");
    info.midiPortRef = decoder.decodeIfPresent<platform::MIDIPortRef>("midiPortRef");
    return info;
}

std::string EndpointInfo::json() const {
    // Key order as the fields are listed, so the text reads like the record.
    nlohmann::ordered_json object;
    const auto fields = stringFields(*this);
    for (std::size_t i = 0; i < fields.size(); ++i)
        object[stringKeys[i]] = *fields[i];
    object["midiUniqueID"] = midiUniqueID;
    object["midiEndpointRef"] = midiEndpointRef;
    if (midiPortRef) object["midiPortRef"] = *midiPortRef;
    // The sequencer hands names over as bytes, which need not be UTF-8: such bytes become U+FFFD rather
    // than an exception.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<EndpointInfo> EndpointInfo::fromJSON(std::string_view text, std::string* error) {
    auto fail = [&](std::string reason) -> std::optional<EndpointInfo> {
        if (error) *error = std::move(reason);
        return std::nullopt;
    };
    const auto object = nlohmann::json::parse(text, nullptr, false);
    if (object.is_discarded()) return fail("not JSON");
    if (!object.is_object()) return fail("not a JSON object");
    EndpointInfo info;
    const auto fields = stringFields(info);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto entry = object.find(stringKeys[i]);
        if (entry == object.end() || !entry->is_string())
            return fail(std::string("\"") + stringKeys[i] + "\" is missing or not a string");
        *fields[i] = entry->get<std::string>();
    }
    const auto number = [&](const char* key, auto& field) {
        const auto entry = object.find(key);
        if (entry == object.end()) return false;
        const auto value = integer<std::remove_reference_t<decltype(field)>>(*entry);
        if (value) field = *value;
        return value.has_value();
    };
    if (!number("midiUniqueID", info.midiUniqueID))
        return fail("\"midiUniqueID\" is missing or not a 32-bit integer");
    if (!number("midiEndpointRef", info.midiEndpointRef))
        return fail("\"midiEndpointRef\" is missing or not an unsigned 32-bit integer");
    if (object.contains("midiPortRef")) {
        platform::MIDIPortRef port = 0;
        if (!number("midiPortRef", port)) return fail("\"midiPortRef\" is not an unsigned 32-bit integer");
        info.midiPortRef = port;
    }
    return info;
}

} // namespace rozezeru
