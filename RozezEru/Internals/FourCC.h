#pragma once
// Four-character codes of audio-unit types, subtypes and manufacturers. Any thread.

#include <cstdint>
#include <string_view>

namespace rozezeru {

// Stops the program: a code that is not four bytes long is a programming error.
[[noreturn]] void fourCCLengthFailure(std::string_view code);

// The four UTF-8 bytes of `code`, the first in the most significant byte ("aumf" → 0x61756D66).
constexpr std::uint32_t fourCC(std::string_view code) {
    if (code.size() != 4) fourCCLengthFailure(code);
    std::uint32_t result = 0;
    for (char byte : code)
        result = (result << 8) | static_cast<std::uint8_t>(byte);
    return result;
}

} // namespace rozezeru
