#pragma once
// One-pole high-pass filter, the complement of sp_tone's low-pass, one channel; kernels write `cutoff`
// (half-power point, Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_atone {
    float cutoff;
    float c2;
    float y1;
    float last_cutoff;
    float radians_per_hz;
};

int sp_atone_create(sp_atone** p);
int sp_atone_destroy(sp_atone** p);
int sp_atone_init(sp_data* sp, sp_atone* p);
int sp_atone_compute(sp_data* sp, sp_atone* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_atone_compute_pair(sp_data* sp, sp_atone* left, sp_atone* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
