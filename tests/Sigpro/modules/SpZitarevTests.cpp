#include "Sigpro/modules/ZitarevEqualizer.h"
#include "Sigpro/modules/sp_zitarev.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using namespace testsupport;
using sigprotest::ContextHandle;

namespace {

using Zitarev = sigprotest::ModuleHandle<sp_zitarev, sp_zitarev_create, sp_zitarev_destroy>;

// `samples` frames; the inputs are 0 past their ends.
sigprotest::Stereo zitarevRender(sp_data* sp, const Zitarev& rev, std::size_t samples,
                                 const std::vector<float>& left, const std::vector<float>& right) {
    return sigprotest::renderStereo(sp_zitarev_compute, sp, rev.get(), samples, left, right);
}

// Decibels of the level in [t0, t1) seconds at 44100 Hz.
double zitarevLevel(const std::vector<float>& y, double t0, double t1) {
    return toDecibels(rms(y, std::size_t(t0 * 44100), std::size_t(t1 * 44100)));
}

} // namespace

TEST(SpZitarev, DefaultsAndLineLengthsAt44100AndSilenceStaysSilentButForTheDenormalGuard) {
    sigprotest::Fresh<Zitarev> rev(sp_zitarev_init);
    std::vector<float> values;
    for (float* parameter :
         {rev->predelay, rev->crossover_frequency, rev->low_release_time, rev->mid_release_time,
          rev->damping_frequency, rev->equalizer_frequency1, rev->equalizer_level1, rev->equalizer_frequency2,
          rev->equalizer_level2, rev->dry_wet_mix, rev->level})
        values.push_back(*parameter);
    EXPECT_EQ(values, (std::vector<float>{60, 200, 3, 2, 6000, 315, 0, 1500, 0, 1, 0}));
    // Total and all-pass delays in samples, floor(t sr + 0.5).
    const std::int32_t total[8] = {9702, 11329, 8481, 9278, 5513, 5638, 7705, 6753};
    const std::int32_t allpass[8] = {843, 1205, 1292, 1077, 593, 1394, 1010, 897};
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(std::pair(rev->state->total_delay[n], rev->state->allpass_delay[n]),
                  std::pair(total[n], allpass[n]));

    // The 1e-20 guard arrives first via line 8 (6753 - 897) on the left, line 6 (5638 - 1394) on the right.
    const auto quiet = zitarevRender(rev.sp(), rev, 3 * 44100, {}, {});
    EXPECT_EQ(std::pair(onset(quiet.left), onset(quiet.right)),
              std::pair(std::size_t{5856}, std::size_t{4244}));
    EXPECT_LE(std::max(peak(quiet.left), peak(quiet.right)), 1e-18f);

    // Noise renders deterministically, after a re-init too.
    Zitarev twin;
    const std::vector<float> left = noise(20000, 1u), right = noise(20000, 2u);
    ASSERT_EQ(sp_zitarev_init(rev.sp(), rev.get()), 1);
    ASSERT_EQ(sp_zitarev_init(rev.sp(), twin.get()), 1);
    const auto a = zitarevRender(rev.sp(), rev, 30000, left, right),
               b = zitarevRender(rev.sp(), twin, 30000, left, right);
    EXPECT_EQ(std::pair(a.left, a.right), std::pair(b.left, b.right));
    EXPECT_GT(rms(a.left, 22050, 26460), 1.5e-4);
}

TEST(SpZitarev, MixAndLevelFadeInFromSilenceAfterInit) {
    sigprotest::Fresh<Zitarev> rev(sp_zitarev_init);
    *rev->dry_wet_mix = 0.0f;
    // Fully dry: the output is the input times the level gain rising as 1 - 0.999^(n + 1).
    const auto out =
        zitarevRender(rev.sp(), rev, 5000, std::vector<float>(5000, 1.0f), std::vector<float>(5000, -1.0f));
    EXPECT_FLOAT_EQ(out.left[0], 0.001f);
    EXPECT_FLOAT_EQ(out.right[0], -0.001f);
    for (std::size_t n : {100u, 1000u, 4999u}) {
        EXPECT_NEAR(out.left[n], 1.0 - std::pow(0.999, double(n + 1)), 1e-4) << n;
        EXPECT_NEAR(out.right[n], -out.left[n], 1e-6) << n;
    }
    // Fully wet from init: the dry part fades out as the mix rises; the pre-delay keeps the wet part out.
    ASSERT_EQ(sp_zitarev_init(rev.sp(), rev.get()), 1);
    *rev->predelay = 100.0f;
    const auto wet = zitarevRender(rev.sp(), rev, 3000, std::vector<float>(3000, 1.0f), {});
    EXPECT_FLOAT_EQ(wet.left[0], 0.999f * 0.001f);
    EXPECT_NEAR(wet.left[2999], std::pow(0.999, 3000.0) * (1.0 - std::pow(0.999, 3000.0)), 1e-4);
}

