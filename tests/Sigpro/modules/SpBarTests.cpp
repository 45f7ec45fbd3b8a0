#include "Sigpro/modules/sp_bar.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using testsupport::rms;
using testsupport::StderrCapture;

namespace {

using Bar = SP_COMPUTING_MODULE(bar);

constexpr char barBoundaryMessage[] = "sp_bar: Ends must be clamped(1), pivoting(2), or free(3)\n";

// Triggers of `value` at the given samples.
std::vector<float> barStrikes(std::size_t samples, const std::vector<std::size_t>& at, float value = 1.0f) {
    std::vector<float> trigger(samples, 0.0f);
    for (std::size_t n : at)
        trigger[n] = value;
    return trigger;
}

} // namespace

TEST(SpBar, InitSizesTheGridFromStiffnessAndLossAndRefusesOnesThatGiveNone) {
    sigprotest::Fresh<Bar> bar(sp_bar_init, 3.0f, 0.001f);
    // N = trunc(1 / dxmin), dxmin = sqrt((loss + hypot(loss, 2 stiffness)) / rate).
    auto points = [](double rate, double stiffness, double loss) {
        return int(1.0 / std::sqrt((loss + std::hypot(loss, 2.0 * stiffness)) / rate));
    };
    EXPECT_EQ(std::pair(bar->points, points(44100.0, 3.0, 0.001)), std::pair(85, 85));
    EXPECT_EQ((std::vector{bar->left_boundary, bar->right_boundary, bar->stiffness, bar->high_freq_loss,
                           bar->scan_speed, bar->decay_time, bar->strike_position, bar->strike_velocity,
                           bar->strike_width}),
              (std::vector{1.0f, 1.0f, 3.0f, 0.001f, 0.23f, 3.0f, 0.2f, 500.0f, 0.05f}));
    // A stiffer bar at a higher rate needs a finer grid.
    bar.sp()->sample_rate = 96000;
    ASSERT_EQ(sp_bar_init(bar.sp(), bar.get(), 1.0f, 0.0001f), 1);
    EXPECT_EQ(bar->points, points(96000.0, 1.0, 0.0001));

    // Stiffness and loss that give no grid are refused; the bar then stays silent.
    for (auto [stiffness, loss] : {std::pair{0.0f, 0.0f}, {INFINITY, 0.0f}, {NAN, 0.0f}, {1.0f, NAN}}) {
        StderrCapture err;
        EXPECT_EQ(sp_bar_init(bar.sp(), bar.get(), stiffness, loss), 0);
        EXPECT_EQ(err.text().rfind("sp_bar: ", 0), 0u) << err.text();
        EXPECT_EQ(bar(barStrikes(100, {0, 50})), std::vector<float>(100, 0.0f));
    }
}

TEST(SpBar, DecaysSixtyDecibelsInTheDecayTime) {
    for (float decay : {0.5f, 1.0f, 2.0f}) {
        sigprotest::Fresh<Bar> bar(sp_bar_init, 3.0f, 0.0001f);
        std::tie(bar->decay_time, bar->scan_speed) = std::pair(decay, 0.0f);
        // The trigger recomputes the loss from the new decay time and strikes.
        const auto samples = static_cast<std::size_t>(44100 * (0.3 + decay / 2));
        const auto y = bar(barStrikes(samples, {0}));
        const double seconds = double(samples - 2205 - 4410) / 44100.0;
        const double dropDb = 20.0 * std::log10(rms(y, 4410, 4410 + 2205) / rms(y, samples - 2205));
        EXPECT_NEAR(dropDb, 60.0 * seconds / decay, 0.05 * 60.0 * seconds / decay) << decay;
    }
}

TEST(SpBar, BoundaryConditionsHoldOnTheRowTheySetAndTheOutputIsReadAtTheMiddle) {
    sigprotest::Fresh<Bar> bar(sp_bar_init, 3.0f, 0.0001f);
    const int N = bar->points;
    // Clamped at both ends, with strikes along the way: the two end points on each side stay at 0 on the
    // row the ends were written on, which has become the previous one.
    float maxInterior = 0.0f;
    for (int i = 0; i < 20000; ++i) {
        float trigger = i % 5000 == 2500 ? 1.0f : 0.0f, y;
        ASSERT_EQ(sp_bar_compute(bar.sp(), bar.get(), &trigger, &y), 1);
        const float* c = bar->row_previous;
        ASSERT_EQ((std::vector{c[2], c[3], c[N + 1], c[N + 2]}), std::vector<float>(4, 0.0f)) << i;
        maxInterior = std::max(maxInterior, std::fabs(c[N / 2 + 2]));
    }
    EXPECT_GT(maxInterior, 1e-4f);

    // Pivoting left, free right.
    std::tie(bar->left_boundary, bar->right_boundary) = std::pair(2.0f, 3.0f);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(std::isfinite(bar(0.0f)));
        const float* c = bar->row_previous;
        ASSERT_EQ(c[2], 0.0f);
        ASSERT_EQ(c[1], -c[3]);
        ASSERT_EQ(c[N + 3], 2.0f * c[N + 2] - c[N + 1]);
        ASSERT_EQ(c[N + 4], 3.0f * c[N + 3] - 3.0f * c[N + 2] + c[N + 1]);
    }

    // Without scan the output is read at the middle: with 85 points, half-way between points 42 and 43 of
    // the row just computed.
    sp_bar_init(bar.sp(), bar.get(), 3.0f, 0.001f);
    bar->scan_speed = 0.0f;
    ASSERT_EQ(bar->points % 2, 1);
    for (int i = 0; i < 3000; ++i) {
        const float y = bar(0.0f);
        ASSERT_EQ(y, 0.5f * bar->row_current[bar->points / 2 + 3] +
                         0.5f * bar->row_current[bar->points / 2 + 2]);
    }
}

