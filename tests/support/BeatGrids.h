#pragma once
// Beat grids of a steady tempo, as the analysis would find them in a song played to a click. Any thread.

#include "Source/tempo/SongTempo.h"

#include <cstddef>

namespace testsupport {

// Beats at `bpm` from `start` to `seconds`, bar lines every `meter` beats from the beat `firstBar`.
inline vantle::SongTempo steadyBeatGrid(double bpm, int meter, double seconds, double start = 0.25,
                                        std::size_t firstBar = 0, bool sure = true) {
    vantle::SongTempo tempo;
    tempo.bpm = bpm;
    tempo.beatsPerBar = meter;
    for (double t = start; t < seconds; t += 60.0 / bpm)
        tempo.beats.push_back(t);
    for (std::size_t i = firstBar; i < tempo.beats.size(); i += static_cast<std::size_t>(meter))
        tempo.downbeats.push_back(tempo.beats[i]);
    tempo.sure = sure;
    return tempo;
}

} // namespace testsupport
