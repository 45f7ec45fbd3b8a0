#pragma once
// Sample and hold at a fractional period: takes the input each time a running count passes a threshold
// that advances by `increment` samples, and holds it in between. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_fold {
    float increment; // hold period in samples (may be fractional)
    float threshold;
    std::int32_t counter;
    float held; // 0 until the first capture
};

int sp_fold_create(sp_fold** p);
int sp_fold_destroy(sp_fold** p);
int sp_fold_init(sp_data* sp, sp_fold* p);
// With increment 4.41 the input is taken on samples 1, 5, 9, 14, 18, ... after init. Count and threshold
// stay small however long it runs, and a changed increment takes effect within one new period.
int sp_fold_compute(sp_data* sp, sp_fold* p, float* in, float* out);

} // namespace sigpro
