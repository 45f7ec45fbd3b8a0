#include "Sigpro/modules/sp_bitcrush.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdio>

namespace sigpro {

int sp_bitcrush_create(sp_bitcrush** p) {
    return createModuleRecord(p);
}

int sp_bitcrush_destroy(sp_bitcrush** p) {
    if (p != nullptr && *p != nullptr) sp_fold_destroy(&(*p)->hold);
    destroyModuleRecord(p);
    return 1;
}

int sp_bitcrush_init(sp_data* sp, sp_bitcrush* p) {
    p->bitdepth = 8.0f;
    p->srate = 10000.0f;
    if (p->hold == nullptr && sp_fold_create(&p->hold) != 1) {
        std::fputs("sp_bitcrush: out of memory\n", stderr);
        return 0;
    }
    return sp_fold_init(sp, p->hold);
}

int sp_bitcrush_compute(sp_data* sp, sp_bitcrush* p, float* in, float* out) {
    if (p->hold == nullptr) {
        *out = 0.0f;
        return 1;
    }
    // floor((x + 0.5) 2^b) / 2^b - 0.5, worked out on a 16-bit scale.
    const float levels = static_cast<float>(std::exp2(std::floor(double(p->bitdepth))));
    const float scale = static_cast<float>(1.52587890625e-5 * double(levels));
    const float shifted = *in * 65536.0f + 32768.0f;
    const float step = std::floor(shifted * scale);
    float y = static_cast<float>(65536.0 / double(levels) * double(step) - 32768.0);

    p->hold->increment = static_cast<float>(sp->sample_rate) / p->srate;
    float held;
    sp_fold_compute(sp, p->hold, &y, &held);
    *out = held * 1.5258789e-5f;
    return 1;
}

} // namespace sigpro
