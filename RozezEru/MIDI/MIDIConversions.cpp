#include "RozezEru/MIDI/MIDIConversions.h"

#include "platform/foundation/Text.h"

#include <cstdio>
#include <limits>

namespace rozezeru {

std::uint8_t highNibble(std::uint8_t byte) {
    return byte >> 4;
}

std::string hexDescription(std::uint8_t byte) {
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

std::string hexString(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::optional<std::int64_t> integerValue(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (auto byte : bytes) {
        if (value > (std::uint64_t(std::numeric_limits<std::int64_t>::max()) >> 8)) return std::nullopt;
        value = value << 8 | byte;
    }
    return static_cast<std::int64_t>(value);
}

std::uint32_t uInt32FromBytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return std::uint32_t(b0) << 24 | std::uint32_t(b1) << 16 | std::uint32_t(b2) << 8 | b3;
}

std::uint16_t uInt16FromBytes(std::uint8_t b0, std::uint8_t b1) {
    return static_cast<std::uint16_t>(b0 << 8 | b1);
}

std::string decimalString(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (auto byte : bytes)
        text += std::to_string(byte);
    return text;
}

std::optional<std::string> utf8String(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.begin(), bytes.end());
    if (!platform::isValidUtf8(text)) return std::nullopt;
    return text;
}

} // namespace rozezeru
