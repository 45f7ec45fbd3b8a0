#pragma once
// Automatic wah: an envelope follower steers the centre and resonance of a two-pole filter. Its
// parameters live in a state block; kernels write them through the pointers `level` (0 ... 1), `wah`
// (filtered share, 0 ... 1) and `wet_dry` (0 ... 100). Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_autowah_state;

struct sp_autowah {
    sp_autowah_state* state;
    std::int32_t param_count;
    // The registered parameters, in the order "level", "wah", "wet_dry".
    float* params[3];
    float* level;
    float* wah;
    float* wet_dry;
};

int sp_autowah_create(sp_autowah** p);
// Frees the state block, then the record.
int sp_autowah_destroy(sp_autowah** p);
// Allocates the state block on the first init and clears it on later ones. Fails ("sp_autowah: ...")
// only when memory is exhausted; the module then computes silence.
int sp_autowah_init(sp_data* sp, sp_autowah* p);
int sp_autowah_compute(sp_data* sp, sp_autowah* p, float* in, float* out);

} // namespace sigpro
