#include "Sigpro/modules/sp_oscmorph.h"

#include "Sigpro/modules/RecordLifetime.h"
#include "Sigpro/modules/TablePhase.h"

#include <cmath>
#include <cstdio>

namespace sigpro {

int sp_oscmorph_create(sp_oscmorph** p) {
    return createModuleRecord(p);
}

int sp_oscmorph_destroy(sp_oscmorph** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_oscmorph_init(sp_data*, sp_oscmorph* p, sp_ftbl** tables, int table_count, float initial_phase) {
    p->frequency = 440.0f;
    p->amp = 0.2f;
    p->initial_phase = std::fabs(initial_phase);
    p->phase = tablePhaseFromCycles(initial_phase);
    p->tables = tables;
    p->increment = 0;
    p->position = 0.0f;
    p->table_count = table_count;
    p->ready = 0;
    if (tables == nullptr || table_count < 1) {
        std::fputs("sp_oscmorph: no tables\n", stderr);
        return 0;
    }
    for (int i = 0; i < table_count; ++i) {
        if (!tableUsable(tables[i])) {
            std::fputs("sp_oscmorph: a wavetable is missing or empty\n", stderr);
            return 0;
        }
    }
    for (int i = 1; i < table_count; ++i) {
        if (tables[i]->size != tables[0]->size) {
            std::fputs("sp_oscmorph: size mismatch\n", stderr);
            return 0;
        }
    }
    p->ready = 1;
    return 1;
}

int sp_oscmorph_compute(sp_data*, sp_oscmorph* p, float*, float* out) {
    if (!p->ready) {
        *out = 0.0f;
        return 1;
    }
    // Positions above 1 keep their fraction; a negative or NaN one would pick a table before the first,
    // so it reads the first.
    if (p->position > 1.0f) p->position -= std::trunc(p->position);
    const float position = p->position >= 0.0f && p->position <= 1.0f ? p->position : 0.0f;

    const int last = p->table_count - 1;
    const float scaled = static_cast<float>(last) * position;
    int i = static_cast<int>(std::floor(scaled));
    if (i > last) i = last;
    const float t = scaled - static_cast<float>(i);
    const sp_ftbl* a = p->tables[i];
    const sp_ftbl* b = i < last ? p->tables[i + 1] : a;
    const sp_ftbl* first = p->tables[0];

    p->increment = tablePhaseRounded(first->phase_per_hz * p->frequency);
    const std::size_t index = tablePhaseIndex(first, p->phase);
    const float fraction = tablePhaseFraction(a, p->phase);
    const std::size_t next = index + 1 == a->size ? 0 : index + 1;
    const float w0 = a->table[index] * (1.0f - t) + b->table[index] * t;
    const float w1 = a->table[next] * (1.0f - t) + b->table[next] * t;
    *out = (w0 + (w1 - w0) * fraction) * p->amp;
    p->phase = tablePhaseAdvance(p->phase, p->increment);
    return 1;
}

} // namespace sigpro
