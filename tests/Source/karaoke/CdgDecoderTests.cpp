// The CD+G decoder: each instruction on its own, the combinations discs use, the picture at a heard
// time with seeks, and damaged input.

#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/CdgPlayhead.h"
#include "tests/support/CdgWriter.h"
#include "tests/support/HeldQueue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vantle {
namespace {

namespace cdg = testsupport::cdg;
using cdg::Packet;

int pixelAt(const CdgScreen& screen, int x, int y) {
    return screen.pixels[std::size_t(y * CdgScreen::width + x)];
}

CdgScreen decode(const std::vector<Packet>& packets) {
    CdgDecoder decoder;
    for (const Packet& p : packets)
        decoder.apply(p.data());
    return decoder.screen();
}

// The state after the first `count` packets of `bytes`, decoded from the start.
CdgScreen decodeFromStart(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    CdgDecoder decoder;
    for (std::size_t i = 0; i < count && (i + 1) * 24 <= bytes.size(); ++i)
        decoder.apply(bytes.data() + i * 24);
    return decoder.screen();
}

void expectSameScreen(const CdgScreen& actual, const CdgScreen& expected, const std::string& where) {
    EXPECT_TRUE(actual.pixels == expected.pixels) << where;
    EXPECT_EQ(actual.colours, expected.colours) << where;
    EXPECT_EQ(actual.hOffset, expected.hOffset) << where;
    EXPECT_EQ(actual.vOffset, expected.vOffset) << where;
    EXPECT_EQ(actual.transparentColour, expected.transparentColour) << where;
    EXPECT_EQ(actual.borderColour, expected.borderColour) << where;
}

struct Probe {
    int x, y, index;
};

cdg::TileLines leftPixelOnly() {
    cdg::TileLines lines{};
    lines.fill(0x20);
    return lines;
}

TEST(CdgInstructions, EachInstructionChangesTheScreenAsTheFormatSays) {
    const cdg::TileLines solid = cdg::solid();
    struct Case {
        std::string name;
        std::vector<Packet> packets;
        std::vector<Probe> probes;
        std::optional<int> hOffset = {}, vOffset = {}, transparent = {};
    };
    const std::vector<Case> cases = {
        {"memory preset fills the whole screen, border too",
         {cdg::memoryPreset(5)},
         {{0, 0, 5}, {150, 100, 5}, {299, 215, 5}}},
        {"memory preset takes the colour's low four bits", {cdg::memoryPreset(0x15)}, {{10, 20, 5}}},
        {"a repeated memory preset clears what was drawn between",
         {cdg::memoryPreset(3, 0), cdg::tileBlock(1, 2, 5, 5, solid), cdg::memoryPreset(3, 1)},
         {{30, 60, 3}}},
        {"memory preset sets the offsets back to 0",
         {cdg::scroll(false, 0, 0, 3, 0, 7), cdg::memoryPreset(1)},
         {},
         0,
         0},
        {"border preset colours the ring and leaves the visible area",
         {cdg::memoryPreset(1), cdg::borderPreset(6)},
         {{0, 0, 6}, {5, 100, 6}, {294, 100, 6}, {150, 11, 6}, {150, 204, 6}, {6, 12, 1}, {293, 203, 1}}},
        {"a tile's 1 bits take colour1, 0 bits colour0, leftmost bit 0x20",
         {cdg::tileBlock(2, 7, 1, 1, leftPixelOnly())},
         {{6, 12, 7}, {7, 12, 2}, {11, 23, 2}, {6, 23, 7}, {5, 12, 0}, {12, 12, 0}}},
        {"a tile's rightmost pixel is bit 0x01",
         {cdg::tileBlock(2, 7, 0, 0, {0x01})},
         {{5, 0, 7}, {4, 0, 2}}},
        {"the last tile of the grid reaches the screen's corner",
         {cdg::tileBlock(0, 9, 17, 49, solid)},
         {{299, 215, 9}, {294, 204, 9}, {293, 215, 0}}},
        {"a tile's colours take their low four bits",
         {cdg::tileBlock(0x13, 0x1A, 2, 2, leftPixelOnly())},
         {{12, 24, 0xA}, {13, 24, 3}}},
        {"a tile row beyond the grid is passed over",
         {cdg::memoryPreset(1), cdg::tileBlock(2, 2, 18, 0, solid)},
         {{0, 215, 1}, {0, 0, 1}}},
        {"a tile column beyond the grid is passed over",
         {cdg::memoryPreset(1), cdg::tileBlock(2, 2, 0, 50, solid)},
         {{0, 0, 1}, {299, 0, 1}}},
        {"only the row's low five bits count",
         {cdg::tileBlock(0, 4, 0x21, 0, solid)},
         {{0, 12, 4}, {0, 0, 0}}},
        {"XOR tiles flip indices by the chosen colour",
         {cdg::memoryPreset(5), cdg::tileBlock(0, 3, 1, 1, leftPixelOnly(), true)},
         {{6, 12, 5 ^ 3}, {7, 12, 5}}},
        {"an XOR tile twice gives back the picture",
         {cdg::memoryPreset(5), cdg::tileBlock(6, 3, 1, 1, leftPixelOnly(), true),
          cdg::tileBlock(6, 3, 1, 1, leftPixelOnly(), true)},
         {{6, 12, 5}, {7, 12, 5}}},
        {"scroll preset right moves a tile 6 pixels and fills the left strip",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 2, solid), cdg::scroll(false, 9, 1, 0, 0, 0)},
         {{18, 24, 7}, {12, 24, 1}, {0, 100, 9}, {5, 215, 9}, {6, 100, 1}}},
        {"scroll preset left",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 3, solid), cdg::scroll(false, 9, 2, 0, 0, 0)},
         {{12, 24, 7}, {18, 24, 1}, {294, 0, 9}, {299, 215, 9}, {293, 100, 1}}},
        {"scroll preset down",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 2, solid), cdg::scroll(false, 9, 0, 0, 1, 0)},
         {{12, 36, 7}, {12, 24, 1}, {0, 0, 9}, {299, 11, 9}, {0, 12, 1}}},
        {"scroll preset up",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 2, solid), cdg::scroll(false, 9, 0, 0, 2, 0)},
         {{12, 12, 7}, {12, 24, 1}, {0, 204, 9}, {299, 215, 9}, {0, 203, 1}}},
        {"scroll copy right wraps the last column round to the first",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 49, solid), cdg::scroll(true, 9, 1, 0, 0, 0)},
         {{0, 24, 7}, {5, 35, 7}, {294, 24, 1}, {0, 0, 1}}},
        {"scroll copy left wraps the first column round to the last",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 0, solid), cdg::scroll(true, 9, 2, 0, 0, 0)},
         {{294, 24, 7}, {299, 35, 7}, {0, 24, 1}}},
        {"scroll copy down wraps the last row round to the first",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 17, 3, solid), cdg::scroll(true, 9, 0, 0, 1, 0)},
         {{18, 0, 7}, {23, 11, 7}, {18, 204, 1}}},
        {"scroll copy up wraps the first row round to the last",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 0, 3, solid), cdg::scroll(true, 9, 0, 0, 2, 0)},
         {{18, 204, 7}, {23, 215, 7}, {18, 0, 1}}},
        {"scroll command 3 does not move the picture",
         {cdg::memoryPreset(1), cdg::tileBlock(7, 7, 2, 2, solid), cdg::scroll(false, 9, 3, 0, 3, 0)},
         {{12, 24, 7}, {0, 0, 1}}},
        {"scroll sets the smooth offsets", {cdg::scroll(false, 0, 0, 3, 0, 7)}, {}, 3, 7},
        {"smooth offsets beyond a tile are taken as the largest",
         {cdg::scroll(true, 0, 0, 7, 0, 15)},
         {},
         5,
         11},
        {"define transparent colour", {cdg::transparentColour(0x1C)}, {}, {}, {}, 12},
        {"a packet of another mode is passed over",
         {cdg::memoryPreset(1), cdg::packet(cdg::memoryPresetInstruction, {6}, 0x08)},
         {{0, 0, 1}}},
        {"only the command's low six bits make a graphics packet",
         {cdg::packet(cdg::memoryPresetInstruction, {6}, 0xC9)},
         {{0, 0, 6}}},
        {"only the instruction's low six bits count",
         {cdg::packet(0xC0 | cdg::memoryPresetInstruction, {6})},
         {{0, 0, 6}}},
        {"an unknown instruction is passed over",
         {cdg::memoryPreset(1), cdg::packet(7, {6, 6, 6, 6, 6, 6}), cdg::packet(63, {6, 6, 6, 6})},
         {{0, 0, 1}, {150, 100, 1}}},
        {"only the data bytes' low six bits count",
         {cdg::packet(cdg::memoryPresetInstruction, {0xC6})},
         {{0, 0, 6}}},
    };
    for (const Case& c : cases) {
        const CdgScreen screen = decode(c.packets);
        for (const Probe& probe : c.probes)
            EXPECT_EQ(pixelAt(screen, probe.x, probe.y), probe.index)
                << c.name << " at (" << probe.x << ", " << probe.y << ")";
        if (c.hOffset) {
            EXPECT_EQ(screen.hOffset, *c.hOffset) << c.name;
        }
        if (c.vOffset) {
            EXPECT_EQ(screen.vOffset, *c.vOffset) << c.name;
        }
        if (c.transparent) {
            EXPECT_EQ(screen.transparentColour, *c.transparent) << c.name;
        }
    }
}

