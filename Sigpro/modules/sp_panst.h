#pragma once
// Stereo panner: scales a left and a right input by one of four panning laws. Kernels write `pan`
// (-1 left ... +1 right) and `type` (law, only its two low bits count) before each sample. Render thread.

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_panst {
    float pan;
    // 0 equal power, 1 square root (mirrored: -1 passes the right input), 2 linear, 3 alternative equal
    // power (the right output is negated at +1).
    std::uint32_t type;
};

int sp_panst_create(sp_panst** p);
int sp_panst_destroy(sp_panst** p);
int sp_panst_init(sp_data* sp, sp_panst* p);
int sp_panst_compute(sp_data* sp, sp_panst* p, float* in_left, float* in_right, float* out_left,
                     float* out_right);

} // namespace sigpro
