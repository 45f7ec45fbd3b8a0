#include "Sigpro/modules/sp_dcblock.h"

#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

namespace {

inline float dcblockStep(sp_dcblock& p, float x) {
    const float y = p.gain * p.y1 + (x - p.x1);
    p.y1 = y;
    p.x1 = x;
    return y;
}

} // namespace

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
    *out = dcblockStep(*p, *in);
    return 1;
}

int sp_dcblock_compute_pair(sp_data*, sp_dcblock* left, sp_dcblock* right, const float* inLeft,
                            const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    runPairBlock(*left, *right, inLeft, inRight, outLeft, outRight, frames, dcblockStep);
    return 1;
}

} // namespace sigpro
