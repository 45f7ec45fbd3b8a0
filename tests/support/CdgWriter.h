#pragma once
// Makes CD+G packets and files as discs carry them, for the decoder's tests, its fuzz seeds and its
// benchmark. The standard library only; any thread.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport::cdg {

using Packet = std::array<std::uint8_t, 24>;
using TileLines = std::array<std::uint8_t, 12>; // bit 0x20 of a line is its leftmost pixel

inline constexpr std::uint8_t graphicsCommand = 9;
inline constexpr int packetsPerSecond = 300;

enum Instruction : std::uint8_t {
    memoryPresetInstruction = 1,
    borderPresetInstruction = 2,
    tileBlockInstruction = 6,
    scrollPresetInstruction = 20,
    scrollCopyInstruction = 24,
    transparentColourInstruction = 28,
    coloursLowInstruction = 30,
    coloursHighInstruction = 31,
    tileBlockXorInstruction = 38,
};

// A packet with the given instruction and data bytes (the rest zero).
inline Packet packet(std::uint8_t instruction, std::initializer_list<std::uint8_t> data,
                     std::uint8_t command = graphicsCommand) {
    Packet p{};
    p[0] = command;
    p[1] = instruction;
    std::size_t i = 4;
    for (std::uint8_t byte : data)
        if (i < 20) p[i++] = byte;
    return p;
}

inline Packet memoryPreset(int colour, int repeat = 0) {
    return packet(memoryPresetInstruction, {std::uint8_t(colour), std::uint8_t(repeat)});
}
inline Packet borderPreset(int colour) {
    return packet(borderPresetInstruction, {std::uint8_t(colour)});
}
inline Packet transparentColour(int colour) {
    return packet(transparentColourInstruction, {std::uint8_t(colour)});
}

inline Packet tileBlock(int colour0, int colour1, int row, int column, const TileLines& lines,
                        bool exclusiveOr = false) {
    Packet p =
        packet(exclusiveOr ? tileBlockXorInstruction : tileBlockInstruction,
               {std::uint8_t(colour0), std::uint8_t(colour1), std::uint8_t(row), std::uint8_t(column)});
    std::copy(lines.begin(), lines.end(), p.begin() + 8);
    return p;
}
// A tile of one colour (colour1 everywhere).
inline TileLines solid() {
    TileLines lines;
    lines.fill(0x3F);
    return lines;
}

// Commands: 0 stays, 1 moves right / down, 2 left / up.
inline Packet scroll(bool copy, int fill, int hCommand, int hOffset, int vCommand, int vOffset) {
    return packet(copy ? scrollCopyInstruction : scrollPresetInstruction,
                  {std::uint8_t(fill), std::uint8_t((hCommand << 4) | hOffset),
                   std::uint8_t((vCommand << 4) | vOffset)});
}

// Eight 12-bit colours 0xRGB for entries 0-7 (or 8-15 with `high`).
inline Packet loadColours(bool high, const std::array<std::uint16_t, 8>& rgb) {
    Packet p = packet(high ? coloursHighInstruction : coloursLowInstruction, {});
    for (std::size_t i = 0; i < 8; ++i) {
        const unsigned r = (rgb[i] >> 8) & 0xF, g = (rgb[i] >> 4) & 0xF, b = rgb[i] & 0xF;
        p[4 + 2 * i] = std::uint8_t((r << 2) | (g >> 2));
        p[5 + 2 * i] = std::uint8_t(((g & 3) << 4) | b);
    }
    return p;
}

// A packet of another subchannel mode, which a decoder passes over.
inline Packet otherMode() {
    return packet(tileBlockInstruction, {1, 2, 3, 4}, 0x08);
}

// A file being written: packets placed at their indices, the gaps filled with empty packets as
// on a disc.
class CdgWriter {
public:
    void append(const Packet& p) { bytes_.insert(bytes_.end(), p.begin(), p.end()); }
    // At packet index `index` (after what is there already).
    void at(std::size_t index, const Packet& p) {
        padTo(index);
        append(p);
    }
    void padTo(std::size_t packets) {
        if (packetCount() < packets) bytes_.resize(packets * 24, 0);
    }
    std::size_t packetCount() const { return bytes_.size() / 24; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    bool write(const std::string& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
        return bool(out);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// A song as a disc draws it, `seconds` long: palette, cleared screen (preset repeated) and border, a
// title screen, then pages of lyrics whose lines are drawn in one colour and lit syllable by
// syllable with XOR tiles, the page scrolled up a line at a time with smooth offsets. `seed` varies
// the glyphs.
inline std::vector<std::uint8_t> karaokeSong(double seconds, std::uint32_t seed = 1) {
    CdgWriter w;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto glyph = [&] {
        TileLines lines;
        for (auto& line : lines)
            line = std::uint8_t(next() & 0x3F);
        return lines;
    };
    const auto total = static_cast<std::size_t>(seconds * packetsPerSecond);
    w.append(loadColours(false, {0x000, 0xFFF, 0xF00, 0x0F0, 0x00F, 0xFF0, 0x0FF, 0xF0F}));
    w.append(loadColours(true, {0x111, 0x333, 0x555, 0x777, 0x999, 0xBBB, 0xDDD, 0x842}));
    for (int repeat = 0; repeat < 16; ++repeat)
        w.append(memoryPreset(4, repeat));
    w.append(borderPreset(4)); // as the background: scrolls move the ring with the picture
    w.append(transparentColour(0));
    // Title: three lines of large text.
    for (int row = 6; row < 12; row += 2)
        for (int column = 8; column < 42; ++column)
            w.append(tileBlock(4, 5, row, column, glyph()));
    std::size_t index = w.packetCount() + 5 * packetsPerSecond;
    int line = 0;
    while (index < total) {
        // Each line: its text drawn in white on blue, then every tile lit in turn by XOR to red.
        const int row = 14;
        std::array<TileLines, 50> text;
        for (int column = 4; column < 46 && index < total; ++column) {
            text[std::size_t(column)] = glyph();
            w.at(index++, tileBlock(4, 1, row, column, text[std::size_t(column)]));
        }
        for (int column = 4; column < 46 && index < total; ++column) {
            w.at(index, tileBlock(0, 1 ^ 2, row, column, text[std::size_t(column)], true));
            index += 12;
        }
        // The page moves up a line: twelve smooth steps, the last a whole-tile move.
        for (int step = 1; step <= 12 && index < total; ++step) {
            w.at(index, step < 12 ? scroll(false, 4, 0, 0, 0, step) : scroll(false, 4, 0, 0, 2, 0));
            index += 2;
        }
        if (++line % 8 == 0 && index < total) {
            for (int repeat = 0; repeat < 4 && index < total; ++repeat)
                w.at(index++, memoryPreset(4, repeat));
        }
    }
    w.padTo(total);
    std::vector<std::uint8_t> bytes = w.bytes();
    bytes.resize(total * 24);
    return bytes;
}

} // namespace testsupport::cdg
