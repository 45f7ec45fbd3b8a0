#include "Sigpro/modules/sp_bal.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

int sp_bal_create(sp_bal** p) {
    return createModuleRecord(p);
}

int sp_bal_destroy(sp_bal** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_bal_init(sp_data* sp, sp_bal* p) {
    *p = sp_bal{};
    p->half_power_freq = 10.0f;
    const float w = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate * p->half_power_freq);
    const float b = static_cast<float>(2.0 - std::cos(double(w)));
    p->c2 = static_cast<float>(b - std::sqrt(double(b * b) - 1.0));
    p->c1 = 1.0f - p->c2;
    return 1;
}

int sp_bal_compute(sp_data*, sp_bal* p, float* signal, float* comparator, float* out) {
    const float s = *signal;
    const float c = *comparator;
    p->signal_power = p->c1 * s * s + p->c2 * p->signal_power;
    p->comparator_power = p->c1 * c * c + p->c2 * p->comparator_power;
    const float divisor = p->signal_power == 0.0f ? 1.0f : p->signal_power;
    const float g = static_cast<float>(std::sqrt(double(p->comparator_power / divisor)));
    *out = p->gain * s;
    p->gain = g;
    return 1;
}

} // namespace sigpro
