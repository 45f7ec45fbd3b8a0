#include "Sigpro/modules/sp_tone.h"

#include "Sigpro/modules/OnePoleCoefficient.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <numbers>

namespace sigpro {

namespace {
void toneCoefficients(sp_tone* p) {
    p->c2 = onePolePole(p->half_power_point, p->radians_per_hz);
    p->c1 = 1.0f - p->c2;
}
} // namespace

int sp_tone_create(sp_tone** p) {
    return createModuleRecord(p);
}

int sp_tone_destroy(sp_tone** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_tone_init(sp_data* sp, sp_tone* p) {
    p->half_power_point = 1000.0f;
    p->last_half_power_point = 1000.0f;
    p->y1 = 0.0f;
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    toneCoefficients(p);
    return 1;
}

int sp_tone_compute(sp_data*, sp_tone* p, float* in, float* out) {
    if (p->half_power_point != p->last_half_power_point) {
        p->last_half_power_point = p->half_power_point;
        toneCoefficients(p);
    }
    const float y = p->c1 * *in + p->c2 * p->y1;
    *out = y;
    p->y1 = y;
    return 1;
}

} // namespace sigpro
