#pragma once
// Morphing wavetable oscillator: reads between `table_count` equal-sized tables at `position` (0 the
// first, 1 the last) with linear interpolation, at `frequency` (Hz) scaled by `amp`. The tables stay the
// kernel's. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <cstdint>

namespace sigpro {

struct sp_oscmorph {
    float frequency;
    float amp;
    float initial_phase;
    std::int32_t phase;
    sp_ftbl** tables;
    std::int32_t increment;
    float position;
    std::int32_t table_count;
    // Set by a successful init; a refused set of tables computes silence.
    std::int32_t ready;
};

int sp_oscmorph_create(sp_oscmorph** p);
int sp_oscmorph_destroy(sp_oscmorph** p);
// Fails with "sp_oscmorph: size mismatch" when the tables differ in size, and with another
// "sp_oscmorph: ..." line when there is no usable table.
int sp_oscmorph_init(sp_data* sp, sp_oscmorph* p, sp_ftbl** tables, int table_count, float initial_phase);
int sp_oscmorph_compute(sp_data* sp, sp_oscmorph* p, float* in, float* out);

} // namespace sigpro
