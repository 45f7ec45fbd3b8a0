#include "Sigpro/modules/sp_pareq.h"

#include "Sigpro/modules/PairBlock.h"

#include <cmath>
#include <numbers>

namespace sigpro {
namespace {

// A q of 0 divides by zero and a negative one puts the poles outside the unit circle; the treble
// node's range starts at 0, so the section treats anything below this as this.
constexpr float pareqMinimumQ = 0.001f;

int pareqShape(float mode) {
    float whole = std::trunc(mode);
    if (whole == 1.0f) return 1;
    if (whole == 2.0f) return 2;
    return 0;
}

// Unnormalised terms: float products and quotients, sums formed in double and rounded once.
void pareqCoefficients(sp_pareq* p) {
    float w = p->radians_per_hz * p->frequency;
    float g = p->gain;
    float q = p->q >= pareqMinimumQ ? p->q : pareqMinimumQ;
    int shape = pareqShape(p->mode);
    double B0, B1, B2, A0, A1, A2;
    if (shape == 0) {
        auto k = static_cast<float>(std::tan(static_cast<double>(w) * 0.5));
        float kk = k * k;
        float kq = k / q;
        float gkq = g * k / q;
        B0 = 1.0 + gkq + kk;
        B1 = 2.0 * (static_cast<double>(kk) - 1.0);
        B2 = 1.0 - gkq + kk;
        A0 = 1.0 + kq + kk;
        A1 = B1;
        A2 = 1.0 - kq + kk;
    } else {
        // The high shelf is the low shelf mirrored about half the sample rate.
        double angle =
            shape == 2 ? (std::numbers::pi - static_cast<double>(w)) * 0.5 : static_cast<double>(w) * 0.5;
        double sign = shape == 2 ? -1.0 : 1.0;
        auto k = static_cast<float>(std::tan(angle));
        auto s = static_cast<float>(std::sqrt(2.0 * static_cast<double>(g)));
        float kk = k * k;
        float gkk = g * k * k;
        float sk = s * k;
        float kq = k / q;
        B0 = 1.0 + sk + gkk;
        B1 = sign * 2.0 * (static_cast<double>(gkk) - 1.0);
        B2 = 1.0 - sk + gkk;
        A0 = 1.0 + kq + kk;
        A1 = sign * 2.0 * (static_cast<double>(kk) - 1.0);
        A2 = 1.0 - kq + kk;
    }
    float r = 1.0f / static_cast<float>(A0);
    p->b0 = static_cast<float>(B0) * r;
    p->b1 = static_cast<float>(B1) * r;
    p->b2 = static_cast<float>(B2) * r;
    p->a1 = static_cast<float>(A1) * r;
    p->a2 = static_cast<float>(A2) * r;
}

void pareqUpdate(sp_pareq* p) {
    if (p->frequency != p->last_frequency || p->gain != p->last_gain || p->q != p->last_q) {
        p->last_frequency = p->frequency;
        p->last_gain = p->gain;
        p->last_q = p->q;
        pareqCoefficients(p);
    }
}

inline float pareqStep(sp_pareq& p, float x) {
    float y = ((p.b2 * p.x2 + (p.b0 * x + p.b1 * p.x1)) - p.a1 * p.y1) - p.a2 * p.y2;
    p.x2 = p.x1;
    p.x1 = x;
    p.y2 = p.y1;
    p.y1 = y;
    return y;
}

} // namespace

int sp_pareq_create(sp_pareq** p) {
    *p = new sp_pareq{};
    return 1;
}

int sp_pareq_init(sp_data* sp, sp_pareq* p) {
    p->frequency = 1000.0f;
    p->gain = 1.0f;
    p->q = 0.707f;
    p->mode = 0.0f;
    p->x1 = p->x2 = p->y1 = p->y2 = 0.0f;
    p->last_frequency = p->last_gain = p->last_q = -1.0f;
    p->radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    return 1;
}

int sp_pareq_compute(sp_data* sp, sp_pareq* p, float* in, float* out) {
    pareqUpdate(p);
    *out = pareqStep(*p, *in);
    return 1;
}

int sp_pareq_compute_pair(sp_data*, sp_pareq* left, sp_pareq* right, const float* inLeft,
                          const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    pareqUpdate(left);
    pareqUpdate(right);
    runPairBlock(*left, *right, inLeft, inRight, outLeft, outRight, frames, pareqStep);
    return 1;
}

int sp_pareq_destroy(sp_pareq** p) {
    delete *p;
    *p = nullptr;
    return 1;
}

} // namespace sigpro
