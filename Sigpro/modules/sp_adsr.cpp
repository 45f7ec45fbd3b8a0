#include "Sigpro/modules/sp_adsr.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

namespace {
// The pole of a one-pole smoother reaching 1 - 1/e of its step after `samples` samples.
void adsrSetPole(sp_adsr* p, float samples) {
    p->pole = static_cast<float>(std::exp(-1.0 / double(samples)));
    p->one_minus_pole = 1.0f - p->pole;
}

float adsrSmooth(sp_adsr* p) {
    p->level = p->target * p->one_minus_pole + p->pole * p->level;
    return p->level;
}
} // namespace

int sp_adsr_create(sp_adsr** p) {
    return createModuleRecord(p);
}

int sp_adsr_destroy(sp_adsr** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_adsr_init(sp_data*, sp_adsr* p) {
    *p = sp_adsr{};
    p->attack = 0.1f;
    p->decay = 0.1f;
    p->sustain = 0.5f;
    p->release = 0.3f;
    p->stage = sp_adsr_idle;
    return 1;
}

int sp_adsr_compute(sp_data* sp, sp_adsr* p, float* in, float* out) {
    const float rate = static_cast<float>(sp->sample_rate);
    const float gate = *in;

    if (gate > p->previous_gate && p->stage != sp_adsr_decay) {
        p->stage = sp_adsr_attack;
        adsrSetPole(p, static_cast<float>(double(p->attack) * 0.6) * rate);
        p->target = gate;
        p->previous_gate = gate;
    } else if (gate < p->previous_gate) {
        p->stage = sp_adsr_release;
        adsrSetPole(p, rate * p->release);
        p->previous_gate = gate;
        p->target = gate * p->sustain;
        *out = adsrSmooth(p);
        return 1;
    } else {
        p->target = gate;
        p->previous_gate = gate;
        if (p->stage == sp_adsr_idle) {
            *out = 0.0f;
            return 1;
        }
        if (p->stage != sp_adsr_attack) {
            p->target = gate * p->sustain;
            *out = adsrSmooth(p);
            return 1;
        }
    }

    // Attack. Compared with the target rather than with full scale: a gate below 0.99 (a soft note)
    // would otherwise never leave the attack and never fall to its sustain.
    *out = adsrSmooth(p);
    if (p->level > 0.99f * p->target) {
        p->stage = sp_adsr_decay;
        adsrSetPole(p, rate * p->decay);
    }
    return 1;
}

} // namespace sigpro
