#include "Sigpro/modules/sp_osc.h"

#include "Sigpro/modules/RecordLifetime.h"
#include "Sigpro/modules/TablePhase.h"

#include <cmath>
#include <cstdio>

namespace sigpro {

int sp_osc_create(sp_osc** p) {
    return createModuleRecord(p);
}

int sp_osc_destroy(sp_osc** p) {
    destroyModuleRecord(p);
    return 0;
}

int sp_osc_init(sp_data*, sp_osc* p, sp_ftbl* ft, float initial_phase) {
    p->frequency = 440.0f;
    p->amp = 0.2f;
    p->initial_phase = std::fabs(initial_phase);
    p->phase = tablePhaseFromCycles(initial_phase);
    p->increment = 0;
    if (!tableUsable(ft)) {
        p->ft = nullptr;
        std::fputs("sp_osc: the wavetable is missing or empty\n", stderr);
        return 0;
    }
    p->ft = ft;
    return 1;
}

int sp_osc_compute(sp_data*, sp_osc* p, float*, float* out) {
    const sp_ftbl* ft = p->ft;
    if (ft == nullptr) {
        *out = 0.0f;
        return 1;
    }
    p->increment = tablePhaseRounded(ft->phase_per_hz * p->frequency);
    *out = tablePhaseRead(ft, p->phase) * p->amp;
    p->phase = tablePhaseAdvance(p->phase, p->increment);
    return 1;
}

} // namespace sigpro
