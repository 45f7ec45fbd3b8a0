#pragma once
// Delay-line pitch shifter: a circular line read at a moving offset by two taps one window apart,
// crossfaded where the offset wraps. Kernels write `shift` (semitones), `window` (delay span in samples)
// and `crossfade` (samples) through the pointers. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_pshift_state;

struct sp_pshift {
    sp_pshift_state* state; // lives in `memory`
    float* shift;
    float* window;
    float* crossfade;
    sp_auxdata memory;
};

int sp_pshift_create(sp_pshift** p);
// Frees the state, then the record.
int sp_pshift_destroy(sp_pshift** p);
// Clears the line and sets shift 0, window 1000, crossfade 10. Fails ("sp_pshift: ...") only when memory
// is exhausted; the module then computes silence.
int sp_pshift_init(sp_data* sp, sp_pshift* p);
// Delays beyond 32767 samples alias: read positions wrap on the 65536-sample line.
int sp_pshift_compute(sp_data* sp, sp_pshift* p, float* in, float* out);

} // namespace sigpro
