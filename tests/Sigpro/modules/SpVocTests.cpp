#include "Sigpro/modules/sp_voc.h"
#include "Sigpro/modules/sp_vocwrapper.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using Voc = SP_MODULE(voc);
using VocWrapper = SP_COMPUTING_MODULE(vocwrapper);

// A voice fresh from init on its own context.
struct VocVoice {
    explicit VocVoice(std::uint32_t seed = 0) {
        sp->rand_state = seed;
        sp_voc_init(sp.get(), voc.get());
    }
    std::vector<float> render(std::size_t samples) {
        std::vector<float> y(samples);
        for (float& s : y)
            EXPECT_EQ(sp_voc_compute(sp.get(), voc.get(), &s), 1);
        return y;
    }
    void runBlocks(int blocks) { render(std::size_t(blocks) * sp_voc_block_size); }
    ContextHandle sp;
    Voc voc;
};

// Fundamental in 60 ... 1000 Hz from the autocorrelation of y[first ...].
double vocFundamentalHz(const std::vector<float>& y, std::size_t first, double rate) {
    return rate / sigprotest::autocorrelationPeriod(y, first, int(rate / 1000.0), int(rate / 60.0));
}

} // namespace

TEST(SpVoc, InitSetsUpTheRestingTractNoseAndGlottis) {
    VocVoice v;
    const sp_voc& voc = *v.voc.get();
    const sp_voc_tract& tr = voc.tract;
    EXPECT_EQ((std::vector{voc.frequency, voc.tenseness, tr.glottal_reflection, tr.lip_reflection,
                           tr.velum_target, tr.movement_speed}),
              (std::vector{140.0f, 0.6f, 0.75f, -0.85f, 0.01f, 15.0f}));
    EXPECT_FLOAT_EQ(voc.Rd, 1.2f);
    EXPECT_FLOAT_EQ(tr.block_time, 512.0f / 44100.0f);
    EXPECT_EQ((std::vector{tr.length, tr.nose_length, tr.nose_start, tr.tip_start, tr.transients.count,
                           sp_voc_get_counter(v.voc.get())}),
              (std::vector{44, 28, 17, 32, 0, 0}));
    for (int i = 0; i < 44; ++i) {
        const float d = i <= 6 ? 0.6f : (i <= 11 ? 1.1f : 1.5f);
        EXPECT_EQ(std::pair(tr.diameter[i], tr.rest_diameter[i]), std::pair(d, d)) << i;
    }
    // Nose: widening to 1.9 in the middle, the velum closed at the first cell.
    EXPECT_EQ(std::pair(tr.nose_diameter[0], tr.nose_diameter[14]), std::pair(0.01f, 1.9f));
    EXPECT_FLOAT_EQ(tr.nose_diameter[1], 0.4f + 1.6f * (2.0f / 28.0f));
    EXPECT_FLOAT_EQ(tr.nose_diameter[27], 0.5f + 1.5f * (2.0f - 54.0f / 28.0f));
    // Junction 1 sees the first cell as before the velum closed it (area 0.4^2); junction 0 has none.
    EXPECT_FLOAT_EQ(tr.nose_reflection[1], (0.16f - tr.nose_area[1]) / (0.16f + tr.nose_area[1]));
    EXPECT_EQ(tr.nose_reflection[0], 0.0f);
}

TEST(SpVoc, TensenessSetsRdWhoseShapeIsClampedBelowHalfAndAboveTwoPointSeven) {
    VocVoice v;
    auto shapeFor = [&](float tenseness) {
        sp_voc_set_tenseness(v.voc.get(), tenseness);
        v.runBlocks(2); // several glottal periods: the new shape is in place
        EXPECT_FLOAT_EQ(v.voc->Rd, 3.0f * (1.0f - tenseness)) << tenseness;
        return std::pair(v.voc->alpha, v.voc->Te);
    };
    const auto middle = shapeFor(0.6f), slack = shapeFor(0.0f), nearlySlack = shapeFor(0.05f);
    const auto full = shapeFor(1.0f), nearlyFull = shapeFor(0.9f);
    EXPECT_EQ(std::pair(full.first, slack.second), std::pair(nearlyFull.first, nearlySlack.second));
    EXPECT_NE(middle.first, full.first);
    EXPECT_NE(middle.first, slack.first);
}

