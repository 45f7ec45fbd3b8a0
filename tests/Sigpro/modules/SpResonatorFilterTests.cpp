#include "Sigpro/modules/sp_reson.h"
#include "Sigpro/modules/sp_streson.h"
#include "Sigpro/modules/sp_tbvcf.h"
#include "Sigpro/modules/sp_wpkorg35.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::freshGain;
using testsupport::toDecibels;

namespace {

using Reson = SP_COMPUTING_MODULE(reson);
using Streson = SP_COMPUTING_MODULE(streson);
using Tbvcf = SP_COMPUTING_MODULE(tbvcf);
using Korg35 = SP_COMPUTING_MODULE(wpkorg35);

// Ringing of a fresh string resonator struck by an impulse, at a rate, frequency and feedback.
std::vector<float> resStresonRing(float frequency, float feedback, std::size_t samples, int rate = 44100) {
    sigprotest::Fresh<Streson> s(rate, sp_streson_init);
    std::tie(s->frequency, s->feedback) = std::pair(frequency, feedback);
    return s(sigprotest::impulse(samples));
}

} // namespace

TEST(SpReson, PeaksAtTheCentreWithTheBandwidthBetweenItsHalfPowerPoints) {
    auto gainDb = [](float bandwidth, double hz) {
        return toDecibels(freshGain<Reson>(
            sp_reson_init, [&](sp_reson* p) { p->bandwidth = bandwidth; }, hz));
    };
    const double peak = gainDb(100.0f, 4000.0);
    EXPECT_LT(std::max(gainDb(100.0f, 3990.0), gainDb(100.0f, 4010.0)), peak);
    EXPECT_NEAR(gainDb(100.0f, 3950.0), peak - 3.0103, 0.2);
    EXPECT_NEAR(gainDb(100.0f, 4050.0), peak - 3.0103, 0.2);
    EXPECT_LT(gainDb(100.0f, 3000.0), peak - 20.0);
    // Not normalised: a narrower band rings louder. A negative bandwidth counts as its absolute value.
    EXPECT_GT(gainDb(50.0f, 4000.0), peak + 5.0);
    EXPECT_EQ(gainDb(-100.0f, 3950.0), gainDb(100.0f, 3950.0));

    // The defaults; a new frequency alone keeps the radius term c3.
    sigprotest::Fresh<Reson> r(sp_reson_init);
    EXPECT_EQ(std::pair(r->frequency, r->bandwidth), std::pair(4000.0f, 1000.0f));
    r(0.0f);
    const std::pair before(r->c2, r->c3);
    r->frequency = 1000.0f;
    r(0.0f);
    EXPECT_EQ(r->c3, before.second);
    EXPECT_NE(r->c2, before.first);
}

TEST(SpStreson, RingsAtItsFundamentalAndNeverBelowTwentyHertz) {
    sigprotest::Fresh<Streson> s(sp_streson_init);
    EXPECT_EQ(std::tuple(s->loop_length, s->frequency, s->feedback), std::tuple(2205, 440.0f, 0.8f));
    // The whole-sample delay, the average's half sample and the all-pass's fraction add up to rate /
    // frequency; the all-pass's delay is its fraction only toward 0 Hz: a few cents flat at 1234.5 Hz.
    EXPECT_NEAR(sigprotest::autocorrelationPeriod(resStresonRing(440.0f, 0.99f, 20000), 2000, 60, 150),
                44100.0 / 440.0, 0.05);
    EXPECT_NEAR(sigprotest::autocorrelationPeriod(resStresonRing(1234.5f, 0.99f, 20000), 2000, 20, 60),
                44100.0 / 1234.5, 0.1);
    // 10 Hz counts as 20 Hz: the whole loop; a frequency that is not a number stays finite.
    EXPECT_NEAR(sigprotest::autocorrelationPeriod(resStresonRing(10.0f, 0.99f, 30000), 0, 1500, 3000), 2205.0,
                0.5);
    EXPECT_TRUE(sigprotest::allFinite(resStresonRing(NAN, 0.99f, 5000)));
    // The feedback sets the decay: each period multiplies the ring by about `feedback`.
    const auto ring = resStresonRing(441.0f, 0.5f, 1000);
    auto level = [&](std::size_t from) {
        return std::accumulate(&ring[from], &ring[from + 100], 0.0,
                               [](double sum, float v) { return sum + std::fabs(v); });
    };
    EXPECT_NEAR(level(300) / level(100), 0.25, 0.03);
}

TEST(SpStreson, TheLoopFollowsTheSampleRateOnReinit) {
    sigprotest::Fresh<Streson> s(sp_streson_init);
    s(sigprotest::impulse(500));
    s.sp()->sample_rate = 48000;
    ASSERT_EQ(sp_streson_init(s.sp(), s.get()), 1);
    EXPECT_EQ(s->loop_length, 2400);
    // Started over: silence in, silence out, with no ring left from before.
    EXPECT_EQ(s.generate(3000), std::vector<float>(3000, 0.0f));
    // A rate below 20 Hz still has a loop to run.
    EXPECT_TRUE(sigprotest::allFinite(resStresonRing(440.0f, 0.8f, 100, 10)));
    sigprotest::expectModuleLifecycle<Streson>(
        sp_streson_init, sigprotest::impulse(3000), [](sp_streson* p) { p->feedback = 0.99f; },
        [](sp_streson* p, int n) { p->frequency = 200.0f + float(n); });
}

