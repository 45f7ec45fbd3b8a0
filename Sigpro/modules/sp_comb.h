#pragma once
// Feedback comb: echoes of the input one loop time apart that decay by 60 dB in `reverb_time`. Kernels
// write `reverb_time` (s) before each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_comb {
    float reverb_time;
    float loop_time; // s, fixed at init
    float coefficient;
    float last_reverb_time; // the one the coefficient belongs to
    sp_auxdata buffer;      // line_length floats
    std::int32_t position;
    std::int32_t line_length;
};

int sp_comb_create(sp_comb** p);
// Frees the line, then the record.
int sp_comb_destroy(sp_comb** p);
// A line of round(sample rate x loop time) samples, at least one (a shorter loop runs as one sample, with
// `loop_time` set to match). Fails ("sp_comb: ...") for a line beyond 2^31 - 1 samples or without memory;
// the module then computes silence.
int sp_comb_init(sp_data* sp, sp_comb* p, float loop_time);
int sp_comb_compute(sp_data* sp, sp_comb* p, float* in, float* out);

} // namespace sigpro
