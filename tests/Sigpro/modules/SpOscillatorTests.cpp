#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_blsquare.h"
#include "Sigpro/modules/sp_dynamicosc.h"
#include "Sigpro/modules/sp_fosc.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_osc.h"
#include "Sigpro/modules/sp_oscmorph.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;
using testsupport::toneAmplitude;

namespace {

using OscHandle = sigprotest::ModuleHandle<sp_osc, sp_osc_create, sp_osc_destroy>;
using DynamicOscHandle = sigprotest::ModuleHandle<sp_dynamicosc, sp_dynamicosc_create, sp_dynamicosc_destroy>;
using FoscHandle = sigprotest::ModuleHandle<sp_fosc, sp_fosc_create, sp_fosc_destroy>;
using OscmorphHandle = sigprotest::ModuleHandle<sp_oscmorph, sp_oscmorph_create, sp_oscmorph_destroy>;
using BlsquareHandle = sigprotest::ModuleHandle<sp_blsquare, sp_blsquare_create, sp_blsquare_destroy>;

// One wavetable filled with `shape` over a cycle, the guard point repeating the first. Test thread.
class OscTable {
public:
    OscTable(sp_data* sp, std::size_t size, const std::function<double(double)>& shape) {
        sp_ftbl_create(sp, &ft_, size);
        for (std::size_t i = 0; i <= size; ++i)
            ft_->table[i] = static_cast<float>(shape(double(i % size) / double(size)));
    }
    ~OscTable() { sp_ftbl_destroy(&ft_); }
    OscTable(const OscTable&) = delete;
    OscTable& operator=(const OscTable&) = delete;
    sp_ftbl* get() const { return ft_; }
    sp_ftbl* operator->() const { return ft_; }

private:
    sp_ftbl* ft_ = nullptr;
};

double oscSine(double cycle) {
    return std::sin(2.0 * std::numbers::pi * cycle);
}
double oscSecondHarmonic(double cycle) {
    return std::sin(4.0 * std::numbers::pi * cycle);
}

template <class Compute> std::vector<float> oscRender(std::size_t samples, Compute compute) {
    std::vector<float> y(samples);
    for (auto& v : y)
        v = compute();
    return y;
}

} // namespace

TEST(SpOsc, PlaysTheTableAtItsFrequencyWithTheReferenceIncrement) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    EXPECT_EQ(sine->phase_per_hz, 380.43573f);
    OscHandle osc;
    ASSERT_EQ(sp_osc_init(sp.get(), osc.get(), sine.get(), 0.0f), 1);
    EXPECT_EQ(osc->frequency, 440.0f);
    EXPECT_EQ(osc->amp, 0.2f);

    float y;
    sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(osc->increment, 167392);
    EXPECT_EQ(osc->phase, 167392);
    sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
    EXPECT_NEAR(y, 0.2 * std::sin(2.0 * std::numbers::pi * 167392.0 / 16777216.0), 1e-6);

    sp_osc_init(sp.get(), osc.get(), sine.get(), 0.0f);
    const auto out = oscRender(44100, [&] {
        sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
        return y;
    });
    const double played = 167392.0 * 44100.0 / 16777216.0;
    EXPECT_NEAR(toneAmplitude(out, 44100, played), 0.2, 1e-4);
    EXPECT_NEAR(testsupport::risingZeroCrossings(out), 440, 1);
    // Linear interpolation of 4096 points leaves no audible second harmonic.
    EXPECT_LT(toneAmplitude(out, 44100, 2 * played), 1e-6);
}

TEST(SpOsc, InitialPhaseZeroFrequencyAndBackwardPlay) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    OscHandle osc;
    float y;
    // A quarter cycle in, whether given as 0.25, 1.25 or -0.25.
    for (float start : {0.25f, 1.25f, -0.25f}) {
        sp_osc_init(sp.get(), osc.get(), sine.get(), start);
        EXPECT_EQ(osc->initial_phase, std::fabs(start));
        EXPECT_EQ(osc->phase, 1 << 22);
        sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
        EXPECT_FLOAT_EQ(y, 0.2f) << start;
    }

    sp_osc_init(sp.get(), osc.get(), sine.get(), 0.1f);
    osc->frequency = 0.0f;
    osc->amp = 1.0f;
    float first;
    sp_osc_compute(sp.get(), osc.get(), nullptr, &first);
    EXPECT_NEAR(first, std::sin(2.0 * std::numbers::pi * 0.1), 1e-6);
    for (int n = 0; n < 100; ++n) {
        sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
        ASSERT_EQ(y, first);
    }

    // A negative frequency runs the table backward: a sine comes out mirrored.
    OscHandle forward, backward;
    sp_osc_init(sp.get(), forward.get(), sine.get(), 0.0f);
    sp_osc_init(sp.get(), backward.get(), sine.get(), 0.0f);
    backward->frequency = -440.0f;
    for (int n = 0; n < 1000; ++n) {
        float a, b;
        sp_osc_compute(sp.get(), forward.get(), nullptr, &a);
        sp_osc_compute(sp.get(), backward.get(), nullptr, &b);
        ASSERT_NEAR(a, -b, 1e-6) << n;
    }
}

