#include <complex>

#include "Sigpro/modules/sp_pareq.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;

namespace {

using Pareq = SP_COMPUTING_MODULE(pareq);

struct PareqSetting {
    float frequency, gain, q, mode;
};

void pareqApply(sp_pareq* p, PareqSetting s) {
    std::tie(p->frequency, p->gain, p->q, p->mode) = std::tuple(s.frequency, s.gain, s.q, s.mode);
}

double pareqMeasureGain(int rate, PareqSetting s, double hz) {
    return sigprotest::freshGain<Pareq>(
        sp_pareq_init, [s](sp_pareq* p) { pareqApply(p, s); }, hz, 1.0, rate, rate);
}

// The section is the bilinear image of an analogue prototype with the frequency axis prewarped through
// tan(w/2) (mirrored about half the sample rate for the high shelf); this is its magnitude at hz.
double pareqPrototypeGain(int rate, PareqSetting s, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / rate, w0 = 2.0 * std::numbers::pi * s.frequency / rate;
    const double omega = s.mode == 2
                             ? std::tan((std::numbers::pi - w) / 2) / std::tan((std::numbers::pi - w0) / 2)
                             : std::tan(w / 2) / std::tan(w0 / 2);
    const std::complex<double> p(0.0, omega);
    const double g = s.gain, q = s.q;
    const std::complex<double> num =
        s.mode == 0 ? p * p + g * p / q + 1.0 : p * p + std::sqrt(2.0 * g) * p + g;
    return std::abs(num / (p * p + p / q + 1.0));
}

std::vector<float> pareqRender(PareqSetting s, const std::vector<float>& input) {
    sigprotest::Fresh<Pareq> eq(sp_pareq_init);
    pareqApply(eq.get(), s);
    return eq(input);
}

} // namespace

TEST(SpPareq, InitWritesTheDefaultsAndUnsetCoefficientMarks) {
    sigprotest::Fresh<Pareq> eq(sp_pareq_init);
    EXPECT_EQ((std::vector{eq->frequency, eq->gain, eq->q, eq->mode, eq->last_frequency, eq->last_gain,
                           eq->last_q}),
              (std::vector{1000.0f, 1.0f, 0.707f, 0.0f, -1.0f, -1.0f, -1.0f}));
    EXPECT_EQ(eq->radians_per_hz, static_cast<float>(2.0 * std::numbers::pi / 44100.0));
}

TEST(SpPareq, PeakingBandAndShelvesFollowTheirPrototype) {
    // Peaking: the gain at the centre; shelves: the gain on their side, sqrt(g^2 + 1) q at the corner.
    for (int rate : {44100, 48000}) {
        for (PareqSetting s : {PareqSetting{1000, 2.0f, 0.707f, 0}, PareqSetting{1000, 0.5f, 4.0f, 0},
                               PareqSetting{5000, 8.0f, 1.5f, 0}, PareqSetting{500, 4.0f, 0.707f, 1},
                               PareqSetting{500, 0.25f, 0.707f, 1}, PareqSetting{1000, 4.0f, 0.707f, 2},
                               PareqSetting{1000, 0.25f, 0.707f, 2}}) {
            if (rate == 48000 && s.mode != 0) continue;
            for (double hz : {double(s.frequency), 30.0, 100.0, 330.0, 2500.0, 9000.0, 15000.0, 20000.0}) {
                const double want = pareqPrototypeGain(rate, s, hz);
                EXPECT_NEAR(pareqMeasureGain(rate, s, hz), want, 1e-3 * want)
                    << rate << " mode " << s.mode << " gain " << s.gain << " at " << hz;
            }
        }
    }
    // Far from a narrow band the section passes the signal unchanged.
    EXPECT_NEAR(pareqMeasureGain(44100, {1000, 4.0f, 8.0f, 0}, 50.0), 1.0, 2e-3);
}

