#include "Sigpro/modules/sp_blsquare.h"
#include "Sigpro/modules/sp_dynamicosc.h"
#include "Sigpro/modules/sp_fosc.h"
#include "Sigpro/modules/sp_osc.h"
#include "Sigpro/modules/sp_oscmorph.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using sigprotest::sineCycle;
using sigprotest::Table;
using testsupport::StderrCapture;
using testsupport::toneAmplitude;

namespace {

using Osc = SP_COMPUTING_MODULE(osc);
using DynamicOscHandle = SP_MODULE(dynamicosc);
using Fosc = SP_COMPUTING_MODULE(fosc);
using Oscmorph = SP_COMPUTING_MODULE(oscmorph);
using Blsquare = SP_COMPUTING_MODULE(blsquare);

// 167392 / 2^24 of a cycle per sample: the phase increment of 440 Hz on a 4096-point table at 44100 Hz.
const double oscPlayed440 = 167392.0 * 44100.0 / 16777216.0;

} // namespace

TEST(SpOsc, PlaysTheTableAtItsFrequencyWithTheReferenceIncrement) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096));
    EXPECT_EQ(sine->phase_per_hz, 380.43573f);
    sigprotest::Fresh<Osc> osc(sp_osc_init, sine.get(), 0.0f);
    EXPECT_EQ(std::pair(osc->frequency, osc->amp), std::pair(440.0f, 0.2f));
    EXPECT_EQ(osc(0.0f), 0.0f);
    EXPECT_EQ(std::pair(osc->increment, osc->phase), std::pair(167392, 167392));
    EXPECT_NEAR(osc(0.0f), 0.2 * std::sin(2.0 * std::numbers::pi * 167392.0 / 16777216.0), 1e-6);

    sp_osc_init(osc.sp(), osc.get(), sine.get(), 0.0f);
    const auto out = osc.generate(44100);
    EXPECT_NEAR(toneAmplitude(out, 44100, oscPlayed440), 0.2, 1e-4);
    EXPECT_NEAR(testsupport::risingZeroCrossings(out), 440, 1);
    // Linear interpolation of 4096 points leaves no audible second harmonic.
    EXPECT_LT(toneAmplitude(out, 44100, 2 * oscPlayed440), 1e-6);
}

TEST(SpOsc, InitialPhaseZeroFrequencyAndBackwardPlay) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096));
    Osc osc, backward;
    // A quarter cycle in, whether given as 0.25, 1.25 or -0.25.
    for (float start : {0.25f, 1.25f, -0.25f}) {
        sp_osc_init(sp.get(), osc.get(), sine.get(), start);
        EXPECT_EQ(std::pair(osc->initial_phase, osc->phase), std::pair(std::fabs(start), 1 << 22));
        EXPECT_FLOAT_EQ(osc(sp.get(), 0.0f), 0.2f) << start;
    }
    // Frequency 0 holds the table value at the initial phase.
    sp_osc_init(sp.get(), osc.get(), sine.get(), 0.1f);
    std::tie(osc->frequency, osc->amp) = std::pair(0.0f, 1.0f);
    const auto held = osc.generate(sp.get(), 100);
    EXPECT_NEAR(held[0], std::sin(2.0 * std::numbers::pi * 0.1), 1e-6);
    EXPECT_EQ(held, std::vector<float>(100, held[0]));

    // A negative frequency runs the table backward: a sine comes out mirrored.
    sp_osc_init(sp.get(), osc.get(), sine.get(), 0.0f);
    sp_osc_init(sp.get(), backward.get(), sine.get(), 0.0f);
    backward->frequency = -440.0f;
    const auto forwardOut = osc.generate(sp.get(), 1000), backwardOut = backward.generate(sp.get(), 1000);
    for (std::size_t n = 0; n < forwardOut.size(); ++n)
        ASSERT_NEAR(forwardOut[n], -backwardOut[n], 1e-6) << n;
}

TEST(SpOsc, MissingTableFailsAndOddSizedTablesAreReadInsideTheirPoints) {
    ContextHandle sp;
    Osc osc;
    StderrCapture captured;
    EXPECT_EQ(sp_osc_init(sp.get(), osc.get(), nullptr, 0.0f), 0);
    EXPECT_EQ(captured.text().rfind("sp_osc: ", 0), 0u) << captured.text();
    EXPECT_EQ(osc(sp.get(), 0.0f), 0.0f);

    // 3000 points: the 12 index bits address up to 4095. Points past the table's end hold a sentinel
    // that must never come out.
    Table layout(sp.get(), 3000, sineCycle(3000));
    std::vector<float> points(8192, 1000.0f);
    std::copy(layout->table, layout->table + 3001, points.begin());
    sp_ftbl borrowed = *layout.get();
    borrowed.table = points.data();
    borrowed.owns_table = 0;
    ASSERT_EQ(sp_osc_init(sp.get(), osc.get(), &borrowed, 0.0f), 1);
    std::tie(osc->amp, osc->frequency) = std::pair(1.0f, 1234.5f);
    EXPECT_LE(testsupport::peak(osc.generate(sp.get(), 44100)), 1.0f);
}

