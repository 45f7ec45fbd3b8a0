#pragma once
// Modal resonator: a two-pole band-pass ringing at `frequency` (Hz) with quality factor `q`; its
// output starts one sample after the input. One channel; render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_mode {
    float frequency;
    float q;
    float x1, y1, y2;
    float m_a0, m_a1, m_a2, m_d;
    float last_frequency, last_q;
    float sample_rate_f;
};

int sp_mode_create(sp_mode** p);
int sp_mode_destroy(sp_mode** p);
int sp_mode_init(sp_data* sp, sp_mode* p);
int sp_mode_compute(sp_data* sp, sp_mode* p, float* in, float* out);

} // namespace sigpro
