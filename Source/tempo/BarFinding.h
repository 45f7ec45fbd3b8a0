#pragma once
// This program's own bar lines: the meter from the accent pattern (3 against 2 or 4) and where bars
// start, from what starts them in music: a bass note or low drum and a change of harmony. Plain
// functions over one song's beats; any thread.

#include "Source/tempo/OnsetEnvelope.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vantle {

struct BarGrid {
    int beatsPerBar = 4;
    // Indices of the beats that start bars.
    std::vector<std::size_t> downbeats;
    // Whether the accents decided the meter (always, when it was given).
    bool sure = false;
};

// The bars over the beats (in frames), in the meter given or the one the accents tell. A beat the
// tracker missed or added moves the bar lines only from there on.
BarGrid findBars(const std::vector<double>& beats, const OnsetFrames& frames,
                 const std::vector<float>& bassOnsets, const std::vector<float>& onsets,
                 std::optional<int> beatsPerBar);

} // namespace vantle
