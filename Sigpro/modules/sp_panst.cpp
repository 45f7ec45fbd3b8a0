#include "Sigpro/modules/sp_panst.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

int sp_panst_create(sp_panst** p) {
    return createModuleRecord(p);
}

int sp_panst_destroy(sp_panst** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_panst_init(sp_data*, sp_panst* p) {
    p->pan = 0.0f;
    p->type = 0;
    return 1;
}

int sp_panst_compute(sp_data*, sp_panst* p, float* in_left, float* in_right, float* out_left,
                     float* out_right) {
    const float c = static_cast<float>((double(p->pan) + 1.0) / 2.0);
    const double angle = double(c) * (std::numbers::pi / 2.0);
    float left;
    float right;
    switch (p->type & 3u) {
    case 0:
        left = static_cast<float>(std::cos(angle));
        right = static_cast<float>(std::sin(angle));
        break;
    case 1:
        left = static_cast<float>(std::sqrt(double(c)));
        right = static_cast<float>(std::sqrt(1.0 - double(c)));
        break;
    case 2:
        left = 1.0f - c;
        right = c;
        break;
    default: {
        const double half = std::numbers::sqrt2 / 2.0;
        left = static_cast<float>((std::cos(angle) + std::sin(angle)) * half);
        right = static_cast<float>((std::cos(angle) - std::sin(angle)) * half);
        break;
    }
    }
    *out_left = left * *in_left;
    *out_right = right * *in_right;
    return 1;
}

} // namespace sigpro
