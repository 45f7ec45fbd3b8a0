#include "Sigpro/modules/sp_autowah.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace sigpro {

// Index 0 of each history is the current sample, 1 (and 2) the previous ones.
struct sp_autowah_state {
    float y[3];
    float peak[2];
    float env[2];
    float coef1[2];
    float coef2[2];
    float gain[2];
    float wah;
    std::int32_t rate;
    std::int32_t clamped_rate;
    float k1;
    float env_pole;
    float env_gain;
    float peak_pole;
    float peak_gain;
    float k2;
    float wet_dry;
    float level;
};

int sp_autowah_create(sp_autowah** p) {
    return createModuleRecord(p);
}

int sp_autowah_destroy(sp_autowah** p) {
    if (p != nullptr && *p != nullptr) delete (*p)->state;
    destroyModuleRecord(p);
    return 1;
}

int sp_autowah_init(sp_data* sp, sp_autowah* p) {
    if (p->state == nullptr) p->state = new (std::nothrow) sp_autowah_state;
    sp_autowah_state* s = p->state;
    if (s == nullptr) {
        p->param_count = 0;
        p->params[0] = p->params[1] = p->params[2] = nullptr;
        p->level = p->wah = p->wet_dry = nullptr;
        std::fputs("sp_autowah: out of memory\n", stderr);
        return 0;
    }
    *s = sp_autowah_state{};
    s->rate = sp->sample_rate;
    s->clamped_rate = std::min(192000, std::max(1, sp->sample_rate));
    const float R = static_cast<float>(s->clamped_rate);
    s->k1 = 1413.72f / R;
    s->env_pole = static_cast<float>(std::exp(-100.0 / R));
    s->env_gain = 1.0f - s->env_pole;
    s->peak_pole = static_cast<float>(std::exp(-10.0 / R));
    s->peak_gain = 1.0f - s->peak_pole;
    s->k2 = 2827.43f / R;
    s->wah = 0.0f;
    s->wet_dry = 100.0f;
    s->level = 0.1f;

    // Registered ranges (not enforced): level 0 ... 1, wah 0 ... 1, wet_dry 0 ... 100.
    p->params[0] = &s->level;
    p->params[1] = &s->wah;
    p->params[2] = &s->wet_dry;
    p->param_count = 3;
    p->level = p->params[0];
    p->wah = p->params[1];
    p->wet_dry = p->params[2];
    return 1;
}

int sp_autowah_compute(sp_data*, sp_autowah* p, float* in, float* out) {
    sp_autowah_state* s = p->state;
    if (s == nullptr) {
        *out = 0.0f;
        return 1;
    }
    const float x = *in;
    const float magnitude = std::fabs(x);
    s->peak[0] = std::max(s->peak[1] * s->peak_pole + s->peak_gain * magnitude, magnitude);
    s->env[0] = s->env[1] * s->env_pole + s->peak[0] * s->env_gain;
    const float e = std::min(1.0f, s->env[0]);

    const float f = static_cast<float>(std::exp2(double(2.3f * e)));
    const float r = static_cast<float>(1.0 - double(s->k1) * double(f) / std::exp2(double(3.0f - 2.0f * e)));
    s->coef1[0] =
        0.999f * s->coef1[1] - 0.001f * (2.0f * r * static_cast<float>(std::cos(double(f * s->k2))));
    s->coef2[0] = 0.999f * s->coef2[1] + 0.001f * (r * r);
    s->gain[0] = 0.999f * s->gain[1] + 0.0001f * static_cast<float>(std::exp2(double(2.0f * e)));

    const float wetShare = 0.01f * s->wet_dry;
    s->y[0] = wetShare * s->level * s->gain[0] * x - (s->coef1[0] * s->y[1] + s->coef2[0] * s->y[2]);
    *out = (s->y[0] - s->y[1]) * s->wah + x * ((1.0f - s->wah) + (1.0f - wetShare));

    s->peak[1] = s->peak[0];
    s->env[1] = s->env[0];
    s->coef1[1] = s->coef1[0];
    s->coef2[1] = s->coef2[0];
    s->gain[1] = s->gain[0];
    s->y[2] = s->y[1];
    s->y[1] = s->y[0];
    return 1;
}

} // namespace sigpro