TEST(SpOsc, MissingTableFailsAndOddSizedTablesAreReadInsideTheirPoints) {
    ContextHandle sp;
    OscHandle osc;
    {
        StderrCapture captured;
        EXPECT_EQ(sp_osc_init(sp.get(), osc.get(), nullptr, 0.0f), 0);
        EXPECT_EQ(captured.text().rfind("sp_osc: ", 0), 0u) << captured.text();
    }
    float y = 1.0f;
    sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
    EXPECT_EQ(y, 0.0f);

    // 3000 points: the 12 index bits address up to 4095. Points past the table's end hold a sentinel
    // that must never come out.
    OscTable layout(sp.get(), 3000, oscSine);
    std::vector<float> points(8192, 1000.0f);
    for (std::size_t i = 0; i <= 3000; ++i)
        points[i] = layout->table[i];
    sp_ftbl borrowed = *layout.get();
    borrowed.table = points.data();
    borrowed.owns_table = 0;
    ASSERT_EQ(sp_osc_init(sp.get(), osc.get(), &borrowed, 0.0f), 1);
    osc->amp = 1.0f;
    osc->frequency = 1234.5f;
    for (int n = 0; n < 44100; ++n) {
        sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
        ASSERT_LE(std::fabs(y), 1.0f) << n;
    }
}

TEST(SpDynamicosc, ReadsTheTableOfEachCallAndAdvancesOnlyWhenAsked) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    OscTable octave(sp.get(), 4096, oscSecondHarmonic);
    DynamicOscHandle dyn;
    OscHandle reference;
    ASSERT_EQ(sp_dynamicosc_init(sp.get(), dyn.get(), 0.125f), 1);
    sp_osc_init(sp.get(), reference.get(), octave.get(), 0.125f);
    float a, b, r;
    for (int n = 0; n < 500; ++n) {
        // The cross-fade pattern of a kernel: the old table without advancing, then the new one with.
        sp_dynamicosc_compute(sp.get(), dyn.get(), sine.get(), nullptr, &a, 0);
        sp_dynamicosc_compute(sp.get(), dyn.get(), sine.get(), nullptr, &b, 0);
        ASSERT_EQ(a, b);
        sp_dynamicosc_compute(sp.get(), dyn.get(), octave.get(), nullptr, &b, 1);
        sp_osc_compute(sp.get(), reference.get(), nullptr, &r);
        ASSERT_EQ(b, r) << n;
        // Both tables are read at one phase.
        ASSERT_NEAR(a,
                    0.2 * std::sin(2.0 * std::numbers::pi * n * 167392.0 / 16777216.0 + std::numbers::pi / 4),
                    1e-5);
    }
    sp_dynamicosc_compute(sp.get(), dyn.get(), nullptr, nullptr, &a, 1);
    EXPECT_EQ(a, 0.0f);
}

TEST(SpFosc, SpectrumFollowsTheBesselFunctionsOfTheIndex) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    FoscHandle fm;
    ASSERT_EQ(sp_fosc_init(sp.get(), fm.get(), sine.get()), 1);
    EXPECT_EQ(fm->amp, 0.4f);
    EXPECT_EQ(fm->index, 1.0f);
    float y;
    auto render = [&] {
        return oscRender(44100, [&] {
            sp_fosc_compute(sp.get(), fm.get(), nullptr, &y);
            return y;
        });
    };

    // Index 0: the bare carrier at frequency x carrier.
    fm->carrier = 2.0f;
    fm->index = 0.0f;
    auto out = render();
    EXPECT_NEAR(toneAmplitude(out, 44100, 880), 0.4, 1e-3);
    EXPECT_LT(toneAmplitude(out, 44100, 440), 1e-4);

    // Carrier 5, modulator 1, index 1: side bands at 440 Hz steps with amplitudes J_k(1).
    sp_fosc_init(sp.get(), fm.get(), sine.get());
    fm->carrier = 5.0f;
    out = render();
    for (int k = 0; k <= 2; ++k) {
        const double expected = 0.4 * std::fabs(std::cyl_bessel_j(double(k), 1.0));
        EXPECT_NEAR(toneAmplitude(out, 44100, 440.0 * (5 + k)), expected, 0.005) << k;
        EXPECT_NEAR(toneAmplitude(out, 44100, 440.0 * (5 - k)), expected, 0.005) << -k;
    }

    FoscHandle orphan;
    StderrCapture captured;
    EXPECT_EQ(sp_fosc_init(sp.get(), orphan.get(), nullptr), 0);
    EXPECT_EQ(captured.text().rfind("sp_fosc: ", 0), 0u);
    y = 1.0f;
    sp_fosc_compute(sp.get(), orphan.get(), nullptr, &y);
    EXPECT_EQ(y, 0.0f);
}

