#include "Sigpro/modules/sp_dynamicosc.h"

#include "Sigpro/modules/RecordLifetime.h"
#include "Sigpro/modules/TablePhase.h"

#include <cmath>

namespace sigpro {

int sp_dynamicosc_create(sp_dynamicosc** p) {
    return createModuleRecord(p);
}

int sp_dynamicosc_destroy(sp_dynamicosc** p) {
    destroyModuleRecord(p);
    return 0;
}

int sp_dynamicosc_init(sp_data*, sp_dynamicosc* p, float initial_phase) {
    p->frequency = 440.0f;
    p->amp = 0.2f;
    p->initial_phase = std::fabs(initial_phase);
    p->phase = tablePhaseFromCycles(initial_phase);
    p->increment = 0;
    return 1;
}

int sp_dynamicosc_compute(sp_data*, sp_dynamicosc* p, sp_ftbl* ft, float*, float* out, int advance) {
    if (!tableUsable(ft)) {
        *out = 0.0f;
        return 1;
    }
    p->increment = tablePhaseRounded(ft->phase_per_hz * p->frequency);
    *out = tablePhaseRead(ft, p->phase) * p->amp;
    if (advance != 0) p->phase = tablePhaseAdvance(p->phase, p->increment);
    return 1;
}

} // namespace sigpro
