#pragma once
// Wavetable oscillator whose table comes with each compute call, so a kernel can cross-fade between an
// old and a new table on one phase: it reads the old one without advancing, then the new one with.
// Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <cstdint>

namespace sigpro {

struct sp_dynamicosc {
    float frequency;
    float amp;
    float initial_phase;
    std::int32_t phase;
    std::int32_t increment;
};

int sp_dynamicosc_create(sp_dynamicosc** p);
// Returns 0 (like the reference) rather than 1; nothing reads it.
int sp_dynamicosc_destroy(sp_dynamicosc** p);
int sp_dynamicosc_init(sp_data* sp, sp_dynamicosc* p, float initial_phase);
// Reads `ft` at the current phase (a missing or empty table reads 0); the phase moves on only when
// `advance` is non-zero.
int sp_dynamicosc_compute(sp_data* sp, sp_dynamicosc* p, sp_ftbl* ft, float* in, float* out, int advance);

} // namespace sigpro
