#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_voc.h"
#include "Sigpro/modules/sp_vocwrapper.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using VocHandle = sigprotest::ModuleHandle<sp_voc, sp_voc_create, sp_voc_destroy>;
using VocWrapperHandle = sigprotest::ModuleHandle<sp_vocwrapper, sp_vocwrapper_create, sp_vocwrapper_destroy>;

std::vector<float> vocRender(sp_data* sp, sp_voc* voc, std::size_t samples) {
    std::vector<float> y(samples);
    for (auto& s : y)
        EXPECT_EQ(sp_voc_compute(sp, voc, &s), 1);
    return y;
}

void vocRunBlocks(sp_data* sp, sp_voc* voc, int blocks) {
    float y;
    for (int i = 0; i < blocks * sp_voc_block_size; ++i)
        sp_voc_compute(sp, voc, &y);
}

// Fundamental by normalised autocorrelation: shortest 60-1000 Hz lag within 90 % of the best, refined.
double vocFundamentalHz(const std::vector<float>& y, std::size_t first, double rate) {
    const auto minLag = static_cast<std::size_t>(rate / 1000.0);
    const auto maxLag = static_cast<std::size_t>(rate / 60.0);
    const std::size_t n = y.size() - first - maxLag - 1;
    std::vector<double> r(maxLag + 2, 0.0);
    for (std::size_t lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = first; i < first + n; ++i) {
            xy += double(y[i]) * y[i + lag];
            xx += double(y[i]) * y[i];
            yy += double(y[i + lag]) * y[i + lag];
        }
        r[lag] = xy / std::sqrt(xx * yy);
    }
    double best = 0;
    for (std::size_t lag = minLag; lag <= maxLag; ++lag)
        best = std::max(best, r[lag]);
    for (std::size_t lag = minLag; lag <= maxLag; ++lag) {
        if (r[lag] < 0.9 * best || r[lag] < r[lag - 1] || r[lag] < r[lag + 1]) continue;
        const double denominator = r[lag - 1] - 2 * r[lag] + r[lag + 1];
        const double offset = denominator != 0 ? 0.5 * (r[lag - 1] - r[lag + 1]) / denominator : 0.0;
        return rate / (double(lag) + offset);
    }
    return 0.0;
}

// Value of the glottal flow derivative at normalised time t, from the shape held in the record.
double vocPulse(const sp_voc* v, double t) {
    if (t > v->Te) return (v->shift - std::exp(-v->epsilon * (t - v->Te))) / v->delta;
    return v->E0 * std::exp(v->alpha * t) * std::sin(v->omega * t);
}

} // namespace

TEST(SpVoc, InitSetsUpTheRestingTractNoseAndGlottis) {
    ContextHandle sp;
    VocHandle voc;
    ASSERT_EQ(sp_voc_init(sp.get(), voc.get()), 1);
    EXPECT_EQ(voc->frequency, 140.0f);
    EXPECT_EQ(voc->tenseness, 0.6f);
    EXPECT_FLOAT_EQ(voc->Rd, 1.2f);
    EXPECT_FLOAT_EQ(voc->waveform_length, 1.0f / 140.0f);
    EXPECT_EQ(sp_voc_get_counter(voc.get()), 0);

    const sp_voc_tract& tr = voc->tract;
    EXPECT_EQ(tr.length, 44);
    EXPECT_EQ(tr.nose_length, 28);
    EXPECT_EQ(tr.nose_start, 17);
    EXPECT_EQ(tr.tip_start, 32);
    for (int i = 0; i < 44; ++i) {
        const float d = i <= 6 ? 0.6f : (i <= 11 ? 1.1f : 1.5f);
        EXPECT_EQ(tr.diameter[i], d) << i;
        EXPECT_EQ(tr.rest_diameter[i], d) << i;
    }
    // Reflections where the diameter steps, none inside a uniform stretch.
    EXPECT_FLOAT_EQ(tr.new_reflection[7], (0.36f - 1.21f) / (0.36f + 1.21f));
    EXPECT_FLOAT_EQ(tr.new_reflection[12], (1.21f - 2.25f) / (1.21f + 2.25f));
    EXPECT_EQ(tr.new_reflection[20], 0.0f);
    EXPECT_EQ(tr.glottal_reflection, 0.75f);
    EXPECT_EQ(tr.lip_reflection, -0.85f);
    EXPECT_EQ(tr.velum_target, 0.01f);
    EXPECT_EQ(tr.movement_speed, 15.0f);
    EXPECT_FLOAT_EQ(tr.block_time, 512.0f / 44100.0f);
    EXPECT_EQ(tr.transients.count, 0);

    // Nose: widening to 1.9 in the middle, the velum closed at the first cell.
    EXPECT_EQ(tr.nose_diameter[0], 0.01f);
    EXPECT_FLOAT_EQ(tr.nose_diameter[1], 0.4f + 1.6f * (2.0f / 28.0f));
    EXPECT_EQ(tr.nose_diameter[14], 1.9f);
    EXPECT_FLOAT_EQ(tr.nose_diameter[27], 0.5f + 1.5f * (2.0f - 54.0f / 28.0f));
    // Junction 1 sees the first cell as before the velum closed it (area 0.4^2); junction 0 has none.
    const float a1 = tr.nose_area[1];
    EXPECT_FLOAT_EQ(tr.nose_reflection[1], (0.16f - a1) / (0.16f + a1));
    EXPECT_EQ(tr.nose_reflection[0], 0.0f);
}

