#pragma once
// Bit crusher: quantises the input to 2^floor(bitdepth) levels and holds it at the rate `srate` (Hz)
// through its own sp_fold. Kernels write `bitdepth` and `srate` before each sample. Render thread (init on
// set-up or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_fold.h"

namespace sigpro {

struct sp_bitcrush {
    float bitdepth;
    float srate;
    sp_fold* hold; // owned
};

int sp_bitcrush_create(sp_bitcrush** p);
// Destroys the sp_fold, then the record.
int sp_bitcrush_destroy(sp_bitcrush** p);
// Makes the sp_fold on the first init and re-initialises it on later ones. Fails ("sp_bitcrush: ...") only
// when memory is exhausted; the module then computes silence.
int sp_bitcrush_init(sp_data* sp, sp_bitcrush* p);
int sp_bitcrush_compute(sp_data* sp, sp_bitcrush* p, float* in, float* out);

} // namespace sigpro
