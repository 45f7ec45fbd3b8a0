#pragma once
// Chowning reverb: three all-passes in series (loops of 347, 113 and 37 samples) feeding four parallel
// combs (1601, 1867, 2053 and 2251 samples), the same lengths at any sample rate. No parameters.
// Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_jcrev_state;

struct sp_jcrev {
    sp_jcrev_state* state;
};

int sp_jcrev_create(sp_jcrev** p);
// Frees the state block, then the record.
int sp_jcrev_destroy(sp_jcrev** p);
// Allocates the state block on the first init and clears it on later ones. Fails ("sp_jcrev: ...") only
// when memory is exhausted; the module then computes silence.
int sp_jcrev_init(sp_data* sp, sp_jcrev* p);
// The output lags the input by one sample.
int sp_jcrev_compute(sp_data* sp, sp_jcrev* p, float* in, float* out);

} // namespace sigpro
