#include "Source/karaoke/CdgDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantle {

namespace {

constexpr int cdgWidth = CdgScreen::width;
constexpr int cdgHeight = CdgScreen::height;
constexpr int tileWidth = 6, tileHeight = 12;
constexpr int tileColumns = cdgWidth / tileWidth, tileRows = cdgHeight / tileHeight;
// The visible area is one tile in from every edge; the rest is the border ring.
constexpr int visibleLeft = tileWidth, visibleRight = cdgWidth - tileWidth;
constexpr int visibleTop = tileHeight, visibleBottom = cdgHeight - tileHeight;
constexpr int maximumHOffset = tileWidth - 1, maximumVOffset = tileHeight - 1;

constexpr std::uint8_t graphicsMode = 9;
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

bool inCdgBorder(int x, int y) {
    return x < visibleLeft || x >= visibleRight || y < visibleTop || y >= visibleBottom;
}

std::uint32_t cdgChannel(unsigned value) {
    return value * 17u;
}

// Shifts `length` bytes by `by` (towards the end when positive), either wrapping what leaves one end
// round to the other or filling the uncovered part. A strip held aside and two memory moves: a
// scroll costs about what copying the screen does, so a file of nothing but scrolls still decodes
// fast.
void shiftBytes(std::uint8_t* bytes, std::size_t length, std::ptrdiff_t by, bool wrap, std::uint8_t fill) {
    constexpr std::size_t largestStrip = static_cast<std::size_t>(cdgWidth) * tileHeight;
    std::uint8_t strip[largestStrip];
    const std::size_t moved = static_cast<std::size_t>(by < 0 ? -by : by);
    const std::size_t kept = length - moved;
    std::uint8_t* leaving = by > 0 ? bytes + kept : bytes;
    std::uint8_t* uncovered = by > 0 ? bytes : bytes + kept;
    if (wrap) std::memcpy(strip, leaving, moved);
    if (by > 0)
        std::memmove(bytes + moved, bytes, kept);
    else
        std::memmove(bytes, bytes + moved, kept);
    if (wrap)
        std::memcpy(uncovered, strip, moved);
    else
        std::memset(uncovered, fill, moved);
}

// Moves the rows of the screen by `rows` (down when positive).
void scrollRows(std::uint8_t* pixels, int rows, bool wrap, std::uint8_t fill) {
    shiftBytes(pixels, static_cast<std::size_t>(cdgWidth) * cdgHeight, std::ptrdiff_t(rows) * cdgWidth, wrap,
               fill);
}

// Moves every row by `columns` pixels (right when positive).
void scrollColumns(std::uint8_t* pixels, int columns, bool wrap, std::uint8_t fill) {
    for (int y = 0; y < cdgHeight; ++y)
        shiftBytes(pixels + static_cast<std::size_t>(y) * cdgWidth, cdgWidth, columns, wrap, fill);
}

} // namespace

void CdgDecoder::apply(const std::uint8_t* packet) {
    if ((packet[0] & 0x3F) != graphicsMode) return;
    // Only the low six bits of a data byte are part of the subchannel; the rest is noise.
    std::uint8_t data[16];
    for (int i = 0; i < 16; ++i)
        data[i] = packet[4 + i] & 0x3F;
    switch (packet[1] & 0x3F) {
    case memoryPresetInstruction:
        memoryPreset(data);
        break;
    case borderPresetInstruction:
        borderPreset(data);
        break;
    case tileBlockInstruction:
        tileBlock(data, false);
        break;
    case tileBlockXorInstruction:
        tileBlock(data, true);
        break;
    case scrollPresetInstruction:
        scroll(data, false);
        break;
    case scrollCopyInstruction:
        scroll(data, true);
        break;
    case transparentColourInstruction:
        screen_.transparentColour = data[0] & 0x0F;
        break;
    case coloursLowInstruction:
        loadColours(data, 0);
        break;
    case coloursHighInstruction:
        loadColours(data, 8);
        break;
    default:
        break;
    }
}

// Discs repeat the preset (numbered by data[1]) so that a player joining late still clears; doing it
// again changes nothing, so the repeat number needs no handling.
void CdgDecoder::memoryPreset(const std::uint8_t* data) {
    screen_.pixels.fill(data[0] & 0x0F);
    screen_.hOffset = 0;
    screen_.vOffset = 0;
}

