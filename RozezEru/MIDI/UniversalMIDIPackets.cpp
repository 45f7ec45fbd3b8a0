#include "RozezEru/MIDI/UniversalMIDIPackets.h"

#include "RozezEru/Internals/Log.h"
#include "platform/midi/UniversalPackets.h"

#include <algorithm>
#include <string>

namespace rozezeru {

namespace {

constexpr const char* processFunction = "processUMPMessages(_:)";
constexpr const char* sysExFunction = "processUMPSysExMessage(with:)";

std::string qualifiedTypeName(UMPMessageType type) {
    return "Optional(RozezEru.UMPMessageType." + std::string(caseName(type)) + ")";
}

} // namespace

std::optional<UMPMessageType> umpMessageTypeFromRawValue(std::uint8_t rawValue) {
    if (rawValue > 15) return std::nullopt;
    return static_cast<UMPMessageType>(rawValue);
}

std::string_view caseName(UMPMessageType type) {
    static constexpr std::string_view names[] = {"Utility32bit",           "SystemRealTimeAndCommon32bit",
                                                 "MIDI1ChannelVoice32bit", "DataAndSysEx64bit",
                                                 "MIDI2ChannelVoice64bit", "Data128bit",
                                                 "Reserved32bit_1",        "Reserved32bit_2",
                                                 "Reserved64bit_3",        "Reserved64bit_4",
                                                 "Reserved64bit_5",        "Reserved96bit_6",
                                                 "Reserved96bit_7",        "Reserved128bit_8",
                                                 "Reserved128bit_9",       "Reserved128bit_10"};
    return names[static_cast<int>(type) & 0x0F];
}

std::vector<MIDIEvent> processUMPMessages(const platform::MIDIEventPacket& packet,
                                          MIDISysExReception& reception) {
    std::vector<MIDIEvent> events;
    const auto& words = packet.words;
    std::size_t i = 0;
    while (i < words.size()) {
        const std::uint32_t word = words[i];
        const auto type = static_cast<UMPMessageType>(word >> 28);
        const std::size_t count = platform::universalPacketWordCount(word);
        if (i + count > words.size()) {
            Log(LogSite(processFunction, OSLog::midi()), "UMP message of type", qualifiedTypeName(type),
                "cut short by the end of the packet, dropped");
            break;
        }
        const std::uint8_t b1 = word >> 16, b2 = word >> 8, b3 = word;
        switch (word >> 28) {
        case 0:
        case 1:
        case 2: {
            std::uint8_t message[3] = {b1, b2, b3};
            // The word carries three bytes whatever the message's length: only the message's own count.
            const std::size_t length = platform::midi1MessageLength(b1);
            events.emplace_back(
                std::span(message, type == UMPMessageType::Utility32bit || length == 0 ? 3 : length),
                packet.timeStamp);
            break;
        }
        case 3: {
            const std::uint32_t next = words[i + 1];
            const std::uint8_t bytes[7] = {b1,
                                           b2,
                                           b3,
                                           std::uint8_t(next >> 24),
                                           std::uint8_t(next >> 16),
                                           std::uint8_t(next >> 8),
                                           std::uint8_t(next)};
            auto message = processUMPSysExMessage(bytes, (word >> 24) & 0x0F, reception);
            events.emplace_back(message, packet.timeStamp);
            break;
        }
        case 6:
        case 7:
            Log(LogSite(processFunction, OSLog::midi()),
                "Got unsupported 32 bit UMP message of type:", qualifiedTypeName(type));
            break;
        case 4:
        case 8:
        case 9:
        case 10:
            Log(LogSite(processFunction, OSLog::midi()),
                "Got unsupported 64 bit UMP message of type:", qualifiedTypeName(type));
            break;
        case 11:
        case 12:
            Log(LogSite(processFunction, OSLog::midi()),
                "Got unsupported 96 bit UMP message of type:", qualifiedTypeName(type));
            break;
        default:
            Log(LogSite(processFunction, OSLog::midi()), "Got unsupported 128 bit UMP message of type",
                qualifiedTypeName(type));
            break;
        }
        i += count;
    }
    return events;
}

std::vector<std::uint8_t> processUMPSysExMessage(std::span<const std::uint8_t, 7> bytes, std::uint8_t group,
                                                 MIDISysExReception& reception) {
    const int status = bytes[0] >> 4;
    std::size_t n = bytes[0] & 0x0F;
    if (n > 6) {
        Log(LogSite(sysExFunction, OSLog::midi()), "UMP SYSEX - byte count", n, "above 6, read as 6");
        n = 6;
    }
    const auto payload = bytes.subspan(1, n);
    auto& message = reception.incomingUMPSysExMessage(group);
    switch (status) {
    case 0:
        Log(LogSite(sysExFunction, OSLog::midi()),
            "UMP SYSEX - Got complete SysEx message in one UMP packet");
        message.assign({0xF0});
        message.insert(message.end(), payload.begin(), payload.end());
        message.push_back(0xF7);
        reception.setAssemblingUMPSysEx(group, false);
        return message;
    case 1:
        Log(LogSite(sysExFunction, OSLog::midi()), "UMP SYSEX - Start receiving UMP SysEx messages");
        message.assign({0xF0});
        message.insert(message.end(), payload.begin(), payload.end());
        reception.setAssemblingUMPSysEx(group, true);
        return {};
    case 2:
    case 3:
        Log(LogSite(sysExFunction, OSLog::midi()), status == 2
                                                       ? "UMP SYSEX - Continue receiving UMP SysEx messages"
                                                       : "UMP SYSEX - End of UMP SysEx messages");
        if (!reception.isAssemblingUMPSysEx(group)) {
            Log(LogSite(sysExFunction, OSLog::midi()), "UMP SYSEX - no message was started, dropped");
            return {};
        }
        message.insert(message.end(), payload.begin(), payload.end());
        if (status == 2) return {};
        message.push_back(0xF7);
        reception.setAssemblingUMPSysEx(group, false);
        return message;
    default:
        Log(LogSite(sysExFunction, OSLog::midi()), "UMP SYSEX - Got unsupported UMPSysEx7bitStatus");
        return {payload.begin(), payload.end()};
    }
}

} // namespace rozezeru
