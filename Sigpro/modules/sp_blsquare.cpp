#include "Sigpro/modules/sp_blsquare.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace sigpro {

namespace {
constexpr int blsquareLineSize = 4096;
constexpr int blsquareLineMask = blsquareLineSize - 1;
// Longest delay of the pulse's second edge, in samples: half the line.
constexpr float blsquareMaxDelay = 2047.0f;
// Lowest frequency: at 48 kHz a whole period (width 1) is just the longest delay.
constexpr float blsquareMinFrequency = 23.4489f;
} // namespace

struct sp_blsquare_state {
    float line[blsquareLineSize];
    std::int32_t start[2];
    float phase[2];
    float squared[2];
    float amp;
    std::int32_t sample_rate;
    float rate;
    float width;
    float frequency;
    float quarter_rate;
    float reciprocal_rate;
    std::int32_t write_index;
};

int sp_blsquare_create(sp_blsquare** p) {
    return createModuleRecord(p);
}

int sp_blsquare_destroy(sp_blsquare** p) {
    if (p != nullptr && *p != nullptr) delete (*p)->state;
    destroyModuleRecord(p);
    return 1;
}

int sp_blsquare_init(sp_data* sp, sp_blsquare* p) {
    if (p->state == nullptr) p->state = new (std::nothrow) sp_blsquare_state;
    sp_blsquare_state* s = p->state;
    if (s == nullptr) {
        p->param_count = 0;
        p->params[0] = p->params[1] = p->params[2] = nullptr;
        p->frequency = p->amp = p->width = nullptr;
        std::fputs("sp_blsquare: out of memory\n", stderr);
        return 0;
    }
    *s = sp_blsquare_state{};
    s->amp = 1.0f;
    s->sample_rate = sp->sample_rate;
    s->rate = static_cast<float>(std::min(192000, std::max(1, sp->sample_rate)));
    s->width = 0.5f;
    s->frequency = 440.0f;
    s->quarter_rate = 0.25f * s->rate;
    s->reciprocal_rate = 1.0f / s->rate;

    // Registered ranges (not enforced): frequency 0 ... 20000, amp 0 ... 1, width 0 ... 1.
    p->params[0] = &s->frequency;
    p->params[1] = &s->amp;
    p->params[2] = &s->width;
    p->param_count = 3;
    p->frequency = p->params[0];
    p->amp = p->params[1];
    p->width = p->params[2];
    return 1;
}

int sp_blsquare_compute(sp_data*, sp_blsquare* p, float*, float* out) {
    sp_blsquare_state* s = p->state;
    if (s == nullptr) {
        *out = 0.0f;
        return 1;
    }
    // Written so that a NaN frequency takes the floor, like any frequency below it.
    const float f = s->frequency > blsquareMinFrequency ? s->frequency : blsquareMinFrequency;
    float delay = s->width / f * s->rate;
    if (delay > blsquareMaxDelay) delay = blsquareMaxDelay;
    if (!(delay > 0.0f)) delay = 0.0f;
    const int whole = static_cast<int>(delay);

    const float scale = s->quarter_rate / f;
    const float step = f * s->reciprocal_rate;
    const float started = static_cast<float>(s->start[1]);

    s->phase[0] = std::fmod(s->phase[1] + step, 1.0f);
    const float bipolar = 2.0f * s->phase[0] - 1.0f;
    s->squared[0] = bipolar * bipolar;
    const float saw = (s->squared[0] - s->squared[1]) * started * scale;

    const int index = s->write_index;
    s->line[index & blsquareLineMask] = saw;
    const float delayed =
        s->line[(index - whole) & blsquareLineMask] * (static_cast<float>(whole) + 1.0f - delay) +
        s->line[(index - whole - 1) & blsquareLineMask] * (delay - static_cast<float>(whole));
    *out = (saw - delayed) * s->amp;

    s->phase[1] = s->phase[0];
    s->squared[1] = s->squared[0];
    s->write_index = (index + 1) & blsquareLineMask;
    s->start[1] = s->start[0] = 1;
    return 1;
}

} // namespace sigpro
