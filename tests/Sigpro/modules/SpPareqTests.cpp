#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_pareq.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using PareqHandle = sigprotest::ModuleHandle<sp_pareq, sp_pareq_create, sp_pareq_destroy>;

struct PareqSetting {
    float frequency;
    float gain;
    float q;
    float mode;
};

void pareqApply(sp_pareq* p, PareqSetting s) {
    p->frequency = s.frequency;
    p->gain = s.gain;
    p->q = s.q;
    p->mode = s.mode;
}

// Amplitude of the steady response to a unit sine: least-squares fit of a sine and a cosine of the same
// frequency over the second half of a one-second render.
double pareqMeasureGain(int sampleRate, PareqSetting setting, double hz) {
    ContextHandle sp;
    sp->sample_rate = sampleRate;
    PareqHandle eq;
    sp_pareq_init(sp.get(), eq.get());
    pareqApply(eq.get(), setting);
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (int n = 0; n < sampleRate; ++n) {
        double phase = 2.0 * std::numbers::pi * hz * n / sampleRate;
        auto x = static_cast<float>(std::sin(phase));
        float y;
        sp_pareq_compute(sp.get(), eq.get(), &x, &y);
        if (n < sampleRate / 2) continue;
        double s = std::sin(phase), c = std::cos(phase);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y * s;
        yc += y * c;
    }
    double det = ss * cc - sc * sc;
    double a = (ys * cc - yc * sc) / det;
    double b = (yc * ss - ys * sc) / det;
    return std::hypot(a, b);
}

// The section is the bilinear image of an analogue prototype with the frequency axis prewarped through
// tan(w/2) (mirrored about half the sample rate for the high shelf); this is its magnitude at hz.
double pareqPrototypeGain(int sampleRate, PareqSetting s, double hz) {
    double w = 2.0 * std::numbers::pi * hz / sampleRate;
    double w0 = 2.0 * std::numbers::pi * s.frequency / sampleRate;
    int mode = static_cast<int>(s.mode);
    double omega = mode == 2 ? std::tan((std::numbers::pi - w) / 2) / std::tan((std::numbers::pi - w0) / 2)
                             : std::tan(w / 2) / std::tan(w0 / 2);
    std::complex<double> p(0.0, omega);
    double g = s.gain, q = s.q;
    std::complex<double> den = p * p + p / q + 1.0;
    std::complex<double> num = mode == 0 ? p * p + g * p / q + 1.0 : p * p + std::sqrt(2.0 * g) * p + g;
    return std::abs(num / den);
}

std::vector<float> pareqRender(sp_data* sp, sp_pareq* p, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        float x = input[i];
        EXPECT_EQ(sp_pareq_compute(sp, p, &x, &out[i]), 1);
    }
    return out;
}

} // namespace

TEST(SpPareq, InitWritesTheDefaults) {
    ContextHandle sp;
    PareqHandle eq;
    ASSERT_EQ(sp_pareq_init(sp.get(), eq.get()), 1);
    EXPECT_EQ(eq->frequency, 1000.0f);
    EXPECT_EQ(eq->gain, 1.0f);
    EXPECT_EQ(eq->q, 0.707f);
    EXPECT_EQ(eq->mode, 0.0f);
    EXPECT_EQ(eq->last_frequency, -1.0f);
    EXPECT_EQ(eq->last_gain, -1.0f);
    EXPECT_EQ(eq->last_q, -1.0f);
    EXPECT_EQ(eq->radians_per_hz, static_cast<float>(2.0 * std::numbers::pi / 44100.0));
}

TEST(SpPareq, PeakingBandHasItsGainAtTheCentreFrequency) {
    for (int rate : {44100, 48000}) {
        for (PareqSetting s : {PareqSetting{1000, 2.0f, 0.707f, 0}, PareqSetting{1000, 0.5f, 4.0f, 0},
                               PareqSetting{5000, 8.0f, 1.5f, 0}}) {
            EXPECT_NEAR(pareqMeasureGain(rate, s, s.frequency), s.gain, 1e-3 * s.gain) << rate << " " << s.q;
            for (double hz : {100.0, 330.0, 3000.0, 12000.0}) {
                double want = pareqPrototypeGain(rate, s, hz);
                EXPECT_NEAR(pareqMeasureGain(rate, s, hz), want, 1e-3 * want) << rate << " " << hz;
            }
        }
    }
    // Far from a narrow band the section passes the signal unchanged.
    EXPECT_NEAR(pareqMeasureGain(44100, {1000, 4.0f, 8.0f, 0}, 50.0), 1.0, 2e-3);
}

TEST(SpPareq, ShelvesHaveTheirGainOnTheirSideAndMeetAtTheCorner) {
    const int rate = 44100;
    for (float g : {4.0f, 0.25f}) {
        PareqSetting low{500, g, 0.707f, 1};
        PareqSetting high{1000, g, 0.707f, 2};
        // At the corner the prototype gives sqrt(g^2 + 1) q.
        double corner = std::sqrt(g * g + 1.0) * 0.707;
        EXPECT_NEAR(pareqMeasureGain(rate, low, 500.0), corner, 1e-3 * corner) << g;
        EXPECT_NEAR(pareqMeasureGain(rate, high, 1000.0), corner, 1e-3 * corner) << g;
        EXPECT_NEAR(pareqMeasureGain(rate, low, 30.0), g, 0.01 * g) << g;
        EXPECT_NEAR(pareqMeasureGain(rate, low, 15000.0), 1.0, 0.01) << g;
        EXPECT_NEAR(pareqMeasureGain(rate, high, 20000.0), g, 0.01 * g) << g;
        EXPECT_NEAR(pareqMeasureGain(rate, high, 40.0), 1.0, 0.01) << g;
        for (double hz : {100.0, 800.0, 2500.0, 9000.0}) {
            double wantLow = pareqPrototypeGain(rate, low, hz);
            double wantHigh = pareqPrototypeGain(rate, high, hz);
            EXPECT_NEAR(pareqMeasureGain(rate, low, hz), wantLow, 1e-3 * wantLow) << g << " " << hz;
            EXPECT_NEAR(pareqMeasureGain(rate, high, hz), wantHigh, 1e-3 * wantHigh) << g << " " << hz;
        }
    }
}

