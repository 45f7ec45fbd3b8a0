#include "Sigpro/modules/sp_clip.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

int sp_clip_create(sp_clip** p) {
    return createModuleRecord(p);
}

int sp_clip_destroy(sp_clip** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_clip_init(sp_data*, sp_clip* p) {
    p->limit = 1.0f;
    p->k = static_cast<float>(std::numbers::pi / 2.0);
    return 1;
}

int sp_clip_compute(sp_data*, sp_clip* p, float* in, float* out) {
    const float limit = p->limit;
    const float x = *in;
    p->k = static_cast<float>(std::numbers::pi / (2.0 * double(limit)));
    if (x >= limit)
        *out = limit;
    else if (x <= -limit)
        *out = -limit;
    else
        *out = limit * static_cast<float>(std::sin(double(x * p->k)));
    return 1;
}

} // namespace sigpro