TEST(SpVoc, GlottalPulseMeetsItsEndsAndClampsItsShape) {
    ContextHandle sp;
    VocHandle voc;
    sp_voc_init(sp.get(), voc.get());
    struct Shape {
        float alpha, E0, Te, omega;
    };
    auto shapeFor = [&](float tenseness) {
        sp_voc_set_tenseness(voc.get(), tenseness);
        vocRunBlocks(sp.get(), voc.get(), 2); // several glottal periods: the new shape is in place
        return Shape{voc->alpha, voc->E0, voc->Te, voc->omega};
    };
    for (float tenseness : {0.0f, 0.3f, 0.6f, 0.85f, 1.0f}) {
        shapeFor(tenseness);
        EXPECT_FLOAT_EQ(voc->Rd, 3.0f * (1.0f - tenseness)) << tenseness;
        // Both phases meet at -1 at the return time Te.
        EXPECT_NEAR(voc->E0 * std::exp(voc->alpha * voc->Te) * std::sin(voc->omega * voc->Te), -1.0, 1e-4);
        EXPECT_NEAR((voc->shift - 1.0f) / voc->delta, -1.0, 1e-6);
        // The pulse rises from 0 at the start of the period and has returned to 0 at its end.
        EXPECT_EQ(vocPulse(voc.get(), 0.0), 0.0);
        EXPECT_GT(vocPulse(voc.get(), 0.1), 0.0);
        EXPECT_NEAR(vocPulse(voc.get(), 1.0), 0.0, 1e-6);
    }
    // Rd below 0.5 or above 2.7 gives the clamped shape.
    const Shape full = shapeFor(1.0f), nearlyFull = shapeFor(0.9f), slack = shapeFor(0.0f),
                nearlySlack = shapeFor(0.05f), middle = shapeFor(0.6f);
    EXPECT_EQ(full.alpha, nearlyFull.alpha);
    EXPECT_EQ(slack.Te, nearlySlack.Te);
    EXPECT_NE(middle.alpha, full.alpha);
    EXPECT_NE(middle.alpha, slack.alpha);
}

