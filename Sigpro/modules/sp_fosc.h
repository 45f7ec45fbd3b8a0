#pragma once
// FM oscillator: a carrier and a modulator read from one wavetable at `frequency` x `carrier` and
// `frequency` x `modulator` (Hz), with modulation `index`, scaled by `amp`. The table stays the kernel's.
// Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <cstdint>

namespace sigpro {

struct sp_fosc {
    float amp;
    float frequency;
    float carrier;
    float modulator;
    float index;
    float initial_phase;
    std::int32_t mod_phase;
    std::int32_t car_phase;
    sp_ftbl* ft;
};

int sp_fosc_create(sp_fosc** p);
int sp_fosc_destroy(sp_fosc** p);
// A missing or empty table fails ("sp_fosc: ...") and the module then computes silence.
int sp_fosc_init(sp_data* sp, sp_fosc* p, sp_ftbl* ft);
int sp_fosc_compute(sp_data* sp, sp_fosc* p, float* in, float* out);

} // namespace sigpro
