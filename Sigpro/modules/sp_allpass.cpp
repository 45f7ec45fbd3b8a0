#include "Sigpro/modules/sp_allpass.h"

#include "Sigpro/modules/LoopDelayLine.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

int sp_allpass_create(sp_allpass** p) {
    return createModuleRecord(p);
}

int sp_allpass_destroy(sp_allpass** p) {
    if (p != nullptr && *p != nullptr) sp_auxdata_free(&(*p)->buffer);
    destroyModuleRecord(p);
    return 1;
}

int sp_allpass_init(sp_data* sp, sp_allpass* p, float loop_time) {
    return loopDelayLineInit(sp, p, loop_time, "sp_allpass");
}

int sp_allpass_compute(sp_data*, sp_allpass* p, float* in, float* out) {
    if (p->line_length <= 0) {
        *out = 0.0f;
        return 1;
    }
    if (p->reverb_time != p->last_reverb_time) {
        p->last_reverb_time = p->reverb_time;
        // -6.9078 is ln(0.001): 60 dB down after reverb_time.
        p->coefficient =
            static_cast<float>(std::exp(double(p->loop_time) * -6.9078 / double(p->reverb_time)));
    }
    auto* line = static_cast<float*>(p->buffer.data);
    const float y = line[p->position];
    const float z = p->coefficient * y + *in;
    line[p->position] = z;
    *out = y - p->coefficient * z;
    if (++p->position >= p->line_length) p->position = 0;
    return 1;
}

} // namespace sigpro
