#pragma once
// Band equaliser built on a second-order allpass: the band around `frequency` (Hz, width `bandwidth`
// Hz) is scaled by `gain` (linear) and the rest passes. One channel; render thread (init on set-up or
// reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_eqfil {
    float frequency;
    float bandwidth;
    float gain;
    float z1, z2;
    float last_frequency, last_bandwidth;
    float tan_term, cos_term;
};

int sp_eqfil_create(sp_eqfil** p);
int sp_eqfil_destroy(sp_eqfil** p);
int sp_eqfil_init(sp_data* sp, sp_eqfil* p);
int sp_eqfil_compute(sp_data* sp, sp_eqfil* p, float* in, float* out);

} // namespace sigpro
