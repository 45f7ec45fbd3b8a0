#include "Sigpro/modules/sp_butlp.h"

#include "Sigpro/modules/ButterworthSection.h"
#include "Sigpro/modules/PairBlock.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// Brings the coefficients up to date; false while the filter is off (its output is then 0).
bool butlpReady(sp_butlp* p) {
    if (!(p->frequency > 0.0f)) return false;
    if (p->frequency != p->last_frequency) {
        p->last_frequency = p->frequency;
        const double c = static_cast<float>(1.0 / std::tan(double(p->frequency * p->half_radians_per_hz)));
        const double a1 = static_cast<float>(1.0 / (1.0 + std::numbers::sqrt2 * c + c * c));
        p->a1 = static_cast<float>(a1);
        p->a2 = static_cast<float>(2.0 * a1);
        p->a3 = static_cast<float>(a1);
        p->a4 = static_cast<float>(2.0 * (1.0 - c * c) * a1);
        p->a5 = static_cast<float>((1.0 - std::numbers::sqrt2 * c + c * c) * a1);
    }
    return true;
}

} // namespace

int sp_butlp_create(sp_butlp** p) {
    return createModuleRecord(p);
}

int sp_butlp_destroy(sp_butlp** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_butlp_init(sp_data* sp, sp_butlp* p) {
    p->frequency = 1000.0f;
    p->last_frequency = 0.0f;
    p->s1 = p->s2 = 0.0f;
    p->half_radians_per_hz = static_cast<float>(std::numbers::pi / sp->sample_rate);
    return 1;
}

int sp_butlp_compute(sp_data*, sp_butlp* p, float* in, float* out) {
    *out = butlpReady(p) ? butterworthSectionStep(*p, *in) : 0.0f;
    return 1;
}

int sp_butlp_compute_pair(sp_data*, sp_butlp* left, sp_butlp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    const bool liveLeft = butlpReady(left);
    const bool liveRight = butlpReady(right);
    runPairBlock(*left, *right, liveLeft, liveRight, inLeft, inRight, outLeft, outRight, frames,
                 butterworthSectionStep<sp_butlp>);
    return 1;
}

} // namespace sigpro
