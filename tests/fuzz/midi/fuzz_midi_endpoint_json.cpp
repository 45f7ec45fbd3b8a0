// The endpoint description's JSON over any bytes: read as a JSON text, and taken as the names of an
// endpoint (split at zero bytes), as the ALSA sequencer may hand them over without being UTF-8. Writing
// never throws, and what is written reads back.
#include "RozezEru/MIDI/EndpointInfo.h"

#include <algorithm>
#include <cstdlib>

using namespace rozezeru;

namespace {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUTF8(const std::string& text) {
    const auto at = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned lead = at(i);
        unsigned low = 0x80, high = 0xBF;
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (length > 1 && (at(i + 1) < low || at(i + 1) > high)) return false;
        for (std::size_t k = 2; k < length; ++k)
            if (at(i + k) < 0x80 || at(i + k) > 0xBF) return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::string error;
    if (const auto read = EndpointInfo::fromJSON(bytes, &error)) {
        const auto again = EndpointInfo::fromJSON(read->json());
        if (!again || !(*again == *read) || again->midiEndpointRef != read->midiEndpointRef) std::abort();
    } else if (error.empty()) {
        std::abort(); // a refusal always says why
    }

    EndpointInfo info;
    std::string* fields[] = {&info.name,         &info.displayName, &info.model,
                             &info.manufacturer, &info.image,       &info.driverOwner};
    std::size_t start = 0;
    for (auto* field : fields) {
        if (start > bytes.size()) break;
        const auto end = std::min(bytes.find('\0', start), bytes.size());
        *field = std::string(bytes.substr(start, end - start));
        start = end + 1;
    }
    info.midiUniqueID = static_cast<platform::MIDIUniqueID>(size * 2654435761u);
    if (size % 2) info.midiPortRef = static_cast<platform::MIDIPortRef>(size);
    const auto back = EndpointInfo::fromJSON(info.json());
    if (!back || back->midiUniqueID != info.midiUniqueID || back->midiPortRef != info.midiPortRef)
        std::abort();
    const std::string* readBack[] = {&back->name,         &back->displayName, &back->model,
                                     &back->manufacturer, &back->image,       &back->driverOwner};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (!isUTF8(*readBack[i])) std::abort();
        if (isUTF8(*fields[i]) && *readBack[i] != *fields[i]) std::abort();
    }
    return 0;
}
