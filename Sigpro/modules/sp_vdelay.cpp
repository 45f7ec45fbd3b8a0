#include "Sigpro/modules/sp_vdelay.h"

#include "Sigpro/modules/DelayCubic.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdio>

namespace sigpro {
namespace {
// Longest maximum in samples: the ring length stays an int32 with room for the three extra points.
constexpr float vdelayMaxSamples = 2147483520.0f; // largest float below 2^31 - 3
} // namespace

int sp_vdelay_create(sp_vdelay** p) {
    return createModuleRecord(p);
}

int sp_vdelay_destroy(sp_vdelay** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->buffer);
    destroyModuleRecord(p);
    return 1;
}

int sp_vdelay_init(sp_data* sp, sp_vdelay* p, float max_delay) {
    p->max_delay = max_delay;
    p->delay = max_delay * 0.5f;
    p->feedback = 0.0f;
    p->last_output = 0.0f;
    p->sample_rate_f = static_cast<float>(sp->sample_rate);
    p->write_index = 0;

    const float samples = max_delay * p->sample_rate_f;
    if (samples >= vdelayMaxSamples) {
        sp_auxdata_free(&p->buffer);
        p->max_samples = p->size = 0;
        std::fputs("sp_vdelay: maximum delay too long\n", stderr);
        return 0;
    }
    p->max_samples = samples >= 1.0f ? static_cast<std::int32_t>(samples) : 1;
    p->size = p->max_samples + 3;
    if (!sp_auxdata_alloc(&p->buffer, sizeof(float) * static_cast<std::size_t>(p->size))) {
        p->max_samples = p->size = 0;
        std::fputs("sp_vdelay: out of memory\n", stderr);
        return 0;
    }
    return 1;
}

int sp_vdelay_compute(sp_data* sp, sp_vdelay* p, float* in, float* out) {
    if (p->buffer.data == nullptr || p->size < 1) {
        *out = 0.0f;
        return 1;
    }
    auto* line = static_cast<float*>(p->buffer.data);
    const std::int32_t n = p->size;
    const std::int32_t w = p->write_index;
    line[w] = *in + p->feedback * p->last_output;

    auto samples = static_cast<float>(static_cast<double>(p->delay) * sp->sample_rate);
    if (!(std::fabs(samples) < static_cast<float>(n)))
        samples =
            std::isfinite(samples) ? static_cast<float>(std::fmod(samples, static_cast<float>(n))) : 0.0f;
    const float offset = -samples;
    auto whole = static_cast<std::int32_t>(offset);
    float fraction = offset - static_cast<float>(whole);
    if (w + whole < 0 || fraction < 0.0f) {
        whole -= 1;
        fraction += 1.0f;
    }
    std::int32_t i = w + whole;
    if (i < 0)
        i += n;
    else if (i >= n)
        i -= n;
    const std::int32_t next = i + 1 < n ? i + 1 : i + 1 - n;

    float y;
    if (p->max_samples >= 4) {
        const std::int32_t before = i > 0 ? i - 1 : n - 1;
        const std::int32_t after = next + 1 < n ? next + 1 : next + 1 - n;
        y = delayCubic(fraction, line[before], line[i], line[next], line[after]);
    } else {
        y = line[i] + fraction * (line[next] - line[i]);
    }
    *out = y;
    p->last_output = y;
    p->write_index = w + 1 < n ? w + 1 : 0;
    return 1;
}

} // namespace sigpro