TEST(SpVoc, FirstComputeMakesABlockThatTheNext511CallsOnlyRead) {
    VocVoice a, b;
    EXPECT_EQ(a.render(1), b.render(1));
    EXPECT_EQ(sp_voc_get_counter(a.voc.get()), 1);
    // The block's 512 random draws are taken at once.
    const std::uint32_t drawn = a.sp->rand_state;
    EXPECT_EQ(b.sp->rand_state, drawn);
    // Changes to b now reach its output only from the next block on.
    sp_voc_set_frequency(b.voc.get(), 300.0f);
    sp_voc_set_tenseness(b.voc.get(), 0.2f);
    sp_voc_set_velum(b.voc.get(), 0.6f);
    sp_voc_set_tongue_shape(b.voc.get(), 20.0f, 1.0f);
    EXPECT_EQ(a.render(511), b.render(511));
    EXPECT_EQ(sp_voc_get_counter(a.voc.get()), 0);
    EXPECT_EQ(a.sp->rand_state, drawn);
    const auto nextA = a.render(512), nextB = b.render(512);
    int differing = 0;
    for (std::size_t i = 0; i < nextA.size(); ++i)
        differing += nextA[i] != nextB[i];
    EXPECT_GT(differing, 400);
    EXPECT_NE(a.sp->rand_state, drawn);
}

TEST(SpVoc, OutputHasItsFundamentalAtTheSetFrequencyAndFullTensenessAddsNoNoise) {
    for (float hz : {90.0f, 140.0f, 220.0f, 330.0f, 440.0f, 180.0f}) {
        VocVoice v;
        sp_voc_set_frequency(v.voc.get(), hz);
        // The last, a slack voice with aspiration noise, holds its pitch too.
        sp_voc_set_tenseness(v.voc.get(), hz == 180.0f ? 0.4f : 1.0f);
        EXPECT_NEAR(vocFundamentalHz(v.render(22050), 4410, 44100.0), hz, 0.005 * hz) << hz;
    }
    // Two voices whose generators stand at different points differ only by their aspiration noise.
    auto noiseRms = [](float tenseness) {
        VocVoice a, b(987654321u);
        sp_voc_set_tenseness(a.voc.get(), tenseness);
        sp_voc_set_tenseness(b.voc.get(), tenseness);
        std::vector<float> difference = a.render(8192);
        const std::vector<float> other = b.render(8192);
        for (std::size_t i = 0; i < difference.size(); ++i)
            difference[i] -= other[i];
        return testsupport::rms(difference);
    };
    EXPECT_EQ(noiseRms(1.0f), 0.0);
    const double tense = noiseRms(0.9f), middle = noiseRms(0.6f), slack = noiseRms(0.0f);
    EXPECT_GT(tense, 0.0);
    EXPECT_GT(middle, 1.5 * tense);
    EXPECT_GT(slack, 1.5 * middle);
}

TEST(SpVoc, AClosureThatOpensReleasesOneClickOfTwoTenthsOfASecondAndAtMostFourAreActive) {
    VocVoice v;
    sp_voc_tract& tr = v.voc->tract;
    const int cell = 25;
    tr.target_diameter[cell] = 0.0f;
    v.runBlocks(6); // shrinks by 2 x 15 x 512 / 44100 per block: closed after 5
    EXPECT_EQ(std::pair(tr.diameter[cell], tr.transients.count), std::pair(0.0f, 0));
    tr.target_diameter[cell] = 1.5f;
    v.runBlocks(1); // still closed when this block began
    EXPECT_EQ(std::pair(tr.last_obstruction, tr.transients.count), std::pair(cell, 0));
    v.runBlocks(1); // open now: one click
    ASSERT_EQ(tr.transients.count, 1);
    ASSERT_NE(tr.transients.root, nullptr);
    EXPECT_EQ(
        std::tuple(tr.transients.root->position, tr.transients.root->lifetime, tr.transients.root->strength),
        std::tuple(cell, 0.2f, 0.3f));
    EXPECT_EQ(tr.last_obstruction, -1);
    // 0.2 s is 8820 samples: alive after 17 blocks (8704 samples), gone after 18.
    v.runBlocks(16);
    EXPECT_EQ(tr.transients.count, 1);
    v.runBlocks(1);
    EXPECT_EQ(std::pair(tr.transients.count, tr.transients.root),
              std::pair(0, static_cast<sp_voc_transient*>(nullptr)));

    // One release per two blocks: five well within one click's lifetime, of which four are kept; all are
    // gone 0.2 s after the last.
    for (int release = 1; release <= 5; ++release) {
        tr.diameter[30] = 0.0f;
        v.runBlocks(2);
        EXPECT_EQ(tr.transients.count, std::min(release, 4)) << release;
    }
    int linked = 0;
    for (const sp_voc_transient* t = tr.transients.root; t != nullptr; t = t->next)
        ++linked;
    EXPECT_EQ(linked, 4);
    v.runBlocks(20);
    EXPECT_EQ(tr.transients.count, 0);
    for (const sp_voc_transient& t : tr.transients.pool)
        EXPECT_EQ(t.is_free, 1);

    // With the nose open the same release makes no click.
    sp_voc_set_velum(v.voc.get(), 0.5f);
    v.runBlocks(6); // opens by 0.25 x 15 x 512 / 44100 per block
    ASSERT_GE(tr.nose_area[0], 0.05f);
    tr.diameter[cell] = 0.0f;
    v.runBlocks(2);
    EXPECT_EQ(tr.transients.count, 0);
}

