#include "Sigpro/modules/sp_dist.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

int sp_dist_create(sp_dist** p) {
    return createModuleRecord(p);
}

int sp_dist_destroy(sp_dist** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_dist_init(sp_data*, sp_dist* p) {
    p->pregain = 2.0f;
    p->postgain = 0.5f;
    p->shape1 = 0.0f;
    p->shape2 = 0.0f;
    return 1;
}

int sp_dist_compute(sp_data*, sp_dist* p, float* in, float* out) {
    const float pre = static_cast<float>(double(p->pregain) * 6.5536);
    const float post = static_cast<float>(double(p->postgain) * 0.61035156 * 0.5);
    const float s1 = static_cast<float>(double(p->shape1) * 4.096);
    const float s2 = static_cast<float>(double(p->shape2) * 4.096);
    const float x = *in;

    const double a = double(x * pre);
    double ratio;
    if (std::fabs(a) < 300.0) {
        ratio = (std::exp(double(x * (pre + s1))) - std::exp(double(x * (s2 - pre)))) / std::cosh(a);
    } else {
        // Loud input would overflow numerator and denominator alike (inf / inf). Divided by e^|x pre|
        // they give the same value.
        const double positive = double(x * s1);
        const double negative = double(x * s2);
        const double fall = std::exp(-2.0 * std::fabs(a));
        ratio = a > 0.0 ? 2.0 * (std::exp(positive) - std::exp(negative) * fall) / (1.0 + fall)
                        : 2.0 * (std::exp(positive) * fall - std::exp(negative)) / (fall + 1.0);
    }
    *out = static_cast<float>(double(post) * ratio);
    return 1;
}

} // namespace sigpro
