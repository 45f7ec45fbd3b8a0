#pragma once
// Four-stage diode ladder low-pass with resonance, one channel; kernels write `frequency` (cutoff, Hz,
// below half the sample rate) and `resonance` (0 upward) before each sample. Render thread (init on
// set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_diode {
    float stage_gain[4];
    float stage_norm[4];
    float stage_in_scale[4];
    float stage_fb_scale[4];
    float stage_next_scale[4];
    float stage_out_scale[4];
    float stage_feedback[4];
    float stage_state[4];
    float sum_weight[4];
    float loop_gain;
    float frequency;
    float feedback_gain;
    float resonance;
};

int sp_diode_create(sp_diode** p);
int sp_diode_destroy(sp_diode** p);
int sp_diode_init(sp_data* sp, sp_diode* p);
int sp_diode_compute(sp_data* sp, sp_diode* p, float* in, float* out);

} // namespace sigpro
