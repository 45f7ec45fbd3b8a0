#pragma once
// Second-order Butterworth band-reject filter, one channel; kernels write `frequency` (centre, Hz) and
// `bandwidth` (Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/ButterworthFilter.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

// The fields are those of ButterworthBandRecord (ButterworthFilter.h).
struct sp_butbr : ButterworthBandRecord {};

int sp_butbr_create(sp_butbr** p);
int sp_butbr_destroy(sp_butbr** p);
int sp_butbr_init(sp_data* sp, sp_butbr* p);
// A bandwidth not above 0 gives 0.0 and leaves the history untouched.
int sp_butbr_compute(sp_data* sp, sp_butbr* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_butbr_compute_pair(sp_data* sp, sp_butbr* left, sp_butbr* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