TEST(SpDynamicosc, ReadsTheTableOfEachCallAndAdvancesOnlyWhenAsked) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096)), octave(sp.get(), 4096, sineCycle(4096, 2.0));
    DynamicOscHandle dyn;
    Osc reference;
    ASSERT_EQ(sp_dynamicosc_init(sp.get(), dyn.get(), 0.125f), 1);
    sp_osc_init(sp.get(), reference.get(), octave.get(), 0.125f);
    float a, b;
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (int n = 0; n < 500; ++n) {
                      // The cross-fade pattern of a kernel: the old table without advancing, then the new
                      // one with; both are read at one phase.
                      sp_dynamicosc_compute(sp.get(), dyn.get(), sine.get(), nullptr, &a, 0);
                      sp_dynamicosc_compute(sp.get(), dyn.get(), sine.get(), nullptr, &b, 0);
                      ASSERT_EQ(a, b);
                      ASSERT_NEAR(a,
                                  0.2 * std::sin(2.0 * std::numbers::pi * n * 167392.0 / 16777216.0 +
                                                 std::numbers::pi / 4),
                                  1e-5);
                      sp_dynamicosc_compute(sp.get(), dyn.get(), octave.get(), nullptr, &b, 1);
                      ASSERT_EQ(b, reference(sp.get(), 0.0f)) << n;
                  }
              }),
              0u);
    // No table: silence.
    sp_dynamicosc_compute(sp.get(), dyn.get(), nullptr, nullptr, &a, 1);
    EXPECT_EQ(a, 0.0f);
}

TEST(SpFosc, SpectrumFollowsTheBesselFunctionsOfTheIndex) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096));
    sigprotest::Fresh<Fosc> fm(sp_fosc_init, sine.get());
    EXPECT_EQ(std::pair(fm->amp, fm->index), std::pair(0.4f, 1.0f));
    // Index 0: the bare carrier at frequency x carrier.
    std::tie(fm->carrier, fm->index) = std::pair(2.0f, 0.0f);
    auto out = fm.generate(44100);
    EXPECT_NEAR(toneAmplitude(out, 44100, 880), 0.4, 1e-3);
    EXPECT_LT(toneAmplitude(out, 44100, 440), 1e-4);
    // Carrier 5, modulator 1, index 1: side bands at 440 Hz steps with amplitudes J_k(1).
    sp_fosc_init(fm.sp(), fm.get(), sine.get());
    fm->carrier = 5.0f;
    out = fm.generate(44100);
    for (int k = -2; k <= 2; ++k)
        EXPECT_NEAR(toneAmplitude(out, 44100, 440.0 * (5 + k)),
                    0.4 * std::fabs(std::cyl_bessel_j(double(std::abs(k)), 1.0)), 0.005)
            << k;

    Fosc orphan;
    StderrCapture captured;
    EXPECT_EQ(sp_fosc_init(sp.get(), orphan.get(), nullptr), 0);
    EXPECT_EQ(captured.text().rfind("sp_fosc: ", 0), 0u);
    EXPECT_EQ(orphan(sp.get(), 0.0f), 0.0f);
}

TEST(SpOscmorph, MorphsLinearlyBetweenNeighbouringTables) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096)), octave(sp.get(), 4096, sineCycle(4096, 2.0));
    Table silent(sp.get(), 4096, [](std::size_t) { return 0.0; });
    Table square(sp.get(), 4096, [](std::size_t i) { return i % 4096 < 2048 ? 1.0 : -1.0; });
    sp_ftbl* two[] = {sine.get(), octave.get()};
    sp_ftbl* four[] = {silent.get(), sine.get(), square.get(), octave.get()};
    // `position` against the mix of plain oscillators over the first and the second table; with four
    // tables, a third of the way reads the second.
    auto compare = [&](sp_ftbl** tables, int count, float position, float first, float second) {
        sigprotest::Fresh<Oscmorph> morph(sp_oscmorph_init, tables, count, 0.0f);
        sigprotest::Fresh<Osc> a(sp_osc_init, sine.get(), 0.0f), b(sp_osc_init, octave.get(), 0.0f);
        morph->position = position;
        const auto y = morph.generate(300), ya = a.generate(300), yb = b.generate(300);
        for (std::size_t n = 0; n < y.size(); ++n)
            ASSERT_NEAR(y[n], first * ya[n] + second * yb[n], 1e-6) << position << " " << n;
        // Above 1 the integer part is dropped and stored back.
        if (position == 1.5f) {
            EXPECT_EQ(morph->position, 0.5f);
        }
    };
    compare(two, 2, 0.0f, 1.0f, 0.0f);
    compare(two, 2, 1.0f, 0.0f, 1.0f);
    compare(two, 2, 0.5f, 0.5f, 0.5f);
    compare(two, 2, 0.25f, 0.75f, 0.25f);
    compare(two, 2, 1.5f, 0.5f, 0.5f);
    // A negative position would select a table before the first: it reads the first.
    compare(two, 2, -0.5f, 1.0f, 0.0f);
    compare(four, 4, 1.0f / 3.0f, 1.0f, 0.0f);
}

