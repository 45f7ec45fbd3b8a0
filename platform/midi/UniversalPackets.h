#pragma once
// Our own conversion between MIDI 1.0 bytes and universal MIDI packets of the MIDI 1.0 protocol (message
// types 1, 2 and 3: system, channel voice and 7-bit system exclusive). Any thread; an encoder belongs to
// one source at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// The number of 32-bit words a message of this type (the top four bits of its first word) takes.
std::size_t universalPacketWordCount(std::uint32_t firstWord);

// The length of the MIDI 1.0 message a status byte begins: 3 for notes, aftertouch, controllers, pitch
// wheel and song position, 2 for program change, channel pressure, time code and song select, 1 for the
// other system bytes; 0 for data bytes, system exclusive and the undefined 0xF4, 0xF5, 0xF9, 0xFD.
std::size_t midi1MessageLength(std::uint8_t status);

// Turns the byte stream of one source into packets. Keeps running status, a message cut between two
// calls and an unfinished system-exclusive message; real-time bytes inside a message come out at once.
// Data bytes without a status and undefined bytes are skipped.
class UniversalPacketEncoder {
public:
    explicit UniversalPacketEncoder(std::uint8_t group = 0) : group_(group & 0x0F) {}

    // Appends the words of every message `bytes` completes.
    void encode(std::span<const std::uint8_t> bytes, std::vector<std::uint32_t>& words);

private:
    void encodeByte(std::uint8_t byte, std::vector<std::uint32_t>& words);
    void flushSysEx(bool last, std::vector<std::uint32_t>& words);

    std::uint8_t group_;
    std::uint8_t runningStatus_ = 0;
    std::uint8_t message_[3] = {};
    std::size_t messageCount_ = 0;
    std::size_t messageLength_ = 0;
    bool inSysEx_ = false;
    bool sysExStarted_ = false;
    std::uint8_t sysEx_[6] = {};
    std::size_t sysExCount_ = 0;
};

// Appends the MIDI 1.0 bytes of the messages in `words`: system-exclusive packets give their payload
// framed by 0xF0 (start, complete) and 0xF7 (end, complete). Other message types and a message cut by
// the end of `words` are skipped; a 7-bit system-exclusive byte count above 6 counts as 6.
void decodeUniversalPackets(std::span<const std::uint32_t> words, std::vector<std::uint8_t>& bytes);

} // namespace platform
