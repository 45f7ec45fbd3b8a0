#include "Sigpro/modules/sp_atone.h"

#include "Sigpro/modules/OnePoleCoefficient.h"
#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <numbers>

namespace sigpro {

namespace {

void atoneUpdate(sp_atone* p) {
    if (p->cutoff != p->last_cutoff) {
        p->last_cutoff = p->cutoff;
        p->c2 = onePolePole(p->cutoff, p->radians_per_hz);
    }
}

inline float atoneStep(sp_atone& p, float x) {
    const float y = (p.y1 + x) * p.c2;
    p.y1 = y - x;
    return y;
}

} // namespace

int sp_atone_create(sp_atone** p) {
    return createModuleRecord(p);
}

int sp_atone_destroy(sp_atone** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_atone_init(sp_data* sp, sp_atone* p) {
    p->cutoff = 1000.0f;
    p->last_cutoff = 1000.0f;
    p->y1 = 0.0f;
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    p->c2 = onePolePole(p->cutoff, p->radians_per_hz);
    return 1;
}

int sp_atone_compute(sp_data*, sp_atone* p, float* in, float* out) {
    atoneUpdate(p);
    // The step takes the input before the output is written: the caller may pass one buffer for both.
    *out = atoneStep(*p, *in);
    return 1;
}

int sp_atone_compute_pair(sp_data*, sp_atone* left, sp_atone* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    atoneUpdate(left);
    atoneUpdate(right);
    runPairBlock(*left, *right, inLeft, inRight, outLeft, outRight, frames, atoneStep);
    return 1;
}

} // namespace sigpro
