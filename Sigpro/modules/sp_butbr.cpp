#include "Sigpro/modules/sp_butbr.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>
#include <numbers>

namespace sigpro {

namespace {

// The band-reject coefficients.
void butbrDesign(ButterworthBandRecord& r) {
    const double c = static_cast<float>(std::tan(double(r.bandwidth * r.half_radians_per_hz)));
    const double d = static_cast<float>(2.0 * std::cos(double(r.frequency * r.radians_per_hz)));
    const double a1 = static_cast<float>(1.0 / (1.0 + c));
    r.a1 = static_cast<float>(a1);
    r.a2 = static_cast<float>(-d * a1);
    r.a3 = static_cast<float>(a1);
    r.a4 = static_cast<float>(-d * a1);
    r.a5 = static_cast<float>((1.0 - c) * a1);
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
    return butterworthInit(sp, *p, 1000.0f);
}

// Zero width silences the output rather than passing the input: that is the reference behaviour.
int sp_butbr_compute(sp_data*, sp_butbr* p, float* in, float* out) {
    return butterworthCompute<butbrDesign>(*p, in, out);
}

int sp_butbr_compute_pair(sp_data*, sp_butbr* left, sp_butbr* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    return butterworthComputePair(*left, *right, butbrDesign, inLeft, inRight, outLeft, outRight, frames);
}

} // namespace sigpro
