#include "Sigpro/modules/sp_adsr.h"
#include "Sigpro/modules/sp_bal.h"
#include "Sigpro/modules/sp_bitcrush.h"
#include "Sigpro/modules/sp_clip.h"
#include "Sigpro/modules/sp_compressor.h"
#include "Sigpro/modules/sp_dist.h"
#include "Sigpro/modules/sp_fold.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using Adsr = SP_COMPUTING_MODULE(adsr);
using BalHandle = SP_MODULE(bal);
using Clip = SP_COMPUTING_MODULE(clip);
using Compressor = SP_COMPUTING_MODULE(compressor);
using Dist = SP_COMPUTING_MODULE(dist);
using Bitcrush = SP_COMPUTING_MODULE(bitcrush);
using Fold = SP_COMPUTING_MODULE(fold);

// Gain in dB of the compressor for a steady 1 kHz sine of `amplitude` (fit over the last of two seconds).
double dynCompressorGainDb(float ratio, float threshold, float amplitude) {
    return testsupport::toDecibels(sigprotest::freshGain<Compressor>(
        sp_compressor_init,
        [=](sp_compressor* p) { std::tie(*p->ratio, *p->threshold) = std::pair(ratio, threshold); }, 1000.0,
        amplitude, 88200));
}

} // namespace

TEST(SpAdsr, StagesReachTheirLevelsWithTheirTimeConstants) {
    sigprotest::Fresh<Adsr> env(sp_adsr_init);
    EXPECT_EQ((std::vector{env->attack, env->decay, env->sustain, env->release}),
              (std::vector{0.1f, 0.1f, 0.5f, 0.3f}));
    // Never gated: exact silence.
    EXPECT_EQ(env(std::vector<float>(100, 0.0f)), std::vector<float>(100, 0.0f));

    // Attack: time constant 0.6 x attack = 2646 samples toward the gate, ending on its first level above
    // 0.99, after ln(100) time constants; then the decay toward 0.5 with time constant `decay`.
    const auto attack = env(std::vector<float>(20000, 1.0f));
    EXPECT_NEAR(attack[2645], 1.0 - std::exp(-1.0), 1e-3);
    std::size_t peak = 0;
    while (peak + 1 < attack.size() && attack[peak + 1] > attack[peak])
        ++peak;
    EXPECT_NEAR(double(peak), 2646.0 * std::log(100.0), 3.0);
    EXPECT_TRUE(attack[peak] > 0.99f && attack[peak - 1] < 0.99f);
    EXPECT_NEAR(attack[peak + 4410], 0.5 + (attack[peak] - 0.5) * std::exp(-1.0), 1e-3);
    // Float smoothing stalls within about 1.3e-4 of 0.5.
    const float sustain = env(std::vector<float>(44100, 1.0f)).back();
    EXPECT_NEAR(sustain, 0.5f, 2e-4);

    // Release: toward 0 with time constant `release` (13230 samples).
    const auto release = env(std::vector<float>(44100, 0.0f));
    EXPECT_NEAR(release[13229], sustain * std::exp(-1.0), 1e-3);
    EXPECT_LT(release.back(), 0.02f);
    EXPECT_TRUE(std::is_sorted(release.rbegin(), release.rend()) &&
                std::adjacent_find(release.begin(), release.end()) == release.end());
}

