#pragma once
// Variable delay line with feedback and four-point cubic interpolation, one channel; kernels write
// `delay` (seconds) and `feedback` before each sample. Render thread (init on set-up or reset).

#include <cstdint>

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_vdelay {
    float delay;
    float feedback;
    float max_delay; // seconds, as given to init
    float last_output;
    float sample_rate_f;
    sp_auxdata buffer;        // `size` floats
    std::int32_t write_index; // next write position, 0 ... size - 1
    // trunc(max_delay x sample_rate_f), at least 1: lines shorter than 4 interpolate linearly.
    std::int32_t max_samples;
    // max_samples + 3: a delay of the whole maximum, with the interpolation's outer neighbour, still
    // reads samples older than the one just written instead of wrapping onto it.
    std::int32_t size;
};

int sp_vdelay_create(sp_vdelay** p);
int sp_vdelay_destroy(sp_vdelay** p);
// Sets delay to half the maximum and feedback to 0 and clears the line. A maximum that would give a line
// of no sample (0, negative, NaN) keeps one sample; one too long to index or allocate prints
// "sp_vdelay: ..." and returns 0, and the module then computes silence.
int sp_vdelay_init(sp_data* sp, sp_vdelay* p, float max_delay);
// Delays are not clamped: one beyond the line reads modulo its length, a non-finite one counts as 0.
int sp_vdelay_compute(sp_data* sp, sp_vdelay* p, float* in, float* out);

} // namespace sigpro
