#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Sigpro/modules/ZitarevEqualizer.h"
#include "Sigpro/modules/sp_zitarev.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using ZitarevHandle = sigprotest::ModuleHandle<sp_zitarev, sp_zitarev_create, sp_zitarev_destroy>;

struct ZitarevOutput {
    std::vector<float> left, right;
};

// Renders `samples` frames; the inputs are 0 past their ends.
ZitarevOutput zitarevRender(sp_data* sp, sp_zitarev* p, std::size_t samples, const std::vector<float>& left,
                            const std::vector<float>& right) {
    ZitarevOutput out{std::vector<float>(samples), std::vector<float>(samples)};
    for (std::size_t n = 0; n < samples; ++n) {
        float l = n < left.size() ? left[n] : 0.0f;
        float r = n < right.size() ? right[n] : 0.0f;
        sp_zitarev_compute(sp, p, &l, &r, &out.left[n], &out.right[n]);
    }
    return out;
}

// Decibels of the output's energy in [t0, t1) seconds.
double zitarevLevel(const std::vector<float>& y, int rate, double t0, double t1) {
    double sum = 0;
    for (auto n = std::size_t(t0 * rate); n < std::size_t(t1 * rate); ++n)
        sum += double(y[n]) * y[n];
    return 10.0 * std::log10(sum);
}

// The line table: total and all-pass delays in samples at 44100 Hz, floor(t sr + 0.5).
constexpr std::int32_t zitarevTotal44k[8] = {9702, 11329, 8481, 9278, 5513, 5638, 7705, 6753};
constexpr std::int32_t zitarevAllpass44k[8] = {843, 1205, 1292, 1077, 593, 1394, 1010, 897};

} // namespace

TEST(SpZitarev, DefaultsParametersAndLineLengthsAt44100) {
    ContextHandle sp;
    ZitarevHandle rev;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    ASSERT_NE(rev->state, nullptr);
    ASSERT_EQ(rev->parameter_count, 11);
    float* named[11] = {rev->predelay,
                        rev->crossover_frequency,
                        rev->low_release_time,
                        rev->mid_release_time,
                        rev->damping_frequency,
                        rev->equalizer_frequency1,
                        rev->equalizer_level1,
                        rev->equalizer_frequency2,
                        rev->equalizer_level2,
                        rev->dry_wet_mix,
                        rev->level};
    const float defaults[11] = {60, 200, 3, 2, 6000, 315, 0, 1500, 0, 1, 0};
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(rev->parameters[i], named[i]) << i;
        EXPECT_EQ(*named[i], defaults[i]) << i;
    }

    const sp_zitarev_state& s = *rev->state;
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(s.total_delay[n], zitarevTotal44k[n]) << n;
        EXPECT_EQ(s.allpass_delay[n], zitarevAllpass44k[n]) << n;
        // Each line holds its delay: the main line D - A samples back, the all-pass A - 1.
        EXPECT_GE(std::int64_t{s.main_mask[n]}, s.total_delay[n] - s.allpass_delay[n]) << n;
        EXPECT_GE(std::int64_t{s.allpass_mask[n]}, s.allpass_delay[n] - 1) << n;
    }
    EXPECT_EQ(s.predelay_mask, 8191u);
}

TEST(SpZitarev, SilenceStaysSilentApartFromTheDenormalGuardAndNoiseRendersDeterministically) {
    ContextHandle sp;
    ZitarevHandle rev;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    const ZitarevOutput quiet = zitarevRender(sp.get(), rev.get(), 3 * 44100, {}, {});
    // The 1e-20 guard arrives first via line 8 (6753 - 897) on the left, line 6 (5638 - 1394) on the right.
    EXPECT_EQ(testsupport::onset(quiet.left, 0.0f), 5856u);
    EXPECT_EQ(testsupport::onset(quiet.right, 0.0f), 4244u);
    EXPECT_EQ(testsupport::onset(quiet.left, 1e-18f), quiet.left.size());
    EXPECT_EQ(testsupport::onset(quiet.right, 1e-18f), quiet.right.size());

    ZitarevHandle twin;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    ASSERT_EQ(sp_zitarev_init(sp.get(), twin.get()), 1);
    const std::vector<float> left = testsupport::noise(20000, 1u), right = testsupport::noise(20000, 2u);
    const ZitarevOutput a = zitarevRender(sp.get(), rev.get(), 30000, left, right);
    const ZitarevOutput b = zitarevRender(sp.get(), twin.get(), 30000, left, right);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(zitarevLevel(a.left, 44100, 0.5, 0.6), -40.0);
}

