#pragma once
// Four-stage transistor ladder low-pass with resonance, run at twice the sample rate; kernels write
// `frequency` (cutoff, Hz) and `resonance` (negative counts as 0) before each sample. Render thread
// (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_moogladder {
    float frequency;
    float resonance;
    float delay[6];
    float tanh_stage[3];
    float last_frequency;
    float last_resonance;
    float last_acr;
    float last_tune;
};

int sp_moogladder_create(sp_moogladder** p);
int sp_moogladder_destroy(sp_moogladder** p);
int sp_moogladder_init(sp_data* sp, sp_moogladder* p);
int sp_moogladder_compute(sp_data* sp, sp_moogladder* p, float* in, float* out);

} // namespace sigpro
