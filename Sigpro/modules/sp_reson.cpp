#include "Sigpro/modules/sp_reson.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

int sp_reson_create(sp_reson** p) {
    return createModuleRecord(p);
}

int sp_reson_destroy(sp_reson** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_reson_init(sp_data* sp, sp_reson* p) {
    *p = sp_reson{};
    p->frequency = 4000.0f;
    p->bandwidth = 1000.0f;
    // No value a parameter takes, so that the first compute works the coefficients out.
    p->last_frequency = -100.0f;
    p->last_bandwidth = -100.0f;
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    return 1;
}

int sp_reson_compute(sp_data*, sp_reson* p, float* in, float* out) {
    bool changed = false;
    if (p->frequency != p->last_frequency) {
        p->last_frequency = p->frequency;
        p->cos_term = static_cast<float>(std::cos(double(p->frequency * p->radians_per_hz)));
        changed = true;
    }
    const float width = std::fabs(p->bandwidth);
    if (width != p->last_bandwidth) {
        p->last_bandwidth = width;
        p->c3 = static_cast<float>(std::exp(double(-p->radians_per_hz * width)));
        changed = true;
    }
    if (changed) {
        p->c2 = 4.0f * p->c3 * p->cos_term / (p->c3 + 1.0f);
        p->c1 = 1.0f;
    }
    const float y = p->c1 * *in + p->c2 * p->y1 - p->c3 * p->y2;
    p->y2 = p->y1;
    p->y1 = y;
    *out = y;
    return 1;
}

} // namespace sigpro
