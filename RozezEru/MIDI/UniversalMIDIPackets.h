#pragma once
// Universal MIDI packets as the input ports receive them: MIDI 1.0 messages of one word become events,
// 7-bit system-exclusive messages are assembled per group across packets, other types are logged and
// skipped. Used on the thread that delivers the source's input.

#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDISysExReception.h"
#include "platform/midi/MIDIPacketList.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace rozezeru {

// The message type in the top four bits of a message's first word.
enum class UMPMessageType : std::uint8_t {
    Utility32bit = 0,
    SystemRealTimeAndCommon32bit = 1,
    MIDI1ChannelVoice32bit = 2,
    DataAndSysEx64bit = 3,
    MIDI2ChannelVoice64bit = 4,
    Data128bit = 5,
    Reserved32bit_1 = 6,
    Reserved32bit_2 = 7,
    Reserved64bit_3 = 8,
    Reserved64bit_4 = 9,
    Reserved64bit_5 = 10,
    Reserved96bit_6 = 11,
    Reserved96bit_7 = 12,
    Reserved128bit_8 = 13,
    Reserved128bit_9 = 14,
    Reserved128bit_10 = 15,
};

std::optional<UMPMessageType> umpMessageTypeFromRawValue(std::uint8_t rawValue);
std::string_view caseName(UMPMessageType type);

// The events of one packet, in message order. A message cut off by the end of the packet is logged and
// dropped.
std::vector<MIDIEvent> processUMPMessages(const platform::MIDIEventPacket& packet,
                                          MIDISysExReception& reception);

// One 7-bit system-exclusive message: status and byte count in the first byte, up to 6 payload bytes after
// it (a count above 6 reads as 6). Gives the complete message when one is finished, the payload for an
// unknown status, else nothing. A continue or end without a start is dropped.
std::vector<std::uint8_t> processUMPSysExMessage(std::span<const std::uint8_t, 7> bytes, std::uint8_t group,
                                                 MIDISysExReception& reception);

} // namespace rozezeru
