#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_reson.h"
#include "Sigpro/modules/sp_streson.h"
#include "Sigpro/modules/sp_tbvcf.h"
#include "Sigpro/modules/sp_wpkorg35.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::toDecibels;

namespace {

using ResonHandle = sigprotest::ModuleHandle<sp_reson, sp_reson_create, sp_reson_destroy>;
using StresonHandle = sigprotest::ModuleHandle<sp_streson, sp_streson_create, sp_streson_destroy>;
using TbvcfHandle = sigprotest::ModuleHandle<sp_tbvcf, sp_tbvcf_create, sp_tbvcf_destroy>;
using Korg35Handle = sigprotest::ModuleHandle<sp_wpkorg35, sp_wpkorg35_create, sp_wpkorg35_destroy>;

// Steady gain at `hz` of a freshly initialised filter; `configure` writes its parameters after init.
template <class Handle, class Init, class Compute, class Configure>
double resGain(Init init, Compute compute, Configure configure, double hz, double level = 1.0) {
    ContextHandle sp;
    Handle f;
    init(sp.get(), f.get());
    configure(f.get());
    return testsupport::steadyGain(
        44100.0, hz,
        [&](float x) {
            float y;
            compute(sp.get(), f.get(), &x, &y);
            return y;
        },
        level);
}

// Period in samples of a ringing signal: the lag of the highest autocorrelation in [minLag, maxLag],
// refined by a parabola through its neighbours.
double resPeriod(const std::vector<float>& y, std::size_t first, int minLag, int maxLag) {
    auto correlation = [&](int lag) {
        double sum = 0;
        for (std::size_t n = first; n + lag < y.size(); ++n)
            sum += double(y[n]) * y[n + lag];
        return sum;
    };
    int best = minLag;
    double bestValue = correlation(minLag);
    for (int lag = minLag + 1; lag <= maxLag; ++lag) {
        const double v = correlation(lag);
        if (v > bestValue) {
            bestValue = v;
            best = lag;
        }
    }
    const double left = correlation(best - 1), right = correlation(best + 1);
    return best + 0.5 * (left - right) / (left - 2.0 * bestValue + right);
}

std::vector<float> resStresonRing(sp_data* sp, sp_streson* p, std::size_t samples) {
    std::vector<float> out(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        float x = n == 0 ? 1.0f : 0.0f;
        sp_streson_compute(sp, p, &x, &out[n]);
    }
    return out;
}

} // namespace

TEST(SpReson, PeaksAtTheCentreWithTheBandwidthBetweenItsHalfPowerPoints) {
    ContextHandle sp;
    ResonHandle r;
    sp_reson_init(sp.get(), r.get());
    EXPECT_EQ(r->frequency, 4000.0f);
    EXPECT_EQ(r->bandwidth, 1000.0f);

    auto gainDb = [](float bandwidth, double hz) {
        return toDecibels(resGain<ResonHandle>(
            sp_reson_init, sp_reson_compute, [&](sp_reson* p) { p->bandwidth = bandwidth; }, hz));
    };
    const double peak = gainDb(100.0f, 4000.0);
    EXPECT_LT(gainDb(100.0f, 3990.0), peak);
    EXPECT_LT(gainDb(100.0f, 4010.0), peak);
    EXPECT_NEAR(gainDb(100.0f, 3950.0), peak - 3.0103, 0.2);
    EXPECT_NEAR(gainDb(100.0f, 4050.0), peak - 3.0103, 0.2);
    EXPECT_LT(gainDb(100.0f, 3000.0), peak - 20.0);
    // Not normalised: a narrower band rings louder.
    EXPECT_GT(gainDb(50.0f, 4000.0), peak + 5.0);
    // A negative bandwidth counts as its absolute value.
    EXPECT_EQ(gainDb(-100.0f, 3950.0), gainDb(100.0f, 3950.0));

    // The pole radius is exp(-pi B / rate), the angle the centre frequency.
    float x = 0.0f, y;
    sp_reson_compute(sp.get(), r.get(), &x, &y);
    EXPECT_NEAR(r->c3, std::exp(-2.0 * std::numbers::pi * 1000.0 / 44100.0), 1e-6);
    EXPECT_NEAR(r->c2, 4.0 * r->c3 * std::cos(2.0 * std::numbers::pi * 4000.0 / 44100.0) / (1.0 + r->c3),
                1e-6);
    const float c3 = r->c3;
    // A new frequency alone keeps c3.
    r->frequency = 1000.0f;
    sp_reson_compute(sp.get(), r.get(), &x, &y);
    EXPECT_EQ(r->c3, c3);
    EXPECT_NEAR(r->c2, 4.0 * c3 * std::cos(2.0 * std::numbers::pi * 1000.0 / 44100.0) / (1.0 + c3), 1e-6);
}

