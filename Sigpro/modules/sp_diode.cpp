#include "Sigpro/modules/sp_diode.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {
// Stage coefficients of the ladder for the current cutoff; g is tan(pi f / rate) up to rounding.
void diodeCoefficients(sp_data* sp, sp_diode* p) {
    const float period = 1.0f / static_cast<float>(sp->sample_rate);
    const float wd = static_cast<float>(2.0 * std::numbers::pi * p->frequency);
    const float warped = static_cast<float>(std::tan(double(wd * period * 0.5f)) * double(2.0f / period));
    const float g = warped * period * 0.5f;
    const double h = g / 2.0;
    const double pg = 1.0 + g;

    const float g4 = static_cast<float>(h / pg);
    const float g3 = static_cast<float>(h / (pg - g4 * h));
    const float g2 = static_cast<float>(h / (pg - g3 * h));
    const float g1 = static_cast<float>(g / (pg - double(g * g2)));

    for (float& stageGain : p->stage_gain)
        stageGain = static_cast<float>(g / pg);
    p->stage_norm[0] = static_cast<float>(1.0 / (pg - double(g * g2)));
    p->stage_norm[1] = static_cast<float>(1.0 / (pg - g3 * h));
    p->stage_norm[2] = static_cast<float>(1.0 / (pg - g4 * h));
    p->stage_norm[3] = static_cast<float>(1.0 / pg);

    p->stage_in_scale[0] = 1.0f + g1 * g2;
    p->stage_in_scale[1] = 1.0f + g2 * g3;
    p->stage_in_scale[2] = 1.0f + g3 * g4;

    p->stage_fb_scale[0] = g;
    p->stage_fb_scale[1] = static_cast<float>(h);
    p->stage_fb_scale[2] = static_cast<float>(h);
    p->stage_next_scale[0] = g2;
    p->stage_next_scale[1] = g3;
    p->stage_next_scale[2] = g4;

    p->sum_weight[0] = g4 * g3 * g2;
    p->sum_weight[1] = g4 * g3;
    p->sum_weight[2] = g4;
    p->sum_weight[3] = 1.0f;
    p->loop_gain = g4 * g3 * g2 * g1;
}
} // namespace

int sp_diode_create(sp_diode** p) {
    return createModuleRecord(p);
}

int sp_diode_destroy(sp_diode** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_diode_init(sp_data* sp, sp_diode* p) {
    for (int i = 0; i < 4; ++i) {
        p->stage_feedback[i] = 0.0f;
        p->stage_state[i] = 0.0f;
    }
    p->stage_in_scale[3] = 1.0f;
    p->stage_fb_scale[3] = 0.0f;
    p->stage_next_scale[3] = 0.0f;
    p->stage_out_scale[0] = 1.0f;
    p->stage_out_scale[1] = p->stage_out_scale[2] = p->stage_out_scale[3] = 0.5f;
    p->frequency = 1000.0f;
    p->resonance = 0.0f;
    p->feedback_gain = 0.0f;
    diodeCoefficients(sp, p);
    return 1;
}

int sp_diode_compute(sp_data* sp, sp_diode* p, float* in, float* out) {
    const float x = *in;
    p->feedback_gain = 17.0f * p->resonance;
    diodeCoefficients(sp, p);

    float* fb = p->stage_feedback;
    const float* fs = p->stage_fb_scale;
    const float* st = p->stage_state;
    const float* nm = p->stage_norm;
    fb[2] = (fb[3] * fs[3] + st[3]) * nm[3];
    fb[1] = (fs[2] * fb[2] + st[2]) * nm[2];
    fb[0] = (fs[1] * fb[1] + st[1]) * nm[1];
    const float sum = fb[2] * p->sum_weight[3] + fb[1] * p->sum_weight[2] +
                      ((fs[0] * fb[0] + st[0]) * nm[0]) * p->sum_weight[0] + fb[0] * p->sum_weight[1];

    float u = (x - p->feedback_gain * sum) / (1.0f + p->feedback_gain * p->loop_gain);
    for (int i = 0; i < 4; ++i) {
        const float v = (((fb[i] * fs[i] + p->stage_state[i]) * nm[i] * p->stage_next_scale[i] +
                          u * p->stage_in_scale[i] + fb[i]) *
                             p->stage_out_scale[i] -
                         p->stage_state[i]) *
                        p->stage_gain[i];
        const float lp = p->stage_state[i] + v;
        p->stage_state[i] = lp + v;
        u = lp;
    }
    *out = u;
    return 1;
}

} // namespace sigpro
