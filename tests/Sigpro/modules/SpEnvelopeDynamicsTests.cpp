#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_adsr.h"
#include "Sigpro/modules/sp_bal.h"
#include "Sigpro/modules/sp_bitcrush.h"
#include "Sigpro/modules/sp_clip.h"
#include "Sigpro/modules/sp_compressor.h"
#include "Sigpro/modules/sp_dist.h"
#include "Sigpro/modules/sp_fold.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using AdsrHandle = sigprotest::ModuleHandle<sp_adsr, sp_adsr_create, sp_adsr_destroy>;
using BalHandle = sigprotest::ModuleHandle<sp_bal, sp_bal_create, sp_bal_destroy>;
using ClipHandle = sigprotest::ModuleHandle<sp_clip, sp_clip_create, sp_clip_destroy>;
using CompressorHandle = sigprotest::ModuleHandle<sp_compressor, sp_compressor_create, sp_compressor_destroy>;
using DistHandle = sigprotest::ModuleHandle<sp_dist, sp_dist_create, sp_dist_destroy>;
using BitcrushHandle = sigprotest::ModuleHandle<sp_bitcrush, sp_bitcrush_create, sp_bitcrush_destroy>;
using FoldHandle = sigprotest::ModuleHandle<sp_fold, sp_fold_create, sp_fold_destroy>;

// Runs the envelope for `samples` samples at a fixed gate and returns the outputs.
std::vector<float> dynAdsrRun(sp_data* sp, sp_adsr* env, float gate, int samples) {
    std::vector<float> out(samples);
    for (int n = 0; n < samples; ++n)
        sp_adsr_compute(sp, env, &gate, &out[n]);
    return out;
}

float dynClipAt(sp_clip* clip, float x) {
    return sigprotest::computeOnce(sp_clip_compute, nullptr, clip, x);
}

float dynDistAt(sp_dist* dist, float x) {
    return sigprotest::computeOnce(sp_dist_compute, nullptr, dist, x);
}

// Gain in dB of the compressor for a steady 1 kHz sine of `amplitude` (fit over the last of two seconds).
double dynCompressorGainDb(float ratio, float threshold, float amplitude) {
    ContextHandle sp;
    CompressorHandle comp;
    sp_compressor_init(sp.get(), comp.get());
    *comp->ratio = ratio;
    *comp->threshold = threshold;
    return testsupport::toDecibels(testsupport::steadyGain(
        44100.0, 1000.0,
        [&](float x) { return sigprotest::computeOnce(sp_compressor_compute, sp.get(), comp.get(), x); },
        amplitude, 88200));
}

} // namespace

TEST(SpAdsr, StagesReachTheirLevelsWithTheirTimeConstants) {
    ContextHandle sp;
    AdsrHandle env;
    sp_adsr_init(sp.get(), env.get());
    EXPECT_EQ(env->attack, 0.1f);
    EXPECT_EQ(env->decay, 0.1f);
    EXPECT_EQ(env->sustain, 0.5f);
    EXPECT_EQ(env->release, 0.3f);

    // Never gated: exact silence.
    for (float y : dynAdsrRun(sp.get(), env.get(), 0.0f, 100))
        ASSERT_EQ(y, 0.0f);

    // Attack: time constant 0.6 x attack = 2646 samples toward the gate.
    const auto attack = dynAdsrRun(sp.get(), env.get(), 1.0f, 20000);
    EXPECT_NEAR(attack[2645], 1.0 - std::exp(-1.0), 1e-3);
    std::size_t peak = 0;
    while (peak + 1 < attack.size() && attack[peak + 1] > attack[peak])
        ++peak;
    // The attack ends on its first level above 0.99: after ln(100) time constants.
    EXPECT_NEAR(double(peak), 2646.0 * std::log(100.0), 3.0);
    EXPECT_GT(attack[peak], 0.99f);
    EXPECT_LT(attack[peak - 1], 0.99f);
    // Then the decay toward 0.5 with time constant `decay` (4410 samples).
    EXPECT_NEAR(attack[peak + 4410], 0.5 + (attack[peak] - 0.5) * std::exp(-1.0), 1e-3);

    // Float smoothing stalls within about 1.3e-4 of 0.5.
    const auto sustain = dynAdsrRun(sp.get(), env.get(), 1.0f, 44100);
    EXPECT_NEAR(sustain.back(), 0.5f, 2e-4);

    // Release: toward 0 with time constant `release` (13230 samples).
    const auto release = dynAdsrRun(sp.get(), env.get(), 0.0f, 44100);
    EXPECT_NEAR(release[13229], sustain.back() * std::exp(-1.0), 1e-3);
    EXPECT_LT(release.back(), 0.02f);
    for (std::size_t n = 1; n < release.size(); ++n)
        ASSERT_LT(release[n], release[n - 1]);
}

