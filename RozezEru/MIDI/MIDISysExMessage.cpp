#include "RozezEru/MIDI/MIDISysExMessage.h"

#include "RozezEru/MIDI/MIDIFile/MIDIVariableLengthQuantity.h"

#include <algorithm>

namespace rozezeru {

std::optional<MIDISysExMessage> MIDISysExMessage::fromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 3 || bytes[0] != 0xF0) return std::nullopt;
    const auto [size, length] = MIDIVariableLengthQuantity::read(bytes.subspan(1));
    MIDISysExMessage message;
    message.length_ = static_cast<int>(std::min<std::uint32_t>(length, 0x7FFFFFFF));
    const std::uint64_t total = 1 + std::uint64_t(size) + length;
    message.data_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                            std::min<std::uint64_t>(total, bytes.size())));
    return message;
}

std::string MIDISysExMessage::description() const {
    return "MIDI SysEx message " + std::to_string(length_) + " bytes long";
}

} // namespace rozezeru
