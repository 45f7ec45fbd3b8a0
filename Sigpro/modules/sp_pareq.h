#pragma once

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

// Biquad equaliser section: peaking band (mode 0), low shelf (1) or high shelf (2). One record per channel,
// render thread of its kernel.
struct sp_pareq {
    float frequency; // centre or corner frequency, Hz
    float gain;      // linear, 1 = flat
    float q;         // below 0.001 (0 included) acts as 0.001
    float mode;      // truncated toward zero; anything but 1 and 2 is peaking
    float x1, x2, y1, y2;
    // The parameters the coefficients were computed from; a change of mode alone does not count.
    float last_frequency, last_gain, last_q;
    float b0, b1, b2, a1, a2;
    float radians_per_hz;
};

int sp_pareq_create(sp_pareq** p);
// Defaults 1000 Hz, gain 1, q 0.707, mode 0; clears the state and forces new coefficients.
int sp_pareq_init(sp_data* sp, sp_pareq* p);
int sp_pareq_compute(sp_data* sp, sp_pareq* p, float* in, float* out);
int sp_pareq_destroy(sp_pareq** p);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_pareq_compute_pair(sp_data* sp, sp_pareq* left, sp_pareq* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