TEST(SpAdsr, SoftNotesDecayToTheirSustainAndRegatingRestartsOnlyOutsideTheDecay) {
    ContextHandle sp;
    AdsrHandle env;
    sp_adsr_init(sp.get(), env.get());
    // A velocity-64 note rises to its own level and decays to half of it; it must not stay at the top.
    const float soft = 64.0f / 127.0f;
    const auto held = dynAdsrRun(sp.get(), env.get(), soft, 88200);
    EXPECT_NEAR(held.back(), soft * 0.5f, 2e-4);
    EXPECT_GT(*std::max_element(held.begin(), held.end()), 0.99f * soft);

    // A rising gate in decay or sustain does not restart the attack: the level follows gate x sustain.
    const auto louder = dynAdsrRun(sp.get(), env.get(), 1.0f, 88200);
    EXPECT_EQ(env->stage, sp_adsr_decay);
    EXPECT_NEAR(louder.back(), 0.5f, 2e-4);
    EXPECT_LT(*std::max_element(louder.begin(), louder.end()), 0.5f + 2e-4f);

    // In the release a new gate starts a new attack from the current level.
    dynAdsrRun(sp.get(), env.get(), 0.0f, 4410);
    EXPECT_EQ(env->stage, sp_adsr_release);
    const float before = env->level;
    const auto again = dynAdsrRun(sp.get(), env.get(), 1.0f, 4000);
    EXPECT_EQ(env->stage, sp_adsr_attack);
    EXPECT_GT(again[0], before);
    EXPECT_NEAR(again[2645], 1.0 - (1.0 - before) * std::exp(-1.0), 1e-3);

    // Re-init brings the envelope back to rest.
    sp_adsr_init(sp.get(), env.get());
    EXPECT_EQ(dynAdsrRun(sp.get(), env.get(), 0.0f, 1)[0], 0.0f);
}

TEST(SpBal, FollowsTheComparatorsPowerOneSampleLate) {
    ContextHandle sp;
    BalHandle bal;
    sp_bal_init(sp.get(), bal.get());
    EXPECT_EQ(bal->half_power_freq, 10.0f);
    // One-pole averages at 10 Hz: the pole is about 1 - 2 pi 10 / 44100.
    EXPECT_NEAR(bal->c2, 1.0 - 2.0 * std::numbers::pi * 10.0 / 44100.0, 1e-4);

    auto tone = [](int n) { return static_cast<float>(0.3 * std::sin(0.05 * n + 0.5)); };
    // A silent signal gives silence, whatever the comparator.
    for (int n = 0; n < 1000; ++n) {
        float s = 0.0f, c = tone(n), y;
        sp_bal_compute(sp.get(), bal.get(), &s, &c, &y);
        ASSERT_EQ(y, 0.0f);
    }

    // Equal inputs: the first output uses the initial gain 0, every later one unity gain.
    sp_bal_init(sp.get(), bal.get());
    for (int n = 0; n < 1000; ++n) {
        float s = tone(n), c = s, y;
        sp_bal_compute(sp.get(), bal.get(), &s, &c, &y);
        if (n == 0)
            ASSERT_EQ(y, 0.0f);
        else
            ASSERT_FLOAT_EQ(y, s) << n;
    }

    // A comparator twice as loud: the gain settles at 2 within a second.
    sp_bal_init(sp.get(), bal.get());
    float s = 0, y = 0;
    for (int n = 0; n < 44100; ++n) {
        s = tone(n);
        float c = 2.0f * s;
        sp_bal_compute(sp.get(), bal.get(), &s, &c, &y);
    }
    EXPECT_NEAR(bal->gain, 2.0f, 0.02f);
}

