#include "platform/midi/UniversalPackets.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint32_t>;

Words encode(const std::vector<Bytes>& chunks, std::uint8_t group = 0) {
    UniversalPacketEncoder encoder(group);
    Words words;
    for (const auto& chunk : chunks)
        encoder.encode(chunk, words);
    return words;
}

Bytes decode(const Words& words) {
    Bytes bytes;
    decodeUniversalPackets(words, bytes);
    return bytes;
}

} // namespace

TEST(UniversalPackets, BytesBecomePacketsAndBack) {
    using Case =
        std::tuple<const char*, std::vector<Bytes>, Words, Bytes>; // the chunks, their words, the bytes back
    const Case cases[] = {
        {"note on", {{0x90, 0x3C, 0x64}}, {0x20903C64}, {0x90, 0x3C, 0x64}},
        {"note off, aftertouch, controller, pitch wheel",
         {{0x81, 1, 2, 0xA2, 3, 4, 0xB3, 5, 6, 0xE4, 0, 0x40}},
         {0x20810102, 0x20A20304, 0x20B30506, 0x20E40040},
         {0x81, 1, 2, 0xA2, 3, 4, 0xB3, 5, 6, 0xE4, 0, 0x40}},
        {"two-byte channel messages", {{0xC5, 7, 0xDF, 9}}, {0x20C50700, 0x20DF0900}, {0xC5, 7, 0xDF, 9}},
        {"running status",
         {{0x90, 0x3C, 0x64, 0x3E, 0x64}},
         {0x20903C64, 0x20903E64},
         {0x90, 0x3C, 0x64, 0x90, 0x3E, 0x64}},
        {"system common and real time",
         {{0xF1, 0x23, 0xF2, 0x10, 0x20, 0xF3, 5, 0xF6, 0xF8, 0xFA, 0xFB, 0xFC, 0xFE, 0xFF}},
         {0x10F12300, 0x10F21020, 0x10F30500, 0x10F60000, 0x10F80000, 0x10FA0000, 0x10FB0000, 0x10FC0000,
          0x10FE0000, 0x10FF0000},
         {0xF1, 0x23, 0xF2, 0x10, 0x20, 0xF3, 5, 0xF6, 0xF8, 0xFA, 0xFB, 0xFC, 0xFE, 0xFF}},
        {"real time inside a message",
         {{0x90, 0x3C, 0xF8, 0x64}},
         {0x10F80000, 0x20903C64},
         {0xF8, 0x90, 0x3C, 0x64}},
        {"message cut between calls", {{0x90, 0x3C}, {0x64}}, {0x20903C64}, {0x90, 0x3C, 0x64}},
        {"short system exclusive", {{0xF0, 0x7E, 0x01, 0xF7}}, {0x30027E01, 0}, {0xF0, 0x7E, 0x01, 0xF7}},
        {"system exclusive over three packets, split between calls",
         {{0xF0, 1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 11, 12, 13}, {0xF7, 0x90, 1, 2}},
         {0x30160102, 0x03040506, 0x30260708, 0x090A0B0C, 0x30310D00, 0, 0x20900102},
         {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0xF7, 0x90, 1, 2}},
        {"status cuts a system exclusive short",
         {{0xF0, 1, 2, 0x90, 1, 2}},
         {0x30020102, 0, 0x20900102},
         {0xF0, 1, 2, 0xF7, 0x90, 1, 2}},
        {"stray data, stray end, undefined bytes", {{0x01, 0xF7, 0xF4, 0x02, 0xF9, 0xFD}}, {}, {}},
    };
    for (const auto& [what, chunks, expected, back] : cases) {
        const auto words = encode(chunks);
        EXPECT_EQ(words, expected) << what;
        EXPECT_EQ(decode(words), back) << what;
    }
    EXPECT_EQ(encode({{0x90, 0x3C, 0x64}}, 5), Words{0x25903C64});
}

TEST(UniversalPackets, DecodingSkipsWhatItCannotRead) {
    // A cut two-word message, a byte count above 6, types with no MIDI 1.0 bytes, a channel word without
    // status.
    EXPECT_EQ(decode({0x20903C64, 0x30030102}), (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(decode({0x300F0102, 0x03040506}), (Bytes{0xF0, 1, 2, 3, 4, 5, 6, 0xF7}));
    EXPECT_EQ(decode({0x40903C00, 0x12345678, 0x00000000, 0x20123456, 0x50000000, 1, 2, 3, 0x20903C64}),
              (Bytes{0x90, 0x3C, 0x64}));
}
