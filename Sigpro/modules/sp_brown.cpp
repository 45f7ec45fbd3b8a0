#include "Sigpro/modules/sp_brown.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_brown_create(sp_brown** p) {
    return createModuleRecord(p);
}

int sp_brown_destroy(sp_brown** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_brown_init(sp_data*, sp_brown* p) {
    p->level = 0.0f;
    return 1;
}

int sp_brown_compute(sp_data* sp, sp_brown* p, float*, float* out) {
    // Each step is at most 0.5 in size, so from inside [-8, 8] a step of the right sign always exists
    // and the loop ends. A refused step restores the level exactly: subtracting it again could round to
    // just beyond the bound.
    const float before = p->level;
    for (;;) {
        float r = static_cast<float>(sp_rand(sp) & 0x7FFFFFFFu) * (1.0f / 2147483648.0f);
        r = (2.0f * r - 1.0f) * 0.5f;
        const float next = before + r;
        if (next < -8.0f || next > 8.0f) continue;
        p->level = next;
        break;
    }
    *out = p->level * 0.0625f;
    return 1;
}

} // namespace sigpro
