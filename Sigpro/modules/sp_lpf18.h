#pragma once
// Three-pole resonant low-pass with tanh distortion, one channel; kernels write `frequency` (cutoff,
// Hz), `resonance` and `distortion` before each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_lpf18 {
    float frequency;
    float resonance;
    float distortion;
    float y1, y2, y3;
    float last_in;
    float one_over_sr;
};

int sp_lpf18_create(sp_lpf18** p);
int sp_lpf18_destroy(sp_lpf18** p);
int sp_lpf18_init(sp_data* sp, sp_lpf18* p);
int sp_lpf18_compute(sp_data* sp, sp_lpf18* p, float* in, float* out);

} // namespace sigpro