TEST(SpAdsr, SoftNotesDecayToTheirSustainAndRegatingRestartsOnlyOutsideTheDecay) {
    sigprotest::Fresh<Adsr> env(sp_adsr_init);
    // A velocity-64 note rises to its own level and decays to half of it; it must not stay at the top.
    const float soft = 64.0f / 127.0f;
    const auto held = env(std::vector<float>(88200, soft));
    EXPECT_NEAR(held.back(), soft * 0.5f, 2e-4);
    EXPECT_GT(testsupport::peak(held), 0.99f * soft);

    // A rising gate in decay or sustain does not restart the attack: the level follows gate x sustain.
    const auto louder = env(std::vector<float>(88200, 1.0f));
    EXPECT_EQ(env->stage, sp_adsr_decay);
    EXPECT_NEAR(louder.back(), 0.5f, 2e-4);
    EXPECT_LT(testsupport::peak(louder), 0.5f + 2e-4f);

    // In the release a new gate starts a new attack from the current level.
    env(std::vector<float>(4410, 0.0f));
    EXPECT_EQ(env->stage, sp_adsr_release);
    const float before = env->level;
    const auto again = env(std::vector<float>(4000, 1.0f));
    EXPECT_EQ(env->stage, sp_adsr_attack);
    EXPECT_GT(again[0], before);
    EXPECT_NEAR(again[2645], 1.0 - (1.0 - before) * std::exp(-1.0), 1e-3);
    sigprotest::expectModuleLifecycle<Adsr>(sp_adsr_init, std::vector<float>(3000, 0.7f), {},
                                            [](sp_adsr* p, int n) { p->sustain = float(n % 10) / 10.0f; });
}

TEST(SpBal, FollowsTheComparatorsPowerOneSampleLate) {
    ContextHandle sp;
    BalHandle bal;
    // Outputs for a signal and a comparator of `ratio` times the signal (a silent signal when 0).
    auto render = [&](float ratio, bool silentSignal, int samples) {
        sp_bal_init(sp.get(), bal.get());
        std::vector<float> y(samples);
        for (int n = 0; n < samples; ++n) {
            float s = static_cast<float>(0.3 * std::sin(0.05 * n + 0.5)), c = ratio * s;
            if (silentSignal) s = 0.0f;
            sp_bal_compute(sp.get(), bal.get(), &s, &c, &y[std::size_t(n)]);
        }
        return y;
    };
    EXPECT_EQ(render(1.0f, true, 1000), std::vector<float>(1000, 0.0f));
    EXPECT_EQ(bal->half_power_freq, 10.0f);
    // Equal inputs: the first output uses the initial gain 0, every later one unity gain.
    const auto equal = render(1.0f, false, 1000);
    EXPECT_EQ(equal[0], 0.0f);
    for (int n = 1; n < 1000; ++n)
        ASSERT_FLOAT_EQ(equal[std::size_t(n)], static_cast<float>(0.3 * std::sin(0.05 * n + 0.5))) << n;
    // A comparator twice as loud: the gain settles at 2 within a second.
    render(2.0f, false, 44100);
    EXPECT_NEAR(bal->gain, 2.0f, 0.02f);
}

TEST(SpClip, SoftensInsideTheLimitAndNeverExceedsIt) {
    sigprotest::Fresh<Clip> clip(sp_clip_init);
    EXPECT_EQ(clip->limit, 1.0f);
    EXPECT_NEAR(clip(0.5f), std::sin(std::numbers::pi / 4.0), 1e-6);
    EXPECT_EQ((clip(std::vector{2.0f, -2.0f, 0.0f})), (std::vector{1.0f, -1.0f, 0.0f}));
    for (float limit : {0.01f, 0.25f, 1.0f, 3.0f}) {
        clip->limit = limit;
        float previous = -limit;
        // Bounded, monotonic, odd, and the identity's slope near zero times pi / 2.
        for (float x = -2.0f * limit; x <= 2.0f * limit; x += limit / 256.0f) {
            const float y = clip(x);
            ASSERT_TRUE(std::fabs(y) <= limit && y >= previous) << limit << " " << x;
            ASSERT_FLOAT_EQ(clip(-x), -y);
            previous = y;
        }
        EXPECT_NEAR(clip(limit * 1e-3f) / (limit * 1e-3f), std::numbers::pi / 2.0, 1e-4);
    }
}