void CdgDecoder::borderPreset(const std::uint8_t* data) {
    const std::uint8_t colour = data[0] & 0x0F;
    screen_.borderColour = colour;
    std::uint8_t* pixels = screen_.pixels.data();
    std::memset(pixels, colour, static_cast<std::size_t>(visibleTop) * cdgWidth);
    std::memset(pixels + static_cast<std::size_t>(visibleBottom) * cdgWidth, colour,
                static_cast<std::size_t>(cdgHeight - visibleBottom) * cdgWidth);
    for (int y = visibleTop; y < visibleBottom; ++y) {
        std::uint8_t* row = pixels + static_cast<std::size_t>(y) * cdgWidth;
        std::memset(row, colour, visibleLeft);
        std::memset(row + visibleRight, colour, cdgWidth - visibleRight);
    }
}

void CdgDecoder::tileBlock(const std::uint8_t* data, bool exclusiveOr) {
    const int row = data[2] & 0x1F;
    const int column = data[3] & 0x3F;
    if (row >= tileRows || column >= tileColumns) return;
    const std::uint8_t colours[2] = {static_cast<std::uint8_t>(data[0] & 0x0F),
                                     static_cast<std::uint8_t>(data[1] & 0x0F)};
    std::uint8_t* origin =
        screen_.pixels.data() + static_cast<std::size_t>(row * tileHeight) * cdgWidth + column * tileWidth;
    for (int line = 0; line < tileHeight; ++line) {
        const std::uint8_t bits = data[4 + line];
        std::uint8_t* pixel = origin + static_cast<std::size_t>(line) * cdgWidth;
        for (int x = 0; x < tileWidth; ++x) {
            const std::uint8_t colour = colours[(bits >> (tileWidth - 1 - x)) & 1];
            pixel[x] = exclusiveOr ? static_cast<std::uint8_t>(pixel[x] ^ colour) : colour;
        }
    }
}

void CdgDecoder::scroll(const std::uint8_t* data, bool wrap) {
    const std::uint8_t fill = data[0] & 0x0F;
    const int hCommand = (data[1] & 0x30) >> 4;
    const int vCommand = (data[2] & 0x30) >> 4;
    // Command 1 moves right or down, 2 left or up; 0 and the unused 3 leave the picture in place.
    const int columns = hCommand == 1 ? tileWidth : hCommand == 2 ? -tileWidth : 0;
    const int rows = vCommand == 1 ? tileHeight : vCommand == 2 ? -tileHeight : 0;
    if (columns != 0) scrollColumns(screen_.pixels.data(), columns, wrap, fill);
    if (rows != 0) scrollRows(screen_.pixels.data(), rows, wrap, fill);
    screen_.hOffset = std::min(data[1] & 0x07, maximumHOffset);
    screen_.vOffset = std::min(data[2] & 0x0F, maximumVOffset);
}

void CdgDecoder::loadColours(const std::uint8_t* data, int first) {
    for (int i = 0; i < 8; ++i) {
        const unsigned a = data[2 * i], b = data[2 * i + 1];
        const unsigned red = a >> 2, green = ((a & 3) << 2) | (b >> 4), blue = b & 0x0F;
        screen_.colours[static_cast<std::size_t>(first + i)] =
            (cdgChannel(red) << 16) | (cdgChannel(green) << 8) | cdgChannel(blue);
    }
}

// Snapshots every three seconds keep a seek back under a few thousand packets; a file long enough
// to need more than `maximumSnapshots` spaces them wider instead, so memory stays bounded
// (a snapshot is about 65 KB).
namespace {
constexpr std::size_t snapshotSeconds = 3;
constexpr std::size_t maximumSnapshots = 256;
} // namespace

std::optional<CdgTimeline> CdgTimeline::fromBytes(std::vector<std::uint8_t> bytes) {
    if (bytes.size() > maximumBytes) return std::nullopt;
    return CdgTimeline(std::move(bytes));
}

CdgTimeline::CdgTimeline(std::vector<std::uint8_t> bytes)
    : bytes_(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))),
      packetCount_(bytes_->size() / CdgDecoder::packetSize) {
    const std::size_t byTime = snapshotSeconds * packetsPerSecond;
    const std::size_t byCount = (packetCount_ + maximumSnapshots - 1) / maximumSnapshots;
    snapshotInterval_ = std::max(byTime, byCount);
    snapshots_.reserve(packetCount_ / snapshotInterval_ + 1);
    snapshots_.push_back(decoder_.screen());
}

