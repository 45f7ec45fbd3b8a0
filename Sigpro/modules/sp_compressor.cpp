#include "Sigpro/modules/sp_compressor.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <new>

namespace sigpro {

struct sp_compressor_state {
    float ratio;
    float threshold;
    float attack;
    float release;
    float envelope[2]; // current, previous
    float gain_db[2];  // current, previous
    std::int32_t sample_rate;
    float rate; // clamped to 1 ... 192000
    float two_over_rate;
    float one_over_rate;
};

int sp_compressor_create(sp_compressor** p) {
    return createModuleRecord(p);
}

int sp_compressor_destroy(sp_compressor** p) {
    if (p != nullptr && *p != nullptr) delete (*p)->state;
    destroyModuleRecord(p);
    return 1;
}

int sp_compressor_init(sp_data* sp, sp_compressor* p) {
    if (p->state == nullptr) p->state = new (std::nothrow) sp_compressor_state;
    sp_compressor_state* s = p->state;
    if (s == nullptr) {
        p->param_count = 0;
        std::fill(std::begin(p->params), std::end(p->params), nullptr);
        p->ratio = p->threshold = p->attack = p->release = nullptr;
        std::fputs("sp_compressor: out of memory\n", stderr);
        return 0;
    }
    *s = sp_compressor_state{};
    s->ratio = 1.0f;
    s->threshold = 0.0f;
    s->attack = 0.1f;
    s->release = 0.1f;
    s->sample_rate = sp->sample_rate;
    s->rate = static_cast<float>(std::min(192000, std::max(1, sp->sample_rate)));
    s->two_over_rate = 2.0f / s->rate;
    s->one_over_rate = 1.0f / s->rate;

    p->params[0] = &s->ratio;
    p->params[1] = &s->threshold;
    p->params[2] = &s->attack;
    p->params[3] = &s->release;
    p->param_count = 4;
    p->ratio = p->params[0];
    p->threshold = p->params[1];
    p->attack = p->params[2];
    p->release = p->params[3];
    return 1;
}

int sp_compressor_compute(sp_data*, sp_compressor* p, float* in, float* out) {
    sp_compressor_state* s = p->state;
    if (s == nullptr) {
        *out = 0.0f;
        return 1;
    }
    const float x = *in;
    const float smoother = static_cast<float>(std::exp(double(-s->two_over_rate / s->attack)));
    const float slope = (1.0f / s->ratio - 1.0f) * (1.0f - smoother);
    const float att = static_cast<float>(std::exp(double(-s->one_over_rate / s->attack)));
    const float rel = static_cast<float>(std::exp(double(-s->one_over_rate / s->release)));

    const float level = std::fabs(x);
    const float c = s->envelope[1] > level ? rel : att;
    s->envelope[0] = c * s->envelope[1] + (1.0f - c) * level;

    const double over = 20.0 * std::log10(double(s->envelope[0])) - double(s->threshold);
    s->gain_db[0] = static_cast<float>(std::max(0.0, over) * slope + double(smoother * s->gain_db[1]));
    *out = static_cast<float>(std::pow(10.0, double(s->gain_db[0] * 0.05f))) * x;

    s->envelope[1] = s->envelope[0];
    s->gain_db[1] = s->gain_db[0];
    return 1;
}

} // namespace sigpro