TEST(CdgInstructions, ColourTablesLoadTwelveBitColoursLowAndHigh) {
    const std::array<std::uint16_t, 8> low = {0xF80, 0x000, 0xFFF, 0x123, 0x456, 0x789, 0xABC, 0xDEF};
    const std::array<std::uint16_t, 8> high = {0x0F0, 0x00F, 0x111, 0x222, 0x333, 0x444, 0x555, 0xF0F};
    const CdgScreen screen = decode({cdg::loadColours(false, low), cdg::loadColours(true, high)});
    struct Case {
        int entry;
        std::uint32_t rgb;
    };
    for (const Case& c : {Case{0, 0xFF8800}, Case{2, 0xFFFFFF}, Case{3, 0x112233}, Case{7, 0xDDEEFF},
                          Case{8, 0x00FF00}, Case{9, 0x0000FF}, Case{15, 0xFF00FF}})
        EXPECT_EQ(screen.colours[std::size_t(c.entry)], c.rgb) << "entry " << c.entry;
}

// The combinations discs use, drawn and checked the way a singer sees them.
TEST(CdgInstructions, DiscSequencesDrawTitleLitLyricsAndScrolledPages) {
    const cdg::TileLines solid = cdg::solid();
    // A title screen: palette, the preset sent repeatedly, border, then the title's tiles.
    std::vector<Packet> title = {cdg::loadColours(false, {0x000, 0xFFF, 0xF00, 0x0F0, 0x00F, 0, 0, 0})};
    for (int repeat = 0; repeat < 16; ++repeat)
        title.push_back(cdg::memoryPreset(4, repeat));
    title.push_back(cdg::borderPreset(2));
    for (int column = 10; column < 40; ++column)
        title.push_back(cdg::tileBlock(4, 1, 8, column, solid));
    const CdgScreen titled = decode(title);
    EXPECT_EQ(pixelAt(titled, 60, 96), 1);
    EXPECT_EQ(pixelAt(titled, 59, 96), 4);
    EXPECT_EQ(pixelAt(titled, 0, 0), 2);
    std::vector<std::uint8_t> rgb;
    cdgToRgb(titled, false, rgb);
    EXPECT_EQ(rgb[std::size_t((96 * 300 + 60) * 3)], 0xFF);     // white text
    EXPECT_EQ(rgb[std::size_t((96 * 300 + 59) * 3 + 2)], 0xFF); // on blue

    // Lyrics drawn white on blue, then lit to red syllable by syllable with XOR tiles (1 ^ 3 = 2).
    std::vector<Packet> lyrics = title;
    for (int column = 5; column < 15; ++column)
        lyrics.push_back(cdg::tileBlock(4, 1, 14, column, leftPixelOnly()));
    for (int column = 5; column < 10; ++column)
        lyrics.push_back(cdg::tileBlock(0, 3, 14, column, leftPixelOnly(), true));
    const CdgScreen lit = decode(lyrics);
    EXPECT_EQ(pixelAt(lit, 30, 168), 2); // a sung syllable's stroke is red
    EXPECT_EQ(pixelAt(lit, 31, 168), 4); // its background stays blue
    EXPECT_EQ(pixelAt(lit, 60, 168), 1); // the syllable not yet sung is still white

    // A page scrolled up a line at a time: smooth offsets, then a whole-row move filled with blue.
    std::vector<Packet> page = lyrics;
    for (int step = 1; step < 12; ++step)
        page.push_back(cdg::scroll(false, 4, 0, 0, 0, step));
    const CdgScreen halfway = decode(page);
    EXPECT_EQ(halfway.vOffset, 11);
    cdgToRgb(halfway, false, rgb);
    // The shown pixel at y 157 is the memory's y 168: the lit stroke, 11 pixels higher.
    EXPECT_EQ(rgb[std::size_t((157 * 300 + 30) * 3)], 0xFF);
    EXPECT_EQ(rgb[std::size_t((157 * 300 + 30) * 3 + 1)], 0x00);
    page.push_back(cdg::scroll(false, 4, 0, 0, 2, 0));
    const CdgScreen moved = decode(page);
    EXPECT_EQ(moved.vOffset, 0);
    EXPECT_EQ(pixelAt(moved, 30, 156), 2);
    EXPECT_EQ(pixelAt(moved, 30, 168), 4);
    EXPECT_EQ(pixelAt(moved, 30, 210), 4); // the uncovered strip takes the fill
}

