#include "Sigpro/modules/sp_atone.h"
#include "Sigpro/modules/sp_butbp.h"
#include "Sigpro/modules/sp_butbr.h"
#include "Sigpro/modules/sp_buthp.h"
#include "Sigpro/modules/sp_butlp.h"
#include "Sigpro/modules/sp_dcblock.h"
#include "Sigpro/modules/sp_eqfil.h"
#include "Sigpro/modules/sp_fofilt.h"
#include "Sigpro/modules/sp_mode.h"
#include "Sigpro/modules/sp_tone.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::freshGain;
using testsupport::toDecibels;

namespace {

using Butlp = SP_COMPUTING_MODULE(butlp);
using Buthp = SP_COMPUTING_MODULE(buthp);
using Butbp = SP_COMPUTING_MODULE(butbp);
using Butbr = SP_COMPUTING_MODULE(butbr);
using Atone = SP_COMPUTING_MODULE(atone);
using Tone = SP_COMPUTING_MODULE(tone);
using Dcblock = SP_COMPUTING_MODULE(dcblock);
using Eqfil = SP_COMPUTING_MODULE(eqfil);
using Fofilt = SP_COMPUTING_MODULE(fofilt);
using Mode = SP_COMPUTING_MODULE(mode);

// Gain in dB at `hz` of a fresh filter with its defaults, or as `configure` sets it.
template <class Handle>
double linearDb(int (*init)(sp_data*, typename Handle::Record*), double hz,
                const std::function<void(typename Handle::Record*)>& configure = {}) {
    return toDecibels(freshGain<Handle>(init, configure, hz));
}

// The settled output of a fresh filter for a constant 1, and its largest late output for the alternating
// (Nyquist) input.
template <class Handle>
std::pair<float, float>
linearDcAndNyquist(int (*init)(sp_data*, typename Handle::Record*),
                   const std::function<void(typename Handle::Record*)>& configure = {}) {
    sigprotest::Fresh<Handle> dc(init), nyquist(init);
    for (auto* filter : {dc.get(), nyquist.get()})
        if (configure) configure(filter);
    std::vector<float> alternating(20000, 1.0f);
    for (std::size_t n = 1; n < alternating.size(); n += 2)
        alternating[n] = -1.0f;
    return {dc(std::vector<float>(20000, 1.0f)).back(), testsupport::peak(nyquist(alternating), 19001)};
}

} // namespace

TEST(SpButterworth, LowAndHighPassAreThreeDecibelsDownAtTheCutoffWithFlatPassbands) {
    // The default cutoff is 1000 Hz; second order: 12 dB per octave far from it.
    EXPECT_NEAR(linearDb<Butlp>(sp_butlp_init, 1000), -3.0103, 0.02);
    EXPECT_NEAR(linearDb<Buthp>(sp_buthp_init, 1000), -3.0103, 0.02);
    EXPECT_NEAR(linearDb<Butlp>(sp_butlp_init, 100), 0.0, 0.01);
    EXPECT_NEAR(linearDb<Buthp>(sp_buthp_init, 10000), 0.0, 0.05);
    EXPECT_LT(linearDb<Butlp>(sp_butlp_init, 4000), -23.0);
    EXPECT_LT(linearDb<Buthp>(sp_buthp_init, 250), -23.0);
    const auto lp = linearDcAndNyquist<Butlp>(sp_butlp_init, [](sp_butlp* p) { p->frequency = 5000; });
    EXPECT_NEAR(lp.first, 1.0f, 1e-4);
    EXPECT_LT(lp.second, 1e-4);
    const auto hp = linearDcAndNyquist<Buthp>(sp_buthp_init, [](sp_buthp* p) { p->frequency = 5000; });
    EXPECT_NEAR(hp.first, 0.0f, 1e-4);
    EXPECT_NEAR(hp.second, 1.0f, 1e-3);
}

TEST(SpButterworth, BandPassPeaksAtTheCentreAndBandRejectNotchesIt) {
    auto bandPass = [](double hz) {
        return linearDb<Butbp>(sp_butbp_init, hz, [](sp_butbp* p) { p->bandwidth = 100; });
    };
    // The -3 dB points lie a bandwidth apart, geometrically around the centre.
    const double lower = (-100.0 + std::sqrt(100.0 * 100.0 + 4.0e6)) / 2.0;
    EXPECT_NEAR(bandPass(1000), 0.0, 0.01);
    EXPECT_NEAR(bandPass(lower), -3.0103, 0.05);
    EXPECT_NEAR(bandPass(lower + 100.0), -3.0103, 0.05);
    EXPECT_LT(bandPass(500), -14.0);
    const auto bp = linearDcAndNyquist<Butbp>(sp_butbp_init);
    EXPECT_NEAR(bp.first, 0.0f, 1e-4);
    EXPECT_LT(bp.second, 1e-4);

    auto bandReject = [](double hz) {
        return linearDb<Butbr>(sp_butbr_init, hz, [](sp_butbr* p) { p->bandwidth = 200; });
    };
    EXPECT_LT(bandReject(1000), -40.0);
    EXPECT_NEAR(bandReject(100), 0.0, 0.05);
    const auto br = linearDcAndNyquist<Butbr>(sp_butbr_init);
    EXPECT_NEAR(br.first, 1.0f, 1e-4);
    EXPECT_NEAR(br.second, 1.0f, 1e-3);
}