TEST(SpZitarev, MixAndLevelFadeInFromSilenceAfterInit) {
    ContextHandle sp;
    ZitarevHandle rev;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    *rev->dry_wet_mix = 0.0f;
    // Fully dry: the output is the input times the level gain rising as 1 - 0.999^(n + 1).
    const ZitarevOutput out = zitarevRender(sp.get(), rev.get(), 5000, std::vector<float>(5000, 1.0f),
                                            std::vector<float>(5000, -1.0f));
    EXPECT_FLOAT_EQ(out.left[0], 0.001f);
    EXPECT_FLOAT_EQ(out.right[0], -0.001f);
    for (std::size_t n : {100u, 1000u, 4999u}) {
        EXPECT_NEAR(out.left[n], 1.0 - std::pow(0.999, double(n + 1)), 1e-4) << n;
        EXPECT_NEAR(out.right[n], -out.left[n], 1e-6) << n;
    }

    // Fully wet from init: the dry part fades out as the mix rises.
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    *rev->predelay = 100.0f; // keeps the wet part silent for the frames looked at
    const ZitarevOutput wet = zitarevRender(sp.get(), rev.get(), 3000, std::vector<float>(3000, 1.0f), {});
    EXPECT_FLOAT_EQ(wet.left[0], 0.999f * 0.001f);
    EXPECT_NEAR(wet.left[2999], std::pow(0.999, 3000.0) * (1.0 - std::pow(0.999, 3000.0)), 1e-4);
}

TEST(SpZitarev, RunsAt48And192kHzWithTheLongestPredelayWithoutWrapping) {
    struct Case {
        int rate;
        std::size_t predelay;     // samples of 100 ms
        std::size_t silenceLeft;  // first line the denormal guard leaves: line 8
        std::size_t silenceRight; // line 6
    };
    for (const Case& c :
         {Case{48000, 4800, 7350 - 977, 6136 - 1517}, Case{192000, 19200, 29401 - 3906, 24545 - 6068}}) {
        ContextHandle sp;
        sp->sample_rate = c.rate;
        ZitarevHandle rev;
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1) << c.rate;
        const sp_zitarev_state& s = *rev->state;
        EXPECT_GE(s.predelay_mask, c.predelay);

        // Silence: the lines' own delays, not aliased by short buffers.
        const ZitarevOutput quiet = zitarevRender(sp.get(), rev.get(), c.silenceLeft + 10, {}, {});
        EXPECT_EQ(testsupport::onset(quiet.left, 0.0f), c.silenceLeft) << c.rate;
        EXPECT_EQ(testsupport::onset(quiet.right, 0.0f), c.silenceRight) << c.rate;

        // The longest pre-delay: an impulse passes dry at once and returns wet exactly 100 ms later.
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        *rev->predelay = sp_zitarev_max_predelay;
        const ZitarevOutput out = zitarevRender(sp.get(), rev.get(), c.predelay + 100, {1.0f}, {});
        EXPECT_GT(out.left[0], 0.0f);
        EXPECT_EQ(testsupport::onset(out.left, 1e-12f, 1), c.predelay) << c.rate;
        EXPECT_EQ(testsupport::onset(out.right, 1e-12f, 1), c.predelay) << c.rate;
        EXPECT_GT(std::fabs(out.left[c.predelay]), 1e-3f) << c.rate;

        // Beyond the line and below 0 the pre-delay is held at the ends.
        for (auto [predelay, onset] :
             {std::pair{1e6f, std::size_t{s.predelay_mask}}, std::pair{-5.0f, std::size_t{0}}}) {
            ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
            *rev->predelay = predelay;
            const ZitarevOutput held = zitarevRender(sp.get(), rev.get(), s.predelay_mask + 10, {}, {1.0f});
            EXPECT_EQ(testsupport::onset(held.left, 1e-12f), onset) << c.rate << " " << predelay;
        }
    }
}

