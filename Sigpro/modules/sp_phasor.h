#pragma once
// Phase ramp from 0 up to 1 at `frequency` (Hz; negative runs downward); each sample outputs the phase
// before its increment. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_phasor {
    float frequency;
    float initial_phase;
    float phase;
    float seconds_per_sample;
};

int sp_phasor_create(sp_phasor** p);
int sp_phasor_destroy(sp_phasor** p);
int sp_phasor_init(sp_data* sp, sp_phasor* p, float initial_phase);
int sp_phasor_compute(sp_data* sp, sp_phasor* p, float* in, float* out);

} // namespace sigpro