TEST(SpClip, SoftensInsideTheLimitAndNeverExceedsIt) {
    ClipHandle clip;
    sp_clip_init(nullptr, clip.get());
    EXPECT_EQ(clip->limit, 1.0f);
    EXPECT_NEAR(dynClipAt(clip.get(), 0.5f), std::sin(std::numbers::pi / 4.0), 1e-6);
    EXPECT_EQ(dynClipAt(clip.get(), 2.0f), 1.0f);
    EXPECT_EQ(dynClipAt(clip.get(), -2.0f), -1.0f);
    EXPECT_EQ(dynClipAt(clip.get(), 0.0f), 0.0f);

    for (float limit : {0.01f, 0.25f, 1.0f, 3.0f}) {
        clip->limit = limit;
        float previous = -limit;
        for (float x = -2.0f * limit; x <= 2.0f * limit; x += limit / 256.0f) {
            const float y = dynClipAt(clip.get(), x);
            ASSERT_LE(std::fabs(y), limit) << limit << " " << x;
            // Monotonic, odd, and the identity's slope near zero times pi / 2.
            ASSERT_GE(y, previous) << limit << " " << x;
            ASSERT_FLOAT_EQ(dynClipAt(clip.get(), -x), -y);
            previous = y;
        }
        EXPECT_NEAR(dynClipAt(clip.get(), limit * 1e-3f) / (limit * 1e-3f), std::numbers::pi / 2.0, 1e-4);
    }
}

TEST(SpDist, IsAScaledTanhWithSeparateHalfWaveShapes) {
    DistHandle dist;
    sp_dist_init(nullptr, dist.get());
    EXPECT_EQ(dist->pregain, 2.0f);
    EXPECT_EQ(dist->postgain, 0.5f);
    const double pre = 2.0 * 6.5536;
    const double post = 0.5 * 0.61035156 * 0.5;
    for (float x : {-1.0f, -0.1f, -0.01f, 0.0f, 0.003f, 0.05f, 0.3f, 1.0f})
        EXPECT_NEAR(dynDistAt(dist.get(), x), 2.0 * post * std::tanh(x * pre), 1e-6) << x;

    // Loud input saturates at 2 post instead of giving inf / inf.
    for (float x : {60.0f, 1e4f, 1e30f}) {
        EXPECT_NEAR(dynDistAt(dist.get(), x), 2.0 * post, 1e-6) << x;
        EXPECT_NEAR(dynDistAt(dist.get(), -x), -2.0 * post, 1e-6) << x;
    }

    // shape1 lifts the positive half-wave only, shape2 (when positive) flattens the negative one only.
    const double plain = 2.0 * post * std::tanh(0.5 * pre);
    dist->shape1 = 0.1f;
    EXPECT_GT(dynDistAt(dist.get(), 0.5f), plain + 0.01);
    EXPECT_NEAR(dynDistAt(dist.get(), -0.5f), -plain, 1e-3);
    dist->shape1 = 0.0f;
    dist->shape2 = 0.1f;
    EXPECT_NEAR(dynDistAt(dist.get(), 0.5f), plain, 1e-3);
    EXPECT_GT(dynDistAt(dist.get(), -0.5f), -plain + 0.01);
    dist->shape2 = -0.1f;
    EXPECT_LT(dynDistAt(dist.get(), -0.5f), -plain - 0.01);
    // The exact curve, both shapes at once.
    dist->shape1 = 0.2f;
    dist->shape2 = -0.1f;
    const double s1 = 0.2 * 4.096, s2 = -0.1 * 4.096;
    for (double x : {-0.4, 0.2, 0.7}) {
        const double expected =
            post * (std::exp(x * (pre + s1)) - std::exp(x * (s2 - pre))) / std::cosh(x * pre);
        EXPECT_NEAR(dynDistAt(dist.get(), float(x)), expected, 1e-5 * std::fabs(expected)) << x;
    }
}

