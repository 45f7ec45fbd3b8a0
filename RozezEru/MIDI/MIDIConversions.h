#pragma once
// MIDI bytes as text and numbers. Pure functions; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace rozezeru {

// The byte shifted right by 4 (0...15).
std::uint8_t highNibble(std::uint8_t byte);
// "0x" and two upper-case hexadecimal digits: 10 gives "0x0A".
std::string hexDescription(std::uint8_t byte);
// Upper-case digit pairs without separator; empty for no bytes.
std::string hexString(std::span<const std::uint8_t> bytes);
// The bytes as one big-endian unsigned number; nothing for no bytes and for values beyond a signed
// 64-bit integer.
std::optional<std::int64_t> integerValue(std::span<const std::uint8_t> bytes);
// First byte in the highest bits.
std::uint32_t uInt32FromBytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);
std::uint16_t uInt16FromBytes(std::uint8_t b0, std::uint8_t b1);
// The decimal text of each byte, without separator ([1, 23] and [12, 3] both give "123").
std::string decimalString(std::span<const std::uint8_t> bytes);
// Nothing when the bytes are not well-formed UTF-8.
std::optional<std::string> utf8String(std::span<const std::uint8_t> bytes);

} // namespace rozezeru
