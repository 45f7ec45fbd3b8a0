#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "Sigpro/modules/sp_diode.h"
#include "Sigpro/modules/sp_lpf18.h"
#include "Sigpro/modules/sp_moogladder.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::steadyGain;
using testsupport::toDecibels;

namespace {

using DiodeHandle = sigprotest::ModuleHandle<sp_diode, sp_diode_create, sp_diode_destroy>;
using Lpf18Handle = sigprotest::ModuleHandle<sp_lpf18, sp_lpf18_create, sp_lpf18_destroy>;
using MoogHandle = sigprotest::ModuleHandle<sp_moogladder, sp_moogladder_create, sp_moogladder_destroy>;

// Small-signal gain in dB of a fresh ladder at `hz`, the input low enough to keep the saturations linear.
template <class Handle, class Init, class Compute, class Configure>
double ladderGainDb(Init init, Compute compute, Configure configure, double hz, double level = 0.001) {
    ContextHandle sp;
    Handle f;
    init(sp.get(), f.get());
    configure(f.get());
    return toDecibels(steadyGain(
        44100.0, hz,
        [&](float x) {
            float y;
            compute(sp.get(), f.get(), &x, &y);
            return y;
        },
        level));
}

// Settled output for a constant input.
template <class Handle, class Init, class Compute, class Configure>
float ladderSettled(Init init, Compute compute, Configure configure, float level) {
    ContextHandle sp;
    Handle f;
    init(sp.get(), f.get());
    configure(f.get());
    float y = 0;
    for (int n = 0; n < 44100; ++n)
        compute(sp.get(), f.get(), &level, &y);
    return y;
}

double moogDb(float resonance, double hz) {
    return ladderGainDb<MoogHandle>(
        sp_moogladder_init, sp_moogladder_compute, [=](sp_moogladder* p) { p->resonance = resonance; }, hz);
}

double diodeDb(float resonance, float cutoff, double hz) {
    return ladderGainDb<DiodeHandle>(
        sp_diode_init, sp_diode_compute,
        [=](sp_diode* p) {
            p->resonance = resonance;
            p->frequency = cutoff;
        },
        hz);
}

double lpf18Db(float resonance, double hz) {
    return ladderGainDb<Lpf18Handle>(
        sp_lpf18_init, sp_lpf18_compute,
        [=](sp_lpf18* p) {
            p->resonance = resonance;
            p->distortion = 0.0f;
        },
        hz);
}

} // namespace

TEST(SpMoogladder, FourPolesAtTheCutoffAndAResonancePeakThere) {
    // Without resonance: unity at DC, four stages of -3 dB at the default 1000 Hz cutoff, 24 dB per
    // octave beyond.
    EXPECT_NEAR(
        ladderSettled<MoogHandle>(
            sp_moogladder_init, sp_moogladder_compute, [](sp_moogladder* p) { p->resonance = 0; }, 0.01f),
        0.01f, 1e-5);
    EXPECT_NEAR(moogDb(0.0f, 1000), -12.0, 1.0);
    EXPECT_LT(moogDb(0.0f, 4000), moogDb(0.0f, 2000) - 18.0);
    EXPECT_LT(moogDb(0.0f, 2000), moogDb(0.0f, 1000) - 12.0);

    // Strong resonance rises well above the (lowered) passband at the cutoff.
    EXPECT_GT(moogDb(0.95f, 1000), moogDb(0.95f, 100) + 20.0);
    EXPECT_GT(moogDb(0.95f, 1000), moogDb(0.95f, 700));
    EXPECT_GT(moogDb(0.95f, 1000), moogDb(0.95f, 1300));

    // The cutoff follows the parameter.
    const double moved = ladderGainDb<MoogHandle>(
        sp_moogladder_init, sp_moogladder_compute,
        [](sp_moogladder* p) {
            p->resonance = 0;
            p->frequency = 4000;
        },
        4000);
    EXPECT_NEAR(moved, -12.0, 1.5);
}

TEST(SpMoogladder, NegativeResonanceActsAsZero) {
    ContextHandle sp;
    MoogHandle negative, zero;
    sp_moogladder_init(sp.get(), negative.get());
    sp_moogladder_init(sp.get(), zero.get());
    negative->resonance = -1.0f;
    zero->resonance = 0.0f;
    for (int n = 0; n < 500; ++n) {
        float x = static_cast<float>(0.5 * std::sin(0.2 * n)), a, b;
        sp_moogladder_compute(sp.get(), negative.get(), &x, &a);
        sp_moogladder_compute(sp.get(), zero.get(), &x, &b);
        ASSERT_EQ(a, b) << n;
    }
    EXPECT_EQ(negative->last_resonance, 0.0f);
    EXPECT_EQ(negative->resonance, -1.0f);
}

