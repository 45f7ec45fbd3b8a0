#pragma once
// String resonator: a delay loop tuned to `frequency` by a whole-sample delay, a two-point average and a
// first-order all-pass for the fraction, fed back with gain `feedback`. Kernels write both fields before
// each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_streson {
    float frequency; // fundamental, Hz; below 20 counts as 20
    float feedback;
    sp_auxdata loop; // loop_length floats
    std::int32_t loop_length;
    std::int32_t write_index;
    std::int32_t read_index;
    float lowpass_state;
    float allpass_state;
};

int sp_streson_create(sp_streson** p);
// Frees the loop, then the record.
int sp_streson_destroy(sp_streson** p);
// A loop of sample rate / 20 samples (2205 at 44100 Hz), at least one. Fails ("sp_streson: ...") only
// when memory is exhausted; the module then computes silence.
int sp_streson_init(sp_data* sp, sp_streson* p);
int sp_streson_compute(sp_data* sp, sp_streson* p, float* in, float* out);

} // namespace sigpro
