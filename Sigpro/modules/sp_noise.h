#pragma once
// White noise, uniform in [-`amp`, `amp`], drawn from the context's random generator. Render thread
// (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_noise {
    float amp;
};

int sp_noise_create(sp_noise** p);
int sp_noise_destroy(sp_noise** p);
int sp_noise_init(sp_data* sp, sp_noise* p);
int sp_noise_compute(sp_data* sp, sp_noise* p, float* in, float* out);

} // namespace sigpro
