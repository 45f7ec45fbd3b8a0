#include "Sigpro/modules/sp_fosc.h"

#include "Sigpro/modules/RecordLifetime.h"
#include "Sigpro/modules/TablePhase.h"

#include <cstdio>

namespace sigpro {

int sp_fosc_create(sp_fosc** p) {
    return createModuleRecord(p);
}

int sp_fosc_destroy(sp_fosc** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_fosc_init(sp_data*, sp_fosc* p, sp_ftbl* ft) {
    p->amp = 0.4f;
    p->frequency = 440.0f;
    p->carrier = 1.0f;
    p->modulator = 1.0f;
    p->index = 1.0f;
    p->initial_phase = 0.0f;
    p->mod_phase = 0;
    p->car_phase = 0;
    if (!tableUsable(ft)) {
        p->ft = nullptr;
        std::fputs("sp_fosc: the wavetable is missing or empty\n", stderr);
        return 0;
    }
    p->ft = ft;
    return 1;
}

int sp_fosc_compute(sp_data*, sp_fosc* p, float*, float* out) {
    const sp_ftbl* ft = p->ft;
    if (ft == nullptr) {
        *out = 0.0f;
        return 1;
    }
    const float cfreq = p->frequency * p->carrier;
    const float mfreq = p->frequency * p->modulator;
    // Sums are stored masked; this masks a phase that the caller wrote itself.
    p->mod_phase = tablePhaseAdvance(p->mod_phase, 0);
    p->car_phase = tablePhaseAdvance(p->car_phase, 0);

    const float m = tablePhaseRead(ft, p->mod_phase);
    const float fc = m * (p->index * mfreq) + cfreq;
    *out = tablePhaseRead(ft, p->car_phase) * p->amp;

    p->mod_phase = tablePhaseAdvance(p->mod_phase, tablePhaseTruncated(mfreq * ft->phase_per_hz));
    p->car_phase = tablePhaseAdvance(p->car_phase, tablePhaseTruncated(fc * ft->phase_per_hz));
    return 1;
}

} // namespace sigpro
