#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_pshift.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using PshiftHandle = sigprotest::ModuleHandle<sp_pshift, sp_pshift_create, sp_pshift_destroy>;

std::vector<float> pshiftRender(sp_data* sp, sp_pshift* p, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        float x = input[i];
        EXPECT_EQ(sp_pshift_compute(sp, p, &x, &out[i]), 1);
    }
    return out;
}

} // namespace

TEST(SpPshift, InitWritesTheDefaultsAndZeroShiftDelaysByTheWindow) {
    ContextHandle sp;
    PshiftHandle ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    EXPECT_EQ(*ps->shift, 0.0f);
    EXPECT_EQ(*ps->window, 1000.0f);
    EXPECT_EQ(*ps->crossfade, 10.0f);

    const std::vector<float> input = testsupport::noise(5000, 1u);
    std::vector<float> out = pshiftRender(sp.get(), ps.get(), input);
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    for (std::size_t i = 1000; i < out.size(); ++i)
        ASSERT_EQ(out[i], input[i - 1000]) << i;

    // Other windows, a fractional one interpolating between its two neighbours.
    for (float window : {37.0f, 100.5f}) {
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->window = window;
        out = pshiftRender(sp.get(), ps.get(), input);
        const auto whole = static_cast<std::size_t>(window);
        const float frac = window - static_cast<float>(whole);
        for (std::size_t i = whole + 1; i < out.size(); ++i)
            ASSERT_NEAR(out[i], (1.0f - frac) * input[i - whole] + frac * input[i - whole - 1], 1e-6f)
                << window << " " << i;
    }
}

TEST(SpPshift, ShiftTransposesATestToneBySemitones) {
    // A window of whole periods of the input makes every splice seamless, so the output is a pure tone.
    const double rate = 48000.0, tone = 480.0;
    ContextHandle sp;
    sp->sample_rate = 48000;
    const std::vector<float> input = testsupport::sine(24000, tone, rate);
    for (float semitones : {12.0f, -12.0f, 7.0f}) {
        PshiftHandle ps;
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->shift = semitones;
        const std::vector<float> out = pshiftRender(sp.get(), ps.get(), input);
        const double shifted = tone * std::pow(2.0, semitones / 12.0);
        EXPECT_NEAR(testsupport::toneAmplitude(out, rate, shifted, 4000), 1.0, 0.01) << semitones;
        EXPECT_LT(testsupport::toneAmplitude(out, rate, tone, 4000), 0.01) << semitones;
    }

    // +12 on the default window: an octave up whatever the splices cost, twice the zero crossings.
    PshiftHandle ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    *ps->shift = 12.0f;
    const std::vector<float> odd = testsupport::sine(48000, 300.0, rate);
    const std::vector<float> out = pshiftRender(sp.get(), ps.get(), odd);
    const int inputCrossings = testsupport::risingZeroCrossings(odd, 2000);
    EXPECT_NEAR(testsupport::risingZeroCrossings(out, 2000), 2 * inputCrossings, 0.05 * inputCrossings);
}

TEST(SpPshift, ReinitClearsTheLineAndDegenerateSettingsStayFinite) {
    ContextHandle sp;
    PshiftHandle ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    *ps->shift = 5.0f;
    *ps->window = 300.0f;
    const std::vector<float> input = testsupport::noise(3000, 2u);
    pshiftRender(sp.get(), ps.get(), input);
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    EXPECT_EQ(*ps->shift, 0.0f);
    EXPECT_EQ(*ps->window, 1000.0f);
    std::vector<float> out = pshiftRender(sp.get(), ps.get(), input);
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    EXPECT_EQ(out[1500], input[500]);

    // A window of 0 reads at the write position: the input passes unchanged.
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    *ps->window = 0.0f;
    *ps->shift = 3.0f;
    out = pshiftRender(sp.get(), ps.get(), input);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], input[i]) << i;

    struct Setting {
        float shift, window, crossfade;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Setting s :
         {Setting{12.0f, 1000.0f, 0.0f}, Setting{-7.0f, 500.0f, -10.0f}, Setting{1000.0f, 200.0f, 10.0f},
          Setting{5.0f, 1e12f, 10.0f}, Setting{5.0f, -300.0f, 10.0f}, Setting{nan, 1000.0f, 10.0f},
          Setting{2.0f, inf, 10.0f}, Setting{2.0f, nan, 10.0f}}) {
        ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
        *ps->shift = s.shift;
        *ps->window = s.window;
        *ps->crossfade = s.crossfade;
        out = pshiftRender(sp.get(), ps.get(), input);
        for (float y : out)
            ASSERT_TRUE(std::isfinite(y)) << s.shift << " " << s.window << " " << s.crossfade;
    }
}

TEST(SpPshift, ComputeNeverAllocates) {
    ContextHandle sp;
    PshiftHandle ps;
    ASSERT_EQ(sp_pshift_init(sp.get(), ps.get()), 1);
    const std::vector<float> input = testsupport::noise(4096, 3u);
    float y = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t i = 0; i < input.size(); ++i) {
                      *ps->shift = static_cast<float>(i % 24) - 12.0f;
                      float x = input[i];
                      sp_pshift_compute(sp.get(), ps.get(), &x, &y);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