TEST(CdgPicture, RgbAppliesOffsetsInsideTheBorderAndDarkensOnRequest) {
    CdgScreen screen;
    screen.colours[1] = 0x112233;
    screen.colours[2] = 0xFFEEDD;
    screen.colours[3] = 0x0000FF;
    screen.pixels.fill(1);
    screen.pixels[std::size_t((12 + 7) * 300 + 6 + 3)] = 2; // memory (9, 19)
    screen.pixels[0] = 3;                                   // the border's corner
    screen.pixels[std::size_t(150 * 300 + 150)] = 3;
    screen.hOffset = 3;
    screen.vOffset = 7;
    screen.transparentColour = 3;
    auto rgbAt = [](const std::vector<std::uint8_t>& rgb, int x, int y) {
        const std::size_t at = std::size_t((y * 300 + x) * 3);
        return (std::uint32_t(rgb[at]) << 16) | (std::uint32_t(rgb[at + 1]) << 8) | rgb[at + 2];
    };
    std::vector<std::uint8_t> plain, dark;
    cdgToRgb(screen, false, plain);
    cdgToRgb(screen, true, dark);
    ASSERT_EQ(plain.size(), 300u * 216 * 3);
    struct Case {
        const char* what;
        int x, y;
        std::uint32_t plain, dark;
    };
    for (const Case& c : {
             Case{"the visible area is shifted by the offsets", 6, 12, 0xFFEEDD, 0xFFEEDD},
             Case{"the border ring is not shifted", 0, 0, 0x0000FF, 0x000000},
             Case{"the border ring is dark on a singers' screen", 299, 215, 0x112233, 0x000000},
             Case{"the transparent index is its colour, or dark", 147, 143, 0x0000FF, 0x000000},
             Case{"other indices keep their colour", 100, 100, 0x112233, 0x112233},
         }) {
        EXPECT_EQ(rgbAt(plain, c.x, c.y), c.plain) << c.what;
        EXPECT_EQ(rgbAt(dark, c.x, c.y), c.dark) << c.what;
    }
}

