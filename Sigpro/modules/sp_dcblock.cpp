#include "Sigpro/modules/sp_dcblock.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_dcblock_create(sp_dcblock** p) {
    return createModuleRecord(p);
}

int sp_dcblock_destroy(sp_dcblock** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_dcblock_init(sp_data*, sp_dcblock* p) {
    p->y1 = 0.0f;
    p->x1 = 0.0f;
    p->gain = 0.99f;
    return 1;
}

int sp_dcblock_compute(sp_data*, sp_dcblock* p, float* in, float* out) {
    const float x = *in;
    const float y = p->gain * p->y1 + (x - p->x1);
    *out = y;
    p->y1 = y;
    p->x1 = x;
    return 1;
}

} // namespace sigpro
