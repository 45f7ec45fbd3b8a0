#include "RozezEru/MIDI/MIDIConversions.h"
#include "RozezEru/MIDI/MIDIFile/MIDIVariableLengthQuantity.h"
#include "RozezEru/MIDI/MIDIMessages.h"
#include "RozezEru/MIDI/MIDISysExMessage.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rozezeru;

namespace {

using Bytes = std::vector<std::uint8_t>;

} // namespace

TEST(MIDIVariableLengthQuantity, ReadsUpToTheFirstByteWithBitSevenClear) {
    const std::pair<Bytes, std::pair<int, std::uint32_t>> cases[] = {
        {{0x00}, {1, 0}},
        {{0x7F}, {1, 127}},
        {{0x81, 0x00}, {2, 128}},
        {{0xFF, 0x7F}, {2, 16383}},
        {{0x81, 0x80, 0x80, 0x00}, {4, 2097152}},
        {{0x40, 0x81}, {1, 64}},
        {{0x81, 0x81}, {2, 129}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, {6, 0xFFFFFFFF}},
        {{}, {0, 0}},
    };
    for (const auto& [bytes, result] : cases)
        EXPECT_EQ(MIDIVariableLengthQuantity::read(bytes), result);
    auto quantity = MIDIVariableLengthQuantity::fromBytes(Bytes{0x83, 0x60, 0x12});
    ASSERT_TRUE(quantity);
    EXPECT_EQ(quantity->data, (Bytes{0x83, 0x60}));
    EXPECT_EQ(quantity->vlqResult, (std::pair<int, std::uint32_t>{2, 480}));
    EXPECT_FALSE(MIDIVariableLengthQuantity::fromBytes(Bytes{}));
}

TEST(MIDIConversions, BytesAsTextAndNumbers) {
    EXPECT_EQ(highNibble(0x93), 9);
    EXPECT_EQ(hexDescription(10), "0x0A");
    EXPECT_EQ(hexString(Bytes{0x00, 0xAB, 0x7F}), "00AB7F");
    EXPECT_EQ(hexString(Bytes{}), "");
    EXPECT_EQ(integerValue(Bytes{0x00, 0x00, 0x01, 0xE0}), 480);
    EXPECT_EQ(integerValue(Bytes{}), std::nullopt);
    EXPECT_EQ(integerValue(Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), INT64_MAX);
    EXPECT_EQ(integerValue(Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(integerValue(Bytes{0, 0, 1, 0, 0, 0, 0, 0, 0}), 1LL << 48);
    EXPECT_EQ(integerValue(Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(uInt32FromBytes(0x00, 0x00, 0x01, 0xE0), 480u);
    EXPECT_EQ(uInt16FromBytes(0x12, 0x34), 0x1234);
    EXPECT_EQ(decimalString(Bytes{1, 23}), decimalString(Bytes{12, 3}));
    EXPECT_EQ(utf8String(Bytes{0x42, 0xC3, 0xA4}), "Bä");
    EXPECT_EQ(utf8String(Bytes{0xC3}), std::nullopt);
}

TEST(MIDIMessages, StatusCommandAndMetaEventDescriptions) {
    const std::pair<std::uint8_t, std::string> statuses[] = {
        {0x93, "Note On channel 3"},      {0x80, "Note Off channel 0"},
        {0xEF, "Pitch Wheel channel 15"}, {0xDA, "Channel Aftertouch / Pressure channel 10"},
        {0xF8, "Command: Timing Clock"},  {0xFE, "Command: Active Sensing"},
        {0x7F, "Invalid message"},        {0xF4, "Invalid message"}};
    for (const auto& [byte, text] : statuses)
        EXPECT_EQ(statusDescription(byte), text);
    EXPECT_EQ(MIDIStatus(MIDIStatusType::pitchWheel, 15).byte, 0xEF);
    EXPECT_EQ(MIDIStatus::fromByte(0xC3)->length(), 2);
    EXPECT_FALSE(MIDIStatus::fromByte(0x7F));
    EXPECT_FALSE(MIDIStatus::fromByte(0xF0));
    for (std::uint8_t byte : {0xF4, 0xF5, 0xF9, 0xFD, 0xEF})
        EXPECT_FALSE(midiSystemCommandFromRawValue(byte)) << int(byte);
    EXPECT_FALSE(midiCustomMetaEventTypeFromRawValue(0x0B));
    EXPECT_EQ(midiTimeFormatFromRawValue(1), MIDITimeFormat::framesPerSecond);

    Bytes longLyric{0xFF, 0x05, 0x81, 0x00};
    longLyric.resize(4 + 128 + 2, 'a');
    const std::tuple<Bytes, std::optional<std::string>, std::size_t> metas[] = {
        {{0xFF, 0x2F, 0x00}, "End of Track 0 bytes long ", 3},
        {{0xFF, 0x03, 0x04, 'B', 'a', 's', 's', 0x90}, "Track Name 4 bytes long - Bass", 7},
        {{0xFF, 0x03, 0x02, 0xC3, 0x28}, "Track Name 2 bytes long ", 5},
        {{0xFF, 0x58, 0x04, 4, 2, 24, 8}, "Time Signature 4 bytes long ", 7},
        // A payload of 128 bytes has a two-byte length: the event keeps all of it.
        {longLyric, "Lyric 128 bytes long ", 4 + 128},
        {{0xFF, 0x2F}, std::nullopt, 0},
        {{0xF0, 0x2F, 0x00}, std::nullopt, 0},
        {{0xFF, 0x0B, 0x00}, std::nullopt, 0},
    };
    for (const auto& [bytes, description, kept] : metas) {
        auto meta = MIDICustomMetaEvent::fromData(bytes);
        ASSERT_EQ(meta.has_value(), description.has_value());
        if (!meta) continue;
        EXPECT_EQ(std::pair(meta->description(), meta->data().size()), std::pair(*description, kept));
    }
}

TEST(MIDISysExMessage, KeepsTheMessageItsLengthDeclares) {
    Bytes bulk{0xF0, 0x81, 0x00};
    bulk.resize(3 + 128 + 1, 0x01);
    const std::tuple<Bytes, int, std::size_t> cases[] = {
        {{0xF0, 0x05, 0x7E, 0x00, 0x09, 0x01, 0xF7}, 5, 7},
        {{0xF0, 0x02, 0x41, 0x10, 0x42, 0xF7}, 2, 4},
        {bulk, 128, 3 + 128},
        {{0xF0, 0x7F, 0x01}, 127, 3},
    };
    for (const auto& [bytes, length, kept] : cases) {
        auto message = MIDISysExMessage::fromBytes(bytes);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->length(), length);
        EXPECT_EQ(message->data(), Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(kept)));
    }
    EXPECT_EQ(MIDISysExMessage::fromBytes(std::get<0>(cases[0]))->description(),
              "MIDI SysEx message 5 bytes long");
    EXPECT_FALSE(MIDISysExMessage::fromBytes(Bytes{0xF0, 0x7E}));
    EXPECT_FALSE(MIDISysExMessage::fromBytes(Bytes{0x90, 0x3C, 0x64}));
}
