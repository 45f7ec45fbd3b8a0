#include "RozezEru/MIDI/UniversalMIDIPackets.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rozezeru;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint32_t>;

std::vector<Bytes> process(const Words& words, MIDISysExReception& reception) {
    std::vector<Bytes> data;
    for (const auto& event : processUMPMessages({5, words}, reception)) {
        EXPECT_EQ(event.timeStamp, 5u);
        data.push_back(event.data);
    }
    return data;
}

std::vector<Bytes> process(const Words& words) {
    MIDISysExReception reception;
    return process(words, reception);
}

} // namespace

TEST(UniversalMIDIPackets, MessagesOfOneWordAndSystemExclusive) {
    const std::tuple<const char*, Words, std::vector<Bytes>> cases[] = {
        {"note on", {0x20903C64}, {{0x90, 0x3C, 0x64}}},
        {"program change keeps its two bytes", {0x20C50700}, {{0xC5, 0x07}}},
        {"clock", {0x10F80000}, {{0xF8}}},
        {"utility", {0x00000000}, {{}}},
        {"complete sysex", {0x30035F01, 0x02000000}, {{0xF0, 0x5F, 0x01, 0x02, 0xF7}}},
        {"start and end",
         {0x30160102, 0x03040506, 0x30320708, 0x00000000},
         {{}, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7}}},
        {"byte count above six", {0x300F0102, 0x03040506}, {{0xF0, 1, 2, 3, 4, 5, 6, 0xF7}}},
        {"end without a start", {0x30320708, 0x00000000}, {{}}},
        {"unknown sysex status: its payload is no message", {0x30420102, 0x00000000}, {{}}},
        {"MIDI 2.0 message skipped whole", {0x40903C00, 0xFFFF0000, 0x20903C64}, {{0x90, 0x3C, 0x64}}},
        {"reserved types skipped by their size",
         {0x60000000, 0xB0000000, 1, 2, 0xD0000000, 1, 2, 3, 0x10FA0000},
         {{0xFA}}},
        {"second word missing", {0x20903C64, 0x30035F01}, {{0x90, 0x3C, 0x64}}},
        {"128-bit message cut", {0x50000000, 1}, {}},
        {"empty packet", {}, {}},
    };
    for (const auto& [what, words, events] : cases)
        EXPECT_EQ(process(words), events) << what;
}

TEST(UniversalMIDIPackets, AssemblyIsKeptPerSourceAndGroup) {
    MIDISysExReception first, second;
    // Group 0 and group 1 of one source, and another source, interleaved.
    EXPECT_EQ(process({0x30110A00, 0, 0x31110B00, 0}, first), (std::vector<Bytes>{{}, {}}));
    EXPECT_EQ(process({0x30110C00, 0}, second), (std::vector<Bytes>{{}}));
    EXPECT_EQ(process({0x31310B00, 0, 0x30310A00, 0}, first),
              (std::vector<Bytes>{{0xF0, 0x0B, 0x0B, 0xF7}, {0xF0, 0x0A, 0x0A, 0xF7}}));
    EXPECT_EQ(process({0x30310C00, 0}, second), (std::vector<Bytes>{{0xF0, 0x0C, 0x0C, 0xF7}}));
}

TEST(UniversalMIDIPackets, SkippedMessagesAreLoggedByTheirQualifiedType) {
    testsupport::ToolkitLogCapture capture;
    process({0x40903C00, 0xFFFF0000, 0xF0000000, 1, 2, 3});
    std::vector<std::string> lines;
    for (const auto& record : capture.sink.records())
        lines.push_back(
            testsupport::toolkitLogContent(record.text, "UniversalMIDIPackets.cpp", "processUMPMessages(_:)")
                .value_or("?"));
    EXPECT_EQ(lines, (std::vector<std::string>{"Got unsupported 64 bit UMP message of type: "
                                               "Optional(RozezEru.UMPMessageType.MIDI2ChannelVoice64bit)",
                                               "Got unsupported 128 bit UMP message of type "
                                               "Optional(RozezEru.UMPMessageType.Reserved128bit_10)"}));
}
