#pragma once
// The teacher's corrections of a song's beat grid: another metrical level, the bar lines a beat
// earlier or later, and a tempo and phase tapped by hand. Each gives a grid marked corrected and sure,
// which analysis never replaces. Plain functions; any thread.

#include "Source/tempo/SongTempo.h"

#include <optional>
#include <vector>

namespace vantle {

// The factors of the entry menu's tempo corrections.
enum class TempoFactor { half, twice, twoThirds, threeHalves };
double tempoFactorValue(TempoFactor factor);

// The tempo times the factor: beats laid at that spacing along the heard ones (a drifting band stays
// drifting), the first bar line kept where it was, the meter kept. Nothing for a grid of fewer than two
// beats.
std::optional<SongTempo> scaledTempo(const SongTempo& tempo, TempoFactor factor);

// Every bar line moved by `beats` beats (negative: earlier). Nothing for a grid without beats.
std::optional<SongTempo> shiftedBarLines(const SongTempo& tempo, int beats);

// The least number of taps that set a tempo.
constexpr int minimumTaps = 8;
// Taps further apart than this begin a new run.
constexpr double tapRunGap = 2.0;

// A steady grid through the taps (song seconds, ascending): its spacing and phase fitted to them all,
// laid from the song's start to `duration`, the first tap on a bar line. Nothing for fewer than
// minimumTaps taps or a spacing outside 30 to 300 beats per minute.
std::optional<SongTempo> tappedTempo(const std::vector<double>& taps, int beatsPerBar, double duration);

} // namespace vantle
