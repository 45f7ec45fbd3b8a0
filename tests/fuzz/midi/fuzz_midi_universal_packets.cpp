// Universal MIDI packets as an input port gets them: the input's words (little-endian, a cut last word
// dropped) split into packets at each word whose top byte is 0xFF, read with one reception state. Then the
// same bytes through our own byte-to-packet encoder and back.
#include "RozezEru/MIDI/UniversalMIDIPackets.h"
#include "platform/midi/UniversalPackets.h"

#include <cstdlib>
#include <cstring>

using namespace rozezeru;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDISysExReception reception;
    platform::MIDIEventPacket packet;
    std::vector<std::uint32_t> all;
    for (std::size_t offset = 0; offset + 4 <= size; offset += 4) {
        std::uint32_t word;
        std::memcpy(&word, data + offset, 4);
        all.push_back(word);
        if ((word >> 24) == 0xFF) {
            (void)processUMPMessages(packet, reception);
            packet.words.clear();
            continue;
        }
        packet.words.push_back(word);
    }
    for (const auto& event : processUMPMessages(packet, reception))
        if (event.data.size() > 2 + 6 * size) std::abort();

    std::vector<std::uint8_t> decoded;
    platform::decodeUniversalPackets(all, decoded);
    platform::UniversalPacketEncoder encoder(size ? data[0] & 0x0F : 0);
    std::vector<std::uint32_t> words;
    encoder.encode(std::span(data, size), words);
    // Every word the encoder makes is a MIDI 1.0 message the decoder reads back.
    std::vector<std::uint8_t> back;
    platform::decodeUniversalPackets(words, back);
    for (std::size_t i = 0; i < words.size(); i += platform::universalPacketWordCount(words[i]))
        if ((words[i] >> 28) < 1 || (words[i] >> 28) > 3) std::abort();
    return 0;
}
