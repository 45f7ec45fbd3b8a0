#include "Sigpro/modules/sp_tbvcf.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <cmath>

namespace sigpro {

namespace {
// Below about 1.5 kHz at distortion 2 (lower cutoffs at less distortion) the third integrator feeds
// itself more than it leaks, and the Euler steps of the cubic term then overshoot ever further until the
// states reach inf and NaN, which would silence everything mixed after the filter. Where the filter is
// stable its states stay near the input's level, far inside this bound.
constexpr float tbvcfStateBound = 10.0f;

float tbvcfBounded(float v) {
    return v > tbvcfStateBound ? tbvcfStateBound : (v < -tbvcfStateBound ? -tbvcfStateBound : v);
}
} // namespace

int sp_tbvcf_create(sp_tbvcf** p) {
    return createModuleRecord(p);
}

int sp_tbvcf_destroy(sp_tbvcf** p) {
    destroyModuleRecord(p);
    return 1;
}

int sp_tbvcf_init(sp_data* sp, sp_tbvcf* p) {
    p->cutoff = 500.0f;
    p->resonance = 0.8f;
    p->distortion = 2.0f;
    p->asymmetry = 0.5f;
    p->s1 = p->s2 = p->s3 = 0.0f;
    p->sample_rate = static_cast<float>(sp->sample_rate);
    p->reciprocal_rate = 1.0f / p->sample_rate;
    return 1;
}

int sp_tbvcf_compute(sp_data*, sp_tbvcf* p, float* in, float* out) {
    const float x = *in;
    const float s1 = p->s1;
    const float s2 = p->s2;
    const float s3 = p->s3;

    const float q = static_cast<float>(double(p->resonance) / (std::sqrt(double(p->distortion)) + 1.0));
    const float f = static_cast<float>(std::pow(double(p->cutoff) * 260.0 / (0.5 * double(q) + 1.0), 0.58));
    const float k = static_cast<float>(double(p->sample_rate) * 0.125 * double(f * p->reciprocal_rate));
    const float a = static_cast<float>(double(q * f * f) * -0.0005);
    const float b = static_cast<float>(double(a) * double(s1) /
                                       (double(p->asymmetry) * std::exp(-3.0 * double(s1)) + 1.0));

    // Euler steps of 0.001 through the three integrators.
    const float nextS2 = tbvcfBounded(((x - s2) * k + b) * 0.001f + s2);
    const float c = static_cast<float>(double(s1) * -0.1 * 20.0);
    const float e =
        static_cast<float>((double(c) * double(c) * double(c) + double(s3)) * 100.0 * double(p->distortion));
    const float nextS3 = tbvcfBounded(((nextS2 - s3) * k + e) * 0.001f + s3);
    const float nextS1 = tbvcfBounded((nextS3 - s1) * k * 0.001f + s1);

    *out = static_cast<float>((double(q) + 1.0) * (double(k * nextS1) / 1000.0) * 3.2);
    p->s1 = nextS1;
    p->s2 = nextS2;
    p->s3 = nextS3;
    return 1;
}

} // namespace sigpro