// Packet k at its own tile, so the picture tells how many packets were applied.
std::vector<std::uint8_t> countingFile(std::size_t packets) {
    cdg::CdgWriter writer;
    for (std::size_t k = 0; k < packets; ++k)
        writer.append(cdg::tileBlock(0, 1, int(k / 50 % 18), int(k % 50), cdg::solid()));
    return writer.bytes();
}

TEST(CdgTimeline, ThePictureAtATimeHoldsPacketsUpToFloorOfTimeTimes300) {
    auto timeline = CdgTimeline::fromBytes(countingFile(600));
    ASSERT_TRUE(timeline);
    EXPECT_DOUBLE_EQ(timeline->duration(), 2.0);
    auto drawnTiles = [&](double t) {
        const CdgScreen& screen = timeline->screenAt(t);
        int count = 0;
        for (int k = 0; k < 900; ++k)
            count += pixelAt(screen, (k % 50) * 6, (k / 50) * 12);
        return count;
    };
    struct Case {
        double t;
        int tiles;
    };
    for (const Case& c : {Case{-1.0, 0}, Case{0.0, 1}, Case{1.0 / 300 - 1e-8, 1}, Case{1.0 / 300, 2},
                          Case{7.0 / 300, 8}, Case{0.5, 151}, Case{299.0 / 300, 300}, Case{1.9999, 600},
                          Case{5.0, 600}, Case{0.1, 31}, Case{std::nan(""), 0}})
        EXPECT_EQ(drawnTiles(c.t), c.tiles) << "t = " << c.t;
}

