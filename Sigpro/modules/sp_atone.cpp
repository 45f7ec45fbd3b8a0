#include "Sigpro/modules/sp_atone.h"

#include "Sigpro/modules/OnePoleCoefficient.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <numbers>

namespace sigpro {

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
    if (p->cutoff != p->last_cutoff) {
        p->last_cutoff = p->cutoff;
        p->c2 = onePolePole(p->cutoff, p->radians_per_hz);
    }
    const float x = *in;
    const float y = (p->y1 + x) * p->c2;
    // Read the input before writing the output: the caller may pass one buffer for both.
    *out = y;
    p->y1 = y - x;
    return 1;
}

} // namespace sigpro
