#pragma once
// Second-order Butterworth low-pass filter, one channel; kernels write `frequency` (cutoff, Hz) before each
// sample. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/ButterworthFilter.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

// The fields are those of ButterworthCutoffRecord (ButterworthFilter.h).
struct sp_butlp : ButterworthCutoffRecord {};

int sp_butlp_create(sp_butlp** p);
int sp_butlp_destroy(sp_butlp** p);
int sp_butlp_init(sp_data* sp, sp_butlp* p);
// A cutoff not above 0 gives 0.0 and leaves the history untouched.
int sp_butlp_compute(sp_data* sp, sp_butlp* p, float* in, float* out);
// `frames` calls of the compute function on each of the two records at once, the records' parameters
// holding still over the block; the inputs are read before the outputs are written, frame by frame.
int sp_butlp_compute_pair(sp_data* sp, sp_butlp* left, sp_butlp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
