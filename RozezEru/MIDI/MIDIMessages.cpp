#include "RozezEru/MIDI/MIDIMessages.h"

#include "RozezEru/MIDI/MIDIConversions.h"
#include "RozezEru/MIDI/MIDIFile/MIDIVariableLengthQuantity.h"

#include <algorithm>

namespace rozezeru {

std::optional<MIDIStatusType> midiStatusTypeFromRawValue(int rawValue) {
    if (rawValue < 8 || rawValue > 14) return std::nullopt;
    return static_cast<MIDIStatusType>(rawValue);
}

std::string_view description(MIDIStatusType type) {
    switch (type) {
    case MIDIStatusType::noteOff:
        return "Note Off";
    case MIDIStatusType::noteOn:
        return "Note On";
    case MIDIStatusType::polyphonicAftertouch:
        return "Polyphonic Aftertouch / Pressure";
    case MIDIStatusType::controllerChange:
        return "Control Change";
    case MIDIStatusType::programChange:
        return "Program Change";
    case MIDIStatusType::channelAftertouch:
        return "Channel Aftertouch / Pressure";
    case MIDIStatusType::pitchWheel:
        return "Pitch Wheel";
    }
    return {};
}

int length(MIDIStatusType type) {
    return type == MIDIStatusType::programChange || type == MIDIStatusType::channelAftertouch ? 2 : 3;
}

std::string_view caseName(MIDIStatusType type) {
    static constexpr std::string_view names[] = {"noteOff",          "noteOn",        "polyphonicAftertouch",
                                                 "controllerChange", "programChange", "channelAftertouch",
                                                 "pitchWheel"};
    return names[static_cast<int>(type) - 8];
}

std::optional<MIDIStatus> MIDIStatus::fromByte(std::uint8_t byte) {
    if (byte < 0x80 || byte > 0xEF) return std::nullopt;
    MIDIStatus status(MIDIStatusType::noteOff, 0);
    status.byte = byte;
    return status;
}

std::optional<MIDIStatusType> MIDIStatus::type() const {
    return midiStatusTypeFromRawValue(byte >> 4);
}

int MIDIStatus::length() const {
    auto statusType = type();
    return statusType ? rozezeru::length(*statusType) : 0;
}

std::string MIDIStatus::description() const {
    return statusDescription(byte);
}

std::string statusDescription(std::uint8_t byte) {
    if (auto type = midiStatusTypeFromRawValue(byte >> 4))
        return std::string(description(*type)) + " channel " + std::to_string(byte & 0x0F);
    if (auto command = midiSystemCommandFromRawValue(byte))
        return "Command: " + std::string(description(*command));
    return "Invalid message";
}

std::optional<MIDISystemCommand> midiSystemCommandFromRawValue(std::uint8_t rawValue) {
    if (rawValue < 0xF0 || rawValue == 0xF4 || rawValue == 0xF5 || rawValue == 0xF9 || rawValue == 0xFD)
        return std::nullopt;
    return static_cast<MIDISystemCommand>(rawValue);
}

std::string_view description(MIDISystemCommand command) {
    switch (command) {
    case MIDISystemCommand::sysEx:
        return "SysEx Begin";
    case MIDISystemCommand::timeCodeQuarterFrame:
        return "Timecode Quarter Frame";
    case MIDISystemCommand::songPosition:
        return "Song Position";
    case MIDISystemCommand::songSelect:
        return "Song Selection";
    case MIDISystemCommand::tuneRequest:
        return "Tune Request";
    case MIDISystemCommand::sysExEnd:
        return "SysEx End";
    case MIDISystemCommand::clock:
        return "Timing Clock";
    case MIDISystemCommand::start:
        return "Start";
    case MIDISystemCommand::continue_:
        return "Continue";
    case MIDISystemCommand::stop:
        return "Stop";
    case MIDISystemCommand::activeSensing:
        return "Active Sensing";
    case MIDISystemCommand::sysReset:
        return "System Reset";
    }
    return {};
}

std::optional<MIDICustomMetaEventType> midiCustomMetaEventTypeFromRawValue(std::uint8_t rawValue) {
    switch (rawValue) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0C:
    case 0x20:
    case 0x21:
    case 0x2F:
    case 0x51:
    case 0x54:
    case 0x58:
    case 0x59:
    case 0x7F:
        return static_cast<MIDICustomMetaEventType>(rawValue);
    default:
        return std::nullopt;
    }
}