TEST(SpStreson, RingsAtItsFundamentalAndNeverBelowTwentyHertz) {
    ContextHandle sp;
    StresonHandle s;
    ASSERT_EQ(sp_streson_init(sp.get(), s.get()), 1);
    EXPECT_EQ(s->loop_length, 2205);
    EXPECT_EQ(s->loop.size, 2205 * sizeof(float));
    EXPECT_EQ(s->frequency, 440.0f);
    EXPECT_EQ(s->feedback, 0.8f);

    // The whole-sample delay, the average's half sample and the all-pass's fraction add up to
    // rate / frequency.
    s->feedback = 0.99f;
    auto ring = resStresonRing(sp.get(), s.get(), 20000);
    EXPECT_NEAR(resPeriod(ring, 2000, 60, 150), 44100.0 / 440.0, 0.05);

    sp_streson_init(sp.get(), s.get());
    s->frequency = 1234.5f;
    s->feedback = 0.99f;
    ring = resStresonRing(sp.get(), s.get(), 20000);
    // The all-pass's delay is its fraction only toward 0 Hz: a few cents flat up here.
    EXPECT_NEAR(resPeriod(ring, 2000, 20, 60), 44100.0 / 1234.5, 0.1);

    // 10 Hz counts as 20 Hz: the whole loop.
    sp_streson_init(sp.get(), s.get());
    s->frequency = 10.0f;
    s->feedback = 0.99f;
    ring = resStresonRing(sp.get(), s.get(), 30000);
    EXPECT_NEAR(resPeriod(ring, 0, 1500, 3000), 2205.0, 0.5);
    s->frequency = NAN;
    float x = 0.0f, y;
    for (int n = 0; n < 5000; ++n) {
        sp_streson_compute(sp.get(), s.get(), &x, &y);
        ASSERT_TRUE(std::isfinite(y));
    }

    // The feedback sets the decay: each period multiplies the ring by about `feedback`.
    sp_streson_init(sp.get(), s.get());
    s->frequency = 441.0f;
    s->feedback = 0.5f;
    ring = resStresonRing(sp.get(), s.get(), 1000);
    double first = 0, third = 0;
    for (int n = 0; n < 100; ++n) {
        first += std::fabs(ring[100 + n]);
        third += std::fabs(ring[300 + n]);
    }
    EXPECT_NEAR(third / first, 0.25, 0.03);
}

