#include "Sigpro/modules/sp_lpf18.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

int sp_lpf18_create(sp_lpf18** p) {
    return createModuleRecord(p);
}

int sp_lpf18_destroy(sp_lpf18** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_lpf18_init(sp_data* sp, sp_lpf18* p) {
    p->frequency = 1000.0f;
    p->resonance = 0.8f;
    p->distortion = 2.0f;
    p->y1 = p->y2 = p->y3 = 0.0f;
    p->last_in = 0.0f;
    p->one_over_sr = static_cast<float>(1.0 / sp->sample_rate);
    return 1;
}

int sp_lpf18_compute(sp_data*, sp_lpf18* p, float* in, float* out) {
    const float x = *in;
    // Polynomial fits of the pole and of the resonance correction over the normalised cutoff.
    const float kfcn = static_cast<float>(2.0 * p->frequency * p->one_over_sr);
    const float kp = static_cast<float>(((-2.7528 * kfcn + 3.0429) * kfcn + 1.718) * kfcn - 0.9984);
    const float kp1 = kp + 1.0f;
    const float kp1h = 0.5f * kp1;
    const float kres =
        static_cast<float>(p->resonance * (((-2.7079 * kp1 + 10.963) * kp1 - 14.934) * kp1 + 8.4974));
    const double value = 1.0 + p->distortion * (1.5 + 2.0 * p->resonance * (1.0 - kfcn));

    const float a = p->last_in;
    const float b = p->y1;
    const float c = p->y2;
    const float n = static_cast<float>(x - std::tanh(double(kres * p->y3)));
    p->last_in = n;
    p->y1 = kp1h * (n + a) - kp * b;
    p->y2 = kp1h * (p->y1 + b) - kp * c;
    p->y3 = kp1h * (p->y2 + c) - kp * p->y3;
    *out = static_cast<float>(std::tanh(p->y3 * value));
    return 1;
}

} // namespace sigpro