std::string_view description(MIDICustomMetaEventType type) {
    switch (type) {
    case MIDICustomMetaEventType::sequenceNumber:
        return "Sequence Number";
    case MIDICustomMetaEventType::textEvent:
        return "Text Event";
    case MIDICustomMetaEventType::copyright:
        return "Copyright";
    case MIDICustomMetaEventType::trackName:
        return "Track Name";
    case MIDICustomMetaEventType::instrumentName:
        return "Instrument Name";
    case MIDICustomMetaEventType::lyric:
        return "Lyric";
    case MIDICustomMetaEventType::marker:
        return "Marker";
    case MIDICustomMetaEventType::cuePoint:
        return "Cue Point";
    case MIDICustomMetaEventType::programName:
        return "Program Name";
    case MIDICustomMetaEventType::devicePortName:
        return "Device (Port) Name";
    case MIDICustomMetaEventType::metaEvent10:
        return "Meta Event 10";
    case MIDICustomMetaEventType::metaEvent12:
        return "Meta Event 12";
    case MIDICustomMetaEventType::channelPrefix:
        return "Channel Prefix";
    case MIDICustomMetaEventType::midiPort:
        return "MIDI Port";
    case MIDICustomMetaEventType::endOfTrack:
        return "End of Track";
    case MIDICustomMetaEventType::setTempo:
        return "Set Tempo";
    case MIDICustomMetaEventType::smtpeOffset:
        return "SMPTE Offset";
    case MIDICustomMetaEventType::timeSignature:
        return "Time Signature";
    case MIDICustomMetaEventType::keySignature:
        return "Key Signature";
    case MIDICustomMetaEventType::sequencerSpecificMetaEvent:
        return "Sequence Specific";
    }
    return "Unknown Meta Event";
}

std::optional<MIDICustomMetaEvent> MIDICustomMetaEvent::fromData(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 3 || bytes[0] != 0xFF) return std::nullopt;
    auto type = midiCustomMetaEventTypeFromRawValue(bytes[1]);
    if (!type) return std::nullopt;
    const auto [size, length] = MIDIVariableLengthQuantity::read(bytes.subspan(2));
    MIDICustomMetaEvent event;
    event.type_ = *type;
    event.length_ = static_cast<int>(std::min<std::uint32_t>(length, 0x7FFFFFFF));
    // The length quantity may take several bytes: the event ends after it and the payload.
    const std::uint64_t total = 2 + std::uint64_t(size) + length;
    event.data_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                          std::min<std::uint64_t>(total, bytes.size())));
    return event;
}

std::optional<MIDICustomMetaEvent> MIDICustomMetaEvent::fromFileData(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] > 0x7F) return std::nullopt;
    const auto [size, length] = MIDIVariableLengthQuantity::read(bytes.subspan(2));
    if (bytes[1 + size] & 0x80) return std::nullopt; // the length quantity runs off the end
    const std::uint64_t total = 2 + std::uint64_t(size) + length;
    if (total > bytes.size()) return std::nullopt;
    MIDICustomMetaEvent event;
    event.type_ = static_cast<MIDICustomMetaEventType>(bytes[1]);
    event.length_ = static_cast<int>(length);
    event.data_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(total));
    return event;
}

std::optional<std::string> MIDICustomMetaEvent::text() const {
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(length_), data_.size());
    return utf8String(std::span(data_).last(count));
}

std::string MIDICustomMetaEvent::description() const {
    std::string text =
        std::string(rozezeru::description(type_)) + " " + std::to_string(length_) + " bytes long ";
    switch (type_) {
    case MIDICustomMetaEventType::trackName:
    case MIDICustomMetaEventType::instrumentName:
    case MIDICustomMetaEventType::programName:
    case MIDICustomMetaEventType::devicePortName:
    case MIDICustomMetaEventType::metaEvent10:
    case MIDICustomMetaEventType::metaEvent12:
        if (auto payload = this->text()) text += "- " + *payload;
        break;
    default:
        break;
    }
    return text;
}

std::optional<MIDITimeFormat> midiTimeFormatFromRawValue(int rawValue) {
    if (rawValue != 0 && rawValue != 1) return std::nullopt;
    return static_cast<MIDITimeFormat>(rawValue);
}

std::string byteListDescription(std::span<const std::uint8_t> bytes) {
    std::string text = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) text += ", ";
        text += std::to_string(bytes[i]);
    }
    return text + "]";
}

} // namespace rozezeru