TEST(SpPareq, UnityGainIsFlatForPeakingAndNearlyFlatForShelves) {
    ContextHandle sp;
    PareqHandle eq;
    sp_pareq_init(sp.get(), eq.get());
    std::vector<float> input = testsupport::noise(2000, 42);
    std::vector<float> out = pareqRender(sp.get(), eq.get(), input);
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_NEAR(out[i], input[i], 1e-5f) << i;

    // Shelves are flat at unity gain only with q = 1/sqrt(2); the default 0.707 dips by 1.5e-4 at the corner.
    auto exactQ = static_cast<float>(1.0 / std::sqrt(2.0));
    for (float mode : {1.0f, 2.0f}) {
        for (double hz : {200.0, 1000.0, 6000.0})
            EXPECT_NEAR(pareqMeasureGain(44100, {1000, 1.0f, exactQ, mode}, hz), 1.0, 2e-5)
                << mode << " " << hz;
        EXPECT_NEAR(pareqMeasureGain(44100, {1000, 1.0f, 0.707f, mode}, 1000.0), std::sqrt(2.0) * 0.707,
                    2e-5);
    }
}

TEST(SpPareq, ModeIsReadOnlyWhenAnotherParameterChanges) {
    ContextHandle sp;
    std::vector<float> input = testsupport::noise(600, 42);
    auto renderWith = [&](PareqSetting s) {
        PareqHandle eq;
        sp_pareq_init(sp.get(), eq.get());
        pareqApply(eq.get(), s);
        return pareqRender(sp.get(), eq.get(), input);
    };
    std::vector<float> peaking = renderWith({3000, 3.0f, 0.707f, 0});
    std::vector<float> shelf = renderWith({3000, 3.0f, 0.707f, 2});
    ASSERT_NE(peaking, shelf);

    // Switching only the mode keeps the peaking coefficients in force.
    PareqHandle eq;
    sp_pareq_init(sp.get(), eq.get());
    pareqApply(eq.get(), {3000, 3.0f, 0.707f, 0});
    std::vector<float> out(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (i == 100) eq->mode = 2.0f;
        sp_pareq_compute(sp.get(), eq.get(), &input[i], &out[i]);
    }
    EXPECT_EQ(out, peaking);

    // Touching the frequency brings the shelf in; the new coefficients are then those of a fresh shelf.
    eq->frequency = 3000.5f;
    float x = 0.0f, y;
    sp_pareq_compute(sp.get(), eq.get(), &x, &y);
    PareqHandle fresh;
    sp_pareq_init(sp.get(), fresh.get());
    pareqApply(fresh.get(), {3000.5f, 3.0f, 0.707f, 2});
    sp_pareq_compute(sp.get(), fresh.get(), &x, &y);
    EXPECT_EQ(eq->b0, fresh->b0);
    EXPECT_EQ(eq->a1, fresh->a1);
    EXPECT_NE(eq->b0, 0.0f);
}

TEST(SpPareq, ModeIsTruncatedAndUnknownShapesArePeaking) {
    ContextHandle sp;
    std::vector<float> input = testsupport::noise(300, 42);
    auto renderWith = [&](float mode) {
        PareqHandle eq;
        sp_pareq_init(sp.get(), eq.get());
        pareqApply(eq.get(), {2000, 0.3f, 2.0f, mode});
        return pareqRender(sp.get(), eq.get(), input);
    };
    std::vector<float> peaking = renderWith(0.0f);
    std::vector<float> low = renderWith(1.0f);
    std::vector<float> high = renderWith(2.0f);
    EXPECT_NE(peaking, low);
    EXPECT_NE(low, high);
    EXPECT_EQ(renderWith(2.9f), high);
    EXPECT_EQ(renderWith(1.5f), low);
    EXPECT_EQ(renderWith(-0.5f), peaking);
    EXPECT_EQ(renderWith(3.0f), peaking);
    EXPECT_EQ(renderWith(-1.0f), peaking);
    EXPECT_EQ(renderWith(std::nanf("")), peaking);
    EXPECT_EQ(renderWith(1e20f), peaking);
}

TEST(SpPareq, ReinitClearsTheHistory) {
    ContextHandle sp;
    PareqSetting s{700, 5.0f, 3.0f, 0};
    std::vector<float> impulse(200, 0.0f);
    impulse[0] = 1.0f;

    PareqHandle fresh;
    sp_pareq_init(sp.get(), fresh.get());
    pareqApply(fresh.get(), s);
    std::vector<float> want = pareqRender(sp.get(), fresh.get(), impulse);

    PareqHandle used;
    sp_pareq_init(sp.get(), used.get());
    pareqApply(used.get(), {9000, 0.1f, 0.5f, 1});
    pareqRender(sp.get(), used.get(), testsupport::noise(500, 42));
    sp_pareq_init(sp.get(), used.get());
    pareqApply(used.get(), s);
    EXPECT_EQ(pareqRender(sp.get(), used.get(), impulse), want);
}
