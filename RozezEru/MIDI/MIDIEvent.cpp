#include "RozezEru/MIDI/MIDIEvent.h"

#include "RozezEru/Internals/Log.h"
#include "platform/midi/UniversalPackets.h"

#include <algorithm>

namespace rozezeru {

namespace {

bool isChannelStatus(std::uint8_t byte) {
    return byte >= 0x80 && byte <= 0xEF;
}

bool isRealTimeByte(std::uint8_t byte) {
    return byte >= 0xF8 && byte != 0xF9 && byte != 0xFD;
}

MIDIEvent channelMessage(std::uint8_t base, std::uint8_t channel,
                         std::initializer_list<std::uint8_t> dataBytes) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(base + (channel & 0x0F))};
    bytes.insert(bytes.end(), dataBytes);
    return MIDIEvent(bytes);
}

} // namespace

MIDIEvent::MIDIEvent(std::span<const std::uint8_t> bytes, std::optional<MIDITimeStamp> stamp)
    : timeStamp(stamp) {
    if (bytes.empty()) return;
    const auto first = bytes[0];
    if (midiSystemCommandFromRawValue(first)) {
        data.assign(bytes.begin(), bytes.end());
    } else if (isChannelStatus(first)) {
        data.reserve(bytes.size());
        data.push_back(first);
        for (std::size_t i = 1; i < bytes.size(); ++i)
            data.push_back(bytes[i] & 0x7F);
    } else if (auto meta = midiCustomMetaEventTypeFromRawValue(first)) {
        Log(LogSite("init(data:timeStamp:)", OSLog::midi()), "is meta event", rozezeru::description(*meta));
    }
}

MIDIEvent MIDIEvent::fromCommand(MIDISystemCommand command, std::uint8_t byte1,
                                 std::optional<std::uint8_t> byte2) {
    MIDIEvent event;
    event.data = {static_cast<std::uint8_t>(command), byte1};
    if (byte2) event.data.push_back(*byte2);
    return event;
}

MIDIEvent MIDIEvent::noteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel) {
    return channelMessage(0x90, channel, {noteNumber, velocity});
}

MIDIEvent MIDIEvent::noteOff(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel) {
    return channelMessage(0x80, channel, {noteNumber, velocity});
}

MIDIEvent MIDIEvent::programChange(std::uint8_t program, std::uint8_t channel) {
    return channelMessage(0xC0, channel, {program});
}

MIDIEvent MIDIEvent::controllerChange(std::uint8_t controller, std::uint8_t value, std::uint8_t channel) {
    return channelMessage(0xB0, channel, {controller, value});
}

MIDIEvent MIDIEvent::fromPacket(const platform::MIDIPacket& packet, MIDISysExReception& reception) {
    MIDIEvent event;
    event.timeStamp = packet.timeStamp;
    const auto bytes = packet.data;
    if (bytes.empty()) return event;
    if (bytes[0] == 0xF0) {
        reception.startReceivingSysEx({bytes.begin(), bytes.end()});
        if (auto end = std::find(bytes.begin(), bytes.end(), 0xF7); end != bytes.end()) {
            event.data.assign(bytes.begin(), end + 1);
            reception.stopReceivingSysEx();
        }
        return event;
    }
    const auto length = std::min(platform::midi1MessageLength(bytes[0]), bytes.size());
    event.data.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    return event;
}

std::optional<MIDIEvent> MIDIEvent::continuingSysExPacket(const platform::MIDIPacket& packet,
                                                          MIDISysExReception& reception) {
    reception.appendIncomingSysEx(packet.data);
    if (std::find(packet.data.begin(), packet.data.end(), 0xF7) == packet.data.end()) return std::nullopt;
    const auto& collected = reception.incomingSysEx();
    MIDIEvent event;
    event.data.assign(collected.begin(), std::find(collected.begin(), collected.end(), 0xF7) + 1);
    event.timeStamp = packet.timeStamp;
    reception.stopReceivingSysEx();
    return event;
}

std::vector<MIDIEvent> MIDIEvent::events(std::span<const std::uint8_t> packetList,
                                         MIDISysExReception& reception) {
    std::vector<MIDIEvent> events;
    for (const auto& packet : platform::MIDIPacketListView(packetList)) {
        auto more = packetEvents(packet, reception);
        events.insert(events.end(), std::make_move_iterator(more.begin()),
                      std::make_move_iterator(more.end()));
    }
    return events;
}