TEST(SpVoc, FirstComputeMakesABlockThatTheNext511CallsOnlyRead) {
    ContextHandle spA, spB;
    VocHandle a, b;
    sp_voc_init(spA.get(), a.get());
    sp_voc_init(spB.get(), b.get());
    float ya, yb;
    sp_voc_compute(spA.get(), a.get(), &ya);
    sp_voc_compute(spB.get(), b.get(), &yb);
    EXPECT_EQ(ya, yb);
    EXPECT_EQ(sp_voc_get_counter(a.get()), 1);
    // The block's 512 random draws are taken at once.
    EXPECT_EQ(spA->rand_state, spB->rand_state);
    const std::uint32_t drawn = spA->rand_state;

    // Changes to b now reach its output only from the next block on.
    sp_voc_set_frequency(b.get(), 300.0f);
    sp_voc_set_tenseness(b.get(), 0.2f);
    sp_voc_set_velum(b.get(), 0.6f);
    sp_voc_set_tongue_shape(b.get(), 20.0f, 1.0f);
    for (int i = 1; i < 512; ++i) {
        sp_voc_compute(spA.get(), a.get(), &ya);
        sp_voc_compute(spB.get(), b.get(), &yb);
        ASSERT_EQ(ya, yb) << i;
    }
    EXPECT_EQ(sp_voc_get_counter(a.get()), 0);
    EXPECT_EQ(spA->rand_state, drawn);
    int differing = 0;
    for (int i = 0; i < 512; ++i) {
        sp_voc_compute(spA.get(), a.get(), &ya);
        sp_voc_compute(spB.get(), b.get(), &yb);
        differing += ya != yb;
    }
    EXPECT_GT(differing, 400);
    EXPECT_NE(spA->rand_state, drawn);
}

TEST(SpVoc, OutputHasItsFundamentalAtTheSetFrequency) {
    for (float hz : {90.0f, 140.0f, 220.0f, 330.0f, 440.0f}) {
        ContextHandle sp;
        VocHandle voc;
        sp_voc_init(sp.get(), voc.get());
        sp_voc_set_frequency(voc.get(), hz);
        sp_voc_set_tenseness(voc.get(), 1.0f);
        const auto y = vocRender(sp.get(), voc.get(), 22050);
        EXPECT_NEAR(vocFundamentalHz(y, 4410, 44100.0), hz, 0.005 * hz) << hz;
    }
    // With the aspiration noise of a slack voice the pitch still holds.
    ContextHandle sp;
    VocHandle voc;
    sp_voc_init(sp.get(), voc.get());
    sp_voc_set_frequency(voc.get(), 180.0f);
    sp_voc_set_tenseness(voc.get(), 0.4f);
    const auto y = vocRender(sp.get(), voc.get(), 22050);
    EXPECT_NEAR(vocFundamentalHz(y, 4410, 44100.0), 180.0, 0.9);
}

TEST(SpVoc, FullTensenessAddsNoNoiseAndSlackVoicesTheMost) {
    // Two voices whose generators stand at different points differ only by their aspiration noise.
    auto noiseRms = [](float tenseness) {
        ContextHandle spA, spB;
        spB->rand_state = 987654321u;
        VocHandle a, b;
        sp_voc_init(spA.get(), a.get());
        sp_voc_init(spB.get(), b.get());
        sp_voc_set_tenseness(a.get(), tenseness);
        sp_voc_set_tenseness(b.get(), tenseness);
        const auto ya = vocRender(spA.get(), a.get(), 8192);
        const auto yb = vocRender(spB.get(), b.get(), 8192);
        double sum = 0;
        for (std::size_t i = 0; i < ya.size(); ++i)
            sum += double(ya[i] - yb[i]) * (ya[i] - yb[i]);
        return std::sqrt(sum / double(ya.size()));
    };
    EXPECT_EQ(noiseRms(1.0f), 0.0);
    const double tense = noiseRms(0.9f), middle = noiseRms(0.6f), slack = noiseRms(0.0f);
    EXPECT_GT(tense, 0.0);
    EXPECT_GT(middle, 1.5 * tense);
    EXPECT_GT(slack, 1.5 * middle);
}

