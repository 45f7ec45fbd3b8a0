#pragma once
// Drives one vocal-tract voice from five plain parameters the kernel writes before each sample: `frequency`
// (Hz), tongue `position` (0 ... 1) and `diameter` (0 ... 1), `tenseness` (0 ... 1) and `nasality`
// (0 ... 1). Tongue and velum reach the voice only at its block boundaries. Render thread (init on set-up
// or reset).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_voc.h"

namespace sigpro {

struct sp_vocwrapper {
    float frequency;
    float position;
    float diameter; // not written by init: the kernel owns its value
    float tenseness;
    float nasality;
    sp_voc* voice;
};

// Also creates the voice; returns 0 when memory is exhausted.
int sp_vocwrapper_create(sp_vocwrapper** p);
// Destroys the voice, then the record.
int sp_vocwrapper_destroy(sp_vocwrapper** p);
int sp_vocwrapper_init(sp_data* sp, sp_vocwrapper* p);
// The input is ignored.
int sp_vocwrapper_compute(sp_data* sp, sp_vocwrapper* p, float* in, float* out);

} // namespace sigpro
