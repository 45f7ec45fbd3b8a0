#include "Sigpro/modules/sp_fofilt.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

int sp_fofilt_create(sp_fofilt** p) {
    return createModuleRecord(p);
}

int sp_fofilt_destroy(sp_fofilt** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_fofilt_init(sp_data* sp, sp_fofilt* p) {
    p->frequency = 1000.0f;
    p->attack = 0.007f;
    p->decay = 0.04f;
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    p->d1 = p->d2 = 0.0f;
    p->a1s = p->a2s = 0.0f;
    return 1;
}

int sp_fofilt_compute(sp_data* sp, sp_fofilt* p, float* in, float* out) {
    float ang = 0.0f;
    float rd = 0.0f;
    float ra = 0.0f;
    if (!(p->frequency == -1.0f && p->attack == -1.0f && p->decay == -1.0f)) {
        ang = p->frequency * p->radians_per_hz;
        const float f = static_cast<float>(std::sin(double(ang)) - 3.0);
        const float rate = static_cast<float>(sp->sample_rate);
        rd = static_cast<float>(std::pow(10.0, double(f / (p->decay * rate))));
        ra = static_cast<float>(std::pow(10.0, double(f / (p->attack * rate))));
    }
    const double k = std::cos(double(ang));
    const float x = *in;

    const float wd = static_cast<float>(p->d1 * (2.0 * rd * k) + x - double(rd * rd * p->d2));
    const float e = p->d2;
    p->d2 = p->d1;
    p->d1 = wd;

    const float wa = static_cast<float>(p->a1s * (2.0 * ra * k) + x - double(ra * ra * p->a2s));
    const float g = p->a2s;
    p->a2s = p->a1s;
    p->a1s = wa;

    *out = (wd - e) - (wa - g);
    return 1;
}

} // namespace sigpro
