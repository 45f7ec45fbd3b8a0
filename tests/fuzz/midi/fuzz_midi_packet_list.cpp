// The packet-list walk and the packet walk over any bytes, as a destination's read block gets them, then
// the same bytes as a Bluetooth packet, a meta event and a length-prefixed system-exclusive message.
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDISysExMessage.h"
#include "platform/midi/UniversalPackets.h"

#include <cstdlib>

using namespace rozezeru;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    MIDISysExReception reception;
    for (const auto& event : MIDIEvent::events(bytes, reception)) {
        // Every event is made of bytes of the list, and a channel message is exactly as long as its status
        // says.
        if (event.data.size() > size) std::abort();
        if (event.status() && event.data.size() != platform::midi1MessageLength(event.data[0])) std::abort();
        (void)event.description();
    }
    for (const auto& event : MIDIEvent::eventsFromBluetoothData(bytes))
        if (event.data.size() > size) std::abort();
    if (auto meta = MIDICustomMetaEvent::fromData(bytes)) (void)meta->description();
    if (auto message = MIDISysExMessage::fromBytes(bytes))
        if (message->data().size() > size) std::abort();
    MIDISysExReception first;
    (void)MIDIEvent::fromPacket({0, bytes}, first);
    (void)MIDIEvent::continuingSysExPacket({0, bytes}, first);
    return 0;
}
