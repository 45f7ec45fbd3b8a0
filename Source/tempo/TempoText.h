#pragma once
// How a song's tempo is told to a teacher: bars per minute ("MPM") for a song with a dance, beats per
// minute ("BPM") otherwise; and the speed that plays it at its target. Plain functions; any thread.

#include "Source/tempo/SongTempo.h"

#include <optional>
#include <string>

namespace vantle {

class DanceTable;
struct EntryTempo;

// The tempo in the unit a teacher counts for the dance; nothing while unknown or unsure.
std::optional<double> shownTempo(const std::optional<SongTempo>& tempo, Dance dance);
// "29.4 MPM", "127 BPM"; "?" while unknown or unsure.
std::string tempoText(std::optional<double> shown, Dance dance);

// The playlist column's order: known tempos first, slowest first (in the unit shown); unknown ones
// last, in their order.
bool tempoColumnOrder(std::optional<double> a, std::optional<double> b);

// Beats in one unit of the tempo shown: 1 without a dance, else the beats of a bar (the song's grid's,
// else its dance's).
int beatsPerShownUnit(const EntryTempo& entry, Dance dance, const DanceTable& table);
// The song's target in the unit of its dance: its own, else its dance's; nothing without one.
std::optional<double> targetTempo(const EntryTempo& entry, Dance dance, const DanceTable& table);
// The rate (within [minimumRate, maximumRate]) that plays the song at its target; nothing without a
// target or a sure tempo.
std::optional<double> targetRate(const EntryTempo& entry, Dance dance, const DanceTable& table,
                                 double minimumRate, double maximumRate);

} // namespace vantle
