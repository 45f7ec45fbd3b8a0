#pragma once
// Formant filter: the difference of two two-pole resonators at `frequency` (Hz) whose impulse
// responses rise over `attack` and fall over `decay` (seconds). One channel; render thread (init on
// set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_fofilt {
    float frequency;
    float attack;
    float decay;
    float radians_per_hz;
    float d1, d2;
    float a1s, a2s;
};

int sp_fofilt_create(sp_fofilt** p);
int sp_fofilt_destroy(sp_fofilt** p);
int sp_fofilt_init(sp_data* sp, sp_fofilt* p);
int sp_fofilt_compute(sp_data* sp, sp_fofilt* p, float* in, float* out);

} // namespace sigpro
