#pragma once
// Hyperbolic-tangent distortion with separate shapes for the two half-waves:
// post (e^(x (pre + s1)) - e^(x (s2 - pre))) / cosh(x pre). Kernels write the four public fields before
// each sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_dist {
    float pregain;
    float postgain;
    float shape1; // of the positive half-wave
    float shape2; // of the negative half-wave
};

int sp_dist_create(sp_dist** p);
int sp_dist_destroy(sp_dist** p);
int sp_dist_init(sp_data* sp, sp_dist* p);
// Loud input gives the curve's limit (2 post with both shapes 0), never inf / inf.
int sp_dist_compute(sp_data* sp, sp_dist* p, float* in, float* out);

} // namespace sigpro
