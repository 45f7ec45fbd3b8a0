#pragma once
// Korg 35 style low-pass: two one-pole low-passes with the output fed back through a one-pole high-pass
// with loop gain `resonance` (K), optionally saturated. Kernels write the three public fields before each
// sample. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

// One zero-delay-feedback one-pole section: `alpha` the gain g / (1 + g), `beta` its feedback weight in
// the loop (unused by lpf1), `z` its state.
struct sp_wpkorg35_section {
    float alpha;
    float beta;
    float z;
};

struct sp_wpkorg35 {
    float cutoff; // Hz
    float resonance;
    float saturation; // 0 switches it off
    sp_wpkorg35_section lpf1, lpf2, hpf;
    float alpha0;
    float last_cutoff; // the values the coefficients belong to
    float last_resonance;
};

int sp_wpkorg35_create(sp_wpkorg35** p);
int sp_wpkorg35_destroy(sp_wpkorg35** p);
int sp_wpkorg35_init(sp_data* sp, sp_wpkorg35* p);
// With resonance 1 and no saturation a two-pole low-pass of Q 1 at the (prewarped) cutoff; resonance 0
// is silence.
int sp_wpkorg35_compute(sp_data* sp, sp_wpkorg35* p, float* in, float* out);

} // namespace sigpro
