#include "platform/midi/UniversalPackets.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::size_t umpWordCounts[16] = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};

enum : std::uint32_t { umpSystem = 1, umpChannelVoice = 2, umpSysEx7 = 3 };
enum : std::uint32_t { sysExComplete = 0, sysExStart = 1, sysExContinue = 2, sysExEnd = 3 };

bool isRealTime(std::uint8_t byte) {
    return byte >= 0xF8 && byte != 0xF9 && byte != 0xFD;
}

} // namespace

std::size_t universalPacketWordCount(std::uint32_t firstWord) {
    return umpWordCounts[firstWord >> 28];
}

std::size_t midi1MessageLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xF0) return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
        return 1;
    default:
        return isRealTime(status) ? 1 : 0;
    }
}

void UniversalPacketEncoder::encode(std::span<const std::uint8_t> bytes, std::vector<std::uint32_t>& words) {
    for (auto byte : bytes)
        encodeByte(byte, words);
}

void UniversalPacketEncoder::encodeByte(std::uint8_t byte, std::vector<std::uint32_t>& words) {
    const std::uint32_t head = std::uint32_t(group_) << 24;
    if (isRealTime(byte)) {
        words.push_back(umpSystem << 28 | head | std::uint32_t(byte) << 16);
        return;
    }
    if (byte >= 0x80) {
        if (inSysEx_) flushSysEx(true, words);
        messageCount_ = 0;
        if (byte == 0xF0) {
            inSysEx_ = true;
            sysExStarted_ = false;
            sysExCount_ = 0;
            runningStatus_ = 0;
            return;
        }
        messageLength_ = midi1MessageLength(byte);
        // A system common message ends running status; 0xF7 and undefined bytes have no message of their own.
        runningStatus_ = byte < 0xF0 ? byte : 0;
        if (messageLength_ == 0) return;
        message_[0] = byte;
        messageCount_ = 1;
    } else if (inSysEx_) {
        if (sysExCount_ == 6) flushSysEx(false, words);
        sysEx_[sysExCount_++] = byte;
        return;
    } else {
        if (messageCount_ == 0) {
            if (runningStatus_ == 0) return;
            message_[0] = runningStatus_;
            messageLength_ = midi1MessageLength(runningStatus_);
            messageCount_ = 1;
        }
        message_[messageCount_++] = byte;
    }
    if (messageCount_ < messageLength_) return;
    const std::uint32_t type = message_[0] < 0xF0 ? umpChannelVoice : umpSystem;
    std::uint32_t word = type << 28 | head | std::uint32_t(message_[0]) << 16;
    if (messageLength_ > 1) word |= std::uint32_t(message_[1]) << 8;
    if (messageLength_ > 2) word |= message_[2];
    words.push_back(word);
    messageCount_ = 0;
}

void UniversalPacketEncoder::flushSysEx(bool last, std::vector<std::uint32_t>& words) {
    std::uint32_t status =
        last ? (sysExStarted_ ? sysExEnd : sysExComplete) : (sysExStarted_ ? sysExContinue : sysExStart);
    std::uint8_t payload[6] = {};
    std::copy_n(sysEx_, sysExCount_, payload);
    words.push_back(umpSysEx7 << 28 | std::uint32_t(group_) << 24 | status << 20 |
                    std::uint32_t(sysExCount_) << 16 | std::uint32_t(payload[0]) << 8 | payload[1]);
    words.push_back(std::uint32_t(payload[2]) << 24 | std::uint32_t(payload[3]) << 16 |
                    std::uint32_t(payload[4]) << 8 | payload[5]);
    sysExCount_ = 0;
    sysExStarted_ = !last;
    if (last) inSysEx_ = false;
}

void decodeUniversalPackets(std::span<const std::uint32_t> words, std::vector<std::uint8_t>& bytes) {
    std::size_t i = 0;
    while (i < words.size()) {
        const std::uint32_t word = words[i];
        const std::size_t count = universalPacketWordCount(word);
        if (i + count > words.size()) return;
        const std::uint32_t type = word >> 28;
        if (type == umpSystem || type == umpChannelVoice) {
            const auto status = static_cast<std::uint8_t>(word >> 16);
            const std::size_t length = midi1MessageLength(status);
            const bool fits = type == umpChannelVoice ? status >= 0x80 && status < 0xF0 : status >= 0xF0;
            if (fits && length > 0) {
                bytes.push_back(status);
                if (length > 1) bytes.push_back(static_cast<std::uint8_t>(word >> 8) & 0x7F);
                if (length > 2) bytes.push_back(static_cast<std::uint8_t>(word) & 0x7F);
            }
        } else if (type == umpSysEx7) {
            const std::uint32_t status = (word >> 20) & 0x0F;
            const std::size_t n = std::min<std::size_t>((word >> 16) & 0x0F, 6);
            const std::uint8_t payload[6] = {
                static_cast<std::uint8_t>(word >> 8),          static_cast<std::uint8_t>(word),
                static_cast<std::uint8_t>(words[i + 1] >> 24), static_cast<std::uint8_t>(words[i + 1] >> 16),
                static_cast<std::uint8_t>(words[i + 1] >> 8),  static_cast<std::uint8_t>(words[i + 1])};
            if (status <= sysExEnd) {
                if (status == sysExComplete || status == sysExStart) bytes.push_back(0xF0);
                for (std::size_t k = 0; k < n; ++k)
                    bytes.push_back(payload[k] & 0x7F);
                if (status == sysExComplete || status == sysExEnd) bytes.push_back(0xF7);
            }
        }
        i += count;
    }
}

} // namespace platform
