#pragma once
// Band-limited pulse oscillator of variable width: a sawtooth made by differentiating a parabolic wave,
// minus a copy of itself delayed by `width` of a period. Its parameters live in a state block; kernels
// write them through the pointers `frequency` (Hz), `amp` and `width` (0 ... 1). Render thread (init
// on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_blsquare_state;

struct sp_blsquare {
    sp_blsquare_state* state;
    std::int32_t param_count;
    // The registered parameters, in the order "frequency", "amp", "width".
    float* params[3];
    float* frequency;
    float* amp;
    float* width;
};

int sp_blsquare_create(sp_blsquare** p);
// Frees the state block, then the record.
int sp_blsquare_destroy(sp_blsquare** p);
// Allocates the state block on the first init and clears it on later ones. Fails ("sp_blsquare: ...")
// only when memory is exhausted; the module then computes silence.
int sp_blsquare_init(sp_data* sp, sp_blsquare* p);
int sp_blsquare_compute(sp_data* sp, sp_blsquare* p, float* in, float* out);

} // namespace sigpro
