#pragma once
// One-pole low-pass filter, one channel; kernels write `half_power_point` (Hz) before each sample.
// Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_tone {
    float half_power_point;
    float c1, c2;
    float y1;
    float last_half_power_point;
    float radians_per_hz;
};

int sp_tone_create(sp_tone** p);
int sp_tone_destroy(sp_tone** p);
int sp_tone_init(sp_data* sp, sp_tone* p);
int sp_tone_compute(sp_data* sp, sp_tone* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_tone_compute_pair(sp_data* sp, sp_tone* left, sp_tone* right, const float* inLeft,
                         const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
