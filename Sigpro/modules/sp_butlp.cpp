#include "Sigpro/modules/sp_butlp.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// The low-pass coefficients.
void butlpDesign(ButterworthCutoffRecord& r) {
    const double c = static_cast<float>(1.0 / std::tan(double(r.frequency * r.half_radians_per_hz)));
    const double a1 = static_cast<float>(1.0 / (1.0 + std::numbers::sqrt2 * c + c * c));
    r.a1 = static_cast<float>(a1);
    r.a2 = static_cast<float>(2.0 * a1);
    r.a3 = static_cast<float>(a1);
    r.a4 = static_cast<float>(2.0 * (1.0 - c * c) * a1);
    r.a5 = static_cast<float>((1.0 - std::numbers::sqrt2 * c + c * c) * a1);
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
    return butterworthInit(sp, *p);
}

int sp_butlp_compute(sp_data*, sp_butlp* p, float* in, float* out) {
    return butterworthCompute<butlpDesign>(*p, in, out);
}

int sp_butlp_compute_pair(sp_data*, sp_butlp* left, sp_butlp* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    return butterworthComputePair(*left, *right, butlpDesign, inLeft, inRight, outLeft, outRight, frames);
}

} // namespace sigpro
