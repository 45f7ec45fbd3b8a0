#pragma once
// Shortening a signal for display: a decimating two-tap mean. Stateless; any thread.

#include <span>
#include <vector>

namespace rozezeru {

// Decimates by f = size / targetCount (integer division, at least 1): output k is the mean of
// samples k·f and k·f + 1, for every k whose pair lies within the input, which makes
// (size − 2) / f + 1 outputs: the requested count whenever it divides the size and is at most
// half of it, the last pair included. Fewer than 2 samples or a target count below 1 give an
// empty result.
std::vector<float> downsampled(std::span<const float> samples, int targetCount);

} // namespace rozezeru
