#include "Sigpro/modules/sp_butbr.h"

#include "Sigpro/modules/ButterworthSection.h"
#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// Brings the coefficients up to date; false while the filter is off (its output is then 0).
bool butbrReady(sp_butbr* p) {
    if (!(p->bandwidth > 0.0f)) return false;
    if (p->bandwidth != p->last_bandwidth || p->frequency != p->last_frequency) {
        p->last_bandwidth = p->bandwidth;
        p->last_frequency = p->frequency;
        const double c = static_cast<float>(std::tan(double(p->bandwidth * p->half_radians_per_hz)));
        const double d = static_cast<float>(2.0 * std::cos(double(p->frequency * p->radians_per_hz)));
        const double a1 = static_cast<float>(1.0 / (1.0 + c));
        p->a1 = static_cast<float>(a1);
        p->a2 = static_cast<float>(-d * a1);
        p->a3 = static_cast<float>(a1);
        p->a4 = static_cast<float>(-d * a1);
        p->a5 = static_cast<float>((1.0 - c) * a1);
    }
    return true;
}

} // namespace

int sp_butbr_create(sp_butbr** p) {
    return createModuleRecord(p);
}

int sp_butbr_destroy(sp_butbr** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_butbr_init(sp_data* sp, sp_butbr* p) {
    p->frequency = 1000.0f;
    p->bandwidth = 1000.0f;
    p->last_frequency = p->last_bandwidth = 0.0f;
    p->s1 = p->s2 = 0.0f;
    p->half_radians_per_hz = static_cast<float>(std::numbers::pi / sp->sample_rate);
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    return 1;
}

// Zero width silences the output rather than passing the input: that is the reference behaviour.
int sp_butbr_compute(sp_data*, sp_butbr* p, float* in, float* out) {
    *out = butbrReady(p) ? butterworthSectionStep(*p, *in) : 0.0f;
    return 1;
}

int sp_butbr_compute_pair(sp_data*, sp_butbr* left, sp_butbr* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    const bool liveLeft = butbrReady(left);
    const bool liveRight = butbrReady(right);
    runPairBlock(*left, *right, liveLeft, liveRight, inLeft, inRight, outLeft, outRight, frames,
                 butterworthSectionStep<sp_butbr>);
    return 1;
}

} // namespace sigpro
