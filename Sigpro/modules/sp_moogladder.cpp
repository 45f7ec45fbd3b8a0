#include "Sigpro/modules/sp_moogladder.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {
// Thermal scaling of the transistor stages.
constexpr double moogThermal = 0.000025;

// tanh with its cheap ends: linear near 0, the sign beyond 4.
double moogSaturate(double v) {
    const double a = std::fabs(v);
    if (a >= 4.0) return v < 0.0 ? -1.0 : 1.0;
    if (a < 0.5) return v;
    return std::tanh(v);
}
} // namespace

int sp_moogladder_create(sp_moogladder** p) {
    return createModuleRecord(p);
}

int sp_moogladder_destroy(sp_moogladder** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_moogladder_init(sp_data*, sp_moogladder* p) {
    p->frequency = 1000.0f;
    p->resonance = 0.4f;
    for (float& d : p->delay)
        d = 0.0f;
    for (float& t : p->tanh_stage)
        t = 0.0f;
    p->last_frequency = 0.0f;
    p->last_resonance = -1.0f;
    p->last_acr = 0.0f;
    p->last_tune = 0.0f;
    return 1;
}

int sp_moogladder_compute(sp_data* sp, sp_moogladder* p, float* in, float* out) {
    const float x = *in;
    const float r = p->resonance > 0.0f ? p->resonance : 0.0f;
    float acr;
    float tune;
    if (p->frequency == p->last_frequency && r == p->last_resonance) {
        acr = p->last_acr;
        tune = p->last_tune;
    } else {
        p->last_frequency = p->frequency;
        const float fc = p->frequency / static_cast<float>(sp->sample_rate);
        const float f = 0.5f * fc;
        const float fc2 = fc * fc;
        const float fc3 = fc2 * fc;
        const float fcr = static_cast<float>(1.8730 * fc3 + 0.4955 * fc2 - 0.6490 * fc + 0.9988);
        acr = static_cast<float>(-3.9364 * fc2 + 1.8409 * fc + 0.9968);
        tune = static_cast<float>((1.0 - std::exp(-2.0 * std::numbers::pi * f * fcr)) / moogThermal);
        p->last_resonance = r;
        p->last_acr = acr;
        p->last_tune = tune;
    }
    const float res4 = static_cast<float>(-4.0 * r * acr);

    float* d = p->delay;
    float* ts = p->tanh_stage;
    for (int pass = 0; pass < 2; ++pass) {
        const float stageIn = d[5] * res4 + x;
        d[0] = static_cast<float>(d[0] + tune * (moogSaturate(stageIn * moogThermal) - ts[0]));
        for (int k = 1; k < 4; ++k) {
            ts[k - 1] = static_cast<float>(moogSaturate(d[k - 1] * moogThermal));
            const double other = k < 3 ? double(ts[k]) : moogSaturate(d[3] * moogThermal);
            d[k] = static_cast<float>(d[k] + tune * (ts[k - 1] - other));
        }
        d[5] = (d[4] + d[3]) * 0.5f;
        d[4] = d[3];
    }
    *out = d[5];
    return 1;
}

} // namespace sigpro
