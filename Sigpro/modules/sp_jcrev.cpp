#include "Sigpro/modules/sp_jcrev.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace sigpro {

namespace {
// Every line's size divides the largest, so one write index wrapped at it serves them all.
constexpr std::int32_t jcrevLargestLine = 4096;
} // namespace

struct sp_jcrev_state {
    float comb3[4096];
    float comb4[4096];
    float comb1[2048];
    float comb2[2048];
    float allpass1[512];
    float allpass2[128];
    float allpass3[64];
    float read[7];  // read from each line at the previous sample, in the order allpass1 ... 3, comb1 ... 4
    float combs[4]; // the comb outputs of the previous sample
    std::int32_t write_index;
    std::int32_t sample_rate;
};

int sp_jcrev_create(sp_jcrev** p) {
    return createModuleRecord(p);
}

int sp_jcrev_destroy(sp_jcrev** p) {
    if (p != nullptr && *p != nullptr) delete (*p)->state;
    destroyModuleRecord(p);
    return 1;
}

int sp_jcrev_init(sp_data* sp, sp_jcrev* p) {
    if (p->state == nullptr) p->state = new (std::nothrow) sp_jcrev_state;
    if (p->state == nullptr) {
        std::fputs("sp_jcrev: out of memory\n", stderr);
        return 0;
    }
    std::memset(p->state, 0, sizeof(sp_jcrev_state));
    p->state->sample_rate = sp->sample_rate;
    return 1;
}

int sp_jcrev_compute(sp_data*, sp_jcrev* p, float* in, float* out) {
    sp_jcrev_state* s = p->state;
    if (s == nullptr) {
        *out = 0.0f;
        return 1;
    }
    const std::int32_t i = s->write_index;
    float* r = s->read;

    // Each line is read one sample after the write it is timed against, so every loop is one longer
    // than its read offset.
    const float w1 = 0.06f * *in + 0.7f * r[0];
    s->allpass1[i & 511] = w1;
    const float a1 = r[0] - 0.7f * w1;
    r[0] = s->allpass1[(i - 346) & 511];

    const float w2 = a1 + 0.7f * r[1];
    s->allpass2[i & 127] = w2;
    const float a2 = r[1] - 0.7f * w2;
    r[1] = s->allpass2[(i - 112) & 127];

    const float w3 = a2 + 0.7f * r[2];
    s->allpass3[i & 63] = w3;
    const float a3 = r[2] - 0.7f * w3;
    r[2] = s->allpass3[(i - 36) & 63];

    const float c1 = 0.802f * r[3] + a3;
    const float c2 = 0.773f * r[4] + a3;
    const float c3 = 0.753f * r[5] + a3;
    const float c4 = 0.733f * r[6] + a3;
    s->comb1[i & 2047] = c1;
    s->comb2[i & 2047] = c2;
    s->comb3[i & 4095] = c3;
    s->comb4[i & 4095] = c4;
    r[3] = s->comb1[(i - 1600) & 2047];
    r[4] = s->comb2[(i - 1866) & 2047];
    r[5] = s->comb3[(i - 2052) & 4095];
    r[6] = s->comb4[(i - 2250) & 4095];

    *out = s->combs[0] + s->combs[1] + s->combs[2] + s->combs[3];
    s->combs[0] = c1;
    s->combs[1] = c2;
    s->combs[2] = c3;
    s->combs[3] = c4;
    s->write_index = (i + 1) & (jcrevLargestLine - 1);
    return 1;
}

} // namespace sigpro
