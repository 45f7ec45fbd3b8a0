#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Sigpro/modules/sp_pshift.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using Pshift = sigprotest::ModuleHandle<sp_pshift, sp_pshift_create, sp_pshift_destroy, sp_pshift_compute>;

} // namespace

TEST(SpPshift, ZeroShiftDelaysByTheWindowInterpolatingAFractionalOne) {
    ContextHandle sp;
    Pshift ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    EXPECT_EQ((std::vector{*ps->shift, *ps->window, *ps->crossfade}), (std::vector{0.0f, 1000.0f, 10.0f}));
    const std::vector<float> input = testsupport::noise(5000, 1u);
    // A window of 0 reads at the write position: the input passes unchanged, whatever the shift.
    for (auto [window, shift] : {std::pair{1000.0f, 0.0f}, {37.0f, 0.0f}, {100.5f, 0.0f}, {0.0f, 3.0f}}) {
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->window = window;
        *ps->shift = shift;
        const std::vector<float> out = ps(sp.get(), input);
        const auto whole = static_cast<std::size_t>(window);
        const float frac = window - static_cast<float>(whole);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i < whole) {
                ASSERT_EQ(out[i], 0.0f) << window << " " << i;
            } else if (i > whole || frac == 0.0f) {
                const float before = frac > 0.0f ? input[i - whole - 1] : 0.0f;
                ASSERT_NEAR(out[i], (1.0f - frac) * input[i - whole] + frac * before, 1e-6f)
                    << window << " " << i;
            }
        }
    }
}

TEST(SpPshift, ShiftTransposesATestToneBySemitones) {
    // A window of whole periods of the input makes every splice seamless, so the output is a pure tone.
    const double rate = 48000.0, tone = 480.0;
    ContextHandle sp(48000);
    const std::vector<float> input = testsupport::sine(24000, tone, rate);
    for (float semitones : {12.0f, -12.0f, 7.0f}) {
        Pshift ps;
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->shift = semitones;
        const std::vector<float> out = ps(sp.get(), input);
        const double shifted = tone * std::pow(2.0, semitones / 12.0);
        EXPECT_NEAR(testsupport::toneAmplitude(out, rate, shifted, 4000), 1.0, 0.01) << semitones;
        EXPECT_LT(testsupport::toneAmplitude(out, rate, tone, 4000), 0.01) << semitones;
    }

    // +12 on the default window: an octave up whatever the splices cost, twice the zero crossings.
    Pshift ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    *ps->shift = 12.0f;
    const std::vector<float> odd = testsupport::sine(48000, 300.0, rate);
    const int inputCrossings = testsupport::risingZeroCrossings(odd, 2000);
    EXPECT_NEAR(testsupport::risingZeroCrossings(ps(sp.get(), odd), 2000), 2 * inputCrossings,
                0.05 * inputCrossings);
}

TEST(SpPshift, ReinitStartsOverAndNoSettingAllocatesOrLeavesTheFiniteRange) {
    const std::vector<float> input = testsupport::noise(3000, 2u);
    sigprotest::expectModuleLifecycle<Pshift>(sp_pshift_init, input, [](sp_pshift* p) {
        *p->shift = 5.0f;
        *p->window = 300.0f;
    });

    ContextHandle sp;
    Pshift ps;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Setting {
        float shift, window, crossfade;
    };
    for (Setting s :
         {Setting{12.0f, 1000.0f, 0.0f}, Setting{-7.0f, 500.0f, -10.0f}, Setting{1000.0f, 200.0f, 10.0f},
          Setting{5.0f, 1e12f, 10.0f}, Setting{5.0f, -300.0f, 10.0f}, Setting{nan, 1000.0f, 10.0f},
          Setting{2.0f, inf, 10.0f}, Setting{2.0f, nan, 10.0f}}) {
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->shift = s.shift;
        *ps->window = s.window;
        *ps->crossfade = s.crossfade;
        for (float y : ps(sp.get(), input))
            ASSERT_TRUE(std::isfinite(y)) << s.shift << " " << s.window << " " << s.crossfade;
    }

    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (std::size_t i = 0; i < input.size(); ++i) {
                      *ps->shift = static_cast<float>(i % 24) - 12.0f;
                      ps(sp.get(), input[i]);
                  }
              }),
              0u);
}
