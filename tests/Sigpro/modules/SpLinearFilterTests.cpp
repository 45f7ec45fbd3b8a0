#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::steadyGain;
using testsupport::toDecibels;

namespace {

using ButlpHandle = sigprotest::ModuleHandle<sp_butlp, sp_butlp_create, sp_butlp_destroy>;
using ButhpHandle = sigprotest::ModuleHandle<sp_buthp, sp_buthp_create, sp_buthp_destroy>;
using ButbpHandle = sigprotest::ModuleHandle<sp_butbp, sp_butbp_create, sp_butbp_destroy>;
using ButbrHandle = sigprotest::ModuleHandle<sp_butbr, sp_butbr_create, sp_butbr_destroy>;
using AtoneHandle = sigprotest::ModuleHandle<sp_atone, sp_atone_create, sp_atone_destroy>;
using ToneHandle = sigprotest::ModuleHandle<sp_tone, sp_tone_create, sp_tone_destroy>;
using DcblockHandle = sigprotest::ModuleHandle<sp_dcblock, sp_dcblock_create, sp_dcblock_destroy>;
using EqfilHandle = sigprotest::ModuleHandle<sp_eqfil, sp_eqfil_create, sp_eqfil_destroy>;
using FofiltHandle = sigprotest::ModuleHandle<sp_fofilt, sp_fofilt_create, sp_fofilt_destroy>;
using ModeHandle = sigprotest::ModuleHandle<sp_mode, sp_mode_create, sp_mode_destroy>;

constexpr double linearRate = 44100.0;

// Gain of a freshly initialised filter at `hz`; `configure` writes its parameters after init.
template <class Handle, class Init, class Compute, class Configure>
double linearGain(Init init, Compute compute, Configure configure, double hz) {
    ContextHandle sp;
    Handle f;
    init(sp.get(), f.get());
    configure(f.get());
    return steadyGain(linearRate, hz, [&](float x) {
        float y;
        compute(sp.get(), f.get(), &x, &y);
        return y;
    });
}

// Output after `samples` of a constant input, and the output for an alternating (Nyquist) input.
template <class Handle, class Init, class Compute, class Configure>
std::pair<float, float> linearDcAndNyquist(Init init, Compute compute, Configure configure) {
    ContextHandle sp;
    Handle dc, ny;
    init(sp.get(), dc.get());
    init(sp.get(), ny.get());
    configure(dc.get());
    configure(ny.get());
    float yd = 0, yn = 0, peak = 0;
    for (int n = 0; n < 20000; ++n) {
        float one = 1.0f;
        float alternating = n % 2 == 0 ? 1.0f : -1.0f;
        compute(sp.get(), dc.get(), &one, &yd);
        compute(sp.get(), ny.get(), &alternating, &yn);
        if (n > 19000) peak = std::max(peak, std::fabs(yn));
    }
    return {yd, peak};
}

} // namespace

TEST(SpButterworth, LowAndHighPassAreThreeDecibelsDownAtTheCutoffWithFlatPassbands) {
    auto lowPass = [](double hz) {
        return toDecibels(linearGain<ButlpHandle>(
            sp_butlp_init, sp_butlp_compute, [](sp_butlp*) {}, hz));
    };
    auto highPass = [](double hz) {
        return toDecibels(linearGain<ButhpHandle>(
            sp_buthp_init, sp_buthp_compute, [](sp_buthp*) {}, hz));
    };
    // The default cutoff is 1000 Hz.
    EXPECT_NEAR(lowPass(1000), -3.0103, 0.02);
    EXPECT_NEAR(highPass(1000), -3.0103, 0.02);
    EXPECT_NEAR(lowPass(100), 0.0, 0.01);
    EXPECT_NEAR(highPass(10000), 0.0, 0.05);
    // Second order: 12 dB per octave far from the cutoff.
    EXPECT_LT(lowPass(4000), -23.0);
    EXPECT_LT(highPass(250), -23.0);

    auto lp = linearDcAndNyquist<ButlpHandle>(sp_butlp_init, sp_butlp_compute,
                                              [](sp_butlp* p) { p->frequency = 5000; });
    EXPECT_NEAR(lp.first, 1.0f, 1e-4);
    EXPECT_LT(lp.second, 1e-4);
    auto hp = linearDcAndNyquist<ButhpHandle>(sp_buthp_init, sp_buthp_compute,
                                              [](sp_buthp* p) { p->frequency = 5000; });
    EXPECT_NEAR(hp.first, 0.0f, 1e-4);
    EXPECT_NEAR(hp.second, 1.0f, 1e-3);
}

