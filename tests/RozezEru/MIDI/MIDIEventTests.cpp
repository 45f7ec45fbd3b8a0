#include "RozezEru/MIDI/MIDIEvent.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace rozezeru;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> dataOf(const std::vector<MIDIEvent>& events) {
    std::vector<Bytes> data;
    for (const auto& event : events)
        data.push_back(event.data);
    return data;
}

} // namespace

TEST(MIDIEvent, ByteInitializerNormalisesAndReportsMetaTypes) {
    testsupport::ToolkitLogCapture capture;
    const std::pair<Bytes, Bytes> cases[] = {
        {{0x93, 0xBC, 0xFF}, {0x93, 0x3C, 0x7F}},
        {{0x3C, 0x40}, {}},
        {{0x51, 0x03}, {}},
        {{0xF8, 0x99}, {0xF8, 0x99}},
        {{0xF0, 0x01, 0xF7}, {0xF0, 0x01, 0xF7}},
        {{0xF4, 0x01}, {}},
        {{}, {}},
    };
    for (const auto& [given, stored] : cases)
        EXPECT_EQ(MIDIEvent(given).data, stored);
    const auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(testsupport::toolkitLogContent(records[0].text, "MIDIEvent.cpp", "init(data:timeStamp:)"),
              "is meta event Set Tempo");
    EXPECT_EQ(MIDIEvent::noteOn(60, 100, 3).data, (Bytes{0x93, 60, 100}));
    EXPECT_EQ(MIDIEvent::noteOff(60, 0, 15).data, (Bytes{0x8F, 60, 0}));
    EXPECT_EQ(MIDIEvent::programChange(5, 0).data, (Bytes{0xC0, 5}));
    EXPECT_EQ(MIDIEvent::controllerChange(7, 100, 1).data, (Bytes{0xB1, 7, 100}));
    EXPECT_EQ(MIDIEvent::fromCommand(MIDISystemCommand::songPosition, 0x90, 0xFF).data,
              (Bytes{0xF2, 0x90, 0xFF}));
    EXPECT_EQ(MIDIEvent::fromCommand(MIDISystemCommand::songSelect, 3, std::nullopt).data, (Bytes{0xF3, 3}));
}

TEST(MIDIEvent, AnswersWhatTheToolkitAsksOfAMessage) {
    const MIDIEvent clock{0xF8}, reset{0xFF}, aftertouch{0xA0, 0x3C, 0x10}, bend{0xE0, 0x00, 0x40},
        note{0x95, 60, 1};
    EXPECT_FALSE(clock.status());
    EXPECT_EQ(clock.command(), MIDISystemCommand::clock);
    EXPECT_FALSE(reset.command());
    EXPECT_FALSE(aftertouch.noteNumber());
    EXPECT_EQ(note.noteNumber(), 60);
    EXPECT_EQ(note.channel(), 5);
    EXPECT_FALSE(clock.channel());
    EXPECT_EQ(bend.pitchbendAmount(), 8192);
    EXPECT_EQ(note.description(), "Note On channel 5 - [149, 60, 1]");
    EXPECT_EQ(clock.description(), "Timing Clock - [248]");
    MIDIEvent odd;
    odd.data = {0x05};
    EXPECT_EQ(odd.description(), "Unhandled event [5]");
    MIDIEvent meta;
    meta.data = {0xFF, 0x2F, 0x00};
    EXPECT_EQ(meta.description(), "End of Track 0 bytes long  - [255, 47, 0]");
    for (auto [count, pieces] :
         {std::pair{600, std::vector<std::size_t>{256, 256, 88}},
          std::pair{512, std::vector<std::size_t>{256, 256, 0}}, std::pair{0, std::vector<std::size_t>{0}}}) {
        MIDIEvent big;
        big.data.assign(count, 1);
        std::vector<std::size_t> sizes;
        for (auto& piece : big.chunkedData())
            sizes.push_back(piece.size());
        EXPECT_EQ(sizes, pieces) << count;
    }
    MIDIEvent positioned = note;
    positioned.positionInBeats = NAN;
    EXPECT_NE(positioned, positioned);
    positioned.positionInBeats = 1.5;
    EXPECT_EQ(positioned, positioned);
    EXPECT_NE(positioned, note);
}

TEST(MIDIEvent, PacketInitializersReadOnlyWhatThePacketHolds) {
    MIDISysExReception reception;
    const Bytes program{0xC5, 0x07};
    const auto first = MIDIEvent::fromPacket({3, program}, reception);
    EXPECT_EQ(first.data, (Bytes{0xC5, 0x07}));
    EXPECT_EQ(first.timeStamp, 3u);
    EXPECT_EQ(MIDIEvent::fromPacket({3, std::span(program).first(1)}, reception).data, (Bytes{0xC5}));
    EXPECT_TRUE(MIDIEvent::fromPacket({3, {}}, reception).data.empty());
    const Bytes start{0xF0, 0x01}, middle{0x02}, end{0x03, 0xF7, 0x90};
    EXPECT_TRUE(MIDIEvent::fromPacket({1, start}, reception).data.empty());
    EXPECT_TRUE(reception.isReceivingSysEx());
    EXPECT_FALSE(MIDIEvent::continuingSysExPacket({2, middle}, reception));
    auto whole = MIDIEvent::continuingSysExPacket({3, end}, reception);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->data, (Bytes{0xF0, 0x01, 0x02, 0x03, 0xF7}));
    EXPECT_FALSE(reception.isReceivingSysEx());
    // A byte initializer meanwhile is not touched by the reception in progress.
    EXPECT_TRUE(MIDIEvent::fromPacket({1, start}, reception).data.empty());
    EXPECT_EQ(MIDIEvent::noteOn(60, 100, 0).data, (Bytes{0x90, 60, 100}));
}

TEST(MIDIEvent, BluetoothPacketsSplitAtEachMessagesOwnLength) {
    const std::pair<Bytes, std::vector<Bytes>> cases[] = {
        {{0x80, 0x80, 0x90, 0x3C, 0x40, 0x80, 0x3E, 0x40}, {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}}},
        {{0x80, 0x80, 0xC0, 0x05, 0x80, 0x90, 0x3C, 0x40}, {{0xC0, 0x05}, {0x90, 0x3C, 0x40}}},
        {{0x80, 0x80, 0x90, 0x3C, 0x40, 0x3E, 0x41}, {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x41}}},
        {{0x80, 0x80, 0x90, 0x3C, 0x81, 0xF8, 0x40}, {{0xF8}, {0x90, 0x3C, 0x40}}},
        {{0x80, 0x80, 0xF0, 0x01, 0x02, 0x81, 0xF7, 0x82, 0xFA}, {{0xF0, 0x01, 0x02, 0xF7}, {0xFA}}},
        {{0x80, 0x80, 0x90, 0x3C}, {}},
        {{0x80, 0x80}, {}},
        {{0x80, 0x10, 0x90, 0x3C, 0x40}, {}},
    };
    for (const auto& [packet, expected] : cases)
        EXPECT_EQ(dataOf(MIDIEvent::eventsFromBluetoothData(packet)), expected);
}
