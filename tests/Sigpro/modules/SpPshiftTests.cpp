#include "Sigpro/modules/sp_pshift.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using namespace testsupport;

namespace {

using Pshift = SP_COMPUTING_MODULE(pshift);

} // namespace

TEST(SpPshift, ZeroShiftDelaysByTheWindowInterpolatingAFractionalOne) {
    sigprotest::Fresh<Pshift> ps(sp_pshift_init);
    EXPECT_EQ((std::vector{*ps->shift, *ps->window, *ps->crossfade}), (std::vector{0.0f, 1000.0f, 10.0f}));
    const std::vector<float> input = noise(5000, 1u);
    // A window of 0 reads at the write position: the input passes unchanged, whatever the shift.
    for (auto [window, shift] : {std::pair{1000.0f, 0.0f}, {37.0f, 0.0f}, {100.5f, 0.0f}, {0.0f, 3.0f}}) {
        ASSERT_EQ(sp_pshift_init(ps.sp(), ps.get()), 1);
        std::tie(*ps->window, *ps->shift) = std::pair(window, shift);
        const std::vector<float> out = ps(input);
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
    const std::vector<float> input = sine(24000, 480.0, 48000.0);
    for (float semitones : {12.0f, -12.0f, 7.0f}) {
        sigprotest::Fresh<Pshift> ps(48000, sp_pshift_init);
        *ps->shift = semitones;
        const std::vector<float> out = ps(input);
        EXPECT_NEAR(toneAmplitude(out, 48000.0, 480.0 * std::pow(2.0, semitones / 12.0), 4000), 1.0, 0.01)
            << semitones;
        EXPECT_LT(toneAmplitude(out, 48000.0, 480.0, 4000), 0.01) << semitones;
    }
    // +12 on the default window: an octave up whatever the splices cost, twice the zero crossings.
    sigprotest::Fresh<Pshift> ps(48000, sp_pshift_init);
    *ps->shift = 12.0f;
    const std::vector<float> odd = sine(48000, 300.0, 48000.0);
    const int crossings = risingZeroCrossings(odd, 2000);
    EXPECT_NEAR(risingZeroCrossings(ps(odd), 2000), 2 * crossings, 0.05 * crossings);
}

TEST(SpPshift, ReinitStartsOverAndNoSettingAllocatesOrLeavesTheFiniteRange) {
    const std::vector<float> input = noise(3000, 2u);
    sigprotest::expectModuleLifecycle<Pshift>(
        sp_pshift_init, input,
        [](sp_pshift* p) { std::tie(*p->shift, *p->window) = std::pair(5.0f, 300.0f); },
        [](sp_pshift* p, int n) { *p->shift = static_cast<float>(n % 24) - 12.0f; });
    for (auto [shift, window, crossfade] : {std::tuple{12.0f, 1000.0f, 0.0f},
                                            {-7.0f, 500.0f, -10.0f},
                                            {1000.0f, 200.0f, 10.0f},
                                            {5.0f, 1e12f, 10.0f},
                                            {5.0f, -300.0f, 10.0f},
                                            {NAN, 1000.0f, 10.0f},
                                            {2.0f, INFINITY, 10.0f},
                                            {2.0f, NAN, 10.0f}}) {
        sigprotest::Fresh<Pshift> ps(sp_pshift_init);
        std::tie(*ps->shift, *ps->window, *ps->crossfade) = std::tuple(shift, window, crossfade);
        EXPECT_TRUE(sigprotest::allFinite(ps(input))) << shift << " " << window << " " << crossfade;
    }
}

// Every setting inside the pitch-shifter node's ranges (shift -24 ... 24, window and crossfade
// 0 ... 10000) keeps the output finite and within what the two interpolating taps can reach: three
// times the input's peak.
TEST(SpPshift, EveryLegalSettingStaysFiniteAndBounded) {
    const std::vector<float> input = noise(12000, 7u);
    for (float window : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 1024.0f, 10000.0f})
        for (float crossfade : {0.0f, 1e-30f, 0.5f, 1.0f, 512.0f, 10000.0f})
            for (float shift : {-24.0f, -7.5f, 0.0f, 0.5f, 12.0f, 24.0f}) {
                sigprotest::Fresh<Pshift> ps(sp_pshift_init);
                std::tie(*ps->shift, *ps->window, *ps->crossfade) = std::tuple(shift, window, crossfade);
                const std::vector<float> y = ps(input);
                EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](float v) { return std::fabs(v) <= 3.0f; }))
                    << "window " << window << ", crossfade " << crossfade << ", shift " << shift;
            }
}
