#include "Sigpro/modules/sp_tone.h"

#include "Sigpro/modules/OnePoleCoefficient.h"
#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <numbers>

namespace sigpro {

namespace {
void toneCoefficients(sp_tone* p) {
    p->c2 = onePolePole(p->half_power_point, p->radians_per_hz);
    p->c1 = 1.0f - p->c2;
}

void toneUpdate(sp_tone* p) {
    if (p->half_power_point != p->last_half_power_point) {
        p->last_half_power_point = p->half_power_point;
        toneCoefficients(p);
    }
}

inline float toneStep(sp_tone& p, float x) {
    const float y = p.c1 * x + p.c2 * p.y1;
    p.y1 = y;
    return y;
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
    toneUpdate(p);
    *out = toneStep(*p, *in);
    return 1;
}

int sp_tone_compute_pair(sp_data*, sp_tone* left, sp_tone* right, const float* inLeft, const float* inRight,
                         float* outLeft, float* outRight, std::uint32_t frames) {
    toneUpdate(left);
    toneUpdate(right);
    runPairBlock(*left, *right, inLeft, inRight, outLeft, outRight, frames, toneStep);
    return 1;
}

} // namespace sigpro
