#pragma once
// Wavetable oscillator: reads an sp_ftbl with linear interpolation at `frequency` (Hz, negative runs
// backward) scaled by `amp`. The table stays the kernel's and must outlive the module. Render thread
// (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <cstdint>

namespace sigpro {

struct sp_osc {
    float frequency;
    float amp;
    float initial_phase;
    std::int32_t phase;
    sp_ftbl* ft;
    std::int32_t increment;
};

int sp_osc_create(sp_osc** p);
// Returns 0 (like the reference) rather than 1; nothing reads it.
int sp_osc_destroy(sp_osc** p);
// `initial_phase` in cycles; its absolute value's fraction is the start. A missing or empty table
// fails ("sp_osc: ...") and the module then computes silence.
int sp_osc_init(sp_data* sp, sp_osc* p, sp_ftbl* ft, float initial_phase);
int sp_osc_compute(sp_data* sp, sp_osc* p, float* in, float* out);

} // namespace sigpro
