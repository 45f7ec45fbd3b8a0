#pragma once
// Two-pole resonant band-pass, not gain-normalised (the peak grows as the bandwidth shrinks). Kernels
// write `frequency` and `bandwidth` (Hz) before each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_reson {
    float frequency; // centre, Hz
    float bandwidth; // Hz; its absolute value is used
    float c1, c2, c3;
    float y1, y2;
    float cos_term;
    float last_frequency;
    float last_bandwidth;
    float radians_per_hz;
};

int sp_reson_create(sp_reson** p);
int sp_reson_destroy(sp_reson** p);
int sp_reson_init(sp_data* sp, sp_reson* p);
int sp_reson_compute(sp_data* sp, sp_reson* p, float* in, float* out);

} // namespace sigpro
