#pragma once
// Pink noise (about -3 dB per octave) by the Voss-McCartney scheme: seven white rows renewed at halving
// rates plus a white term, scaled by `amplitude`. Seeded once from the context's random generator at
// init; after that it runs its own generator. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_pinknoise {
    float amplitude;
    std::uint32_t new_random;
    std::uint32_t previous_random;
    std::uint32_t seed;
    std::uint32_t total;
    std::uint32_t counter;
    std::uint32_t rows[7];
};

int sp_pinknoise_create(sp_pinknoise** p);
int sp_pinknoise_destroy(sp_pinknoise** p);
int sp_pinknoise_init(sp_data* sp, sp_pinknoise* p);
int sp_pinknoise_compute(sp_data* sp, sp_pinknoise* p, float* in, float* out);

} // namespace sigpro
