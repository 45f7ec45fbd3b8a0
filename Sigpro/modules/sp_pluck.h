#pragma once
// Plucked string (Karplus-Strong): a one-period table filled with noise on each pluck, read at `frequency`
// and smoothed once per period so that the tone decays and darkens. Kernels write `amplitude` and
// `frequency` (Hz) before each sample. Render thread (init on the kernel's set-up or reset).

#include <cstdint>

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

struct sp_pluck {
    float amplitude;
    float frequency;
    float initial_frequency;
    float phase_step_scale; // (length x 256 + 128) / sample_rate
    std::int32_t phase;     // 24.8 fixed point, in table points
    std::int32_t length;    // table points, fixed at init
    std::int32_t max_length;
    sp_auxdata table; // length + 1 floats; the last is the interpolation guard
    std::uint8_t silent;
};

// Longest table: a period of it in 24.8 fixed point, twice over, still fits the 32-bit phase.
inline constexpr std::int32_t sp_pluck_max_length = (1 << 22) - 1;

int sp_pluck_create(sp_pluck** p);
int sp_pluck_destroy(sp_pluck** p);
// Sizes the table to trunc(sample_rate / initial_frequency) points, at least 64 and at most
// sp_pluck_max_length, and plucks it once (drawing from the context's generator); the output stays 0
// until the first trigger. An initial frequency that is not above 0, or a table that cannot be
// allocated, prints "sp_pluck: ..." and returns 0; the module then computes silence.
int sp_pluck_init(sp_data* sp, sp_pluck* p, float initial_frequency);
// Any non-zero trigger (NaN included) plucks anew and restarts the period.
int sp_pluck_compute(sp_data* sp, sp_pluck* p, float* trigger, float* out);

} // namespace sigpro
