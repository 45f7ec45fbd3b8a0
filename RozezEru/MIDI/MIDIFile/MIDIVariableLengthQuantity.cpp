#include "RozezEru/MIDI/MIDIFile/MIDIVariableLengthQuantity.h"

namespace rozezeru {

std::pair<int, std::uint32_t> MIDIVariableLengthQuantity::read(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {0, 0};
    std::uint32_t value = bytes[0] & 0x7F;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (!(bytes[i] & 0x80)) return {static_cast<int>(i + 1), value};
        value = (value << 7) | (bytes[i + 1] & 0x7F);
    }
    return {static_cast<int>(bytes.size()), value};
}

std::optional<MIDIVariableLengthQuantity>
MIDIVariableLengthQuantity::fromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const auto result = read(bytes);
    return MIDIVariableLengthQuantity{{bytes.begin(), bytes.begin() + result.first}, result};
}

} // namespace rozezeru