TEST(SpButterworth, BandPassPeaksAtTheCentreAndBandRejectNotchesIt) {
    auto bandPass = [](double hz) {
        return toDecibels(linearGain<ButbpHandle>(
            sp_butbp_init, sp_butbp_compute, [](sp_butbp* p) { p->bandwidth = 100; }, hz));
    };
    // The -3 dB points lie a bandwidth apart, geometrically around the centre.
    const double lower = (-100.0 + std::sqrt(100.0 * 100.0 + 4.0e6)) / 2.0;
    EXPECT_NEAR(bandPass(1000), 0.0, 0.01);
    EXPECT_NEAR(bandPass(lower), -3.0103, 0.05);
    EXPECT_NEAR(bandPass(lower + 100.0), -3.0103, 0.05);
    EXPECT_LT(bandPass(500), -14.0);

    auto bp = linearDcAndNyquist<ButbpHandle>(sp_butbp_init, sp_butbp_compute, [](sp_butbp*) {});
    EXPECT_NEAR(bp.first, 0.0f, 1e-4);
    EXPECT_LT(bp.second, 1e-4);

    auto bandReject = [](double hz) {
        return linearGain<ButbrHandle>(
            sp_butbr_init, sp_butbr_compute, [](sp_butbr* p) { p->bandwidth = 200; }, hz);
    };
    EXPECT_LT(toDecibels(bandReject(1000)), -40.0);
    EXPECT_NEAR(toDecibels(bandReject(100)), 0.0, 0.05);
    auto br = linearDcAndNyquist<ButbrHandle>(sp_butbr_init, sp_butbr_compute, [](sp_butbr*) {});
    EXPECT_NEAR(br.first, 1.0f, 1e-4);
    EXPECT_NEAR(br.second, 1.0f, 1e-3);
}

TEST(SpButterworth, WidthNotAboveZeroSilencesAndKeepsTheHistory) {
    ContextHandle sp;
    ButlpHandle paused, steady;
    sp_butlp_init(sp.get(), paused.get());
    sp_butlp_init(sp.get(), steady.get());
    auto input = [](int n) { return static_cast<float>(std::sin(0.05 * n) + 0.3 * std::sin(0.9 * n)); };
    float a, b;
    for (int n = 0; n < 100; ++n) {
        float x = input(n);
        sp_butlp_compute(sp.get(), paused.get(), &x, &a);
        sp_butlp_compute(sp.get(), steady.get(), &x, &b);
    }
    for (float off : {0.0f, -250.0f, NAN}) {
        paused->frequency = off;
        float x = 0.75f;
        a = 123.0f;
        sp_butlp_compute(sp.get(), paused.get(), &x, &a);
        EXPECT_EQ(a, 0.0f);
    }
    // Back at the old cutoff it continues exactly where it stopped.
    paused->frequency = 1000.0f;
    for (int n = 100; n < 200; ++n) {
        float x = input(n);
        sp_butlp_compute(sp.get(), paused.get(), &x, &a);
        sp_butlp_compute(sp.get(), steady.get(), &x, &b);
        ASSERT_EQ(a, b) << n;
    }

    // The band-reject filter silences too; it does not pass the signal through.
    ButbrHandle br;
    sp_butbr_init(sp.get(), br.get());
    br->bandwidth = 0.0f;
    for (int n = 0; n < 10; ++n) {
        float x = 1.0f;
        sp_butbr_compute(sp.get(), br.get(), &x, &a);
        EXPECT_EQ(a, 0.0f);
    }
    ButbpHandle bp;
    sp_butbp_init(sp.get(), bp.get());
    bp->bandwidth = -1.0f;
    float x = 1.0f;
    sp_butbp_compute(sp.get(), bp.get(), &x, &a);
    EXPECT_EQ(a, 0.0f);
}