TEST(SpVoc, AClosureThatOpensReleasesOneClickOfTwoTenthsOfASecond) {
    ContextHandle sp;
    VocHandle voc;
    sp_voc_init(sp.get(), voc.get());
    sp_voc_tract& tr = voc->tract;
    const int cell = 25;
    tr.target_diameter[cell] = 0.0f;
    vocRunBlocks(sp.get(), voc.get(), 6); // shrinks by 2 x 15 x 512 / 44100 per block: closed after 5
    EXPECT_EQ(tr.diameter[cell], 0.0f);
    EXPECT_EQ(tr.transients.count, 0);
    tr.target_diameter[cell] = 1.5f;
    vocRunBlocks(sp.get(), voc.get(), 1); // still closed when this block began
    EXPECT_EQ(tr.last_obstruction, cell);
    EXPECT_EQ(tr.transients.count, 0);
    vocRunBlocks(sp.get(), voc.get(), 1); // open now: one click
    ASSERT_EQ(tr.transients.count, 1);
    ASSERT_NE(tr.transients.root, nullptr);
    EXPECT_EQ(tr.transients.root->position, cell);
    EXPECT_EQ(tr.transients.root->lifetime, 0.2f);
    EXPECT_EQ(tr.transients.root->strength, 0.3f);
    EXPECT_EQ(tr.last_obstruction, -1);
    // 0.2 s is 8820 samples: alive after 17 blocks (8704 samples), gone after 18.
    vocRunBlocks(sp.get(), voc.get(), 16);
    EXPECT_EQ(tr.transients.count, 1);
    vocRunBlocks(sp.get(), voc.get(), 1);
    EXPECT_EQ(tr.transients.count, 0);
    EXPECT_EQ(tr.transients.root, nullptr);

    // With the nose open the same release makes no click.
    sp_voc_set_velum(voc.get(), 0.5f);
    vocRunBlocks(sp.get(), voc.get(), 6); // opens by 0.25 x 15 x 512 / 44100 per block
    ASSERT_GE(tr.nose_area[0], 0.05f);
    tr.diameter[cell] = 0.0f;
    vocRunBlocks(sp.get(), voc.get(), 2);
    EXPECT_EQ(tr.transients.count, 0);
}

TEST(SpVoc, AtMostFourClicksAreActive) {
    ContextHandle sp;
    VocHandle voc;
    sp_voc_init(sp.get(), voc.get());
    sp_voc_tract& tr = voc->tract;
    // One release per two blocks: five well within one click's lifetime.
    for (int release = 1; release <= 5; ++release) {
        tr.diameter[30] = 0.0f;
        vocRunBlocks(sp.get(), voc.get(), 2);
        EXPECT_EQ(tr.transients.count, std::min(release, 4)) << release;
    }
    int linked = 0;
    for (const sp_voc_transient* t = tr.transients.root; t != nullptr; t = t->next)
        ++linked;
    EXPECT_EQ(linked, 4);
    // The oldest (released first) dies first; all are gone 0.2 s after the last.
    vocRunBlocks(sp.get(), voc.get(), 20);
    EXPECT_EQ(tr.transients.count, 0);
    for (const sp_voc_transient& t : tr.transients.pool)
        EXPECT_EQ(t.is_free, 1);
}

TEST(SpVoc, TongueShapeFollowsTheCurveOverTheBladeAndLeavesTheRest) {
    ContextHandle sp;
    VocHandle voc;
    sp_voc_init(sp.get(), voc.get());
    const sp_voc_tract& tr = voc->tract;
    sp_voc_set_tongue_shape(voc.get(), 20.0f, 2.0f);
    // Tongue diameter 2: the curve's depth 1.5 - 2 reaches -0.5 at the tongue index.
    EXPECT_FLOAT_EQ(tr.target_diameter[20], 2.0f);
    for (int i = 10; i < 39; ++i) {
        double c = -0.5 * std::cos(1.1 * std::numbers::pi * (20.0 - i) / 22.0);
        if (i == 38) c *= 0.8;
        if (i == 10 || i == 37) c *= 0.94;
        EXPECT_NEAR(tr.target_diameter[i], 1.5 - c, 1e-5) << i;
    }
    for (int i : {0, 6, 9, 39, 43})
        EXPECT_EQ(tr.target_diameter[i], tr.rest_diameter[i]) << i;
    // The diameters move towards the new target one block at a time.
    EXPECT_EQ(tr.diameter[20], 1.5f);
    vocRunBlocks(sp.get(), voc.get(), 1);
    EXPECT_GT(tr.diameter[20], 1.5f);
    EXPECT_LT(tr.diameter[20], 2.0f);
    vocRunBlocks(sp.get(), voc.get(), 10);
    EXPECT_EQ(tr.diameter[20], 2.0f);
}

