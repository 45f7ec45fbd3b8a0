#pragma once
// Stereo reverb of eight feedback delay lines whose read positions drift randomly, each damped by a
// one-pole low-pass; even lines take and form the left channel, odd lines the right. Kernels write
// `feedback` and `lowpass_frequency` (Hz) before each frame. Render thread (init on set-up or reset).

#include <cstdint>

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_revsc_line {
    std::int32_t write_position;
    std::int32_t size;
    std::int32_t read_position;
    std::int32_t read_fraction;      // 28-bit fixed point
    std::int32_t read_fraction_step; // 28-bit fixed point
    std::int32_t seed;               // signed 16-bit value
    std::int32_t segment_count;      // samples left of the current random segment
    float filter_state;
    float* samples; // `size` floats inside the reverb's storage
};

struct sp_revsc {
    float feedback;
    float lowpass_frequency;
    float pitch_modulation; // depth factor of the random drift
    float sample_rate_f;
    float damping; // one-pole coefficient of the damping filters
    float last_lowpass_frequency;
    std::int32_t ready; // 1 after a successful init
    sp_revsc_line lines[8];
    sp_auxdata storage; // the eight lines, in line order
};

int sp_revsc_create(sp_revsc** p);
int sp_revsc_destroy(sp_revsc** p);
// Sizes the lines from the context's sample rate (one below 1 Hz counts as 1) and seeds their drift.
// Prints "sp_revsc: out of memory" and returns 0 when the lines cannot be allocated.
int sp_revsc_init(sp_data* sp, sp_revsc* p);
// Returns 0 and writes silence while the reverb is not initialised.
int sp_revsc_compute(sp_data* sp, sp_revsc* p, float* in_left, float* in_right, float* out_left,
                     float* out_right);

} // namespace sigpro
