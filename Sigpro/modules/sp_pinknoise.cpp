#include "Sigpro/modules/sp_pinknoise.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <bit>

namespace sigpro {

int sp_pinknoise_create(sp_pinknoise** p) {
    return createModuleRecord(p);
}

int sp_pinknoise_destroy(sp_pinknoise** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_pinknoise_init(sp_data* sp, sp_pinknoise* p) {
    p->amplitude = 1.0f;
    p->new_random = 0;
    p->previous_random = 0;
    p->seed = sp_rand(sp);
    p->total = 0;
    p->counter = 0;
    for (std::uint32_t& row : p->rows)
        row = 0;
    return 1;
}

int sp_pinknoise_compute(sp_data*, sp_pinknoise* p, float*, float* out) {
    // Row k is renewed every 2^(k+1) samples; row 6 also takes the counts that are multiples of 64.
    const std::uint32_t low = p->counter & 63u;
    const int k = low == 0 ? 6 : std::countr_zero(low);
    p->previous_random = p->rows[k];

    const std::uint32_t a = p->seed * 1664525u + 1013904223u;
    p->rows[k] = a >> 3;
    p->total = p->total + (a >> 3) - p->previous_random;

    const std::uint32_t b = a * 1103515245u + 12345u;
    p->seed = b;
    p->new_random = b >> 3;

    const float sum = static_cast<float>(p->new_random + p->total);
    // 6.2088173e-10 is the float nearest 1 / (3 x 2^29): eight terms below 2^29 average 4/3.
    const float v = (sum * 6.2088173e-10f - 1.0f - 0.25f) * 16384.0f;
    const auto sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::int32_t>(v)));
    *out = static_cast<float>(sample) / 32767.0f * p->amplitude;
    p->counter = p->counter == 0xFFFFFFFEu ? 0u : p->counter + 1u;
    return 1;
}

} // namespace sigpro
