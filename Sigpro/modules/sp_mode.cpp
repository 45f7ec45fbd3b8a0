#include "Sigpro/modules/sp_mode.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <numbers>

namespace sigpro {

int sp_mode_create(sp_mode** p) {
    return createModuleRecord(p);
}

int sp_mode_destroy(sp_mode** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_mode_init(sp_data* sp, sp_mode* p) {
    p->frequency = 500.0f;
    p->q = 50.0f;
    p->x1 = p->y1 = p->y2 = 0.0f;
    p->m_a0 = p->m_a1 = p->m_a2 = p->m_d = 0.0f;
    p->last_frequency = -1.0f;
    p->last_q = -1.0f;
    p->sample_rate_f = static_cast<float>(sp->sample_rate);
    return 1;
}

int sp_mode_compute(sp_data*, sp_mode* p, float* in, float* out) {
    if (p->frequency != p->last_frequency || p->q != p->last_q) {
        const float alpha = p->sample_rate_f / static_cast<float>(p->frequency * (2.0 * std::numbers::pi));
        const float beta = alpha * alpha;
        p->m_d = alpha * 0.5f;
        const float e = p->m_d / p->q;
        p->m_a0 = 1.0f / (beta + e);
        p->m_a1 = static_cast<float>((1.0 - 2.0 * beta) * p->m_a0);
        p->m_a2 = (beta - e) * p->m_a0;
        p->last_frequency = p->frequency;
        p->last_q = p->q;
    }
    const float x = *in;
    const float yn = p->x1 * p->m_a0 - p->y1 * p->m_a1 - p->y2 * p->m_a2;
    *out = p->m_d * yn;
    p->x1 = x;
    p->y2 = p->y1;
    p->y1 = yn;
    return 1;
}

} // namespace sigpro