TEST(SpDiode, LowPassWhoseResonancePeaksNearTheCutoff) {
    // Without resonance the feedback is off: unity at DC and a falling response.
    EXPECT_NEAR(ladderSettled<DiodeHandle>(
                    sp_diode_init, sp_diode_compute, [](sp_diode*) {}, 0.5f),
                0.5f, 1e-5);
    double previous = diodeDb(0.0f, 1000, 20);
    EXPECT_NEAR(previous, 0.0, 0.5);
    for (double hz : {100.0, 500.0, 1000.0, 2000.0, 4000.0}) {
        const double here = diodeDb(0.0f, 1000, hz);
        EXPECT_LT(here, previous) << hz;
        previous = here;
    }
    EXPECT_LT(diodeDb(0.0f, 1000, 4000), -60.0);
    EXPECT_GT(diodeDb(0.0f, 4000, 1000), diodeDb(0.0f, 1000, 1000) + 15.0);

    // With resonance the band just below the cutoff stands out above the (lowered) passband.
    double peak = -1000;
    for (double hz = 500; hz <= 1000; hz += 50)
        peak = std::max(peak, diodeDb(0.9f, 1000, hz));
    EXPECT_GT(peak, diodeDb(0.9f, 1000, 50) + 5.0);
    EXPECT_GT(peak, diodeDb(0.9f, 1000, 1500) + 10.0);

    ContextHandle sp;
    DiodeHandle d;
    sp_diode_init(sp.get(), d.get());
    d->resonance = 0.5f;
    float x = 1.0f, y;
    sp_diode_compute(sp.get(), d.get(), &x, &y);
    EXPECT_FLOAT_EQ(d->feedback_gain, 8.5f);
    EXPECT_EQ(d->stage_feedback[3], 0.0f);
}

TEST(SpDiode, CoefficientsFollowTheWarpedCutoff) {
    ContextHandle sp;
    DiodeHandle d;
    sp_diode_init(sp.get(), d.get());
    // The ladder's stage factors for g = tan(pi f / rate), in double.
    const double g = std::tan(std::acos(-1.0) * 1000.0 / 44100.0), h = g / 2.0, p = 1.0 + g;
    const double g4 = h / p, g3 = h / (p - g4 * h), g2 = h / (p - g3 * h), g1 = g / (p - g * g2);
    for (float gain : d->stage_gain)
        EXPECT_NEAR(gain, g / p, 1e-6);
    EXPECT_NEAR(d->stage_norm[0], 1.0 / (p - g * g2), 1e-6);
    EXPECT_NEAR(d->stage_norm[3], 1.0 / p, 1e-6);
    EXPECT_NEAR(d->stage_in_scale[0], 1.0 + g1 * g2, 1e-6);
    EXPECT_NEAR(d->sum_weight[0], g4 * g3 * g2, 1e-9);
    EXPECT_NEAR(d->loop_gain / (g4 * g3 * g2 * g1), 1.0, 1e-5);
    EXPECT_EQ(d->stage_in_scale[3], 1.0f);
    EXPECT_EQ(d->stage_fb_scale[3], 0.0f);
    EXPECT_EQ(d->sum_weight[3], 1.0f);
    const float outScale[4] = {1.0f, 0.5f, 0.5f, 0.5f};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(d->stage_out_scale[i], outScale[i]);
}

TEST(SpLpf18, ThreePolesWithResonanceAndTanhOutput) {
    EXPECT_NEAR(lpf18Db(0.0f, 20), 0.0, 0.05);
    EXPECT_LT(lpf18Db(0.0f, 4000), lpf18Db(0.0f, 2000) - 15.0);
    EXPECT_GT(lpf18Db(0.8f, 1000), lpf18Db(0.8f, 100) + 15.0);

    // Distortion 0 still passes the output through tanh: a settled 2.0 comes out as tanh(2).
    EXPECT_NEAR(ladderSettled<Lpf18Handle>(
                    sp_lpf18_init, sp_lpf18_compute,
                    [](sp_lpf18* p) {
                        p->resonance = 0;
                        p->distortion = 0;
                    },
                    2.0f),
                std::tanh(2.0), 1e-5);
    // Distortion d drives it by 1 + d (1.5 + 2 r (1 - 2 f / rate)): with r = 0 and d = 2, by 4.
    EXPECT_NEAR(ladderSettled<Lpf18Handle>(
                    sp_lpf18_init, sp_lpf18_compute, [](sp_lpf18* p) { p->resonance = 0; }, 0.1f),
                std::tanh(0.4), 1e-5);

    // However hard it is driven, the output stays inside (-1, 1).
    ContextHandle sp;
    Lpf18Handle f;
    sp_lpf18_init(sp.get(), f.get());
    for (int n = 0; n < 20000; ++n) {
        float x = static_cast<float>(100.0 * std::sin(0.03 * n)), y;
        sp_lpf18_compute(sp.get(), f.get(), &x, &y);
        ASSERT_LE(std::fabs(y), 1.0f);
    }
}

TEST(SpLadderFilters, ComputeNeverAllocates) {
    ContextHandle sp;
    DiodeHandle d;
    Lpf18Handle l;
    MoogHandle m;
    sp_diode_init(sp.get(), d.get());
    sp_lpf18_init(sp.get(), l.get());
    sp_moogladder_init(sp.get(), m.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 256; ++n) {
                      float x = static_cast<float>(n % 5) - 2.0f, y;
                      m->frequency = 200.0f + static_cast<float>(n);
                      sp_diode_compute(sp.get(), d.get(), &x, &y);
                      sp_lpf18_compute(sp.get(), l.get(), &x, &y);
                      sp_moogladder_compute(sp.get(), m.get(), &x, &y);
                  }
              }),
              0u);
}
