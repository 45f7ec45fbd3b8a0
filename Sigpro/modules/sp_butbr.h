#pragma once
// Second-order Butterworth band-reject filter, one channel; kernels write `frequency` (centre, Hz) and
// `bandwidth` (Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_butbr {
    float frequency;
    float bandwidth;
    float last_frequency, last_bandwidth;
    float a1, a2, a3, a4, a5;
    float s1, s2;
    float half_radians_per_hz, radians_per_hz;
};

int sp_butbr_create(sp_butbr** p);
int sp_butbr_destroy(sp_butbr** p);
int sp_butbr_init(sp_data* sp, sp_butbr* p);
// A bandwidth not above 0 gives 0.0 and leaves the history untouched.
int sp_butbr_compute(sp_data* sp, sp_butbr* p, float* in, float* out);

} // namespace sigpro