TEST(CdgTimeline, SeeksGiveThePictureOfDecodingFromTheStartAndReplayFromASnapshot) {
    const std::vector<std::uint8_t> song = cdg::karaokeSong(120.0, 7);
    auto timeline = CdgTimeline::fromBytes(song);
    ASSERT_TRUE(timeline);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> anyTime(0.0, 121.0);
    // Forward first, so that later seeks back find their snapshots; then random seeks both ways.
    std::vector<double> times = {0.0, 30.5, 119.99};
    for (int i = 0; i < 60; ++i)
        times.push_back(anyTime(random));
    for (double t : times) {
        const CdgScreen& seen = timeline->screenAt(t);
        const auto count = std::size_t(std::floor(t * 300)) + 1;
        expectSameScreen(seen, decodeFromStart(song, count), "t = " + std::to_string(t));
    }
    // From the end back to anywhere, and forward again, a seek replays at most the packets between
    // two snapshots.
    (void)timeline->screenAt(120.0);
    for (double t : {1.0, 47.3, 90.0, 119.0}) {
        (void)timeline->screenAt(t);
        EXPECT_LE(timeline->lastReplayedPackets(), 3u * 300) << "back to t = " << t;
        (void)timeline->screenAt(120.0);
        EXPECT_LE(timeline->lastReplayedPackets(), 3u * 300) << "forward from t = " << t;
    }
}

TEST(CdgTimeline, SnapshotsStayBoundedForAHugeFile) {
    // Two hours of empty packets: snapshots every three seconds would be 2400 of them.
    auto timeline = CdgTimeline::fromBytes(std::vector<std::uint8_t>(2u * 3600 * 300 * 24, 0));
    ASSERT_TRUE(timeline);
    (void)timeline->screenAt(2.0 * 3600);
    EXPECT_LE(timeline->snapshotCount(), 257u);
    EXPECT_GE(timeline->snapshotCount(), 200u);
}

