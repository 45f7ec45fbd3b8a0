#pragma once
// DC blocker (a zero at 0 Hz and a pole at 0.99), one channel; no public parameters. Render thread
// (init on the kernel's set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_dcblock {
    float y1;
    float x1;
    float gain;
};

int sp_dcblock_create(sp_dcblock** p);
int sp_dcblock_destroy(sp_dcblock** p);
int sp_dcblock_init(sp_data* sp, sp_dcblock* p);
int sp_dcblock_compute(sp_data* sp, sp_dcblock* p, float* in, float* out);

} // namespace sigpro