TEST(SpTone, LowPassAndItsComplementSumToTheInput) {
    ContextHandle sp;
    AtoneHandle high;
    ToneHandle low;
    sp_atone_init(sp.get(), high.get());
    sp_tone_init(sp.get(), low.get());

    for (float cutoff : {1000.0f, 300.0f, 5000.0f}) {
        high->cutoff = cutoff;
        low->half_power_point = cutoff;
        for (int n = 0; n < 500; ++n) {
            float x = static_cast<float>(std::sin(0.07 * n) + 0.5 * std::cos(1.3 * n) + 0.2);
            float h, l;
            sp_atone_compute(sp.get(), high.get(), &x, &h);
            sp_tone_compute(sp.get(), low.get(), &x, &l);
            ASSERT_NEAR(h + l, x, 2e-6) << cutoff << " " << n;
        }
    }

    EXPECT_NEAR(toDecibels(linearGain<ToneHandle>(
                    sp_tone_init, sp_tone_compute, [](sp_tone*) {}, 1000)),
                -3.0103, 0.02);
    EXPECT_NEAR(toDecibels(linearGain<ToneHandle>(
                    sp_tone_init, sp_tone_compute, [](sp_tone* p) { p->half_power_point = 200; }, 200)),
                -3.0103, 0.02);
    auto tone = linearDcAndNyquist<ToneHandle>(sp_tone_init, sp_tone_compute, [](sp_tone*) {});
    EXPECT_NEAR(tone.first, 1.0f, 1e-5);
    // A constant input to the high-pass decays to 0.
    auto atone = linearDcAndNyquist<AtoneHandle>(sp_atone_init, sp_atone_compute, [](sp_atone*) {});
    EXPECT_NEAR(atone.first, 0.0f, 1e-6);
}

TEST(SpTone, HighPassMayRunInPlace) {
    ContextHandle sp;
    AtoneHandle inPlace, separate;
    sp_atone_init(sp.get(), inPlace.get());
    sp_atone_init(sp.get(), separate.get());
    for (int n = 0; n < 50; ++n) {
        float buffer = static_cast<float>(std::sin(0.3 * n));
        float x = buffer, y;
        sp_atone_compute(sp.get(), inPlace.get(), &buffer, &buffer);
        sp_atone_compute(sp.get(), separate.get(), &x, &y);
        ASSERT_EQ(buffer, y) << n;
    }
}

TEST(SpDcblock, StepDecaysByTheFixedPoleAndHighFrequenciesPass) {
    ContextHandle sp;
    DcblockHandle dc;
    sp_dcblock_init(sp.get(), dc.get());
    float one = 1.0f, y;
    sp_dcblock_compute(sp.get(), dc.get(), &one, &y);
    EXPECT_EQ(y, 1.0f);
    sp_dcblock_compute(sp.get(), dc.get(), &one, &y);
    EXPECT_FLOAT_EQ(y, 0.99f);
    sp_dcblock_compute(sp.get(), dc.get(), &one, &y);
    EXPECT_FLOAT_EQ(y, 0.9801f);
    for (int n = 0; n < 5000; ++n)
        sp_dcblock_compute(sp.get(), dc.get(), &one, &y);
    EXPECT_LT(std::fabs(y), 1e-6);

    const double at1k = linearGain<DcblockHandle>(
        sp_dcblock_init, sp_dcblock_compute, [](sp_dcblock*) {}, 1000);
    EXPECT_NEAR(at1k, 1.0, 0.01);
    // The pole at 0.99 puts the half-power point near 70 Hz.
    const double at10 = linearGain<DcblockHandle>(
        sp_dcblock_init, sp_dcblock_compute, [](sp_dcblock*) {}, 10);
    EXPECT_LT(at10, 0.2);
}