TEST(SpOscmorph, TablesOfUnequalSizeAreRefusedAndComputeSilence) {
    ContextHandle sp;
    Table big(sp.get(), 4096, sineCycle(4096)), small(sp.get(), 2048, sineCycle(2048));
    sp_ftbl* mixed[] = {big.get(), small.get()};
    Oscmorph morph;
    StderrCapture captured;
    EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), mixed, 2, 0.0f), 0);
    EXPECT_EQ(captured.text(), "sp_oscmorph: size mismatch\n");
    std::tie(morph->amp, morph->position) = std::pair(1.0f, 1.0f);
    EXPECT_EQ(morph.generate(sp.get(), 100), std::vector<float>(100, 0.0f));
    EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), mixed, 0, 0.0f), 0);
    EXPECT_EQ(captured.text().rfind("sp_oscmorph: ", 0), 0u);
    // A good set of tables after a refused one works.
    sp_ftbl* same[] = {big.get(), big.get()};
    EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), same, 2, 0.25f), 1);
    EXPECT_FLOAT_EQ(morph(sp.get(), 0.0f), 0.2f);
    sigprotest::expectModuleLifecycle<Oscmorph>(
        [&](sp_data* context, sp_oscmorph* p) { return sp_oscmorph_init(context, p, same, 2, 0.25f); },
        std::vector<float>(3000, 0.0f), {},
        [](sp_oscmorph* p, int n) { p->position = float(n % 100) / 100.0f; });
}

TEST(SpBlsquare, PulseOfTheGivenFrequencyWidthAndAmplitude) {
    sigprotest::Fresh<Blsquare> sq(sp_blsquare_init);
    EXPECT_EQ((std::vector{*sq->frequency, *sq->amp, *sq->width}), (std::vector{440.0f, 1.0f, 0.5f}));
    auto out = sq.generate(44100);
    EXPECT_EQ(out[0], 0.0f);
    // A square of +-1 has a fundamental of 4 / pi.
    EXPECT_NEAR(toneAmplitude(out, 44100, 440, 1000), 4.0 / std::numbers::pi, 0.02);
    EXPECT_NEAR(testsupport::risingZeroCrossings(out, 1000), 440 * 43100.0 / 44100.0, 2);

    // Width 0.25 at amplitude 0.5: the pulse spends three quarters of the period at 0.5 x 0.5 and a
    // quarter at 0.5 x -1.5, so it has no DC.
    sp_blsquare_init(sq.sp(), sq.get());
    std::tie(*sq->width, *sq->amp) = std::pair(0.25f, 0.5f);
    out = sq.generate(44100);
    std::vector<float> sorted(out.begin() + 1000, out.end());
    EXPECT_NEAR(std::count_if(sorted.begin(), sorted.end(), [](float v) { return v > 0.0f; }) / 43100.0, 0.75,
                0.02);
    EXPECT_NEAR(std::accumulate(sorted.begin(), sorted.end(), 0.0) / 43100.0, 0.0, 0.01);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[sorted.size() / 8], -0.75f, 0.02);
    EXPECT_NEAR(sorted[sorted.size() * 5 / 8], 0.25f, 0.02);

    // Band-limited: at 3 kHz the 13th harmonic (39 kHz) of a naive square folds to 5.1 kHz with 4 / (13 pi);
    // this one leaves far less there.
    sp_blsquare_init(sq.sp(), sq.get());
    *sq->frequency = 3000.0f;
    EXPECT_LT(toneAmplitude(sq.generate(44100), 44100, 5100, 1000), 4.0 / (13.0 * std::numbers::pi) / 4.0);
}

TEST(SpOscillators, ReinitStartsOverAndComputeNeverAllocates) {
    const std::vector<float> none(3000, 0.0f);
    sigprotest::expectModuleLifecycle<Blsquare>(
        sp_blsquare_init, none, [](sp_blsquare* p) { *p->frequency = 1000.0f; },
        [](sp_blsquare* p, int n) { *p->frequency = 100.0f + float(n); });
    ContextHandle sp;
    Table sine(sp.get(), 4096, sineCycle(4096));
    sigprotest::expectModuleLifecycle<Osc>(
        [&](sp_data* c, sp_osc* p) { return sp_osc_init(c, p, sine.get(), 0.0f); }, none, {},
        [](sp_osc* p, int n) { p->frequency = 100.0f + float(n); });
    sigprotest::expectModuleLifecycle<Fosc>(
        [&](sp_data* c, sp_fosc* p) { return sp_fosc_init(c, p, sine.get()); }, none, {},
        [](sp_fosc* p, int n) { p->index = float(n % 8); });
}