TEST(SpVocwrapper, DefaultsAndTongueAndVelumOnlyAtBlockBoundaries) {
    ContextHandle sp;
    VocWrapperHandle w;
    ASSERT_NE(w->voice, nullptr);
    w->diameter = 0.7f;
    ASSERT_EQ(sp_vocwrapper_init(sp.get(), w.get()), 1);
    EXPECT_EQ(w->frequency, 160.0f);
    EXPECT_EQ(w->position, 1.0f);
    EXPECT_EQ(w->tenseness, 0.6f);
    EXPECT_EQ(w->nasality, 0.0f);
    EXPECT_EQ(w->diameter, 0.7f); // the kernel's value

    float y;
    sp_vocwrapper_compute(sp.get(), w.get(), nullptr, &y);
    // Tongue index 1 x 16 + 12, diameter 0.7 x 3.5, velum 0 x 0.8 + 0.01.
    VocHandle expected;
    sp_voc_init(sp.get(), expected.get());
    sp_voc_set_tongue_shape(expected.get(), 28.0f, 2.45f);
    EXPECT_EQ(std::memcmp(w->voice->tract.target_diameter, expected->tract.target_diameter,
                          sizeof expected->tract.target_diameter),
              0);
    EXPECT_EQ(w->voice->tract.velum_target, 0.01f);
    EXPECT_EQ(w->voice->frequency, 160.0f);

    w->position = 0.25f;
    w->nasality = 1.0f;
    w->frequency = 200.0f;
    w->tenseness = 0.9f;
    const std::vector<float> held(w->voice->tract.target_diameter, w->voice->tract.target_diameter + 44);
    for (int i = 1; i < 512; ++i) {
        sp_vocwrapper_compute(sp.get(), w.get(), nullptr, &y);
        ASSERT_EQ(w->voice->tract.velum_target, 0.01f) << i;
        ASSERT_EQ(std::vector<float>(w->voice->tract.target_diameter, w->voice->tract.target_diameter + 44),
                  held)
            << i;
    }
    // Frequency and tenseness go through on every sample.
    EXPECT_EQ(w->voice->frequency, 200.0f);
    EXPECT_EQ(w->voice->tenseness, 0.9f);
    sp_vocwrapper_compute(sp.get(), w.get(), nullptr, &y);
    EXPECT_FLOAT_EQ(w->voice->tract.velum_target, 0.81f);
    sp_voc_set_tongue_shape(expected.get(), 16.0f, 2.45f);
    EXPECT_EQ(std::memcmp(w->voice->tract.target_diameter, expected->tract.target_diameter,
                          sizeof expected->tract.target_diameter),
              0);
}

TEST(SpVocwrapper, SingsAtItsFrequencyWithoutAllocating) {
    ContextHandle sp;
    VocWrapperHandle w;
    w->diameter = 0.5f;
    sp_vocwrapper_init(sp.get(), w.get());
    w->frequency = 196.0f;
    w->tenseness = 0.95f;
    std::vector<float> y(22050);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (auto& s : y)
                      sp_vocwrapper_compute(sp.get(), w.get(), nullptr, &s);
              }),
              0u);
    EXPECT_NEAR(vocFundamentalHz(y, 4410, 44100.0), 196.0, 1.0);
    double peak = 0;
    for (float s : y) {
        ASSERT_TRUE(std::isfinite(s));
        peak = std::max(peak, double(std::fabs(s)));
    }
    EXPECT_GT(peak, 0.01);
    EXPECT_LT(peak, 10.0);

    // Init again: the same voice starts over exactly.
    sp_vocwrapper_init(sp.get(), w.get());
    EXPECT_EQ(w->voice->counter, 0);
    EXPECT_EQ(w->voice->tract.right[10], 0.0f);
}