TEST(SpStreson, TheLoopFollowsTheSampleRateOnReinit) {
    ContextHandle sp;
    StresonHandle s;
    sp_streson_init(sp.get(), s.get());
    resStresonRing(sp.get(), s.get(), 500);
    sp->sample_rate = 48000;
    ASSERT_EQ(sp_streson_init(sp.get(), s.get()), 1);
    EXPECT_EQ(s->loop_length, 2400);
    EXPECT_EQ(s->loop.size, 2400 * sizeof(float));
    // Started over: silence in, silence out, with no ring left from before.
    float x = 0.0f, y;
    for (int n = 0; n < 3000; ++n) {
        sp_streson_compute(sp.get(), s.get(), &x, &y);
        ASSERT_EQ(y, 0.0f);
    }
    // A rate below 20 Hz still has a loop to run.
    sp->sample_rate = 10;
    ASSERT_EQ(sp_streson_init(sp.get(), s.get()), 1);
    EXPECT_EQ(s->loop_length, 1);
    for (int n = 0; n < 100; ++n) {
        x = n == 0 ? 1.0f : 0.0f;
        sp_streson_compute(sp.get(), s.get(), &x, &y);
        ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(SpTbvcf, RestsWithoutInputAndLowPassesWithoutDistortion) {
    ContextHandle sp;
    TbvcfHandle f;
    sp_tbvcf_init(sp.get(), f.get());
    EXPECT_EQ(f->cutoff, 500.0f);
    EXPECT_EQ(f->resonance, 0.8f);
    EXPECT_EQ(f->distortion, 2.0f);
    EXPECT_EQ(f->asymmetry, 0.5f);
    float x = 0.0f, y;
    for (int n = 0; n < 10000; ++n) {
        sp_tbvcf_compute(sp.get(), f.get(), &x, &y);
        ASSERT_EQ(y, 0.0f);
    }
    EXPECT_EQ(f->s1, 0.0f);
    EXPECT_EQ(f->s2, 0.0f);
    EXPECT_EQ(f->s3, 0.0f);

    // Without distortion or resonance: three one-pole stages of rate k / 1000 per sample, k the
    // cutoff-derived rate, with a DC gain of 3.2 k / 1000.
    auto gain = [](double hz) {
        return resGain<TbvcfHandle>(
            sp_tbvcf_init, sp_tbvcf_compute,
            [](sp_tbvcf* p) {
                p->distortion = 0.0f;
                p->resonance = 0.0f;
                p->cutoff = 1000.0f;
            },
            hz, 0.1);
    };
    const double k = 44100.0 * 0.125 * std::pow(1000.0 * 260.0, 0.58) / 44100.0;
    EXPECT_NEAR(gain(5.0), 3.2 * k / 1000.0, 0.01);
    const double pole = 1.0 - k / 1000.0;
    for (double hz : {100.0, 400.0, 2000.0}) {
        const double w = 2.0 * std::numbers::pi * hz / 44100.0;
        const double stage = (k / 1000.0) / std::hypot(1.0 - pole * std::cos(w), pole * std::sin(w));
        EXPECT_NEAR(gain(hz), 3.2 * k / 1000.0 * stage * stage * stage, 1e-3) << hz;
    }
    EXPECT_LT(gain(4000.0), gain(100.0) * 0.05);
}

TEST(SpTbvcf, StaysBoundedWhereItsStepsWouldRunAway) {
    // At the default distortion and a low cutoff the integration steps overshoot and grow without
    // bound; the states are kept within reach instead of turning into inf and then NaN.
    ContextHandle sp;
    TbvcfHandle f;
    for (float cutoff : {50.0f, 200.0f, 500.0f}) {
        sp_tbvcf_init(sp.get(), f.get());
        f->cutoff = cutoff;
        float peak = 0.0f;
        for (int n = 0; n < 441000; ++n) {
            float x = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 100.0 * n / 44100.0)), y;
            sp_tbvcf_compute(sp.get(), f.get(), &x, &y);
            ASSERT_TRUE(std::isfinite(y)) << cutoff << " " << n;
            peak = std::max(peak, std::fabs(y));
        }
        EXPECT_LT(peak, 2.0f) << cutoff;
        EXPECT_GT(peak, 0.01f) << cutoff;
    }
}