TEST(SpBitcrush, QuantisesToTheBitDepthAndHoldsAtTheRate) {
    ContextHandle sp;
    BitcrushHandle crush;
    sp_bitcrush_init(sp.get(), crush.get());
    EXPECT_EQ(crush->bitdepth, 8.0f);
    EXPECT_EQ(crush->srate, 10000.0f);
    ASSERT_NE(crush->hold, nullptr);

    // At 10 kHz from 44.1 kHz the input is taken on samples 1, 5, 9, 14, 18, 23, ... (a 16-bit-exact ramp).
    crush->bitdepth = 16.0f;
    auto ramp = [](int n) { return -0.25f + static_cast<float>(n) / 1024.0f; };
    std::vector<int> taken;
    float y = 0.0f;
    for (int n = 0; n < 30; ++n) {
        float x = ramp(n);
        sp_bitcrush_compute(sp.get(), crush.get(), &x, &y);
        if (n == 0) {
            EXPECT_EQ(y, 0.0f);
        } else if (y == x) {
            taken.push_back(n);
        } else {
            ASSERT_FALSE(taken.empty()) << n;
            ASSERT_EQ(y, ramp(taken.back())) << n;
        }
    }
    EXPECT_EQ(taken, (std::vector<int>{1, 5, 9, 14, 18, 23, 27}));

    // Output on a grid of 2^-bits, at most one step below the input (float may round up by 2^-24).
    auto onGridBelow = [&](int bits, float x, float out) {
        const float steps = (out + 0.5f) * std::ldexp(1.0f, bits);
        EXPECT_EQ(steps, std::floor(steps)) << bits << " " << x;
        EXPECT_LE(out, x + std::ldexp(1.0f, -24)) << bits << " " << x;
        EXPECT_GT(out, x - std::ldexp(1.0f, -bits)) << bits << " " << x;
    };
    // 16 bits at the full rate: every sample from the second on.
    sp_bitcrush_init(sp.get(), crush.get());
    crush->bitdepth = 16.0f;
    crush->srate = 44100.0f;
    for (int n = 0; n < 200; ++n) {
        float x = static_cast<float>(0.9 * std::sin(0.37 * n));
        sp_bitcrush_compute(sp.get(), crush.get(), &x, &y);
        if (n >= 1) onGridBelow(16, x, y);
    }
    // Fractional bit depths round down: 3.7 bits are eight levels.
    crush->bitdepth = 3.7f;
    for (int n = 0; n < 200; ++n) {
        float x = static_cast<float>(0.49 * std::sin(0.37 * n));
        sp_bitcrush_compute(sp.get(), crush.get(), &x, &y);
        onGridBelow(3, x, y);
    }
}

