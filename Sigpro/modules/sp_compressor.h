#pragma once
// Feed-forward compressor: an attack/release envelope follower of |input| drives a smoothed gain
// reduction of (1 - 1/ratio) dB per dB above the threshold. Its parameters live in a state block; kernels
// write them through the pointers `ratio`, `threshold` (dB), `attack` and `release` (s). Render thread
// (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_compressor_state;

struct sp_compressor {
    sp_compressor_state* state;
    std::int32_t param_count;
    // The registered parameters, in the order "ratio", "threshold", "attack", "release".
    float* params[4];
    float* ratio;
    float* threshold;
    float* attack;
    float* release;
};

int sp_compressor_create(sp_compressor** p);
// Frees the state block, then the record.
int sp_compressor_destroy(sp_compressor** p);
// Allocates the state block on the first init and clears it on later ones. Fails ("sp_compressor: ...")
// only when memory is exhausted; the module then computes silence.
int sp_compressor_init(sp_data* sp, sp_compressor* p);
int sp_compressor_compute(sp_data* sp, sp_compressor* p, float* in, float* out);

} // namespace sigpro