std::vector<MIDIEvent> MIDIEvent::events(std::span<const std::uint8_t> packetList) {
    MIDISysExReception reception;
    return events(packetList, reception);
}

std::vector<MIDIEvent> MIDIEvent::eventsFromBluetoothData(std::span<const std::uint8_t> packet) {
    std::vector<MIDIEvent> events;
    if (packet.size() < 3 || !(packet[1] & 0x80)) return events;
    std::vector<std::uint8_t> message;
    std::uint8_t runningStatus = 0;
    std::size_t needed = 0;
    bool sysEx = false;
    // After the header every status and real-time byte is preceded by a time-stamp byte; a message that
    // repeats the running status may follow its predecessor with or without one.
    bool timeStampSeen = false;
    for (std::size_t i = 1; i < packet.size(); ++i) {
        const auto byte = packet[i];
        if (!(byte & 0x80)) {
            timeStampSeen = false;
            if (sysEx) {
                message.push_back(byte);
                continue;
            }
            if (message.empty()) {
                if (runningStatus == 0) continue;
                message.push_back(runningStatus);
                needed = platform::midi1MessageLength(runningStatus);
            }
            message.push_back(byte);
            if (message.size() == needed) {
                events.emplace_back(message);
                message.clear();
            }
            continue;
        }
        const bool lastByteEndsSysEx = sysEx && byte == 0xF7 && i + 1 == packet.size();
        if (!timeStampSeen && !lastByteEndsSysEx) {
            timeStampSeen = true;
            continue;
        }
        timeStampSeen = false;
        if (isRealTimeByte(byte)) {
            events.emplace_back(std::initializer_list<std::uint8_t>{byte});
            continue;
        }
        if (sysEx && byte == 0xF7) {
            message.push_back(byte);
            events.emplace_back(message);
            message.clear();
            sysEx = false;
            continue;
        }
        // A new status drops a message left unfinished.
        message.clear();
        sysEx = byte == 0xF0;
        runningStatus = isChannelStatus(byte) ? byte : 0;
        needed = platform::midi1MessageLength(byte);
        if (sysEx) {
            message.push_back(byte);
            continue;
        }
        if (needed == 0) continue;
        message.push_back(byte);
        if (needed == 1) {
            events.emplace_back(message);
            message.clear();
        }
    }
    return events;
}

std::optional<MIDIStatus> MIDIEvent::status() const {
    if (data.empty()) return std::nullopt;
    return MIDIStatus::fromByte(data[0]);
}

std::optional<MIDISystemCommand> MIDIEvent::command() const {
    if (data.empty() || data[0] == 0xFF) return std::nullopt;
    return midiSystemCommandFromRawValue(data[0]);
}

std::optional<std::uint8_t> MIDIEvent::channel() const {
    if (data.empty() || !isChannelStatus(data[0])) return std::nullopt;
    return static_cast<std::uint8_t>(data[0] & 0x0F);
}

std::optional<std::uint8_t> MIDIEvent::noteNumber() const {
    auto type = status() ? status()->type() : std::nullopt;
    if (!type || (*type != MIDIStatusType::noteOn && *type != MIDIStatusType::noteOff) || data.size() < 2)
        return std::nullopt;
    return data[1];
}

std::optional<std::uint16_t> MIDIEvent::pitchbendAmount() const {
    auto type = status() ? status()->type() : std::nullopt;
    if (type != MIDIStatusType::pitchWheel || data.size() < 3) return std::nullopt;
    return static_cast<std::uint16_t>(data[2] * 128 + data[1]);
}

std::vector<std::vector<std::uint8_t>> MIDIEvent::chunkedData() const {
    std::vector<std::vector<std::uint8_t>> chunks;
    for (std::size_t offset = 0; offset <= data.size(); offset += 256)
        chunks.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(offset),
                            data.begin() + static_cast<std::ptrdiff_t>(std::min(offset + 256, data.size())));
    return chunks;
}

std::string MIDIEvent::description() const {
    const auto list = byteListDescription(data);
    if (!data.empty() && isChannelStatus(data[0])) return statusDescription(data[0]) + " - " + list;
    if (auto systemCommand = command())
        return std::string(rozezeru::description(*systemCommand)) + " - " + list;
    if (auto meta = MIDICustomMetaEvent::fromData(data)) return meta->description() + " - " + list;
    return "Unhandled event " + list;
}

} // namespace rozezeru