TEST(CdgTimeline, DamagedAndOversizedFilesAreHandled) {
    // A cut last packet is passed over, even when what is there would clear the screen.
    std::vector<std::uint8_t> cut = countingFile(10);
    const Packet preset = cdg::memoryPreset(5);
    cut.insert(cut.end(), preset.begin(), preset.begin() + 23);
    auto timeline = CdgTimeline::fromBytes(cut);
    ASSERT_TRUE(timeline);
    EXPECT_EQ(timeline->packetCount(), 10u);
    EXPECT_EQ(pixelAt(timeline->screenAt(10.0), 9 * 6, 0), 1);
    EXPECT_EQ(pixelAt(timeline->screenAt(10.0), 0, 100), 0);

    // Garbage: every packet a graphics packet with random instructions and data.
    std::mt19937 random(5);
    std::vector<std::uint8_t> garbage(300u * 60 * 24);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = (i % 24 == 0) ? std::uint8_t(0x09 | (random() & 0xC0)) : std::uint8_t(random());
    auto noise = CdgTimeline::fromBytes(garbage);
    ASSERT_TRUE(noise);
    for (double t : {59.0, 3.0, 30.0}) {
        const CdgScreen& screen = noise->screenAt(t);
        EXPECT_LE(*std::max_element(screen.pixels.begin(), screen.pixels.end()), 15) << t;
        EXPECT_TRUE(screen.hOffset >= 0 && screen.hOffset <= 5 && screen.vOffset >= 0 &&
                    screen.vOffset <= 11);
    }

    EXPECT_FALSE(CdgTimeline::fromBytes(std::vector<std::uint8_t>(CdgTimeline::maximumBytes + 1)));
    auto empty = CdgTimeline::fromBytes({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->duration(), 0.0);
    EXPECT_EQ(pixelAt(empty->screenAt(1.0), 0, 0), 0);
}

// A file of nothing but scrolls, each costing about a screen's copy: the worst case to replay.
std::vector<std::uint8_t> scrollOnlyFile(std::size_t bytes) {
    const Packet scroll = cdg::scroll(true, 2, 1, 0, 2, 0);
    std::vector<std::uint8_t> file(bytes / 24 * 24);
    for (std::size_t at = 0; at < file.size(); at += 24)
        std::copy(scroll.begin(), scroll.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    // Something to scroll.
    const Packet tile = cdg::tileBlock(1, 3, 5, 7, cdg::solid());
    std::copy(tile.begin(), tile.end(), file.begin());
    return file;
}

// The window's thread never decodes more than a few seconds of packets for a picture: a position
// hours into the largest file is decoded by the worker, and the picture is exact once it comes.
TEST(CdgPlayhead, AFarPositionIsDecodedByTheWorkerAndThenExact) {
    testsupport::HeldQueue worker, home;
    {
        auto largest = CdgTimeline::fromBytes(scrollOnlyFile(CdgTimeline::maximumBytes));
        ASSERT_TRUE(largest);
        CdgPlayhead playhead(std::move(*largest), worker, home);
        (void)playhead.screenAt(10000.0);
        EXPECT_LE(playhead.lastReplayedPackets(), CdgPlayhead::stepBudget);
        EXPECT_FALSE(playhead.exact());
        EXPECT_EQ(worker.held(), 1u);
        (void)playhead.screenAt(10000.02);
        EXPECT_EQ(worker.held(), 1u) << "one question at a time";
    }
    // The playhead gone, its question is dropped unanswered.
    ASSERT_TRUE(worker.runNext());
    EXPECT_EQ(home.held(), 0u);

    const std::vector<std::uint8_t> song = scrollOnlyFile(std::size_t(600) * 300 * 24);
    auto timeline = CdgTimeline::fromBytes(song);
    auto reference = CdgTimeline::fromBytes(song);
    ASSERT_TRUE(timeline && reference);
    CdgPlayhead playhead(std::move(*timeline), worker, home);
    const struct {
        double heard;
        bool far;
    } moments[] = {{0.5, false},  {1.0, false},  {480.0, true},  {480.1, false}, {490.0, false},
                   {120.0, true}, {119.9, true}, {121.0, false}, {0.2, false}};
    for (const auto& moment : moments) {
        const std::string where = "t = " + std::to_string(moment.heard);
        (void)playhead.screenAt(moment.heard);
        EXPECT_LE(playhead.lastReplayedPackets(), CdgPlayhead::stepBudget) << where;
        EXPECT_EQ(playhead.exact(), !moment.far) << where;
        // The worker answers, and the next frame (a moment later) takes its picture.
        while (worker.runNext() || home.runNext()) {
        }
        const double next = moment.heard + 0.02;
        const CdgScreen& screen = playhead.screenAt(next);
        EXPECT_TRUE(playhead.exact()) << where;
        EXPECT_LE(playhead.lastReplayedPackets(), CdgPlayhead::stepBudget) << where;
        expectSameScreen(screen, reference->screenAt(next), where);
    }
}

} // namespace
} // namespace vantle