TEST(SpVoc, TongueShapeFollowsTheCurveOverTheBladeAndLeavesTheRest) {
    VocVoice v;
    const sp_voc_tract& tr = v.voc->tract;
    sp_voc_set_tongue_shape(v.voc.get(), 20.0f, 2.0f);
    // Tongue diameter 2: the curve's depth 1.5 - 2 reaches -0.5 at the tongue index.
    EXPECT_FLOAT_EQ(tr.target_diameter[20], 2.0f);
    for (int i = 10; i < 39; ++i) {
        const double c = -0.5 * std::cos(1.1 * std::numbers::pi * (20.0 - i) / 22.0) *
                         (i == 38                ? 0.8
                          : (i == 10 || i == 37) ? 0.94
                                                 : 1.0);
        EXPECT_NEAR(tr.target_diameter[i], 1.5 - c, 1e-5) << i;
    }
    for (int i : {0, 6, 9, 39, 43})
        EXPECT_EQ(tr.target_diameter[i], tr.rest_diameter[i]) << i;
    // The diameters move towards the new target one block at a time.
    EXPECT_EQ(tr.diameter[20], 1.5f);
    v.runBlocks(1);
    EXPECT_TRUE(tr.diameter[20] > 1.5f && tr.diameter[20] < 2.0f) << tr.diameter[20];
    v.runBlocks(10);
    EXPECT_EQ(tr.diameter[20], 2.0f);
}

TEST(SpVocwrapper, TongueAndVelumChangeOnlyAtBlockBoundariesFrequencyAndTensenessAtOnce) {
    ContextHandle sp;
    VocWrapper w;
    ASSERT_NE(w->voice, nullptr);
    w->diameter = 0.7f;
    ASSERT_EQ(sp_vocwrapper_init(sp.get(), w.get()), 1);
    EXPECT_EQ((std::vector{w->frequency, w->position, w->tenseness, w->nasality, w->diameter}),
              (std::vector{160.0f, 1.0f, 0.6f, 0.0f, 0.7f})); // the diameter is the kernel's
    // Tongue index 1 x 16 + 12, diameter 0.7 x 3.5, velum 0 x 0.8 + 0.01.
    auto expectTongue = [&](float index) {
        Voc expected;
        sp_voc_init(sp.get(), expected.get());
        sp_voc_set_tongue_shape(expected.get(), index, 2.45f);
        return std::vector(expected->tract.target_diameter, expected->tract.target_diameter + 44);
    };
    auto tongue = [&] {
        return std::vector(w->voice->tract.target_diameter, w->voice->tract.target_diameter + 44);
    };
    w(sp.get(), 0.0f);
    EXPECT_EQ(tongue(), expectTongue(28.0f));
    EXPECT_EQ(std::pair(w->voice->tract.velum_target, w->voice->frequency), std::pair(0.01f, 160.0f));

    std::tie(w->position, w->nasality, w->frequency, w->tenseness) = std::tuple(0.25f, 1.0f, 200.0f, 0.9f);
    const std::vector<float> held = tongue();
    for (int i = 1; i < 512; ++i) {
        w(sp.get(), 0.0f);
        ASSERT_EQ(w->voice->tract.velum_target, 0.01f) << i;
        ASSERT_EQ(tongue(), held) << i;
    }
    EXPECT_EQ(std::pair(w->voice->frequency, w->voice->tenseness), std::pair(200.0f, 0.9f));
    w(sp.get(), 0.0f);
    EXPECT_FLOAT_EQ(w->voice->tract.velum_target, 0.81f);
    EXPECT_EQ(tongue(), expectTongue(16.0f));
}

TEST(SpVocwrapper, SingsAtItsFrequencyWithoutAllocatingAndStartsOverOnInit) {
    ContextHandle sp;
    VocWrapper w;
    w->diameter = 0.5f;
    sp_vocwrapper_init(sp.get(), w.get());
    std::tie(w->frequency, w->tenseness) = std::pair(196.0f, 0.95f);
    std::vector<float> y(22050);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (auto& s : y)
                      s = w(sp.get(), 0.0f);
              }),
              0u);
    EXPECT_NEAR(vocFundamentalHz(y, 4410, 44100.0), 196.0, 1.0);
    EXPECT_TRUE(sigprotest::allFinite(y));
    EXPECT_TRUE(testsupport::peak(y) > 0.01f && testsupport::peak(y) < 10.0f);
    sp_vocwrapper_init(sp.get(), w.get());
    EXPECT_EQ(std::pair(w->voice->counter, w->voice->tract.right[10]), std::pair(0, 0.0f));
}
