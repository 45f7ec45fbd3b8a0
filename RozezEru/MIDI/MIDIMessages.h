#pragma once
// The vocabulary of MIDI 1.0 bytes: channel-voice status and its message types, system commands, the
// meta events of MIDI files and the two time formats of a file header, each with an English description
// for logs and event descriptions. Small immutable values; any thread. The controller numbers are
// MIDIControl (RozezEru/Internals/MIDIControl.h).

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rozezeru {

// A message value offers its bytes and a one-line description.
template <typename T>
concept MIDIMessage = requires(const T& message) {
    { message.data() } -> std::convertible_to<std::vector<std::uint8_t>>;
    { message.description() } -> std::convertible_to<std::string>;
};

// The channel-voice message types; the raw value is the status byte's high nibble.
enum class MIDIStatusType : int {
    noteOff = 8,
    noteOn = 9,
    polyphonicAftertouch = 10,
    controllerChange = 11,
    programChange = 12,
    channelAftertouch = 13,
    pitchWheel = 14,
};

std::optional<MIDIStatusType> midiStatusTypeFromRawValue(int rawValue);
std::string_view description(MIDIStatusType type);
// 2 for program change and channel aftertouch, 3 for the others.
int length(MIDIStatusType type);
// The case name ("noteOn"), as event dumps write it.
std::string_view caseName(MIDIStatusType type);

// A channel-voice status byte: type in the high nibble, channel (0...15) in the low nibble.
struct MIDIStatus {
    std::uint8_t byte = 0x80;

    // Nothing unless the byte lies in 0x80...0xEF.
    static std::optional<MIDIStatus> fromByte(std::uint8_t byte);
    // The caller keeps the channel within 0...15.
    MIDIStatus(MIDIStatusType type, std::uint8_t channel)
        : byte(static_cast<std::uint8_t>(static_cast<int>(type) * 16 + channel)) {}

    std::optional<MIDIStatusType> type() const;
    std::uint8_t channel() const { return byte & 0x0F; }
    // 3, 2, or 0 for a byte outside 0x80...0xEF.
    int length() const;
    std::vector<std::uint8_t> data() const { return {byte}; }
    // "Note On channel 3"; "Command: Timing Clock" for a system byte; else "Invalid message".
    std::string description() const;
};

// The description a status byte of any kind gets, as MIDIStatus::description() words it.
std::string statusDescription(std::uint8_t byte);

// System messages; the raw value is the status byte. `continue` is a keyword here, hence `continue_`.
enum class MIDISystemCommand : std::uint8_t {
    sysEx = 0xF0,
    timeCodeQuarterFrame = 0xF1,
    songPosition = 0xF2,
    songSelect = 0xF3,
    tuneRequest = 0xF6,
    sysExEnd = 0xF7,
    clock = 0xF8,
    start = 0xFA,
    continue_ = 0xFB,
    stop = 0xFC,
    activeSensing = 0xFE,
    sysReset = 0xFF,
};

// Nothing below 0xF0 and for the undefined 0xF4, 0xF5, 0xF9, 0xFD.
std::optional<MIDISystemCommand> midiSystemCommandFromRawValue(std::uint8_t rawValue);
std::string_view description(MIDISystemCommand command);

// The three families of system messages.
enum class MIDISystemCommandType { systemRealtime, systemCommon, systemExclusive };

// Meta-event types of MIDI files; the raw value is the type byte after 0xFF.
enum class MIDICustomMetaEventType : std::uint8_t {
    sequenceNumber = 0x00,
    textEvent = 0x01,
    copyright = 0x02,
    trackName = 0x03,
    instrumentName = 0x04,
    lyric = 0x05,
    marker = 0x06,
    cuePoint = 0x07,
    programName = 0x08,
    devicePortName = 0x09,
    metaEvent10 = 0x0A,
    metaEvent12 = 0x0C,
    channelPrefix = 0x20,
    midiPort = 0x21,
    endOfTrack = 0x2F,
    setTempo = 0x51,
    smtpeOffset = 0x54,
    timeSignature = 0x58,
    keySignature = 0x59,
    sequencerSpecificMetaEvent = 0x7F,
};

std::optional<MIDICustomMetaEventType> midiCustomMetaEventTypeFromRawValue(std::uint8_t rawValue);
std::string_view description(MIDICustomMetaEventType type);

// One meta event of a MIDI file: 0xFF, the type, the payload length as a variable-length quantity, the
// payload.
struct MIDICustomMetaEvent {
    std::optional<double> positionInBeats;

    // Nothing for fewer than 3 bytes, a first byte other than 0xFF or an unknown type. The event keeps its
    // own bytes only (type, length quantity and payload), or all of the input when that is shorter.
    static std::optional<MIDICustomMetaEvent> fromData(std::span<const std::uint8_t> bytes);
    // As a file holds it: any type 0x00...0x7F (one without a name keeps its raw byte as type), and
    // nothing unless the whole declared payload is there.
    static std::optional<MIDICustomMetaEvent> fromFileData(std::span<const std::uint8_t> bytes);
    bool isKnownType() const { return data_.size() > 1 && midiCustomMetaEventTypeFromRawValue(data_[1]); }

    const std::vector<std::uint8_t>& data() const { return data_; }
    MIDICustomMetaEventType type() const { return type_; }
    // The declared payload length.
    int length() const { return length_; }
    // The payload as UTF-8; nothing when it is not well-formed.
    std::optional<std::string> text() const;
    // "Track Name 4 bytes long - Bass": the text part only for the types that name something.
    std::string description() const;

private:
    std::vector<std::uint8_t> data_;
    MIDICustomMetaEventType type_ = MIDICustomMetaEventType::sequenceNumber;
    int length_ = 0;
};

enum class MIDITimeFormat : int { ticksPerBeat = 0, framesPerSecond = 1 };
std::optional<MIDITimeFormat> midiTimeFormatFromRawValue(int rawValue);

// The bytes as "[144, 60, 100]".
std::string byteListDescription(std::span<const std::uint8_t> bytes);

} // namespace rozezeru
