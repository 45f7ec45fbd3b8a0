#pragma once
// The CD+G graphics of a karaoke song: the decoder of its 24-byte packets, a timeline that gives the
// picture at a heard time with snapshots for seeks, and the picture as RGB. Qt-free; each object is
// used by one thread at a time.

#include "Source/karaoke/CdgFile.h" // callers finding a song's graphics use both

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vantle {

// The decoder's memory: 300 x 216 pixels (border ring included), each a 4-bit colour index.
struct CdgScreen {
    static constexpr int width = 300, height = 216;
    std::array<std::uint8_t, width * height> pixels{};
    std::array<std::uint32_t, 16> colours{}; // 0xRRGGBB (each 4-bit channel v as 17*v)
    int borderColour = 0, transparentColour = -1, hOffset = 0, vOffset = 0;
};

// Applies packets one after another to its screen. Any thread, one at a time.
class CdgDecoder {
public:
    static constexpr std::size_t packetSize = 24;

    void apply(const std::uint8_t* packet24);
    const CdgScreen& screen() const { return screen_; }
    void reset() { screen_ = CdgScreen{}; }
    void restore(const CdgScreen& screen) { screen_ = screen; }

private:
    void memoryPreset(const std::uint8_t* data);
    void borderPreset(const std::uint8_t* data);
    void tileBlock(const std::uint8_t* data, bool exclusiveOr);
    void scroll(const std::uint8_t* data, bool wrap);
    void loadColours(const std::uint8_t* data, int first);

    CdgScreen screen_;
};

// The whole file's packets and snapshots of the screen taken as it decodes, so that a seek back
// replays from the nearest snapshot before it. One thread at a time; a copy shares the packets and
// may be used on another thread.
class CdgTimeline {
public:
    static constexpr int packetsPerSecond = 300;
    static constexpr std::size_t maximumBytes = cdgMaximumBytes;

    // Nullopt when the bytes are over maximumBytes. A cut last packet is passed over.
    static std::optional<CdgTimeline> fromBytes(std::vector<std::uint8_t> bytes);

    // The state after packets 0 through floor(t * 300); before time 0, the blank screen.
    const CdgScreen& screenAt(double heardSeconds);
    // The same by count: the state after the first `packets` packets (at most packetCount()).
    const CdgScreen& screenAfter(std::size_t packets);
    // How many packets screenAt() is made of at that time, and how many it would apply to get there.
    std::size_t packetsAt(double heardSeconds) const;
    std::size_t costOf(std::size_t packets) const;
    // The state after the first `packets` packets, decoded elsewhere, taken as the current one.
    void adopt(std::size_t packets, const CdgScreen& screen);
    const CdgScreen& screen() const { return decoder_.screen(); }
    double duration() const;
    std::size_t packetCount() const { return packetCount_; }
    std::size_t snapshotCount() const { return snapshots_.size(); }
    // How many packets the last screenAt() applied: what a seek cost.
    std::size_t lastReplayedPackets() const { return lastReplayed_; }

private:
    explicit CdgTimeline(std::vector<std::uint8_t> bytes);
    void decodeUpTo(std::size_t target);

    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    std::size_t packetCount_ = 0;
    std::size_t snapshotInterval_ = 0; // packets between snapshots
    std::vector<CdgScreen> snapshots_; // [k]: the state after k * snapshotInterval_ packets
    CdgDecoder decoder_;
    std::size_t applied_ = 0; // packets applied to the decoder's screen
    std::size_t lastReplayed_ = 0;
};

// The picture as 300 x 216 RGB bytes, border ring included. darkTransparent: the transparent index and
// the border ring are drawn black, as on a singers' screen.
void cdgToRgb(const CdgScreen& screen, bool darkTransparent, std::vector<std::uint8_t>& rgbOut);

} // namespace vantle
