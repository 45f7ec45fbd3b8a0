#include "Sigpro/modules/sp_pshift.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace sigpro {

namespace {
constexpr std::uint32_t pshiftLineSize = 65536;
constexpr std::uint32_t pshiftLineMask = pshiftLineSize - 1;
// The semitone factor is this float, a hair below 1/12; +12 semitones is then a ratio just under 2.
constexpr float pshiftSemitone = std::bit_cast<float>(0x3DAAAAA6u);
// Largest float below 2^31: delays beyond it cannot be converted to a line index.
constexpr float pshiftMaxDelay = 2147483520.0f;
} // namespace

struct sp_pshift_state {
    float line[pshiftLineSize];
    float shift;
    float window;
    float crossfade;
    float offset;
    float last_offset;
    std::uint32_t write_index;
    // 2^(shift / 12) for `cached_shift`; recomputed only when the shift changes.
    float cached_shift;
    float cached_ratio;
};

namespace {

// The line read `delay` samples behind the write position, interpolated linearly.
inline float pshiftTap(const sp_pshift_state& s, float delay) {
    // Keeps the integer conversion defined; such delays only alias anyway.
    if (!(std::fabs(delay) < pshiftMaxDelay)) delay = 0.0f;
    const auto whole = static_cast<std::int32_t>(delay);
    const float wholeF = static_cast<float>(whole);
    const std::uint32_t index = s.write_index - static_cast<std::uint32_t>(whole);
    return (wholeF + 1.0f - delay) * s.line[index & pshiftLineMask] +
           (delay - wholeF) * s.line[(index - 1u) & pshiftLineMask];
}

} // namespace

int sp_pshift_create(sp_pshift** p) {
    return createModuleRecord(p);
}

int sp_pshift_destroy(sp_pshift** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->memory);
    destroyModuleRecord(p);
    return 1;
}

int sp_pshift_init(sp_data*, sp_pshift* p) {
    if (!sp_auxdata_alloc(&p->memory, sizeof(sp_pshift_state))) {
        p->state = nullptr;
        p->shift = p->window = p->crossfade = nullptr;
        std::fputs("sp_pshift: out of memory\n", stderr);
        return 0;
    }
    // The zero-filled block is the cleared line and state.
    auto* s = static_cast<sp_pshift_state*>(p->memory.data);
    s->shift = 0.0f;
    s->window = 1000.0f;
    s->crossfade = 10.0f;
    s->cached_shift = 0.0f;
    s->cached_ratio = 1.0f;
    p->state = s;
    p->shift = &s->shift;
    p->window = &s->window;
    p->crossfade = &s->crossfade;
    return 1;
}

int sp_pshift_compute(sp_data*, sp_pshift* p, float* in, float* out) {
    sp_pshift_state* s = p->state;
    if (s == nullptr) {
        *out = 0.0f;
        return 1;
    }
    if (s->shift != s->cached_shift) {
        s->cached_shift = s->shift;
        s->cached_ratio = static_cast<float>(std::pow(2.0, double(s->shift * pshiftSemitone)));
    }
    const float w = s->window;
    const float r = w + 1.0f - s->cached_ratio;
    s->line[s->write_index & pshiftLineMask] = *in;

    float offset = std::fmod(r + s->last_offset, w);
    // A window of 0 (or a ratio beyond float range) has no remainder; read at the write position.
    if (!std::isfinite(offset)) offset = 0.0f;
    // Written so that a crossfade of 0 (0 x infinity) counts as fully faded in. A window shorter than
    // the ratio makes the offset negative; an unclamped gain would then reach minus infinity with a
    // crossfade of 0, and amplify by offset / crossfade with a small one.
    float g = offset * (1.0f / s->crossfade);
    if (!(g < 1.0f))
        g = 1.0f;
    else if (g < 0.0f)
        g = 0.0f;

    const float a = pshiftTap(*s, offset);
    const float b = pshiftTap(*s, w + offset);
    *out = g * a + (1.0f - g) * b;

    s->write_index += 1u;
    s->last_offset = offset;
    return 1;
}

} // namespace sigpro
