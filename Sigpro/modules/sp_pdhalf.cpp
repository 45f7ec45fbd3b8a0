#include "Sigpro/modules/sp_pdhalf.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_pdhalf_create(sp_pdhalf** p) {
    return createModuleRecord(p);
}

int sp_pdhalf_destroy(sp_pdhalf** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_pdhalf_init(sp_data*, sp_pdhalf* p) {
    p->amount = 0.0f;
    p->bipolar = 0.0f;
    p->full_scale = 1.0f;
    return 1;
}

int sp_pdhalf_compute(sp_data*, sp_pdhalf* p, float* in, float* out) {
    const float x = *in;
    const float full = p->full_scale == 0.0f ? 1.0f : p->full_scale;
    const float amount = p->amount;
    if (p->bipolar == 0.0f) {
        const float half = 0.5f * full;
        float knee;
        if (amount >= 1.0f) {
            knee = full;
        } else if (amount <= -1.0f) {
            knee = 0.0f;
        } else {
            knee = static_cast<float>(double(half) * (double(amount) + 1.0));
        }
        if (x < knee) {
            *out = knee == 0.0f ? 0.0f : x * (half / knee);
        } else {
            const float factor = knee == full ? 0.0f : half / (full - knee);
            *out = (x - knee) * factor + half;
        }
    } else {
        float knee;
        if (amount >= 1.0f) {
            knee = full;
        } else if (amount <= -1.0f) {
            knee = -full;
        } else {
            knee = amount * full;
        }
        if (x < knee) {
            const float factor = knee == -full ? 0.0f : full / (full + knee);
            *out = (x - knee) * factor;
        } else {
            const float factor = knee == full ? 0.0f : full / (full - knee);
            *out = (x - knee) * factor;
        }
    }
    return 1;
}

} // namespace sigpro
