#pragma once
// Brownian noise: a random walk of uniform steps, held inside [-0.5, 0.5] by refusing steps that would
// leave it; draws from the context's random generator. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_brown {
    float level;
};

int sp_brown_create(sp_brown** p);
int sp_brown_destroy(sp_brown** p);
int sp_brown_init(sp_data* sp, sp_brown* p);
int sp_brown_compute(sp_data* sp, sp_brown* p, float* in, float* out);

} // namespace sigpro