TEST(SpEqfil, ScalesTheBandByTheGainAndPassesTheRest) {
    auto gainAt = [](float gain, double hz) {
        return linearGain<EqfilHandle>(
            sp_eqfil_init, sp_eqfil_compute, [gain](sp_eqfil* p) { p->gain = gain; }, hz);
    };
    // Defaults: 1000 Hz, 125 Hz wide, gain 2.
    EXPECT_NEAR(gainAt(2.0f, 1000), 2.0, 0.002);
    EXPECT_NEAR(gainAt(0.25f, 1000), 0.25, 0.001);
    EXPECT_NEAR(gainAt(2.0f, 100), 1.0, 0.002);
    EXPECT_NEAR(gainAt(2.0f, 10000), 1.0, 0.002);
    // At the band edges the power is the mean of the band's and the passband's.
    const double edge = std::sqrt((1.0 + 4.0) / 2.0);
    EXPECT_NEAR(gainAt(2.0f, 1000.0 - 62.5), edge, 0.04);
    EXPECT_NEAR(gainAt(2.0f, 1000.0 + 62.5), edge, 0.04);

    // Gain 1 returns the input whatever the band.
    ContextHandle sp;
    EqfilHandle eq;
    sp_eqfil_init(sp.get(), eq.get());
    eq->gain = 1.0f;
    for (float centre : {50.0f, 1000.0f, 15000.0f}) {
        eq->frequency = centre;
        eq->bandwidth = centre / 3.0f;
        for (int n = 0; n < 300; ++n) {
            float x = static_cast<float>(std::sin(0.11 * n) - 0.4 * std::sin(2.1 * n)), y;
            sp_eqfil_compute(sp.get(), eq.get(), &x, &y);
            ASSERT_NEAR(y, x, 1e-5);
        }
    }
}

