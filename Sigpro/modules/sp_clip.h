#pragma once
// Sine soft-clipper: limit x sin(x pi / (2 limit)) inside +-limit, the limit itself outside. Kernels
// write `limit` (kept positive) before each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_clip {
    float limit;
    float k; // pi / (2 limit), for the current limit
};

int sp_clip_create(sp_clip** p);
int sp_clip_destroy(sp_clip** p);
int sp_clip_init(sp_data* sp, sp_clip* p);
int sp_clip_compute(sp_data* sp, sp_clip* p, float* in, float* out);

} // namespace sigpro
