#include "Sigpro/modules/sp_comb.h"

#include "Sigpro/modules/LoopDelayLine.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

int sp_comb_create(sp_comb** p) {
    return createModuleRecord(p);
}

int sp_comb_destroy(sp_comb** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->buffer);
    destroyModuleRecord(p);
    return 1;
}

int sp_comb_init(sp_data* sp, sp_comb* p, float loop_time) {
    return loopDelayLineInit(sp, p, loop_time, "sp_comb");
}

int sp_comb_compute(sp_data*, sp_comb* p, float* in, float* out) {
    if (p->line_length <= 0) {
        *out = 0.0f;
        return 1;
    }
    if (p->reverb_time != p->last_reverb_time) {
        p->last_reverb_time = p->reverb_time;
        // -6.9078 is ln(0.001): 60 dB down after reverb_time. Below a gain of 1e-16 the loop is cut.
        const float exponent = p->loop_time * -6.9078f / p->reverb_time;
        p->coefficient = exponent < -36.8413615f ? 0.0f : static_cast<float>(std::exp(double(exponent)));
    }
    auto* line = static_cast<float*>(p->buffer.data);
    const float y = line[p->position];
    line[p->position] = p->coefficient * y + *in;
    *out = y;
    if (++p->position >= p->line_length) p->position = 0;
    return 1;
}

} // namespace sigpro
