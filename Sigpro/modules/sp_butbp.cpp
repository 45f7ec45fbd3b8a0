#include "Sigpro/modules/sp_butbp.h"

#include "Sigpro/modules/ButterworthSection.h"
#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// Brings the coefficients up to date; false while the filter is off (its output is then 0).
bool butbpReady(sp_butbp* p) {
    if (!(p->bandwidth > 0.0f)) return false;
    if (p->bandwidth != p->last_bandwidth || p->frequency != p->last_frequency) {
        p->last_bandwidth = p->bandwidth;
        p->last_frequency = p->frequency;
        const double c = static_cast<float>(1.0 / std::tan(double(p->bandwidth * p->half_radians_per_hz)));
        const double d = static_cast<float>(2.0 * std::cos(double(p->frequency * p->radians_per_hz)));
        const double a1 = static_cast<float>(1.0 / (1.0 + c));
        p->a1 = static_cast<float>(a1);
        p->a2 = 0.0f;
        p->a3 = static_cast<float>(-a1);
        p->a4 = static_cast<float>(-c * d * a1);
        p->a5 = static_cast<float>((c - 1.0) * a1);
    }
    return true;
}

} // namespace

int sp_butbp_create(sp_butbp** p) {
    return createModuleRecord(p);
}

int sp_butbp_destroy(sp_butbp** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_butbp_init(sp_data* sp, sp_butbp* p) {
    p->frequency = 1000.0f;
    p->bandwidth = 10.0f;
    p->last_frequency = p->last_bandwidth = 0.0f;
    p->s1 = p->s2 = 0.0f;
    p->half_radians_per_hz = static_cast<float>(std::numbers::pi / sp->sample_rate);
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    return 1;
}

int sp_butbp_compute(sp_data*, sp_butbp* p, float* in, float* out) {
    *out = butbpReady(p) ? butterworthSectionStep(*p, *in) : 0.0f;
    return 1;
}

int sp_butbp_compute_pair(sp_data*, sp_butbp* left, sp_butbp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    const bool liveLeft = butbpReady(left);
    const bool liveRight = butbpReady(right);
    runPairBlock(*left, *right, liveLeft, liveRight, inLeft, inRight, outLeft, outRight, frames,
                 butterworthSectionStep<sp_butbp>);
    return 1;
}

} // namespace sigpro