TEST(SpFofilt, RingsAtTheFrequencyAndDecaysOverTheDecayTime) {
    const double at1k = linearGain<FofiltHandle>(
        sp_fofilt_init, sp_fofilt_compute, [](sp_fofilt*) {}, 1000);
    auto below = [&](double hz) {
        return toDecibels(at1k / linearGain<FofiltHandle>(
                                     sp_fofilt_init, sp_fofilt_compute, [](sp_fofilt*) {}, hz));
    };
    EXPECT_GT(below(900), 10.0);
    EXPECT_GT(below(1100), 10.0);
    EXPECT_GT(below(500), 40.0);
    EXPECT_GT(below(2000), 40.0);

    // Impulse response: starts at 0, peaks about 2.3 ms in, then falls by 10^(sin(w) - 3) per decay time.
    ContextHandle sp;
    FofiltHandle fof;
    sp_fofilt_init(sp.get(), fof.get());
    std::vector<float> y(4000);
    for (std::size_t n = 0; n < y.size(); ++n) {
        float x = n == 0 ? 1.0f : 0.0f;
        sp_fofilt_compute(sp.get(), fof.get(), &x, &y[n]);
    }
    EXPECT_EQ(y[0], 0.0f);
    auto envelope = [&](double seconds) {
        const auto centre = static_cast<std::size_t>(seconds * 44100.0);
        float peak = 0;
        for (std::size_t n = centre - 22; n < centre + 22; ++n)
            peak = std::max(peak, std::fabs(y[n]));
        return double(peak);
    };
    const auto loudest =
        std::max_element(y.begin(), y.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
        y.begin();
    EXPECT_GT(loudest, 0.001 * 44100);
    EXPECT_LT(loudest, 0.004 * 44100);
    const double f = std::sin(2.0 * std::numbers::pi * 1000.0 / 44100.0) - 3.0;
    // Between 20 ms and 60 ms the attack resonator has died away; only the decay remains.
    EXPECT_NEAR(toDecibels(envelope(0.06) / envelope(0.02)), 20.0 * f, 0.5);
}

TEST(SpFofilt, AllParametersAtMinusOneComputeFromTheDelayedStatesOnly) {
    ContextHandle sp;
    FofiltHandle fof;
    sp_fofilt_init(sp.get(), fof.get());
    fof->frequency = fof->attack = fof->decay = -1.0f;
    for (int n = 0; n < 5; ++n) {
        float x = 0.5f + n, y = 1.0f;
        sp_fofilt_compute(sp.get(), fof.get(), &x, &y);
        EXPECT_EQ(y, 0.0f);
    }
    // From a ringing state the output is the difference of the two states two samples back.
    sp_fofilt_init(sp.get(), fof.get());
    for (int n = 0; n < 50; ++n) {
        float x = n == 0 ? 1.0f : 0.0f, y;
        sp_fofilt_compute(sp.get(), fof.get(), &x, &y);
    }
    const float e = fof->d2, g = fof->a2s;
    fof->frequency = fof->attack = fof->decay = -1.0f;
    float x = 0.25f, y;
    sp_fofilt_compute(sp.get(), fof.get(), &x, &y);
    EXPECT_FLOAT_EQ(y, (x - e) - (x - g));
}

TEST(SpMode, ResonatesAtTheFrequencyWithTheBandwidthOfItsQAndStartsOneSampleLate) {
    auto gain = [](double hz) {
        return linearGain<ModeHandle>(
            sp_mode_init, sp_mode_compute, [](sp_mode*) {}, hz);
    };
    // Defaults: 500 Hz, q 50, so the half-power points lie 10 Hz apart.
    const double peak = gain(500);
    EXPECT_GT(peak, gain(498));
    EXPECT_GT(peak, gain(502));
    EXPECT_NEAR(toDecibels(gain(495) / peak), -3.0103, 0.15);
    EXPECT_NEAR(toDecibels(gain(505) / peak), -3.0103, 0.15);
    EXPECT_GT(toDecibels(peak / gain(250)), 30.0);

    ContextHandle sp;
    ModeHandle mode;
    sp_mode_init(sp.get(), mode.get());
    mode->frequency = 2000.0f;
    mode->q = 10.0f;
    float x = 1.0f, y;
    sp_mode_compute(sp.get(), mode.get(), &x, &y);
    EXPECT_EQ(y, 0.0f);
    x = 0.0f;
    sp_mode_compute(sp.get(), mode.get(), &x, &y);
    EXPECT_GT(y, 0.0f);
    EXPECT_FLOAT_EQ(y, mode->m_d * mode->m_a0);

    // Re-init clears the ringing and restores the defaults.
    sp_mode_init(sp.get(), mode.get());
    EXPECT_TRUE(mode->frequency == 500.0f && mode->q == 50.0f);
    sp_mode_compute(sp.get(), mode.get(), &x, &y);
    EXPECT_EQ(y, 0.0f);
}

TEST(SpLinearFilters, ComputeNeverAllocates) {
    ContextHandle sp;
    ButlpHandle lp;
    ButbrHandle br;
    EqfilHandle eq;
    FofiltHandle fof;
    ModeHandle mode;
    sp_butlp_init(sp.get(), lp.get());
    sp_butbr_init(sp.get(), br.get());
    sp_eqfil_init(sp.get(), eq.get());
    sp_fofilt_init(sp.get(), fof.get());
    sp_mode_init(sp.get(), mode.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 256; ++n) {
                      float x = static_cast<float>(n % 7) - 3.0f, y;
                      lp->frequency = 100.0f + static_cast<float>(n);
                      sp_butlp_compute(sp.get(), lp.get(), &x, &y);
                      sp_butbr_compute(sp.get(), br.get(), &x, &y);
                      sp_eqfil_compute(sp.get(), eq.get(), &x, &y);
                      sp_fofilt_compute(sp.get(), fof.get(), &x, &y);
                      sp_mode_compute(sp.get(), mode.get(), &x, &y);
                  }
              }),
              0u);
}