TEST(SpBar, BoundaryOutsideZeroToThreeFailsEverySampleAndSaysSoOnce) {
    sigprotest::Fresh<Bar> bar(sp_bar_init, 3.0f, 0.0001f);
    float trigger = 0.0f, y = 42.0f;
    auto compute = [&] { return sp_bar_compute(bar.sp(), bar.get(), &trigger, &y); };
    for (float bad : {4.0f, -1.0f, 3.6f, std::numeric_limits<float>::quiet_NaN()}) {
        bar->left_boundary = bar->right_boundary = 1.0f;
        ASSERT_EQ(compute(), 1);
        bar->left_boundary = bad;
        StderrCapture err;
        y = 42.0f;
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(std::pair(compute(), y), std::pair(0, 42.0f)) << bad;
        EXPECT_EQ(err.text(), barBoundaryMessage) << bad;
        // A valid setting computes again; a bad one after it is reported anew.
        std::tie(bar->left_boundary, bar->right_boundary) = std::pair(1.0f, bad);
        EXPECT_EQ(compute(), 0);
        bar->right_boundary = 1.0f;
        EXPECT_EQ(compute(), 1);
        EXPECT_NE(y, 42.0f);
        bar->right_boundary = bad;
        EXPECT_EQ(compute(), 0);
        EXPECT_EQ(err.text(), std::string(barBoundaryMessage) + barBoundaryMessage) << bad;
    }
    // Rounded to the nearest end condition: 3.4 is free, -0.4 unconstrained.
    std::tie(bar->left_boundary, bar->right_boundary) = std::pair(3.4f, -0.4f);
    StderrCapture err;
    EXPECT_EQ(compute(), 1);
    EXPECT_EQ(err.text(), "");
}

TEST(SpBar, EachTriggerStrikesOnceAndANewNoteReusesTheGrid) {
    sigprotest::Fresh<Bar> bar(sp_bar_init, 3.0f, 0.0001f);
    std::tie(bar->decay_time, bar->scan_speed) = std::pair(0.5f, 0.0f);
    // Let the note die away, then strike again: the note starts over. A note's re-init with unchanged
    // stiffness and loss keeps the grid and allocates nothing.
    const std::vector<float> strikes = barStrikes(44100, {0, 30000});
    std::vector<float> out(strikes.size());
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (std::size_t n = 0; n < out.size(); ++n)
                      out[n] = bar(strikes[n]);
                  sp_bar_init(bar.sp(), bar.get(), 3.0f, 0.0001f);
              }),
              0u);
    EXPECT_LT(rms(out, 27000, 29000), rms(out, 1000, 3000) * 1e-2);
    EXPECT_NEAR(rms(out, 31000, 33000), rms(out, 1000, 3000), 0.02 * rms(out, 1000, 3000));

    // One trigger sample is one strike: the bar struck twice on consecutive samples moves twice as far.
    // Any non-zero trigger strikes, NaN included; zero does not.
    auto render = [&](const std::vector<std::size_t>& at, float value) {
        Bar b;
        sp_bar_init(bar.sp(), b.get(), 3.0f, 0.0001f);
        return b(bar.sp(), barStrikes(3000, at, value));
    };
    const double once = rms(render({0}, 1.0f), 1000), twice = rms(render({0, 1}, 1.0f), 1000);
    EXPECT_TRUE(twice > 1.5 * once && twice < 2.5 * once) << once << " " << twice;
    const auto one = render({0, 1500}, 1.0f);
    EXPECT_EQ(render({0, 1500}, -0.25f), one);
    EXPECT_EQ(render({0, 1500}, std::numeric_limits<float>::quiet_NaN()), one);
    EXPECT_NE(render({0, 1500}, 0.0f), one);
}
