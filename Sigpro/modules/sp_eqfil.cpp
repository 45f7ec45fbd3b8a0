#include "Sigpro/modules/sp_eqfil.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {
void eqfilTerms(sp_eqfil* p, double rate) {
    p->cos_term = static_cast<float>(std::cos(p->frequency * (2.0 * std::numbers::pi) / rate));
    p->tan_term = static_cast<float>(std::tan(p->bandwidth * std::numbers::pi / rate));
}
} // namespace

int sp_eqfil_create(sp_eqfil** p) {
    return createModuleRecord(p);
}

int sp_eqfil_destroy(sp_eqfil** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_eqfil_init(sp_data* sp, sp_eqfil* p) {
    p->frequency = 1000.0f;
    p->bandwidth = 125.0f;
    p->gain = 2.0f;
    p->z1 = p->z2 = 0.0f;
    p->last_frequency = 1000.0f;
    p->last_bandwidth = 125.0f;
    eqfilTerms(p, static_cast<float>(sp->sample_rate));
    return 1;
}

int sp_eqfil_compute(sp_data* sp, sp_eqfil* p, float* in, float* out) {
    if (p->frequency != p->last_frequency || p->bandwidth != p->last_bandwidth) {
        p->last_frequency = p->frequency;
        p->last_bandwidth = p->bandwidth;
        eqfilTerms(p, static_cast<float>(sp->sample_rate));
    }
    const float x = *in;
    const float d = static_cast<float>((1.0 - p->tan_term) / (1.0 + p->tan_term));
    const double pz = p->z1 * ((double(d) + 1.0) * p->cos_term);
    const float w = static_cast<float>(x + pz - double(d * p->z2));
    const float ap = static_cast<float>(double(d * w) - pz + p->z2);
    *out = (((x - ap) * p->gain) + (x + ap)) * 0.5f;
    p->z2 = p->z1;
    p->z1 = w;
    return 1;
}

} // namespace sigpro
