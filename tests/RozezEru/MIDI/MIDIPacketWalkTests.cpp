#include "RozezEru/MIDI/MIDIEvent.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rozezeru;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> walk(const std::vector<Bytes>& packets) {
    std::vector<std::size_t> sizes;
    for (auto& packet : packets)
        sizes.push_back(packet.size());
    Bytes list(platform::packetListSize(sizes));
    platform::MIDIPacketListBuilder builder(list);
    MIDITimeStamp time = 100;
    for (auto& packet : packets)
        builder.add(time++, packet);
    std::vector<Bytes> data;
    for (const auto& event : MIDIEvent::events(list)) {
        EXPECT_TRUE(event.timeStamp.has_value());
        data.push_back(event.data);
    }
    return data;
}

} // namespace

TEST(MIDIPacketWalk, EveryMessageOfEveryPacketComesOut) {
    using Case = std::tuple<const char*, std::vector<Bytes>, std::vector<Bytes>>; // packets, then events
    const Case cases[] = {
        {"no packets", {}, {}},
        {"empty packet", {{}}, {}},
        {"two messages", {{0x90, 0x3C, 0x64, 0xC0, 0x05}}, {{0x90, 0x3C, 0x64}, {0xC0, 0x05}}},
        {"two packets", {{0x90, 0x3C, 0x64}, {0xC0, 0x05}}, {{0x90, 0x3C, 0x64}, {0xC0, 0x05}}},
        {"every channel status",
         {{0x81, 1, 2, 0xA2, 3, 4, 0xB3, 5, 6, 0xD4, 7, 0xE5, 8, 9}},
         {{0x81, 1, 2}, {0xA2, 3, 4}, {0xB3, 5, 6}, {0xD4, 7}, {0xE5, 8, 9}}},
        // Packets use no running status: a data byte where a status belongs ends the packet.
        {"running status", {{0x90, 0x3C, 0x64, 0x3E, 0x64, 0x40, 0x00}}, {{0x90, 0x3C, 0x64}}},
        {"three-byte program change", {{0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64}}, {{0xC0, 0x05}}},
        {"three-byte channel pressure", {{0xD4, 0x33, 0x00}, {0xC1, 0x02}}, {{0xD4, 0x33}, {0xC1, 0x02}}},
        {"data after a tune request", {{0xF6, 0x01, 0xF8}}, {{0xF6}}},
        {"system common ends running status", {{0x90, 1, 2, 0xF3, 4, 5, 6}}, {{0x90, 1, 2}, {0xF3, 4}}},
        {"system common", {{0xF1, 0x23, 0xF2, 0x10, 0x20, 0xF6}}, {{0xF1, 0x23}, {0xF2, 0x10, 0x20}, {0xF6}}},
        {"clock before a note", {{0xF8, 0x90, 0x3C, 0x64}}, {{0xF8}, {0x90, 0x3C, 0x64}}},
        {"clock after a note", {{0x90, 0x3C, 0x64, 0xF8}}, {{0x90, 0x3C, 0x64}, {0xF8}}},
        {"real time inside a note", {{0x90, 0x3C, 0xFA, 0x64}}, {{0xFA}, {0x90, 0x3C, 0x64}}},
        {"live system reset", {{0xFF}}, {{0xFF}}},
        {"sysex after a note",
         {{0x90, 0x3C, 0x64, 0xF0, 0x7E, 0xF7}},
         {{0x90, 0x3C, 0x64}, {0xF0, 0x7E, 0xF7}}},
        {"note after a sysex",
         {{0xF0, 0x7E, 0x01, 0xF7, 0x90, 0x3C, 0x64}},
         {{0xF0, 0x7E, 0x01, 0xF7}, {0x90, 0x3C, 0x64}}},
        {"sysex over three packets with a clock inside, then a note",
         {{0xF0, 0x01}, {0x02, 0xF8, 0x03}, {0x04, 0xF7, 0x90, 0x3C, 0x64}},
         {{0xF8}, {0xF0, 0x01, 0x02, 0x03, 0x04, 0xF7}, {0x90, 0x3C, 0x64}}},
        {"sysex cut short by a status", {{0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64}}, {{0x90, 0x3C, 0x64}}},
        {"truncated note", {{0x90, 0x3C}}, {}},
        {"truncated note, then a note", {{0x90, 0x3C, 0x80, 0x3C, 0x00}}, {{0x80, 0x3C, 0x00}}},
        {"stray data first", {{0x3C, 0x40, 0xC1, 0x02}}, {}},
        {"undefined bytes", {{0xF4, 0xF7, 0xF9, 0xFD, 0xC1, 0x02}}, {{0xC1, 0x02}}},
        {"long packet", {Bytes(400, 0x00)}, {}},
    };
    for (const auto& [what, packets, events] : cases)
        EXPECT_EQ(walk(packets), events) << what;
}

TEST(MIDIPacketWalk, EachSourceKeepsItsOwnSystemExclusive) {
    MIDISysExReception first, second;
    const Bytes a1{0xF0, 0x0A}, b1{0xF0, 0x0B}, a2{0x0A, 0xF7}, b2{0x0B, 0xF7};
    EXPECT_TRUE(packetEvents({1, a1}, first).empty());
    EXPECT_TRUE(packetEvents({1, b1}, second).empty());
    // An event built meanwhile elsewhere is whole.
    EXPECT_EQ(MIDIEvent::noteOn(60, 100, 0).data.size(), 3u);
    EXPECT_EQ(packetEvents({2, a2}, first).at(0).data, (Bytes{0xF0, 0x0A, 0x0A, 0xF7}));
    EXPECT_EQ(packetEvents({2, b2}, second).at(0).data, (Bytes{0xF0, 0x0B, 0x0B, 0xF7}));
}
