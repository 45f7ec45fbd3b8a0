#include "Sigpro/modules/sp_streson.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <cstdio>

namespace sigpro {

int sp_streson_create(sp_streson** p) {
    return createModuleRecord(p);
}

int sp_streson_destroy(sp_streson** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->loop);
    destroyModuleRecord(p);
    return 1;
}

int sp_streson_init(sp_data* sp, sp_streson* p) {
    p->frequency = 440.0f;
    p->feedback = 0.8f;
    p->write_index = 0;
    p->read_index = 0;
    p->lowpass_state = 0.0f;
    p->allpass_state = 0.0f;
    p->loop_length = 0;
    // The loop holds the period of the lowest tone; a rate below 20 Hz would leave no loop at all.
    const std::int32_t length = sp->sample_rate / 20 > 0 ? sp->sample_rate / 20 : 1;
    if (!sp_auxdata_alloc(&p->loop, sizeof(float) * static_cast<std::size_t>(length))) {
        std::fputs("sp_streson: out of memory\n", stderr);
        return 0;
    }
    p->loop_length = length;
    return 1;
}

int sp_streson_compute(sp_data* sp, sp_streson* p, float* in, float* out) {
    const std::int32_t length = p->loop_length;
    if (length <= 0) {
        *out = 0.0f;
        return 1;
    }
    // Written so that NaN counts as the lowest frequency too.
    const float frequency = p->frequency > 20.0f ? p->frequency : 20.0f;
    const double period = double(static_cast<float>(sp->sample_rate) / frequency);

    // Whole samples n, plus half a sample from the average, plus `fraction` from the all-pass.
    double whole = std::trunc(period - 0.5);
    if (!(whole >= 0.0)) whole = 0.0;
    if (whole > double(length)) whole = double(length);
    const std::int32_t n = static_cast<std::int32_t>(whole);
    const float fraction = static_cast<float>(period - (double(n) + 0.5));
    const float g = (1.0f - fraction) / (1.0f + fraction);

    std::int32_t r = length - n + p->write_index;
    if (r >= length) r -= length;
    p->read_index = r;

    auto* loop = static_cast<float*>(p->loop.data);
    const float w = loop[r] + *in;
    const float m = (p->lowpass_state + w) * 0.5f;
    const float y = m * g + p->allpass_state;
    loop[p->write_index] = p->feedback * y;
    if (++p->write_index >= length) p->write_index = 0;
    p->lowpass_state = w;
    p->allpass_state = m - y * g;
    *out = y;
    return 1;
}

} // namespace sigpro