TEST(SpOscmorph, MorphsLinearlyBetweenNeighbouringTables) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    OscTable octave(sp.get(), 4096, oscSecondHarmonic);
    OscTable silent(sp.get(), 4096, [](double) { return 0.0; });
    OscTable square(sp.get(), 4096, [](double c) { return c < 0.5 ? 1.0 : -1.0; });
    sp_ftbl* two[] = {sine.get(), octave.get()};
    OscmorphHandle morph;
    OscHandle a, b;
    float y, ya, yb;
    auto compare = [&](float position, auto expected) {
        sp_oscmorph_init(sp.get(), morph.get(), two, 2, 0.0f);
        sp_osc_init(sp.get(), a.get(), sine.get(), 0.0f);
        sp_osc_init(sp.get(), b.get(), octave.get(), 0.0f);
        morph->position = position;
        for (int n = 0; n < 300; ++n) {
            sp_oscmorph_compute(sp.get(), morph.get(), nullptr, &y);
            sp_osc_compute(sp.get(), a.get(), nullptr, &ya);
            sp_osc_compute(sp.get(), b.get(), nullptr, &yb);
            ASSERT_NEAR(y, expected(ya, yb), 1e-6) << position << " " << n;
        }
    };
    compare(0.0f, [](float first, float) { return first; });
    compare(1.0f, [](float, float last) { return last; });
    compare(0.5f, [](float first, float last) { return 0.5f * (first + last); });
    compare(0.25f, [](float first, float last) { return 0.75f * first + 0.25f * last; });
    // Above 1 the integer part is dropped and stored back.
    compare(1.5f, [](float first, float last) { return 0.5f * (first + last); });
    EXPECT_EQ(morph->position, 0.5f);
    // A negative position would select a table before the first: it reads the first.
    compare(-0.5f, [](float first, float) { return first; });

    // Four tables: a third of the way reads the second table.
    sp_ftbl* four[] = {silent.get(), sine.get(), square.get(), octave.get()};
    ASSERT_EQ(sp_oscmorph_init(sp.get(), morph.get(), four, 4, 0.0f), 1);
    sp_osc_init(sp.get(), a.get(), sine.get(), 0.0f);
    morph->position = 1.0f / 3.0f;
    for (int n = 0; n < 300; ++n) {
        sp_oscmorph_compute(sp.get(), morph.get(), nullptr, &y);
        sp_osc_compute(sp.get(), a.get(), nullptr, &ya);
        ASSERT_NEAR(y, ya, 1e-6);
    }
}

TEST(SpOscmorph, TablesOfUnequalSizeAreRefusedAndComputeSilence) {
    ContextHandle sp;
    OscTable big(sp.get(), 4096, oscSine);
    OscTable small(sp.get(), 2048, oscSine);
    sp_ftbl* mixed[] = {big.get(), small.get()};
    OscmorphHandle morph;
    {
        StderrCapture captured;
        EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), mixed, 2, 0.0f), 0);
        EXPECT_EQ(captured.text(), "sp_oscmorph: size mismatch\n");
    }
    morph->amp = 1.0f;
    morph->position = 1.0f;
    for (int n = 0; n < 100; ++n) {
        float y = 1.0f;
        sp_oscmorph_compute(sp.get(), morph.get(), nullptr, &y);
        ASSERT_EQ(y, 0.0f);
    }
    {
        StderrCapture captured;
        EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), mixed, 0, 0.0f), 0);
        EXPECT_EQ(captured.text().rfind("sp_oscmorph: ", 0), 0u);
    }
    // A good set of tables after a refused one works.
    sp_ftbl* same[] = {big.get(), big.get()};
    EXPECT_EQ(sp_oscmorph_init(sp.get(), morph.get(), same, 2, 0.25f), 1);
    float y;
    sp_oscmorph_compute(sp.get(), morph.get(), nullptr, &y);
    EXPECT_FLOAT_EQ(y, 0.2f);
}