TEST(SpButterworth, WidthNotAboveZeroSilencesAndKeepsTheHistory) {
    sigprotest::Fresh<Butlp> paused(sp_butlp_init), steady(sp_butlp_init);
    const std::vector<float> first = testsupport::noise(100, 7u), second = testsupport::noise(100, 8u);
    paused(first);
    for (float off : {0.0f, -250.0f, NAN}) {
        paused->frequency = off;
        EXPECT_EQ(paused(0.75f), 0.0f) << off;
    }
    // Back at the old cutoff it continues exactly where it stopped.
    paused->frequency = 1000.0f;
    steady(first);
    EXPECT_EQ(paused(second), steady(second));

    // The band filters silence too; the band-reject does not pass the signal through.
    sigprotest::Fresh<Butbr> br(sp_butbr_init);
    sigprotest::Fresh<Butbp> bp(sp_butbp_init);
    std::tie(br->bandwidth, bp->bandwidth) = std::pair(0.0f, -1.0f);
    EXPECT_EQ(br(std::vector<float>(10, 1.0f)), std::vector<float>(10, 0.0f));
    EXPECT_EQ(bp(1.0f), 0.0f);
    sigprotest::expectModuleLifecycle<Butlp>(sp_butlp_init, first, {},
                                             [](sp_butlp* p, int n) { p->frequency = 100.0f + float(n); });
    sigprotest::expectModuleLifecycle<Butbr>(sp_butbr_init, first);
}

TEST(SpTone, LowPassAndItsComplementSumToTheInput) {
    sigprotest::Fresh<Atone> high(sp_atone_init), inPlace(sp_atone_init), separate(sp_atone_init);
    sigprotest::Fresh<Tone> low(sp_tone_init);
    const std::vector<float> input = testsupport::noise(500, 9u, 1.5f);
    for (float cutoff : {1000.0f, 300.0f, 5000.0f}) {
        high->cutoff = low->half_power_point = cutoff;
        for (float x : input)
            ASSERT_NEAR(high(x) + low(x), x, 2e-6) << cutoff;
    }
    EXPECT_NEAR(linearDb<Tone>(sp_tone_init, 1000), -3.0103, 0.02);
    EXPECT_NEAR(linearDb<Tone>(sp_tone_init, 200, [](sp_tone* p) { p->half_power_point = 200; }), -3.0103,
                0.02);
    // A constant input passes the low-pass and decays to 0 through the high-pass.
    EXPECT_NEAR(linearDcAndNyquist<Tone>(sp_tone_init).first, 1.0f, 1e-5);
    EXPECT_NEAR(linearDcAndNyquist<Atone>(sp_atone_init).first, 0.0f, 1e-6);

    // The high-pass may run in place.
    for (float x : input) {
        float buffer = x;
        sp_atone_compute(inPlace.sp(), inPlace.get(), &buffer, &buffer);
        ASSERT_EQ(buffer, separate(x));
    }
}

TEST(SpDcblock, StepDecaysByTheFixedPoleAndHighFrequenciesPass) {
    sigprotest::Fresh<Dcblock> dc(sp_dcblock_init);
    const auto step = dc(std::vector<float>(5003, 1.0f));
    EXPECT_EQ(step[0], 1.0f);
    EXPECT_FLOAT_EQ(step[1], 0.99f);
    EXPECT_FLOAT_EQ(step[2], 0.9801f);
    EXPECT_LT(std::fabs(step.back()), 1e-6);
    // The pole at 0.99 puts the half-power point near 70 Hz.
    EXPECT_NEAR(freshGain<Dcblock>(sp_dcblock_init, {}, 1000), 1.0, 0.01);
    EXPECT_LT(freshGain<Dcblock>(sp_dcblock_init, {}, 10), 0.2);
}

TEST(SpEqfil, ScalesTheBandByTheGainAndPassesTheRest) {
    auto gainAt = [](float gain, double hz) {
        return freshGain<Eqfil>(
            sp_eqfil_init, [gain](sp_eqfil* p) { p->gain = gain; }, hz);
    };
    // Defaults: 1000 Hz, 125 Hz wide, gain 2. At the band edges the power is the mean of the band's and
    // the passband's.
    EXPECT_NEAR(gainAt(2.0f, 1000), 2.0, 0.002);
    EXPECT_NEAR(gainAt(0.25f, 1000), 0.25, 0.001);
    EXPECT_NEAR(gainAt(2.0f, 100), 1.0, 0.002);
    EXPECT_NEAR(gainAt(2.0f, 10000), 1.0, 0.002);
    EXPECT_NEAR(gainAt(2.0f, 1000.0 - 62.5), std::sqrt(2.5), 0.04);
    EXPECT_NEAR(gainAt(2.0f, 1000.0 + 62.5), std::sqrt(2.5), 0.04);

    // Gain 1 returns the input whatever the band.
    sigprotest::Fresh<Eqfil> eq(sp_eqfil_init);
    eq->gain = 1.0f;
    for (float centre : {50.0f, 1000.0f, 15000.0f}) {
        std::tie(eq->frequency, eq->bandwidth) = std::pair(centre, centre / 3.0f);
        for (int n = 0; n < 300; ++n) {
            const float x = static_cast<float>(std::sin(0.11 * n) - 0.4 * std::sin(2.1 * n));
            ASSERT_NEAR(eq(x), x, 1e-5);
        }
    }
    sigprotest::expectModuleLifecycle<Eqfil>(sp_eqfil_init, sigprotest::impulse(1000), {},
                                             [](sp_eqfil* p, int n) { p->frequency = 500.0f + float(n); });
}

