#include "platform/midi/MIDIPacketList.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::pair<MIDITimeStamp, Bytes>> walk(std::span<const std::uint8_t> list) {
    std::vector<std::pair<MIDITimeStamp, Bytes>> packets;
    for (const auto& packet : MIDIPacketListView(list))
        packets.emplace_back(packet.timeStamp, Bytes(packet.data.begin(), packet.data.end()));
    return packets;
}

Bytes listOf(const std::vector<std::pair<MIDITimeStamp, Bytes>>& packets) {
    std::vector<std::size_t> sizes;
    for (auto& [time, data] : packets)
        sizes.push_back(data.size());
    Bytes buffer(packetListSize(sizes));
    MIDIPacketListBuilder builder(buffer);
    for (auto& [time, data] : packets)
        EXPECT_TRUE(builder.add(time, data));
    return buffer;
}

} // namespace

TEST(MIDIPacketList, BuiltListsWalkBackInTheLayoutTheToolkitReads) {
    const std::vector<std::pair<MIDITimeStamp, Bytes>> packets = {
        {0x0102030405060708, {0x90, 0x3C, 0x64}}, {9, {0xC0, 0x05}}, {10, {}}, {11, Bytes(300, 0x01)}};
    const auto list = listOf(packets);
    EXPECT_EQ(walk(list), packets);
    // Count, then the second packet right after the first one's 3 data bytes, little-endian and unaligned.
    EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{4, 0, 0, 0}));
    EXPECT_EQ(list[4], 0x08);
    EXPECT_EQ(list[4 + 10 + 3], 9);
    EXPECT_EQ(list[4 + 10 + 3 + 8], 2);
}

TEST(MIDIPacketList, WalkStopsAtTheBufferWhateverTheCountsClaim) {
    auto list = listOf({{1, {0x90, 0x3C, 0x64}}, {2, {0x80, 0x3C, 0x00}}});
    using Case = std::tuple<const char*, Bytes, std::size_t>;
    Bytes moreClaimed = list;
    moreClaimed[0] = 200;
    Bytes longerClaimed = list;
    longerClaimed[4 + 8] = 0xFF; // the first packet claims 255 bytes
    const Case cases[] = {
        {"empty buffer", {}, 0},
        {"count cut", {1, 0}, 0},
        {"count 0", {0, 0, 0, 0, 1, 2, 3}, 0},
        {"count above the packets present", moreClaimed, 2},
        {"length past the end", longerClaimed, 0},
        {"second packet cut", Bytes(list.begin(), list.end() - 1), 1},
        {"header of the second packet cut", Bytes(list.begin(), list.begin() + 4 + 13 + 5), 1},
    };
    for (const auto& [what, bytes, packets] : cases)
        EXPECT_EQ(walk(bytes).size(), packets) << what;
}

TEST(MIDIPacketList, BuilderRefusesWhatDoesNotFit) {
    Bytes small(4 + 10 + 2);
    MIDIPacketListBuilder builder(small);
    EXPECT_FALSE(builder.add(1, Bytes{1, 2, 3}));
    EXPECT_TRUE(builder.add(1, Bytes{1, 2}));
    EXPECT_FALSE(builder.add(1, Bytes{}));
    EXPECT_EQ(walk(builder.bytes()).size(), 1u);
    Bytes huge(70000 + 14);
    EXPECT_FALSE(MIDIPacketListBuilder(huge).add(1, Bytes(70000, 0)));
    Bytes tiny(3);
    EXPECT_FALSE(MIDIPacketListBuilder(tiny).add(1, Bytes{}));
}
