#pragma once
// Interpolating wavetable reader at `index` + `offset`, in table points (`mode` 0) or normalised
// (0 ... 1 covers the table); `wrap` 0 clamps the position into the table, non-zero wraps it. The table
// stays the kernel's. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"

namespace sigpro {

struct sp_tabread {
    float index;
    float mode;
    float offset;
    float wrap;
    sp_ftbl* table;
};

int sp_tabread_create(sp_tabread** p);
// Does not free the table.
int sp_tabread_destroy(sp_tabread** p);
// A missing or empty table fails ("sp_tabread: ...") and the module then computes silence.
int sp_tabread_init(sp_data* sp, sp_tabread* p, sp_ftbl* ft, int mode);
int sp_tabread_compute(sp_data* sp, sp_tabread* p, float* in, float* out);

} // namespace sigpro
