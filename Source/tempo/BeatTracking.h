#pragma once
// This program's own choice of the beat: which of the periodicities in the onsets is the beat (the
// dance's band decides where it is known), how it drifts, and where the beats fall. Plain functions over
// one song's envelopes; any thread.

#include "Source/tempo/SongTempo.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vantle {

// A periodicity of the onsets: its period in frames and how strongly the onsets repeat at it.
struct Pulse {
    double period = 0;
    double strength = 0;
};

// The beat's period and whether the evidence decided it.
struct BeatPeriod {
    double period = 0;
    bool sure = false;
    // The strongest pulse's strength: low where nothing repeats.
    double strength = 0;
};

// The envelope made comparable across songs: the local mean taken away, what falls below it dropped,
// scaled to unit deviation.
std::vector<float> normalisedOnsets(const std::vector<float>& flux, double frameRate);

// The periodicities of the onsets between 30 and 320 beats per minute, strongest first.
std::vector<Pulse> pulsesOf(const std::vector<float>& onsets, double frameRate);

// The beat among the pulses: the one in the band (beats per minute) when there is one, else the one a
// listener most likely taps, unless a fast pulse stronger than its half or a stronger pulse at 3/4 of its
// tempo tells another level (then never sure). Sure only when no pulse at a related level competes.
BeatPeriod chooseBeatPeriod(const std::vector<Pulse>& pulses, double frameRate,
                            std::optional<DanceBand> band);

// The beat's period around every frame, following a band's slow drift within a few percent of `period`.
std::vector<double> localPeriods(const std::vector<float>& onsets, double period, double frameRate);

// The beats (in fractional frames) that best meet the onsets while keeping the local periods.
std::vector<double> trackBeats(const std::vector<float>& onsets, const std::vector<double>& periods);

// Drops the beats of a free-time intro and of a silent end: the beats kept run from the first beat
// where the onsets keep meeting the grid to the last beat that meets one.
std::vector<double> steadyBeats(const std::vector<double>& beats, const std::vector<float>& onsets);

// Whether the tempo, or twice or half of it, lies in or near some dance's band, as beats per minute.
bool isADanceBeat(double bpm);
bool doubleOrHalfIsADanceBeat(double bpm);

// The strength of the pulse at that period (within 3 %); 0 when none is there.
double strengthAt(const std::vector<Pulse>& pulses, double period);

// How strongly the onsets sound halfway between the beats, against on them: near 1 when the beats'
// halves are beats of the music too (a snare's backbeat between the kicks), small when they are only
// its subdivisions.
double halfwayRatio(const std::vector<double>& beats, const std::vector<float>& onsets);
// The beats' median onset against the mean of all frames: low where the "beats" are a steady sound's
// flicker rather than onsets standing out of it.
double beatProminence(const std::vector<double>& beats, const std::vector<float>& onsets);
// The weaker of every other beat's mean onsets against the stronger: small when only every other beat is
// one of the music's, the rest its subdivisions.
double alternateRatio(const std::vector<double>& beats, const std::vector<float>& onsets);

} // namespace vantle
