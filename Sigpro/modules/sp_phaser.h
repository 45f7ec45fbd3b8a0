#pragma once
// Stereo phaser: each channel runs through four swept two-pole all-pass sections with feedback and a
// dry/wet blend; the left sweep follows a sine, the right a cosine of one oscillator. Its parameters live
// in a state block; kernels write them through the named pointers. Render thread (init on set-up or
// reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_phaser_state;

struct sp_phaser {
    sp_phaser_state* state; // lives in `memory`
    std::int32_t parameter_count;
    // The registered parameters, in the order of the named pointers below.
    float* parameters[10];
    float* max_notch1_frequency; // Hz, upper end of the sweep of the base notch
    float* min_notch1_frequency; // Hz, lower end
    float* notch_width;          // Hz
    float* notch_frequency;      // ratio between successive notches
    float* vibrato_mode;         // non-zero: wet signal only
    float* depth;                // wet amount, 0 ... 1
    float* feedback_gain;        // 0 ... 1
    float* invert;               // non-zero (truncated): inverted wet signal
    float* level;                // input level, dB
    float* lfo_bpm;              // sweep cycles per minute
    sp_auxdata memory;
};

int sp_phaser_create(sp_phaser** p);
// Frees the state, then the record.
int sp_phaser_destroy(sp_phaser** p);
// Clears the state and writes the defaults (800, 100, 1000, 1.5, 0, 1, 0, 0, 0, 30). Fails
// ("sp_phaser: ...") only when memory is exhausted; the module then computes silence.
int sp_phaser_init(sp_data* sp, sp_phaser* p);
int sp_phaser_compute(sp_data* sp, sp_phaser* p, float* in_left, float* in_right, float* out_left,
                      float* out_right);

} // namespace sigpro
