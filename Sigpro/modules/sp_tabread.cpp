#include "Sigpro/modules/sp_tabread.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace sigpro {

int sp_tabread_create(sp_tabread** p) {
    return createModuleRecord(p);
}

int sp_tabread_destroy(sp_tabread** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_tabread_init(sp_data*, sp_tabread* p, sp_ftbl* ft, int mode) {
    p->index = 0.0f;
    p->mode = static_cast<float>(mode);
    p->offset = 0.0f;
    p->wrap = 0.0f;
    if (ft == nullptr || ft->size == 0 || ft->table == nullptr) {
        p->table = nullptr;
        std::fputs("sp_tabread: the wavetable is missing or empty\n", stderr);
        return 0;
    }
    p->table = ft;
    return 1;
}

int sp_tabread_compute(sp_data*, sp_tabread* p, float*, float* out) {
    const sp_ftbl* ft = p->table;
    if (ft == nullptr) {
        *out = 0.0f;
        return 1;
    }
    const std::int64_t size = static_cast<std::int64_t>(ft->size);
    // `wrap` counts as its integer part: anything of magnitude below 1 (or NaN) clamps.
    const bool wraps = std::fabs(p->wrap) >= 1.0f;
    const float scale = p->mode != 0.0f ? static_cast<float>(ft->size) : 1.0f;
    const float position = (p->index + p->offset) * scale;

    // Beyond 2^62 a float holds only multiples of 2^39, which wrap to point 0 of any table of up to
    // 2^24 points and clamp to an end; NaN reads point 0.
    std::int64_t whole = 0;
    float fraction = 0.0f;
    if (std::fabs(position) < 4.6e18f) {
        const float floored = std::floor(position);
        whole = static_cast<std::int64_t>(floored);
        fraction = position - floored;
    } else if (position > 0.0f && !wraps) {
        whole = size;
    }

    std::int64_t point;
    if (!wraps) {
        point = whole >= size ? size - 1 : (whole < 0 ? 0 : whole);
    } else {
        point = size > 1 ? (whole & (size - 1)) : 0;
    }
    const float a = ft->table[point];
    *out = a + fraction * (ft->table[point + 1] - a);
    return 1;
}

} // namespace sigpro