TEST(SpDist, IsAScaledTanhWithSeparateHalfWaveShapes) {
    sigprotest::Fresh<Dist> dist(sp_dist_init);
    EXPECT_EQ(std::pair(dist->pregain, dist->postgain), std::pair(2.0f, 0.5f));
    const double pre = 2.0 * 6.5536, post = 0.5 * 0.61035156 * 0.5;
    for (float x : {-1.0f, -0.1f, -0.01f, 0.0f, 0.003f, 0.05f, 0.3f, 1.0f})
        EXPECT_NEAR(dist(x), 2.0 * post * std::tanh(x * pre), 1e-6) << x;
    // Loud input saturates at 2 post instead of giving inf / inf.
    for (float x : {60.0f, 1e4f, 1e30f}) {
        EXPECT_NEAR(dist(x), 2.0 * post, 1e-6) << x;
        EXPECT_NEAR(dist(-x), -2.0 * post, 1e-6) << x;
    }
    // shape1 lifts the positive half-wave only, shape2 (when positive) flattens the negative one only.
    const double plain = 2.0 * post * std::tanh(0.5 * pre);
    dist->shape1 = 0.1f;
    EXPECT_GT(dist(0.5f), plain + 0.01);
    EXPECT_NEAR(dist(-0.5f), -plain, 1e-3);
    std::tie(dist->shape1, dist->shape2) = std::pair(0.0f, 0.1f);
    EXPECT_NEAR(dist(0.5f), plain, 1e-3);
    EXPECT_GT(dist(-0.5f), -plain + 0.01);
    dist->shape2 = -0.1f;
    EXPECT_LT(dist(-0.5f), -plain - 0.01);
    // The exact curve, both shapes at once.
    std::tie(dist->shape1, dist->shape2) = std::pair(0.2f, -0.1f);
    const double s1 = 0.2 * 4.096, s2 = -0.1 * 4.096;
    for (double x : {-0.4, 0.2, 0.7}) {
        const double expected =
            post * (std::exp(x * (pre + s1)) - std::exp(x * (s2 - pre))) / std::cosh(x * pre);
        EXPECT_NEAR(dist(float(x)), expected, 1e-5 * std::fabs(expected)) << x;
    }
}

TEST(SpBitcrush, QuantisesToTheBitDepthAndHoldsAtTheRate) {
    sigprotest::Fresh<Bitcrush> crush(sp_bitcrush_init);
    EXPECT_EQ(std::pair(crush->bitdepth, crush->srate), std::pair(8.0f, 10000.0f));
    // At 10 kHz from 44.1 kHz the input is taken on samples 1, 5, 9, 14, 18, 23, ... (a 16-bit-exact ramp).
    crush->bitdepth = 16.0f;
    const std::vector<float> ramp = testsupport::ramp(30, -0.25f, 1.0f / 1024.0f);
    const std::vector<float> y = crush(ramp);
    EXPECT_EQ(y[0], 0.0f);
    std::vector<int> taken;
    for (int n = 1; n < 30; ++n) {
        if (y[n] == ramp[n])
            taken.push_back(n);
        else
            ASSERT_TRUE(!taken.empty() && y[n] == ramp[taken.back()]) << n;
    }
    EXPECT_EQ(taken, (std::vector<int>{1, 5, 9, 14, 18, 23, 27}));

    // Output on a grid of 2^-bits, at most one step below the input (float may round up by 2^-24): 16
    // bits at the full rate from the second sample on; fractional bit depths round down (3.7 bits are 8
    // levels).
    sp_bitcrush_init(crush.sp(), crush.get());
    crush->srate = 44100.0f;
    for (auto [depth, bits, level] : {std::tuple{16.0f, 16, 0.9}, std::tuple{3.7f, 3, 0.49}}) {
        crush->bitdepth = depth;
        const auto input = testsupport::sine(200, 44100.0 * 0.37 / (2.0 * std::numbers::pi), 44100.0, level);
        const auto out = crush(input);
        for (std::size_t n = bits == 16 ? 1 : 0; n < out.size(); ++n) {
            const float steps = (out[n] + 0.5f) * std::ldexp(1.0f, bits);
            ASSERT_EQ(steps, std::floor(steps)) << bits << " " << n;
            ASSERT_TRUE(out[n] <= input[n] + std::ldexp(1.0f, -24) &&
                        out[n] > input[n] - std::ldexp(1.0f, -bits))
                << bits << " " << n;
        }
    }
}