double CdgTimeline::duration() const {
    return static_cast<double>(packetCount_) / packetsPerSecond;
}

std::size_t CdgTimeline::costOf(std::size_t target) const {
    target = std::min(target, packetCount_);
    const std::size_t nearest = std::min(target / snapshotInterval_, snapshots_.size() - 1);
    if (target < applied_ || nearest * snapshotInterval_ > applied_)
        return target - nearest * snapshotInterval_;
    return target - applied_;
}

void CdgTimeline::adopt(std::size_t packets, const CdgScreen& screen) {
    decoder_.restore(screen);
    applied_ = std::min(packets, packetCount_);
}

void CdgTimeline::decodeUpTo(std::size_t target) {
    // Back, or forward past a snapshot already taken: start from the latest snapshot not after the
    // target, so that no seek replays more than the packets between two snapshots once they exist.
    const std::size_t nearest = std::min(target / snapshotInterval_, snapshots_.size() - 1);
    if (target < applied_ || nearest * snapshotInterval_ > applied_) {
        decoder_.restore(snapshots_[nearest]);
        applied_ = nearest * snapshotInterval_;
    }
    const std::uint8_t* packets = bytes_->data();
    lastReplayed_ = target > applied_ ? target - applied_ : 0;
    while (applied_ < target) {
        // Decode to the next snapshot point (or the target), keep a snapshot there if it is new.
        const std::size_t nextMark = (applied_ / snapshotInterval_ + 1) * snapshotInterval_;
        const std::size_t stop = std::min(target, nextMark);
        for (; applied_ < stop; ++applied_)
            decoder_.apply(packets + applied_ * CdgDecoder::packetSize);
        if (applied_ == nextMark && applied_ / snapshotInterval_ == snapshots_.size())
            snapshots_.push_back(decoder_.screen());
    }
}

std::size_t CdgTimeline::packetsAt(double heardSeconds) const {
    // A time computed as k / 300 must include packet k, whatever its last bit of rounding.
    const double position = heardSeconds * packetsPerSecond + 1e-7;
    if (!(position >= 0.0)) return 0;
    const double last = std::floor(position) + 1.0;
    return last >= static_cast<double>(packetCount_) ? packetCount_ : static_cast<std::size_t>(last);
}

const CdgScreen& CdgTimeline::screenAt(double heardSeconds) {
    return screenAfter(packetsAt(heardSeconds));
}

const CdgScreen& CdgTimeline::screenAfter(std::size_t packets) {
    decodeUpTo(std::min(packets, packetCount_));
    return decoder_.screen();
}

void cdgToRgb(const CdgScreen& screen, bool darkTransparent, std::vector<std::uint8_t>& rgbOut) {
    rgbOut.resize(static_cast<std::size_t>(cdgWidth) * cdgHeight * 3);
    std::uint32_t palette[16];
    for (int i = 0; i < 16; ++i)
        palette[i] = darkTransparent && i == screen.transparentColour
                         ? 0u
                         : screen.colours[static_cast<std::size_t>(i)];
    const int h = std::clamp(screen.hOffset, 0, maximumHOffset);
    const int v = std::clamp(screen.vOffset, 0, maximumVOffset);
    std::uint8_t* out = rgbOut.data();
    for (int y = 0; y < cdgHeight; ++y) {
        for (int x = 0; x < cdgWidth; ++x, out += 3) {
            std::uint32_t colour;
            if (inCdgBorder(x, y)) {
                colour =
                    darkTransparent
                        ? 0u
                        : screen.colours[screen.pixels[static_cast<std::size_t>(y) * cdgWidth + x] & 0x0F];
            } else {
                const std::size_t at =
                    static_cast<std::size_t>(y + v) * cdgWidth + static_cast<std::size_t>(x + h);
                colour = palette[screen.pixels[at] & 0x0F];
            }
            out[0] = static_cast<std::uint8_t>(colour >> 16);
            out[1] = static_cast<std::uint8_t>(colour >> 8);
            out[2] = static_cast<std::uint8_t>(colour);
        }
    }
}

} // namespace vantle
