#pragma once
// Second-order Butterworth band-pass filter, one channel; kernels write `frequency` (centre, Hz) and
// `bandwidth` (Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/ButterworthFilter.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

// The fields are those of ButterworthBandRecord (ButterworthFilter.h).
struct sp_butbp : ButterworthBandRecord {};

int sp_butbp_create(sp_butbp** p);
int sp_butbp_destroy(sp_butbp** p);
int sp_butbp_init(sp_data* sp, sp_butbp* p);
// A bandwidth not above 0 gives 0.0 and leaves the history untouched.
int sp_butbp_compute(sp_data* sp, sp_butbp* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_butbp_compute_pair(sp_data* sp, sp_butbp* left, sp_butbp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
