#pragma once

#include <cstddef>
#include <cstdint>

#include "Sigpro/modules/sp_data.h"

namespace sigpro {

// A wavetable of N points (+1 guard point) shared between a kernel and the table-reading modules; filled by
// the kernel at init, read on the render thread.
struct sp_ftbl {
    std::size_t size;
    std::int32_t index_bits; // fractional bits of a 24-bit phase below the table index
    std::int32_t frac_mask;
    float frac_scale;
    float phase_per_hz; // 2^24 / sample_rate
    float* table;       // size + 1 floats
    std::uint8_t owns_table;
};

// Largest table a 24-bit phase accumulator can index.
inline constexpr std::size_t sp_ftbl_max_size = std::size_t{1} << 24;

// Makes a zero-filled table of n + 1 points. n must lie in 1 .. 2^24: otherwise it prints
// "sp_ftbl_create: ..." to standard error, leaves *ft at nullptr and returns 0. Returns 1 on success.
int sp_ftbl_create(sp_data* sp, sp_ftbl** ft, std::size_t n);
// Frees the table when the record owns it, then the record; sets *ft to nullptr. Returns 1.
int sp_ftbl_destroy(sp_ftbl** ft);

} // namespace sigpro