TEST(SpTbvcf, RestsWithoutInputAndLowPassesWithoutDistortion) {
    sigprotest::Fresh<Tbvcf> f(sp_tbvcf_init);
    EXPECT_EQ((std::vector{f->cutoff, f->resonance, f->distortion, f->asymmetry}),
              (std::vector{500.0f, 0.8f, 2.0f, 0.5f}));
    EXPECT_EQ(f.generate(10000), std::vector<float>(10000, 0.0f));
    EXPECT_EQ(std::tuple(f->s1, f->s2, f->s3), std::tuple(0.0f, 0.0f, 0.0f));

    // Without distortion or resonance: three one-pole stages of rate k / 1000 per sample, k the
    // cutoff-derived rate, with a DC gain of 3.2 k / 1000.
    auto gain = [](double hz) {
        return freshGain<Tbvcf>(
            sp_tbvcf_init,
            [](sp_tbvcf* p) { std::tie(p->distortion, p->resonance, p->cutoff) = std::tuple(0, 0, 1000); },
            hz, 0.1);
    };
    const double k = 0.125 * std::pow(1000.0 * 260.0, 0.58) / 1000.0, pole = 1.0 - k;
    EXPECT_NEAR(gain(5.0), 3.2 * k, 0.01);
    for (double hz : {100.0, 400.0, 2000.0}) {
        const double w = 2.0 * std::numbers::pi * hz / 44100.0;
        EXPECT_NEAR(gain(hz),
                    3.2 * k * std::pow(k / std::hypot(1.0 - pole * std::cos(w), pole * std::sin(w)), 3), 1e-3)
            << hz;
    }
    EXPECT_LT(gain(4000.0), gain(100.0) * 0.05);
}

TEST(SpTbvcf, StaysBoundedWhereItsStepsWouldRunAway) {
    // At the default distortion and a low cutoff the integration steps overshoot and grow without
    // bound; the states are kept within reach instead of turning into inf and then NaN.
    for (float cutoff : {50.0f, 200.0f, 500.0f}) {
        sigprotest::Fresh<Tbvcf> f(sp_tbvcf_init);
        f->cutoff = cutoff;
        const auto y = f(testsupport::sine(441000, 100.0, 44100.0, 0.3));
        EXPECT_TRUE(sigprotest::allFinite(y)) << cutoff;
        EXPECT_LT(testsupport::peak(y), 2.0f) << cutoff;
        EXPECT_GT(testsupport::peak(y), 0.01f) << cutoff;
    }
}

TEST(SpWpkorg35, IsAPrewarpedTwoPoleLowPassAtResonanceOneWhoseLoopSaturates) {
    sigprotest::Fresh<Korg35> f(sp_wpkorg35_init);
    EXPECT_EQ((std::vector{f->cutoff, f->resonance, f->saturation}), (std::vector{1000.0f, 1.0f, 0.0f}));
    // With K = 1 the loop gives 1 / (s^2 + s + 1), bilinear with the cutoff prewarped.
    for (float cutoff : {1000.0f, 5000.0f}) {
        for (double hz : {20.0, 300.0, 1000.0, 2500.0, 5000.0, 9000.0}) {
            const double W =
                std::tan(std::numbers::pi * hz / 44100.0) / std::tan(std::numbers::pi * cutoff / 44100.0);
            const double gain = freshGain<Korg35>(
                sp_wpkorg35_init, [&](sp_wpkorg35* p) { p->cutoff = cutoff; }, hz);
            EXPECT_NEAR(toDecibels(gain), -toDecibels(std::hypot(1.0 - W * W, W)), 0.01)
                << cutoff << " " << hz;
        }
    }
    // More resonance, a higher peak at the cutoff: Q = 1 / (2 - K).
    EXPECT_NEAR(freshGain<Korg35>(
                    sp_wpkorg35_init, [](sp_wpkorg35* p) { p->resonance = 1.5f; }, 1000.0),
                2.0, 0.01);
    // Resonance 0 is silence.
    f->resonance = 0.0f;
    EXPECT_EQ(f(testsupport::noise(1000, 1u)), std::vector<float>(1000, 0.0f));

    // Saturation: tanh keeps the second stage's input within +-1; its output, normalised by K, stays near
    // that, while without saturation the same input rings far louder.
    const std::vector<float> loud = testsupport::sine(44100, 1000.0, 44100.0, 10.0);
    for (float saturation : {1.0f, 0.0f}) {
        sp_wpkorg35_init(f.sp(), f.get());
        std::tie(f->resonance, f->saturation) = std::pair(1.9f, saturation);
        const float peak = testsupport::peak(f(loud));
        EXPECT_TRUE(saturation == 0.0f ? peak > 50.0f : peak > 0.5f && peak < 1.5f)
            << saturation << " " << peak;
    }
}

TEST(SpResonators, ReinitStartsOverAndComputeNeverAllocates) {
    const std::vector<float> input = testsupport::noise(3000, 2u, 0.5f);
    sigprotest::expectModuleLifecycle<Reson>(sp_reson_init, input, {},
                                             [](sp_reson* p, int n) { p->frequency = 500.0f + float(n); });
    auto cutoff = [](auto* p, int n) { p->cutoff = 500.0f + float(n); };
    sigprotest::expectModuleLifecycle<Tbvcf>(sp_tbvcf_init, input, {}, cutoff);
    sigprotest::expectModuleLifecycle<Korg35>(sp_wpkorg35_init, input, {}, cutoff);
}