TEST(SpZitarev, RunsAt48And192kHzWithTheLongestPredelayWithoutWrapping) {
    // The rate; 100 ms; the silences of lines 8 and 6, as the guard leaves them.
    using Case = std::tuple<int, std::size_t, std::size_t, std::size_t>;
    for (const auto& [rate, predelay, silenceLeft, silenceRight] :
         {Case{48000, 4800, 7350 - 977, 6136 - 1517}, Case{192000, 19200, 29401 - 3906, 24545 - 6068}}) {
        ContextHandle sp(rate);
        Zitarev rev;
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1) << rate;
        // Silence: the lines' own delays, not aliased by short buffers.
        const auto quiet = zitarevRender(sp.get(), rev, silenceLeft + 10, {}, {});
        EXPECT_EQ(std::pair(onset(quiet.left), onset(quiet.right)), std::pair(silenceLeft, silenceRight))
            << rate;

        // The longest pre-delay: an impulse passes dry at once and returns wet exactly 100 ms later.
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        *rev->predelay = sp_zitarev_max_predelay;
        const auto out = zitarevRender(sp.get(), rev, predelay + 100, {1.0f}, {});
        EXPECT_GT(out.left[0], 0.0f);
        EXPECT_EQ(std::pair(onset(out.left, 1e-12f, 1), onset(out.right, 1e-12f, 1)),
                  std::pair(predelay, predelay));
        EXPECT_GT(std::fabs(out.left[predelay]), 1e-3f) << rate;

        // Beyond the line and below 0 the pre-delay is held at the ends.
        const std::size_t longest = rev->state->predelay_mask;
        EXPECT_GE(longest, predelay);
        for (auto [held, at] : {std::pair{1e6f, longest}, std::pair{-5.0f, std::size_t{0}}}) {
            ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
            *rev->predelay = held;
            EXPECT_EQ(onset(zitarevRender(sp.get(), rev, longest + 10, {}, {1.0f}).left, 1e-12f), at) << held;
        }
    }
}

