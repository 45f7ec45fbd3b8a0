#pragma once
// A variable-length quantity of MIDI files and system-exclusive lengths: 7 value bits per byte, most
// significant group first, bit 7 set on every byte but the last. A plain value; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace rozezeru {

struct MIDIVariableLengthQuantity {
    // The bytes of the quantity, its last byte included.
    std::vector<std::uint8_t> data;
    // The number of bytes read, then the value.
    std::pair<int, std::uint32_t> vlqResult;

    // The quantity at the start of `bytes`: up to and including the first byte with bit 7 clear, or all of
    // them when none is; bits above 32 fall off. Empty input reads (0, 0).
    static std::pair<int, std::uint32_t> read(std::span<const std::uint8_t> bytes);

    // Nothing for empty input.
    static std::optional<MIDIVariableLengthQuantity> fromBytes(std::span<const std::uint8_t> bytes);
};

} // namespace rozezeru
