#include "Sigpro/modules/sp_pluck.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cstdio>

namespace sigpro {
namespace {

void pluckFillWithNoise(sp_data* sp, sp_pluck* p) {
    auto* table = static_cast<float*>(p->table.data);
    for (std::int32_t k = 0; k < p->length; ++k)
        table[k] = 2.0f * (static_cast<float>(sp_rand(sp)) * 4.656613e-10f) - 1.0f;
    p->phase = 0;
}

int pluckRefuse(sp_pluck* p, const char* message) {
    sp_auxdata_free(&p->table);
    p->length = p->max_length = 0;
    p->silent = 1;
    std::fputs(message, stderr);
    return 0;
}

} // namespace

int sp_pluck_create(sp_pluck** p) {
    return createModuleRecord(p);
}

int sp_pluck_destroy(sp_pluck** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->table);
    destroyModuleRecord(p);
    return 1;
}

int sp_pluck_init(sp_data* sp, sp_pluck* p, float initial_frequency) {
    p->amplitude = 0.5f;
    p->frequency = initial_frequency;
    p->initial_frequency = initial_frequency;
    p->silent = 1;
    p->phase = 0;
    if (!(initial_frequency > 0.0f))
        return pluckRefuse(p, "sp_pluck: the initial frequency must be above 0\n");

    // A context rate below 1 Hz would divide by zero below; such a string reads a whole period a sample.
    const int rate = sp->sample_rate > 1 ? sp->sample_rate : 1;
    const float points = static_cast<float>(rate) / initial_frequency;
    std::int32_t length = 64;
    if (points >= static_cast<float>(sp_pluck_max_length))
        length = sp_pluck_max_length;
    else if (points > 64.0f)
        length = static_cast<std::int32_t>(points);
    p->length = p->max_length = length;
    p->phase_step_scale = static_cast<float>((length * 256.0 + 128.0) / rate);
    if (!sp_auxdata_alloc(&p->table, sizeof(float) * (static_cast<std::size_t>(length) + 1)))
        return pluckRefuse(p, "sp_pluck: out of memory\n");
    pluckFillWithNoise(sp, p);
    return 1;
}

int sp_pluck_compute(sp_data* sp, sp_pluck* p, float* trigger, float* out) {
    if (p->table.data == nullptr || p->length < 1) {
        *out = 0.0f;
        return 1;
    }
    if (*trigger != 0.0f) {
        p->silent = 0;
        pluckFillWithNoise(sp, p);
    }
    if (p->silent) {
        *out = 0.0f;
        return 1;
    }
    auto* table = static_cast<float*>(p->table.data);
    const std::int32_t period = p->length * 256;
    // At most one period per sample, so one subtraction below keeps the phase inside the table; a
    // negative or NaN frequency holds the phase still instead of reading outside it.
    const float wanted = p->frequency * p->phase_step_scale;
    std::int32_t step = 0;
    if (wanted >= static_cast<float>(period))
        step = period;
    else if (wanted > 0.0f)
        step = static_cast<std::int32_t>(wanted);

    const std::int32_t i = p->phase >> 8;
    const auto fraction = static_cast<float>((p->phase & 255) * 0.00390625);
    *out = (table[i] + fraction * (table[i + 1] - table[i])) * p->amplitude;

    std::int32_t next = p->phase + step;
    if (next >= period) {
        const float first = table[0];
        table[0] = table[p->length];
        float v = first;
        for (std::int32_t k = 1; k <= p->length; ++k) {
            v = (v + table[k]) * 0.5f;
            table[k] = v;
        }
        next -= period;
    }
    p->phase = next;
    return 1;
}

} // namespace sigpro