TEST(SpWpkorg35, IsAPrewarpedTwoPoleLowPassAtResonanceOne) {
    ContextHandle sp;
    Korg35Handle f;
    sp_wpkorg35_init(sp.get(), f.get());
    EXPECT_EQ(f->cutoff, 1000.0f);
    EXPECT_EQ(f->resonance, 1.0f);
    EXPECT_EQ(f->saturation, 0.0f);

    // With K = 1 the loop gives 1 / (s^2 + s + 1), bilinear with the cutoff prewarped.
    for (float cutoff : {1000.0f, 5000.0f}) {
        for (double hz : {20.0, 300.0, 1000.0, 2500.0, 5000.0, 9000.0}) {
            const double W =
                std::tan(std::numbers::pi * hz / 44100.0) / std::tan(std::numbers::pi * cutoff / 44100.0);
            const double expected = 1.0 / std::hypot(1.0 - W * W, W);
            const double gain = resGain<Korg35Handle>(
                sp_wpkorg35_init, sp_wpkorg35_compute, [&](sp_wpkorg35* p) { p->cutoff = cutoff; }, hz);
            EXPECT_NEAR(toDecibels(gain), toDecibels(expected), 0.01) << cutoff << " " << hz;
        }
    }
    // More resonance, a higher peak at the cutoff: Q = 1 / (2 - K).
    const double resonant = resGain<Korg35Handle>(
        sp_wpkorg35_init, sp_wpkorg35_compute, [](sp_wpkorg35* p) { p->resonance = 1.5f; }, 1000.0);
    EXPECT_NEAR(resonant, 2.0, 0.01);

    // Resonance 0 is silence.
    sp_wpkorg35_init(sp.get(), f.get());
    f->resonance = 0.0f;
    for (int n = 0; n < 1000; ++n) {
        float x = static_cast<float>(std::sin(0.1 * n)), y;
        sp_wpkorg35_compute(sp.get(), f.get(), &x, &y);
        ASSERT_EQ(y, 0.0f);
    }
}

TEST(SpWpkorg35, SaturationBoundsTheLoop) {
    ContextHandle sp;
    Korg35Handle f;
    sp_wpkorg35_init(sp.get(), f.get());
    f->resonance = 1.9f;
    f->saturation = 1.0f;
    float peak = 0.0f;
    for (int n = 0; n < 44100; ++n) {
        float x = static_cast<float>(10.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / 44100.0)), y;
        sp_wpkorg35_compute(sp.get(), f.get(), &x, &y);
        peak = std::max(peak, std::fabs(y));
    }
    // tanh keeps the second stage's input within +-1; its output, normalised by K, stays near that.
    EXPECT_LT(peak, 1.5f);
    EXPECT_GT(peak, 0.5f);
    // Without saturation the same input rings far louder.
    sp_wpkorg35_init(sp.get(), f.get());
    f->resonance = 1.9f;
    peak = 0.0f;
    for (int n = 0; n < 44100; ++n) {
        float x = static_cast<float>(10.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / 44100.0)), y;
        sp_wpkorg35_compute(sp.get(), f.get(), &x, &y);
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_GT(peak, 50.0f);
}

TEST(SpResonators, ComputeNeverAllocates) {
    ContextHandle sp;
    ResonHandle reson;
    StresonHandle streson;
    TbvcfHandle tb;
    Korg35Handle korg;
    sp_reson_init(sp.get(), reson.get());
    sp_streson_init(sp.get(), streson.get());
    sp_tbvcf_init(sp.get(), tb.get());
    sp_wpkorg35_init(sp.get(), korg.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 1000; ++n) {
                      float x = static_cast<float>(std::sin(0.01 * n)), y;
                      reson->frequency = 500.0f + static_cast<float>(n);
                      korg->cutoff = 500.0f + static_cast<float>(n);
                      sp_reson_compute(sp.get(), reson.get(), &x, &y);
                      sp_streson_compute(sp.get(), streson.get(), &x, &y);
                      sp_tbvcf_compute(sp.get(), tb.get(), &x, &y);
                      sp_wpkorg35_compute(sp.get(), korg.get(), &x, &y);
                  }
              }),
              0u);
}
