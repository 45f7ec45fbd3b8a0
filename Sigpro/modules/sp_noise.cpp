#include "Sigpro/modules/sp_noise.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_noise_create(sp_noise** p) {
    return createModuleRecord(p);
}

int sp_noise_destroy(sp_noise** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_noise_init(sp_data*, sp_noise* p) {
    p->amp = 1.0f;
    return 1;
}

int sp_noise_compute(sp_data* sp, sp_noise* p, float*, float* out) {
    const float r = static_cast<float>((sp_rand(sp) & 0x7FFFFFFFu) * (1.0 / 2147483648.0));
    *out = (2.0f * r - 1.0f) * p->amp;
    return 1;
}

} // namespace sigpro
