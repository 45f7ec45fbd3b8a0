#include "Sigpro/modules/sp_phasor.h"

#include "Sigpro/modules/RecordLifetime.h"

namespace sigpro {

int sp_phasor_create(sp_phasor** p) {
    return createModuleRecord(p);
}

int sp_phasor_destroy(sp_phasor** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_phasor_init(sp_data* sp, sp_phasor* p, float initial_phase) {
    p->frequency = 440.0f;
    p->initial_phase = initial_phase;
    p->phase = initial_phase;
    p->seconds_per_sample = 1.0f / static_cast<float>(sp->sample_rate);
    return 1;
}

int sp_phasor_compute(sp_data*, sp_phasor* p, float*, float* out) {
    *out = p->phase;
    float next = p->phase + p->frequency * p->seconds_per_sample;
    if (next >= 1.0f) {
        next -= 1.0f;
    } else if (next < 0.0f) {
        next += 1.0f;
    }
    p->phase = next;
    return 1;
}

} // namespace sigpro