TEST(SpZitarev, EqualiserSectionIsFlatAtZeroDecibelsAndPeaksByItsLevel) {
    // The section alone, measured by steady sine fits.
    const float rate = 44100.0f;
    auto gain = [&](float centre, float level, double hz) {
        const ZitarevEqualizerCoefficients q = zitarevEqualizerCoefficients(centre, level, rate);
        ZitarevEqualizerState state;
        return testsupport::steadyGain(rate, hz, [&](float x) { return zitarevEqualizerStep(q, state, x); });
    };
    for (float centre : {315.0f, 1500.0f})
        for (double hz : {30.0, 100.0, 315.0, 1000.0, 1500.0, 4000.0, 10000.0, 20000.0})
            EXPECT_NEAR(testsupport::toDecibels(gain(centre, 0.0f, hz)), 0.0, 0.01) << centre << " " << hz;
    for (float level : {-15.0f, 12.0f}) {
        EXPECT_NEAR(testsupport::toDecibels(gain(1000.0f, level, 1000.0)), level, 0.1) << level;
        EXPECT_NEAR(testsupport::toDecibels(gain(1000.0f, level, 30.0)), 0.0, 0.5) << level;
        EXPECT_NEAR(testsupport::toDecibels(gain(1000.0f, level, 18000.0)), 0.0, 0.5) << level;
    }

    // In the reverb: moving 0 dB sections (all-passes) keeps the noise spectrum; +12 dB at 1 kHz lifts that
    // band.
    ContextHandle sp;
    ZitarevHandle rev;
    const std::vector<float> left = testsupport::noise(80000, 3u), right = testsupport::noise(80000, 4u);
    auto spectrum = [&](float f1, float l1, float f2) {
        EXPECT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        *rev->equalizer_frequency1 = f1;
        *rev->equalizer_level1 = l1;
        *rev->equalizer_frequency2 = f2;
        *rev->predelay = 10.0f;
        const ZitarevOutput out = zitarevRender(sp.get(), rev.get(), 80000, left, right);
        std::size_t n = 12000;
        return testsupport::averagedPowerSpectrum([&] { return out.left[n++]; }, 1024, 64);
    };
    const auto base = spectrum(315.0f, 0.0f, 1500.0f);
    const auto moved = spectrum(2500.0f, 0.0f, 160.0f);
    const auto boosted = spectrum(1000.0f, 12.0f, 1500.0f);
    auto bandRatio = [&](const std::vector<double>& a, std::size_t first, std::size_t last) {
        return 10.0 *
               std::log10(testsupport::bandPower(a, first, last) / testsupport::bandPower(base, first, last));
    };
    // Bands of about 43 Hz bins from 86 Hz to 17 kHz.
    for (std::size_t first = 2; first < 400; first *= 2)
        EXPECT_NEAR(bandRatio(moved, first, 2 * first), 0.0, 0.2) << first;
    EXPECT_NEAR(bandRatio(boosted, 22, 25), 12.0, 1.0);  // 950 ... 1080 Hz
    EXPECT_NEAR(bandRatio(boosted, 256, 400), 0.0, 0.5); // 11 ... 17 kHz
}

TEST(SpZitarev, ReleaseTimesSetTheDecayRate) {
    ContextHandle sp;
    ZitarevHandle rev;
    // With both bands alike and the damping near the top, the tail falls 60 dB per release time.
    for (float release : {2.0f, 4.0f}) {
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        *rev->low_release_time = release;
        *rev->mid_release_time = release;
        *rev->damping_frequency = 20000.0f;
        *rev->predelay = 10.0f;
        const ZitarevOutput out =
            zitarevRender(sp.get(), rev.get(), 2 * 44100, std::vector<float>(10, 1.0f), {});
        const double fall = zitarevLevel(out.left, 44100, 0.5, 0.7) - zitarevLevel(out.left, 44100, 1.5, 1.7);
        EXPECT_NEAR(fall, 60.0 / release, 2.0) << release;
    }
}

TEST(SpZitarev, ReInitReusesItsMemorySampleRatesAreClampedAndComputeNeverAllocates) {
    ContextHandle sp;
    ZitarevHandle rev;
    float l = 1.0f, r = 1.0f, outL = 5.0f, outR = 5.0f;
    sp_zitarev_compute(sp.get(), rev.get(), &l, &r, &outL, &outR);
    EXPECT_EQ(outL, 0.0f);
    EXPECT_EQ(outR, 0.0f);

    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    const sp_zitarev_state* state = rev->state;
    const void* memory = state->memory.data;
    const std::size_t size = state->memory.size;
    zitarevRender(sp.get(), rev.get(), 1000, testsupport::noise(1000, 5u), {});
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->state, state);
    EXPECT_EQ(state->memory.data, memory);
    EXPECT_EQ(state->counter, 0u);
    EXPECT_EQ(rev->predelay, &rev->state->predelay);

    sp->sample_rate = 96000;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_GT(rev->state->memory.size, size);
    sp->sample_rate = 400000;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->state->sample_rate, 192000.0f);
    sp->sample_rate = 0;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->state->sample_rate, 1.0f);
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(rev->state->allpass_delay[n], 1) << n;
        EXPECT_EQ(rev->state->total_delay[n], 1) << n;
    }
    for (float y : zitarevRender(sp.get(), rev.get(), 2000, testsupport::noise(2000, 6u), {}).left)
        ASSERT_TRUE(std::isfinite(y));

    sp->sample_rate = 44100;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    const std::vector<float> noise = testsupport::noise(8192, 7u);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t n = 0; n < noise.size(); ++n) {
                      l = r = noise[n];
                      *rev->equalizer_level1 = float(n % 16);
                      *rev->mid_release_time = 2.0f + float(n % 8) * 0.1f;
                      sp_zitarev_compute(sp.get(), rev.get(), &l, &r, &outL, &outR);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
