#pragma once
// DC blocker (a zero at 0 Hz and a pole at 0.99), one channel; no public parameters. Render thread
// (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_dcblock {
    float y1;
    float x1;
    float gain;
};

int sp_dcblock_create(sp_dcblock** p);
int sp_dcblock_destroy(sp_dcblock** p);
int sp_dcblock_init(sp_data* sp, sp_dcblock* p);
int sp_dcblock_compute(sp_data* sp, sp_dcblock* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_dcblock_compute_pair(sp_data* sp, sp_dcblock* left, sp_dcblock* right, const float* inLeft,
                            const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
