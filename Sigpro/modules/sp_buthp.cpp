#include "Sigpro/modules/sp_buthp.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// The high-pass coefficients.
void buthpDesign(ButterworthCutoffRecord& r) {
    const double c = static_cast<float>(std::tan(double(r.frequency * r.half_radians_per_hz)));
    const double a1 = static_cast<float>(1.0 / (1.0 + std::numbers::sqrt2 * c + c * c));
    r.a1 = static_cast<float>(a1);
    r.a2 = static_cast<float>(-2.0 * a1);
    r.a3 = static_cast<float>(a1);
    r.a4 = static_cast<float>(2.0 * (c * c - 1.0) * a1);
    r.a5 = static_cast<float>((1.0 - std::numbers::sqrt2 * c + c * c) * a1);
}

} // namespace

int sp_buthp_create(sp_buthp** p) {
    return createModuleRecord(p);
}

int sp_buthp_destroy(sp_buthp** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_buthp_init(sp_data* sp, sp_buthp* p) {
    return butterworthInit(sp, *p);
}

int sp_buthp_compute(sp_data*, sp_buthp* p, float* in, float* out) {
    return butterworthCompute<buthpDesign>(*p, in, out);
}

int sp_buthp_compute_pair(sp_data*, sp_buthp* left, sp_buthp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    return butterworthComputePair(*left, *right, buthpDesign, inLeft, inRight, outLeft, outRight, frames);
}

} // namespace sigpro
