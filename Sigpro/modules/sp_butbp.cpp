#include "Sigpro/modules/sp_butbp.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// The band-pass coefficients.
void butbpDesign(ButterworthBandRecord& r) {
    const double c = static_cast<float>(1.0 / std::tan(double(r.bandwidth * r.half_radians_per_hz)));
    const double d = static_cast<float>(2.0 * std::cos(double(r.frequency * r.radians_per_hz)));
    const double a1 = static_cast<float>(1.0 / (1.0 + c));
    r.a1 = static_cast<float>(a1);
    r.a2 = 0.0f;
    r.a3 = static_cast<float>(-a1);
    r.a4 = static_cast<float>(-c * d * a1);
    r.a5 = static_cast<float>((c - 1.0) * a1);
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
    return butterworthInit(sp, *p, 10.0f);
}

int sp_butbp_compute(sp_data*, sp_butbp* p, float* in, float* out) {
    return butterworthCompute<butbpDesign>(*p, in, out);
}

int sp_butbp_compute_pair(sp_data*, sp_butbp* left, sp_butbp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    return butterworthComputePair(*left, *right, butbpDesign, inLeft, inRight, outLeft, outRight, frames);
}

} // namespace sigpro
