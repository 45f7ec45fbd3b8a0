#pragma once
// The 24-bit phase accumulator of the table oscillators (sp_osc, sp_dynamicosc, sp_fosc, sp_oscmorph):
// conversions of float increments and phases that stay defined for any input, and the table read.
// Render thread.

#include "Sigpro/modules/sp_ftbl.h"

#include <cmath>
#include <cstdint>

namespace sigpro {

inline constexpr std::uint32_t tablePhaseMask = 0xFFFFFF;

// An integer-valued double as a phase step: only its low 24 bits matter, so a value beyond 32 bits is
// reduced modulo 2^24 (exactly) instead of overflowing the conversion; NaN and infinities step by 0.
inline std::int32_t tablePhaseFromWhole(double whole) {
    if (!std::isfinite(whole)) return 0;
    if (whole >= -2147483648.0 && whole < 2147483648.0) return static_cast<std::int32_t>(whole);
    return static_cast<std::int32_t>(std::fmod(whole, 16777216.0));
}

// Round to nearest, ties to even (the default rounding mode).
inline std::int32_t tablePhaseRounded(float v) {
    return tablePhaseFromWhole(std::nearbyint(double(v)));
}

inline std::int32_t tablePhaseTruncated(float v) {
    return tablePhaseFromWhole(std::trunc(double(v)));
}

// trunc(|cycles| x 2^24) AND 0xFFFFFF: 0.25 and 1.25 both start a quarter cycle in. NaN starts at 0.
inline std::int32_t tablePhaseFromCycles(float cycles) {
    const double whole = std::trunc(std::fabs(double(cycles)) * 16777216.0);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(tablePhaseFromWhole(whole)) & tablePhaseMask);
}

// Wrapping sum, masked to 24 bits; unsigned so a large step never overflows a signed value.
inline std::int32_t tablePhaseAdvance(std::int32_t phase, std::int32_t increment) {
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(phase) + static_cast<std::uint32_t>(increment)) & tablePhaseMask);
}

// Index of the point under a masked phase. For a table whose size is not a power of two the index bits
// can address up to twice the size, so such an index wraps into the table instead of reading past it.
inline std::size_t tablePhaseIndex(const sp_ftbl* ft, std::int32_t phase) {
    std::size_t index = static_cast<std::uint32_t>(phase) >> ft->index_bits;
    if (index >= ft->size) index %= ft->size;
    return index;
}

inline float tablePhaseFraction(const sp_ftbl* ft, std::int32_t phase) {
    return static_cast<float>(phase & ft->frac_mask) * ft->frac_scale;
}

// Linear interpolation at a masked phase; the point after the last is the first.
inline float tablePhaseRead(const sp_ftbl* ft, std::int32_t phase) {
    const std::size_t index = tablePhaseIndex(ft, phase);
    const std::size_t next = index + 1 == ft->size ? 0 : index + 1;
    const float a = ft->table[index];
    const float b = ft->table[next];
    return a + (b - a) * tablePhaseFraction(ft, phase);
}

inline bool tableUsable(const sp_ftbl* ft) {
    return ft != nullptr && ft->size > 0 && ft->table != nullptr;
}

} // namespace sigpro
