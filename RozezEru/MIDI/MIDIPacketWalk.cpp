#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "platform/midi/UniversalPackets.h"

namespace rozezeru {

std::vector<MIDIEvent> packetEvents(const platform::MIDIPacket& packet, MIDISysExReception& reception) {
    std::vector<MIDIEvent> events;
    const auto bytes = packet.data;
    const auto stamp = packet.timeStamp;
    std::uint8_t message[3] = {};
    std::size_t count = 0;
    std::size_t needed = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = bytes[i];
        if (byte >= 0xF8) {
            // Real time may come anywhere, even inside another message; 0xFF live is a system reset.
            if (byte != 0xF9 && byte != 0xFD) events.emplace_back(std::span(&bytes[i], 1), stamp);
            continue;
        }
        if (reception.isReceivingSysEx()) {
            if (byte < 0x80) {
                reception.appendIncomingSysEx(bytes.subspan(i, 1));
                continue;
            }
            if (byte == 0xF7) {
                reception.appendIncomingSysEx(bytes.subspan(i, 1));
                events.emplace_back(reception.incomingSysEx(), stamp);
                reception.stopReceivingSysEx();
                continue;
            }
            Log(LogSite("packetEvents", OSLog::midi()), "SysEx cut short by status", static_cast<int>(byte),
                "after", reception.incomingSysEx().size(), "bytes, dropped");
            reception.stopReceivingSysEx();
        }
        if (byte == 0xF0) {
            reception.startReceivingSysEx({byte});
            count = 0;
            continue;
        }
        if (byte >= 0x80) {
            count = 0;
            needed = platform::midi1MessageLength(byte);
            // A stray 0xF7 and the undefined 0xF4 and 0xF5 carry no message.
            if (needed == 0) continue;
            message[count++] = byte;
        } else {
            // Packets carry whole messages, so a data byte where a status belongs means the rest cannot
            // be read safely: a three-byte program change must not turn into a second one.
            if (count == 0) {
                Log(LogSite("packetEvents", OSLog::midi()), "Data byte", static_cast<int>(byte),
                    "without a status, rest of the packet dropped:", bytes.size() - i, "bytes");
                break;
            }
            message[count++] = byte;
        }
        if (count == needed) {
            events.emplace_back(std::span(message, count), stamp);
            count = 0;
        }
    }
    return events;
}

} // namespace rozezeru
