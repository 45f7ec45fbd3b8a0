#pragma once
// One MIDI 1.0 message as bytes, with an optional position in beats (events of a file), offset and host
// time stamp. Built from bytes, from packets and packet lists, from MIDI over Bluetooth LE and from the
// usual channel messages; answers status, channel, note, pitch bend and system command. A plain value;
// any thread. The initializers that read packets take the system-exclusive state of the packets' source.

#include "RozezEru/MIDI/MIDIMessages.h"
#include "RozezEru/MIDI/MIDISysExReception.h"
#include "platform/midi/MIDIPacketList.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rozezeru {

using platform::MIDITimeStamp;

struct MIDIEvent {
    std::vector<std::uint8_t> data;
    std::optional<double> positionInBeats;
    std::optional<MIDITimeStamp> offset;
    std::optional<MIDITimeStamp> timeStamp;

    MIDIEvent() = default;
    // Normalises: a channel status keeps its byte with every further byte masked to 7 bits; a system
    // command keeps all its bytes; anything else (data bytes first, undefined status) gives no bytes, with
    // a log line when the first byte is a meta-event type.
    explicit MIDIEvent(std::span<const std::uint8_t> bytes,
                       std::optional<MIDITimeStamp> timeStamp = std::nullopt);
    MIDIEvent(std::initializer_list<std::uint8_t> bytes)
        : MIDIEvent(std::span(bytes.begin(), bytes.size())) {}

    // [command, byte1] and byte2 when given, unchanged.
    static MIDIEvent fromCommand(MIDISystemCommand command, std::uint8_t byte1,
                                 std::optional<std::uint8_t> byte2);
    // Channels are 0...15; higher bits of a channel are dropped.
    static MIDIEvent noteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel);
    static MIDIEvent noteOff(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel);
    static MIDIEvent programChange(std::uint8_t program, std::uint8_t channel);
    static MIDIEvent controllerChange(std::uint8_t controller, std::uint8_t value, std::uint8_t channel);

    // The packet's first message, with the packet's time stamp; only the bytes of that message that the
    // packet holds. A packet starting a system-exclusive message starts it in `reception`; the event holds
    // the message when the packet also ends it, else no bytes.
    static MIDIEvent fromPacket(const platform::MIDIPacket& packet, MIDISysExReception& reception);
    // Adds a packet to the system-exclusive message being received; the whole message once a 0xF7 ends it.
    static std::optional<MIDIEvent> continuingSysExPacket(const platform::MIDIPacket& packet,
                                                          MIDISysExReception& reception);
    // Every message of every packet of a packet list held in `packetList`, in order.
    static std::vector<MIDIEvent> events(std::span<const std::uint8_t> packetList,
                                         MIDISysExReception& reception);
    static std::vector<MIDIEvent> events(std::span<const std::uint8_t> packetList);
    // The messages of one MIDI-over-Bluetooth-LE packet.
    static std::vector<MIDIEvent> eventsFromBluetoothData(std::span<const std::uint8_t> packet);

    std::optional<MIDIStatus> status() const;
    // Nothing for 0xFF, which in a file begins a meta event.
    std::optional<MIDISystemCommand> command() const;
    std::optional<std::uint8_t> channel() const;
    std::optional<std::uint8_t> noteNumber() const;
    std::optional<std::uint16_t> pitchbendAmount() const;
    int byteCount() const { return static_cast<int>(data.size()); }
    // The bytes in pieces of 256, the last shorter or empty.
    std::vector<std::vector<std::uint8_t>> chunkedData() const;
    std::string description() const;

    friend bool operator==(const MIDIEvent&, const MIDIEvent&) = default;
};

// The events of the messages in one packet. Each message takes the bytes its status needs; real-time
// bytes inside a message come out as events of their own before it; a system-exclusive message runs to
// its 0xF7, across packets through `reception`, and the messages after it follow. A data byte where a
// status should stand ends the walk (packets use no running status), and an unfinished message at the
// end of the packet is dropped. Every event carries the packet's time stamp.
std::vector<MIDIEvent> packetEvents(const platform::MIDIPacket& packet, MIDISysExReception& reception);

} // namespace rozezeru
