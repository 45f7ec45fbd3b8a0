#pragma once
// A system-exclusive message in its length-prefixed form: 0xF0, a variable-length byte count, the body.
// A plain value; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rozezeru {

struct MIDISysExMessage {
    // 0xF0, the length bytes and the body, cut to the declared length.
    std::vector<std::uint8_t> data() const { return data_; }
    // The declared length of the body.
    int length() const { return length_; }

    // Nothing unless there are at least 3 bytes and the first is 0xF0. The message ends after its length
    // quantity and the declared body, or with the input when that is shorter.
    static std::optional<MIDISysExMessage> fromBytes(std::span<const std::uint8_t> bytes);

    // "MIDI SysEx message 5 bytes long".
    std::string description() const;

private:
    std::vector<std::uint8_t> data_;
    int length_ = 0;
};

// Helpers of the MIDI code; it has no members of its own.
class MIDIHelper {};

} // namespace rozezeru