TEST(SpFold, KeepsItsPeriodInLongRunsAndFollowsANewRateAtOnce) {
    sigprotest::Fresh<Fold> fold(sp_fold_init);
    EXPECT_EQ(fold->increment, 1000.0f);
    fold->increment = 44100.0f / 10000.0f;
    // Counts the captures (changes of a ramp's held value) in `samples` samples.
    float ramp = 0.0f;
    auto captures = [&](long samples) {
        long count = 0;
        float previous = fold->held;
        for (long n = 0; n < samples; ++n) {
            const float x = ramp += 1.0f;
            if (ramp > 1e6f) ramp = 0.0f;
            const float y = fold(x);
            count += y != previous;
            previous = y;
        }
        return count;
    };
    // Past 2^24 samples a float count could not tell samples apart; the period must stay 4.41.
    captures((1L << 24) + 1000);
    EXPECT_NEAR(captures(44100), 10000, 2);
    EXPECT_LT(fold->counter, 1 << 17);
    // A rate of 0 holds; the first rate after it takes effect within its own period.
    fold->increment = INFINITY;
    EXPECT_LE(captures(1000), 1);
    fold->increment = 4.41f;
    EXPECT_EQ(captures(6), 1);
    EXPECT_NEAR(captures(44100), 10000, 2);
    // A rate above the sample rate takes every sample, and a lower rate afterwards holds at once.
    fold->increment = 0.5f;
    EXPECT_EQ(captures(100000), 100000);
    fold->increment = 4.41f;
    EXPECT_NEAR(captures(4410), 1000, 2);
}

TEST(SpCompressor, ReducesTheLevelAboveTheThresholdByTheRatio) {
    sigprotest::Fresh<Compressor> comp(sp_compressor_init);
    EXPECT_EQ((std::vector{*comp->ratio, *comp->threshold, *comp->attack, *comp->release}),
              (std::vector{1.0f, 0.0f, 0.1f, 0.1f}));
    // Silence stays silence (log of a zero envelope).
    EXPECT_EQ(comp(0.0f), 0.0f);
    // A steady sine's envelope is its mean rectified level 2A / pi; above the threshold gain falls (1 -
    // 1/ratio) dB/dB.
    const double level = 20.0 * std::log10(0.5 * 2.0 / std::numbers::pi);
    for (float ratio : {2.0f, 4.0f, 10.0f})
        for (float threshold : {-30.0f, -20.0f})
            EXPECT_NEAR(dynCompressorGainDb(ratio, threshold, 0.5f),
                        -(1.0 - 1.0 / ratio) * (level - threshold), 0.05)
                << ratio << " " << threshold;
    // Below the threshold, and at ratio 1, the signal passes unchanged.
    EXPECT_NEAR(dynCompressorGainDb(4.0f, -6.0f, 0.1f), 0.0, 1e-4);
    EXPECT_NEAR(dynCompressorGainDb(1.0f, -40.0f, 0.5f), 0.0, 1e-4);
}

TEST(SpDynamics, ReinitStartsOverAndComputeNeverAllocates) {
    const std::vector<float> tone = testsupport::sine(3000, 700.0, 44100.0, 0.8);
    sigprotest::expectModuleLifecycle<Compressor>(
        sp_compressor_init, tone,
        [](sp_compressor* p) { std::tie(*p->ratio, *p->threshold) = std::pair(8.0f, -40.0f); },
        [](sp_compressor* p, int n) { *p->threshold = -float(n % 40); });
    sigprotest::expectModuleLifecycle<Bitcrush>(sp_bitcrush_init, tone, {},
                                                [](sp_bitcrush* p, int n) { p->srate = 1000.0f + float(n); });
    sigprotest::expectModuleLifecycle<Clip>(sp_clip_init, tone);
    sigprotest::expectModuleLifecycle<Dist>(sp_dist_init, tone);
    sigprotest::Fresh<BalHandle> bal(sp_bal_init);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (float x : tone) {
                      float c = 0.5f * x, y;
                      sp_bal_compute(bal.sp(), bal.get(), &x, &c, &y);
                  }
              }),
              0u);
}