TEST(SpFold, KeepsItsPeriodInLongRunsAndFollowsANewRateAtOnce) {
    ContextHandle sp;
    FoldHandle fold;
    sp_fold_init(sp.get(), fold.get());
    EXPECT_EQ(fold->increment, 1000.0f);
    fold->increment = 44100.0f / 10000.0f;
    // Counts the captures (changes of a ramp's held value) in `samples` samples.
    float ramp = 0.0f;
    auto captures = [&](long samples) {
        long count = 0;
        float previous = fold->held;
        for (long n = 0; n < samples; ++n) {
            float x = ramp += 1.0f;
            if (ramp > 1e6f) ramp = 0.0f;
            float y;
            sp_fold_compute(sp.get(), fold.get(), &x, &y);
            if (y != previous) ++count;
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
    ContextHandle sp;
    CompressorHandle comp;
    sp_compressor_init(sp.get(), comp.get());
    ASSERT_NE(comp->state, nullptr);
    EXPECT_EQ(*comp->ratio, 1.0f);
    EXPECT_EQ(*comp->threshold, 0.0f);
    EXPECT_EQ(*comp->attack, 0.1f);
    EXPECT_EQ(*comp->release, 0.1f);

    // A steady sine's envelope is its mean rectified level 2A / pi; above the threshold gain falls (1 -
    // 1/ratio) dB/dB.
    for (float ratio : {2.0f, 4.0f, 10.0f}) {
        for (float threshold : {-30.0f, -20.0f}) {
            const double level = 20.0 * std::log10(0.5 * 2.0 / std::numbers::pi);
            EXPECT_NEAR(dynCompressorGainDb(ratio, threshold, 0.5f),
                        -(1.0 - 1.0 / ratio) * (level - threshold), 0.05)
                << ratio << " " << threshold;
        }
    }
    // Below the threshold, and at ratio 1, the signal passes unchanged.
    EXPECT_NEAR(dynCompressorGainDb(4.0f, -6.0f, 0.1f), 0.0, 1e-4);
    EXPECT_NEAR(dynCompressorGainDb(1.0f, -40.0f, 0.5f), 0.0, 1e-4);

    // Silence stays silence (log of a zero envelope).
    float x = 0.0f, y = 1.0f;
    sp_compressor_compute(sp.get(), comp.get(), &x, &y);
    EXPECT_EQ(y, 0.0f);
}

TEST(SpCompressor, ReinitReusesItsStateAndStartsAfresh) {
    ContextHandle sp;
    CompressorHandle comp;
    sp_compressor_init(sp.get(), comp.get());
    auto* state = comp->state;
    *comp->ratio = 8.0f;
    *comp->threshold = -40.0f;
    auto firstOutputs = [&] {
        std::vector<float> out;
        for (int n = 0; n < 500; ++n) {
            float x = static_cast<float>(0.8 * std::sin(0.1 * n)), y;
            sp_compressor_compute(sp.get(), comp.get(), &x, &y);
            out.push_back(y);
        }
        return out;
    };
    const auto first = firstOutputs();
    sp_compressor_init(sp.get(), comp.get());
    EXPECT_EQ(comp->state, state);
    EXPECT_EQ(*comp->ratio, 1.0f);
    *comp->ratio = 8.0f;
    *comp->threshold = -40.0f;
    EXPECT_EQ(firstOutputs(), first);
}

TEST(SpDynamics, ComputeNeverAllocates) {
    ContextHandle sp;
    AdsrHandle env;
    BalHandle bal;
    ClipHandle clip;
    CompressorHandle comp;
    DistHandle dist;
    BitcrushHandle crush;
    sp_adsr_init(sp.get(), env.get());
    sp_bal_init(sp.get(), bal.get());
    sp_clip_init(sp.get(), clip.get());
    sp_compressor_init(sp.get(), comp.get());
    sp_dist_init(sp.get(), dist.get());
    sp_bitcrush_init(sp.get(), crush.get());
    *comp->ratio = 4.0f;
    *comp->threshold = -20.0f;
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 512; ++n) {
                      float x = static_cast<float>(std::sin(0.01 * n)), gate = n < 256 ? 1.0f : 0.0f, y;
                      sp_adsr_compute(sp.get(), env.get(), &gate, &y);
                      sp_bal_compute(sp.get(), bal.get(), &x, &gate, &y);
                      sp_clip_compute(sp.get(), clip.get(), &x, &y);
                      sp_compressor_compute(sp.get(), comp.get(), &x, &y);
                      sp_dist_compute(sp.get(), dist.get(), &x, &y);
                      sp_bitcrush_compute(sp.get(), crush.get(), &x, &y);
                  }
              }),
              0u);
}