TEST(SpZitarev, EqualiserSectionIsFlatAtZeroDecibelsAndPeaksByItsLevel) {
    // The section alone, measured by steady sine fits.
    auto gainDb = [](float centre, float level, double hz) {
        const ZitarevEqualizerCoefficients q = zitarevEqualizerCoefficients(centre, level, 44100.0f);
        ZitarevEqualizerState state;
        return toDecibels(
            steadyGain(44100.0, hz, [&](float x) { return zitarevEqualizerStep(q, state, x); }));
    };
    for (float centre : {315.0f, 1500.0f})
        for (double hz : {30.0, 100.0, 315.0, 1000.0, 1500.0, 4000.0, 10000.0, 20000.0})
            EXPECT_NEAR(gainDb(centre, 0.0f, hz), 0.0, 0.01) << centre << " " << hz;
    for (float level : {-15.0f, 12.0f}) {
        EXPECT_NEAR(gainDb(1000.0f, level, 1000.0), level, 0.1) << level;
        EXPECT_NEAR(gainDb(1000.0f, level, 30.0), 0.0, 0.5) << level;
        EXPECT_NEAR(gainDb(1000.0f, level, 18000.0), 0.0, 0.5) << level;
    }

    // In the reverb: moving 0 dB sections (all-passes) keeps the noise spectrum; +12 dB at 1 kHz lifts that
    // band.
    ContextHandle sp;
    Zitarev rev;
    const std::vector<float> left = noise(80000, 3u), right = noise(80000, 4u);
    auto spectrum = [&](float f1, float l1, float f2) {
        EXPECT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        std::tie(*rev->equalizer_frequency1, *rev->equalizer_level1, *rev->equalizer_frequency2,
                 *rev->predelay) = std::tuple(f1, l1, f2, 10.0f);
        const auto out = zitarevRender(sp.get(), rev, 80000, left, right);
        std::size_t n = 12000;
        return averagedPowerSpectrum([&] { return out.left[n++]; }, 1024, 64);
    };
    const auto base = spectrum(315.0f, 0.0f, 1500.0f), moved = spectrum(2500.0f, 0.0f, 160.0f),
               boosted = spectrum(1000.0f, 12.0f, 1500.0f);
    auto bandRatio = [&](const std::vector<double>& a, std::size_t first, std::size_t last) {
        return 10.0 * std::log10(bandPower(a, first, last) / bandPower(base, first, last));
    };
    // Bands of about 43 Hz bins from 86 Hz to 17 kHz.
    for (std::size_t first = 2; first < 400; first *= 2)
        EXPECT_NEAR(bandRatio(moved, first, 2 * first), 0.0, 0.2) << first;
    EXPECT_NEAR(bandRatio(boosted, 22, 25), 12.0, 1.0);  // 950 ... 1080 Hz
    EXPECT_NEAR(bandRatio(boosted, 256, 400), 0.0, 0.5); // 11 ... 17 kHz
}

TEST(SpZitarev, ReleaseTimesSetTheDecayRate) {
    ContextHandle sp;
    Zitarev rev;
    // With both bands alike and the damping near the top, the tail falls 60 dB per release time.
    for (float release : {2.0f, 4.0f}) {
        ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
        std::tie(*rev->low_release_time, *rev->mid_release_time, *rev->damping_frequency, *rev->predelay) =
            std::tuple(release, release, 20000.0f, 10.0f);
        const auto out = zitarevRender(sp.get(), rev, 2 * 44100, std::vector<float>(10, 1.0f), {});
        EXPECT_NEAR(zitarevLevel(out.left, 0.5, 0.7) - zitarevLevel(out.left, 1.5, 1.7), 60.0 / release, 2.0)
            << release;
    }
}

TEST(SpZitarev, ReInitReusesItsMemorySampleRatesAreClampedAndComputeNeverAllocates) {
    ContextHandle sp;
    Zitarev rev;
    const auto uninitialised = zitarevRender(sp.get(), rev, 1, {1.0f}, {1.0f});
    EXPECT_EQ(std::pair(uninitialised.left[0], uninitialised.right[0]), std::pair(0.0f, 0.0f));

    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    zitarevRender(sp.get(), rev, 1000, noise(1000, 5u), {});
    const std::size_t size = rev->state->memory.size;
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] { sp_zitarev_init(sp.get(), rev.get()); }), 0u);

    // A faster rate needs more memory; rates are held within 1 ... 192000 Hz.
    sp->sample_rate = 96000;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_GT(rev->state->memory.size, size);
    sp->sample_rate = 400000;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->state->sample_rate, 192000.0f);
    sp->sample_rate = 0;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->state->sample_rate, 1.0f);
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(std::pair(rev->state->allpass_delay[n], rev->state->total_delay[n]), std::pair(1, 1)) << n;
    EXPECT_TRUE(sigprotest::allFinite(zitarevRender(sp.get(), rev, 2000, noise(2000, 6u), {}).left));

    sp->sample_rate = 44100;
    ASSERT_EQ(sp_zitarev_init(sp.get(), rev.get()), 1);
    float l = 0.0f, r = 0.0f, outL = 0.0f, outR = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (int n = 0; n < 8192; ++n) {
                      l = r = float(n % 17) / 17.0f - 0.5f;
                      *rev->equalizer_level1 = float(n % 16);
                      *rev->mid_release_time = 2.0f + float(n % 8) * 0.1f;
                      sp_zitarev_compute(sp.get(), rev.get(), &l, &r, &outL, &outR);
                  }
              }),
              0u);
}
