#pragma once
// TB-303 style resonant low-pass: three integrators with a cubic, distortion-scaled feedback and an
// asymmetric resonance term. Kernels write the four public fields before each sample; nothing is cached.
// Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_tbvcf {
    float cutoff; // Hz
    float resonance;
    float distortion;
    float asymmetry;
    float s1, s2, s3;
    float sample_rate;
    float reciprocal_rate;
};

int sp_tbvcf_create(sp_tbvcf** p);
int sp_tbvcf_destroy(sp_tbvcf** p);
int sp_tbvcf_init(sp_data* sp, sp_tbvcf* p);
// The three states are kept within +-10, so settings whose integration would run away (low cutoffs at
// high distortion) oscillate within bounds instead of turning into inf and NaN.
int sp_tbvcf_compute(sp_data* sp, sp_tbvcf* p, float* in, float* out);

} // namespace sigpro