TEST(SpPareq, UnityGainIsFlatForPeakingAndNearlyFlatForShelves) {
    const std::vector<float> input = testsupport::noise(2000, 42);
    const std::vector<float> out = pareqRender({1000, 1.0f, 0.707f, 0}, input);
    EXPECT_THAT(out, sigprotest::samplesNear(input, 1e-5f));
    // Shelves are flat at unity gain only with q = 1/sqrt(2); the default 0.707 dips by 1.5e-4 at the corner.
    for (float mode : {1.0f, 2.0f}) {
        for (double hz : {200.0, 1000.0, 6000.0})
            EXPECT_NEAR(pareqMeasureGain(44100, {1000, 1.0f, float(1.0 / std::sqrt(2.0)), mode}, hz), 1.0,
                        2e-5)
                << mode << " " << hz;
        EXPECT_NEAR(pareqMeasureGain(44100, {1000, 1.0f, 0.707f, mode}, 1000.0), std::sqrt(2.0) * 0.707,
                    2e-5);
    }
}

TEST(SpPareq, ModeIsTruncatedAndReadOnlyWhenAnotherParameterChanges) {
    const std::vector<float> input = testsupport::noise(600, 42);
    auto renderWith = [&](float mode) { return pareqRender({3000, 3.0f, 0.707f, mode}, input); };
    const std::vector<float> peaking = renderWith(0.0f), low = renderWith(1.0f), high = renderWith(2.0f);
    EXPECT_NE(peaking, low);
    EXPECT_NE(low, high);
    EXPECT_EQ(renderWith(2.9f), high);
    EXPECT_EQ(renderWith(1.5f), low);
    for (float unknown : {-0.5f, 3.0f, -1.0f, std::nanf(""), 1e20f})
        EXPECT_EQ(renderWith(unknown), peaking) << unknown;

    // Switching only the mode keeps the peaking coefficients in force.
    sigprotest::Fresh<Pareq> eq(sp_pareq_init), fresh(sp_pareq_init);
    pareqApply(eq.get(), {3000, 3.0f, 0.707f, 0});
    std::vector<float> out = eq(std::vector<float>(input.begin(), input.begin() + 100));
    eq->mode = 2.0f;
    const std::vector<float> rest = eq(std::vector<float>(input.begin() + 100, input.end()));
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(out, peaking);
    // Touching the frequency brings the shelf in; the new coefficients are then those of a fresh shelf.
    eq->frequency = 3000.5f;
    eq(0.0f);
    pareqApply(fresh.get(), {3000.5f, 3.0f, 0.707f, 2});
    fresh(0.0f);
    EXPECT_EQ(std::pair(eq->b0, eq->a1), std::pair(fresh->b0, fresh->a1));
    EXPECT_NE(eq->b0, 0.0f);
}

TEST(SpPareq, ReinitClearsTheHistoryAndComputeNeverAllocates) {
    auto init = [](sp_data* sp, sp_pareq* p) {
        const int result = sp_pareq_init(sp, p);
        pareqApply(p, {700, 5.0f, 3.0f, 0});
        return result;
    };
    auto use = [](sp_pareq* p) { pareqApply(p, {9000, 0.1f, 0.5f, 1}); };
    auto vary = [](sp_pareq* p, int n) { pareqApply(p, {500.0f + float(n), 2.0f, 0.7f, float(n % 3)}); };
    sigprotest::expectModuleLifecycle<Pareq>(init, sigprotest::impulse(200), use, vary);
}

// The equaliser nodes allow q from 0: every shape stays finite and stable there, and a q of 0 sounds
// as the smallest q the section takes.
TEST(SpPareq, EveryShapeStaysFiniteAtQZero) {
    const std::vector<float> input = testsupport::noise(20000, 11u);
    for (float mode : {0.0f, 1.0f, 2.0f})
        for (float frequency : {12.0f, 1000.0f, 20000.0f})
            for (float gain : {0.0f, 1.0f, 10.0f}) {
                SCOPED_TRACE(testing::Message()
                             << "mode " << mode << ", " << frequency << " Hz, gain " << gain);
                const std::vector<float> y = pareqRender({frequency, gain, 0.0f, mode}, input);
                EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](float v) { return std::fabs(v) < 100.0f; }));
                EXPECT_EQ(y, pareqRender({frequency, gain, 0.001f, mode}, input));
            }
}