TEST(SpFofilt, RingsAtTheFrequencyAndDecaysOverTheDecayTime) {
    const double at1k = freshGain<Fofilt>(sp_fofilt_init, {}, 1000);
    auto below = [&](double hz) { return toDecibels(at1k / freshGain<Fofilt>(sp_fofilt_init, {}, hz)); };
    EXPECT_GT(std::min(below(900), below(1100)), 10.0);
    EXPECT_GT(std::min(below(500), below(2000)), 40.0);

    // Impulse response: starts at 0, peaks about 2.3 ms in, then falls by 10^(sin(w) - 3) per decay time.
    sigprotest::Fresh<Fofilt> fof(sp_fofilt_init);
    const std::vector<float> y = fof(sigprotest::impulse(4000));
    EXPECT_EQ(y[0], 0.0f);
    std::vector<float> magnitude(y.size());
    std::transform(y.begin(), y.end(), magnitude.begin(), [](float v) { return std::fabs(v); });
    const auto loudest = std::max_element(magnitude.begin(), magnitude.end()) - magnitude.begin();
    EXPECT_TRUE(loudest > 0.001 * 44100 && loudest < 0.004 * 44100) << loudest;
    auto envelope = [&](double seconds) {
        const auto centre = static_cast<std::size_t>(seconds * 44100.0);
        return double(testsupport::peak(y, centre - 22, centre + 22));
    };
    // Between 20 ms and 60 ms the attack resonator has died away; only the decay remains.
    EXPECT_NEAR(toDecibels(envelope(0.06) / envelope(0.02)),
                20.0 * (std::sin(2.0 * std::numbers::pi * 1000.0 / 44100.0) - 3.0), 0.5);
}

TEST(SpFofilt, AllParametersAtMinusOneComputeFromTheDelayedStatesOnly) {
    sigprotest::Fresh<Fofilt> fof(sp_fofilt_init);
    fof->frequency = fof->attack = fof->decay = -1.0f;
    EXPECT_EQ(fof(std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f, 4.5f}), std::vector<float>(5, 0.0f));
    // From a ringing state the output is the difference of the two states two samples back.
    sp_fofilt_init(fof.sp(), fof.get());
    fof(sigprotest::impulse(50));
    const float e = fof->d2, g = fof->a2s;
    fof->frequency = fof->attack = fof->decay = -1.0f;
    EXPECT_FLOAT_EQ(fof(0.25f), (0.25f - e) - (0.25f - g));
    sigprotest::expectModuleLifecycle<Fofilt>(sp_fofilt_init, sigprotest::impulse(1000), {},
                                              [](sp_fofilt* p, int n) { p->frequency = 500.0f + float(n); });
}

TEST(SpMode, ResonatesAtTheFrequencyWithTheBandwidthOfItsQAndStartsOneSampleLate) {
    // Defaults: 500 Hz, q 50, so the half-power points lie 10 Hz apart.
    auto gain = [](double hz) { return freshGain<Mode>(sp_mode_init, {}, hz); };
    const double peak = gain(500);
    EXPECT_GT(peak, std::max(gain(498), gain(502)));
    EXPECT_NEAR(toDecibels(gain(495) / peak), -3.0103, 0.15);
    EXPECT_NEAR(toDecibels(gain(505) / peak), -3.0103, 0.15);
    EXPECT_GT(toDecibels(peak / gain(250)), 30.0);

    sigprotest::Fresh<Mode> mode(sp_mode_init);
    std::tie(mode->frequency, mode->q) = std::pair(2000.0f, 10.0f);
    const auto y = mode(sigprotest::impulse(2));
    EXPECT_EQ(y[0], 0.0f);
    EXPECT_GT(y[1], 0.0f);
    EXPECT_FLOAT_EQ(y[1], mode->m_d * mode->m_a0);
    // Re-init clears the ringing and restores the defaults.
    sigprotest::expectModuleLifecycle<Mode>(
        sp_mode_init, sigprotest::impulse(1000),
        [](sp_mode* p) { std::tie(p->frequency, p->q) = std::pair(2000.0f, 10.0f); },
        [](sp_mode* p, int n) { p->frequency = 500.0f + float(n); });
}
