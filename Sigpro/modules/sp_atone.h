#pragma once
// One-pole high-pass filter, the complement of sp_tone's low-pass, one channel; kernels write `cutoff`
// (half-power point, Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_atone {
    float cutoff;
    float c2;
    float y1;
    float last_cutoff;
    float radians_per_hz;
};

int sp_atone_create(sp_atone** p);
int sp_atone_destroy(sp_atone** p);
int sp_atone_init(sp_data* sp, sp_atone* p);
int sp_atone_compute(sp_data* sp, sp_atone* p, float* in, float* out);

} // namespace sigpro