TEST(SpBlsquare, PulseOfTheGivenFrequencyWidthAndAmplitude) {
    ContextHandle sp;
    BlsquareHandle sq;
    ASSERT_EQ(sp_blsquare_init(sp.get(), sq.get()), 1);
    EXPECT_EQ(sq->param_count, 3);
    EXPECT_EQ(sq->params[0], sq->frequency);
    EXPECT_EQ(sq->params[1], sq->amp);
    EXPECT_EQ(sq->params[2], sq->width);
    EXPECT_EQ(*sq->frequency, 440.0f);
    EXPECT_EQ(*sq->amp, 1.0f);
    EXPECT_EQ(*sq->width, 0.5f);
    float y;
    auto render = [&] {
        return oscRender(44100, [&] {
            sp_blsquare_compute(sp.get(), sq.get(), nullptr, &y);
            return y;
        });
    };
    auto out = render();
    EXPECT_EQ(out[0], 0.0f);
    // A square of +-1 has a fundamental of 4 / pi.
    EXPECT_NEAR(toneAmplitude(out, 44100, 440, 1000), 4.0 / std::numbers::pi, 0.02);
    EXPECT_NEAR(testsupport::risingZeroCrossings(out, 1000), 440 * 43100.0 / 44100.0, 2);

    // Width 0.25 at amplitude 0.5: the pulse spends three quarters of the period at 0.5 x 0.5 and a
    // quarter at 0.5 x -1.5, so it has no DC.
    sp_blsquare_init(sp.get(), sq.get());
    *sq->width = 0.25f;
    *sq->amp = 0.5f;
    out = render();
    int high = 0;
    double sum = 0;
    for (std::size_t n = 1000; n < out.size(); ++n) {
        if (out[n] > 0.0f) ++high;
        sum += out[n];
    }
    EXPECT_NEAR(high / 43100.0, 0.75, 0.02);
    EXPECT_NEAR(sum / 43100.0, 0.0, 0.01);
    std::vector<float> sorted(out.begin() + 1000, out.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[sorted.size() / 8], -0.75f, 0.02);
    EXPECT_NEAR(sorted[sorted.size() * 5 / 8], 0.25f, 0.02);

    // Band-limited: at 3 kHz the 13th harmonic (39 kHz) of a naive square folds to 5.1 kHz with 4 / (13 pi);
    // this one leaves far less there.
    sp_blsquare_init(sp.get(), sq.get());
    *sq->frequency = 3000.0f;
    out = render();
    EXPECT_LT(toneAmplitude(out, 44100, 5100, 1000), 4.0 / (13.0 * std::numbers::pi) / 4.0);
}

TEST(SpBlsquare, ReinitReusesItsStateAndStartsAfresh) {
    ContextHandle sp;
    BlsquareHandle used, fresh;
    sp_blsquare_init(sp.get(), used.get());
    sp_blsquare_state* state = used->state;
    float y;
    *used->frequency = 1000.0f;
    for (int n = 0; n < 777; ++n)
        sp_blsquare_compute(sp.get(), used.get(), nullptr, &y);
    ASSERT_EQ(sp_blsquare_init(sp.get(), used.get()), 1);
    EXPECT_EQ(used->state, state);
    EXPECT_EQ(*used->frequency, 440.0f);
    sp_blsquare_init(sp.get(), fresh.get());
    for (int n = 0; n < 3000; ++n) {
        float a, b;
        sp_blsquare_compute(sp.get(), used.get(), nullptr, &a);
        sp_blsquare_compute(sp.get(), fresh.get(), nullptr, &b);
        ASSERT_EQ(a, b) << n;
    }
}

TEST(SpOscillators, ComputeNeverAllocates) {
    ContextHandle sp;
    OscTable sine(sp.get(), 4096, oscSine);
    sp_ftbl* tables[] = {sine.get(), sine.get()};
    OscHandle osc;
    DynamicOscHandle dyn;
    FoscHandle fm;
    OscmorphHandle morph;
    BlsquareHandle sq;
    sp_osc_init(sp.get(), osc.get(), sine.get(), 0.0f);
    sp_dynamicosc_init(sp.get(), dyn.get(), 0.0f);
    sp_fosc_init(sp.get(), fm.get(), sine.get());
    sp_oscmorph_init(sp.get(), morph.get(), tables, 2, 0.0f);
    sp_blsquare_init(sp.get(), sq.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 256; ++n) {
                      float y;
                      sp_osc_compute(sp.get(), osc.get(), nullptr, &y);
                      sp_dynamicosc_compute(sp.get(), dyn.get(), sine.get(), nullptr, &y, 1);
                      sp_fosc_compute(sp.get(), fm.get(), nullptr, &y);
                      sp_oscmorph_compute(sp.get(), morph.get(), nullptr, &y);
                      sp_blsquare_compute(sp.get(), sq.get(), nullptr, &y);
                  }
              }),
              0u);
}
