#pragma once
// Phase distortion: bends a phase ramp at a knee set by `amount` (-1 ... 1), mapping the knee to the
// middle of the range, so a table read through it changes timbre. `bipolar` non-zero takes phases in
// -`full_scale` ... `full_scale` (0 means 1). Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_pdhalf {
    float amount;
    float bipolar;
    float full_scale;
};

int sp_pdhalf_create(sp_pdhalf** p);
int sp_pdhalf_destroy(sp_pdhalf** p);
int sp_pdhalf_init(sp_data* sp, sp_pdhalf* p);
// `in` is the input phase, `out` the distorted phase.
int sp_pdhalf_compute(sp_data* sp, sp_pdhalf* p, float* in, float* out);

} // namespace sigpro
