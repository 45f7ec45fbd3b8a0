#include "Sigpro/modules/sp_wpkorg35.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {
void wpkorg35Coefficients(sp_data* sp, sp_wpkorg35* p) {
    const float wd = static_cast<float>(double(p->cutoff) * 2.0 * std::numbers::pi);
    const float period = 1.0f / static_cast<float>(sp->sample_rate);
    const float warped = static_cast<float>(std::tan(double(wd * period * 0.5f)) * double(2.0f / period));
    const float g = warped * period * 0.5f;
    const float G = static_cast<float>(double(g) / (1.0 + double(g)));
    const float K = p->resonance;
    p->lpf1.alpha = G;
    p->lpf2.alpha = G;
    p->hpf.alpha = G;
    p->hpf.beta = -1.0f / (1.0f + g);
    p->lpf2.beta = (K - K * G) / (1.0f + g);
    p->alpha0 = static_cast<float>(1.0 / (1.0 - double(K * G) + double(K * G * G)));
}
} // namespace

int sp_wpkorg35_create(sp_wpkorg35** p) {
    return createModuleRecord(p);
}

int sp_wpkorg35_destroy(sp_wpkorg35** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_wpkorg35_init(sp_data* sp, sp_wpkorg35* p) {
    *p = sp_wpkorg35{};
    p->cutoff = 1000.0f;
    p->resonance = 1.0f;
    p->saturation = 0.0f;
    p->last_cutoff = p->cutoff;
    p->last_resonance = p->resonance;
    wpkorg35Coefficients(sp, p);
    return 1;
}

int sp_wpkorg35_compute(sp_data* sp, sp_wpkorg35* p, float* in, float* out) {
    if (p->cutoff != p->last_cutoff || p->resonance != p->last_resonance) {
        wpkorg35Coefficients(sp, p);
        p->last_cutoff = p->cutoff;
        p->last_resonance = p->resonance;
    }
    const float K = p->resonance;

    float v = (*in - p->lpf1.z) * p->lpf1.alpha;
    const float y1 = p->lpf1.z + v;
    p->lpf1.z = y1 + v;

    float u = (p->hpf.beta * p->hpf.z + p->lpf2.beta * p->lpf2.z + y1) * p->alpha0;
    if (p->saturation > 0.0f) u = static_cast<float>(std::tanh(double(p->saturation * u)));

    v = (u - p->lpf2.z) * p->lpf2.alpha;
    const float y2 = p->lpf2.z + v;
    p->lpf2.z = y2 + v;

    v = (K * y2 - p->hpf.z) * p->hpf.alpha;
    p->hpf.z = p->hpf.z + 2.0f * v;

    float y = K * y2;
    if (K > 0.0f) y = static_cast<float>(double(y) * (1.0 / double(K)));
    *out = y;
    return 1;
}

} // namespace sigpro
