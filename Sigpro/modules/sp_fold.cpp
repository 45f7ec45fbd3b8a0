#include "Sigpro/modules/sp_fold.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

namespace {
// Count and threshold move back together by this many samples whenever the count reaches it: in float the
// schedule would otherwise coarsen after minutes (past 2^24) and stop holding at all within an hour.
constexpr std::int32_t foldRebase = 1 << 16;
} // namespace

int sp_fold_create(sp_fold** p) {
    return createModuleRecord(p);
}

int sp_fold_destroy(sp_fold** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_fold_init(sp_data*, sp_fold* p) {
    p->increment = 1000.0f;
    p->threshold = 0.0f;
    p->counter = 0;
    p->held = 0.0f;
    return 1;
}

int sp_fold_compute(sp_data*, sp_fold* p, float* in, float* out) {
    const float count = static_cast<float>(p->counter);
    // A shortened period (or one that was infinite, at a rate of 0) starts from now, not from wherever
    // the old one would have ended. Never moves a threshold that a steady increment produced.
    if (p->threshold > count + p->increment) p->threshold = count + p->increment;
    float y;
    if (count > p->threshold) {
        p->threshold += p->increment;
        // An increment below one sample (or NaN) must not leave the threshold ever further behind the
        // count, or a longer period set later would take as long to catch up.
        if (!(p->threshold >= count)) p->threshold = count;
        y = *in;
    } else {
        y = p->held;
    }
    p->held = y;
    *out = y;
    if (++p->counter >= foldRebase) {
        p->counter -= foldRebase;
        p->threshold -= static_cast<float>(foldRebase);
    }
    return 1;
}

} // namespace sigpro
