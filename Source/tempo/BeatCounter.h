#pragma once
// Where a heard moment stands in a song's bars and beats: bar.beat as dancers count, and for callers
// the beat within the 8-beat phrase and the 64-beat sequence. Plain functions; any thread.

#include "Source/tempo/SongTempo.h"

#include <optional>
#include <string>

namespace vantle {

struct BeatPosition {
    // Bars from the first bar line, 1 first; 0 for a pickup before it.
    int bar = 0;
    // The beat within its bar, 1 first.
    int beat = 1;
    // Beats from the first bar line within the 8-beat phrase and the 64-beat sequence, 1 first
    // (a pickup counts back from the end of one).
    int phraseBeat = 1;
    int sequenceBeat = 1;
    bool operator==(const BeatPosition&) const = default;
};

constexpr int beatsPerPhrase = 8;
constexpr int beatsPerSequence = 64;

// The beat heard at `seconds` (song time) is the last one at or before it; nothing before the first beat
// or past a grid's last beat by more than a beat's spacing.
std::optional<BeatPosition> beatPositionAt(const SongTempo& tempo, double seconds);

// "12.3"; "–" for no position.
std::string barBeatText(const std::optional<BeatPosition>& position);
// "5/8  37/64"; empty for no position.
std::string phraseText(const std::optional<BeatPosition>& position);

} // namespace vantle
