#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Sigpro/modules/sp_bar.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using BarHandle = sigprotest::ModuleHandle<sp_bar, sp_bar_create, sp_bar_destroy>;

constexpr char barBoundaryMessage[] = "sp_bar: Ends must be clamped(1), pivoting(2), or free(3)\n";

// Renders into y with the trigger `value` at `strikes` (ascending sample indices); allocates nothing.
void barRenderInto(sp_data* sp, sp_bar* bar, std::vector<float>& y, const std::vector<std::size_t>& strikes,
                   float value = 1.0f) {
    std::size_t next = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        float trigger = 0.0f;
        if (next < strikes.size() && strikes[next] == i) {
            trigger = value;
            ++next;
        }
        EXPECT_EQ(sp_bar_compute(sp, bar, &trigger, &y[i]), 1);
    }
}

std::vector<float> barRender(sp_data* sp, sp_bar* bar, std::size_t samples,
                             const std::vector<std::size_t>& strikes = {}, float value = 1.0f) {
    std::vector<float> y(samples);
    barRenderInto(sp, bar, y, strikes, value);
    return y;
}

double barRms(const std::vector<float>& y, std::size_t first, std::size_t count) {
    double sum = 0;
    for (std::size_t i = first; i < first + count; ++i)
        sum += double(y[i]) * y[i];
    return std::sqrt(sum / double(count));
}

int barExpectedPoints(double rate, double stiffness, double loss) {
    const double dxmin = std::sqrt((loss + std::hypot(loss, 2.0 * stiffness)) / rate);
    return static_cast<int>(1.0 / dxmin);
}

} // namespace

TEST(SpBar, InitSizesTheGridFromStiffnessAndLoss) {
    ContextHandle sp;
    BarHandle bar;
    ASSERT_EQ(sp_bar_init(sp.get(), bar.get(), 3.0f, 0.001f), 1);
    const int N = barExpectedPoints(44100.0, 3.0, 0.001);
    EXPECT_EQ(N, 85);
    EXPECT_EQ(bar->points, N);
    EXPECT_EQ(bar->grid.size, std::size_t(12 * N + 60));
    EXPECT_EQ(bar->row_new, static_cast<float*>(bar->grid.data));
    EXPECT_EQ(bar->row_current, bar->row_new + N + 5);
    EXPECT_EQ(bar->row_previous, bar->row_current + N + 5);
    EXPECT_EQ(bar->left_boundary, 1.0f);
    EXPECT_EQ(bar->right_boundary, 1.0f);
    EXPECT_EQ(bar->stiffness, 3.0f);
    EXPECT_EQ(bar->high_freq_loss, 0.001f);
    EXPECT_EQ(bar->scan_speed, 0.23f);
    EXPECT_EQ(bar->decay_time, 3.0f);
    EXPECT_EQ(bar->strike_position, 0.2f);
    EXPECT_EQ(bar->strike_velocity, 500.0f);
    EXPECT_EQ(bar->strike_width, 0.05f);
    EXPECT_EQ(bar->struck, 0);
    EXPECT_EQ(bar->step, 0);

    // A stiffer bar at a higher rate needs a finer grid.
    sp->sample_rate = 96000;
    ASSERT_EQ(sp_bar_init(sp.get(), bar.get(), 1.0f, 0.0001f), 1);
    EXPECT_EQ(bar->points, barExpectedPoints(96000.0, 1.0, 0.0001));
    EXPECT_EQ(bar->grid.size, std::size_t(12 * bar->points + 60));

    // Stiffness and loss that give no grid are refused; the bar then stays silent.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    for (auto [stiffness, loss] :
         {std::pair{0.0f, 0.0f}, std::pair{infinity, 0.0f}, std::pair{nan, 0.0f}, std::pair{1.0f, nan}}) {
        StderrCapture err;
        EXPECT_EQ(sp_bar_init(sp.get(), bar.get(), stiffness, loss), 0);
        EXPECT_EQ(err.text().rfind("sp_bar: ", 0), 0u) << err.text();
        const auto y = barRender(sp.get(), bar.get(), 100, {0, 50});
        for (float s : y)
            ASSERT_EQ(s, 0.0f);
    }
}

TEST(SpBar, DecaysSixtyDecibelsInTheDecayTime) {
    for (float decay : {0.5f, 1.0f, 2.0f}) {
        ContextHandle sp;
        BarHandle bar;
        sp_bar_init(sp.get(), bar.get(), 3.0f, 0.0001f);
        bar->decay_time = decay;
        bar->scan_speed = 0.0f;
        // The trigger recomputes the loss from the new decay time and strikes with the pending first strike.
        const auto samples = static_cast<std::size_t>(44100 * (0.3 + decay / 2));
        const auto y = barRender(sp.get(), bar.get(), samples, {0});
        const std::size_t window = 2205;
        const double early = barRms(y, 4410, window);
        const double late = barRms(y, samples - window, window);
        const double seconds = double(samples - window - 4410) / 44100.0;
        const double dropDb = 20.0 * std::log10(early / late);
        EXPECT_NEAR(dropDb, 60.0 * seconds / decay, 0.05 * 60.0 * seconds / decay) << decay;
    }
}

TEST(SpBar, BoundaryConditionsHoldOnTheRowTheySet) {
    ContextHandle sp;
    BarHandle bar;
    sp_bar_init(sp.get(), bar.get(), 3.0f, 0.0001f);
    const int N = bar->points;
    float maxInterior = 0.0f;
    // Clamped at both ends, with strikes along the way: the two end points on each side stay at 0.
    for (int i = 0; i < 20000; ++i) {
        float trigger = i % 5000 == 2500 ? 1.0f : 0.0f, y;
        ASSERT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 1);
        // The row the ends were written on has become the previous one.
        const float* c = bar->row_previous;
        ASSERT_EQ(c[2], 0.0f) << i;
        ASSERT_EQ(c[3], 0.0f) << i;
        ASSERT_EQ(c[N + 1], 0.0f) << i;
        ASSERT_EQ(c[N + 2], 0.0f) << i;
        maxInterior = std::max(maxInterior, std::fabs(c[N / 2 + 2]));
    }
    EXPECT_GT(maxInterior, 1e-4f);

    // Pivoting left, free right.
    bar->left_boundary = 2.0f;
    bar->right_boundary = 3.0f;
    for (int i = 0; i < 2000; ++i) {
        float trigger = 0.0f, y;
        ASSERT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 1);
        const float* c = bar->row_previous;
        ASSERT_EQ(c[2], 0.0f);
        ASSERT_EQ(c[1], -c[3]);
        ASSERT_EQ(c[N + 3], 2.0f * c[N + 2] - c[N + 1]);
        ASSERT_EQ(c[N + 4], 3.0f * c[N + 3] - 3.0f * c[N + 2] + c[N + 1]);
        ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(SpBar, BoundaryOutsideZeroToThreeFailsEverySampleAndSaysSoOnce) {
    ContextHandle sp;
    BarHandle bar;
    sp_bar_init(sp.get(), bar.get(), 3.0f, 0.0001f);
    for (float bad : {4.0f, -1.0f, 3.6f, std::numeric_limits<float>::quiet_NaN()}) {
        bar->left_boundary = bar->right_boundary = 1.0f;
        float valid = 0.0f, out;
        ASSERT_EQ(sp_bar_compute(sp.get(), bar.get(), &valid, &out), 1);
        bar->left_boundary = bad;
        bar->right_boundary = 1.0f;
        StderrCapture err;
        for (int i = 0; i < 10; ++i) {
            float trigger = 0.0f, y = 42.0f;
            EXPECT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 0) << bad;
            EXPECT_EQ(y, 42.0f);
        }
        EXPECT_EQ(err.text(), barBoundaryMessage) << bad;
        bar->left_boundary = 1.0f;
        bar->right_boundary = bad;
        float trigger = 0.0f, y = 42.0f;
        EXPECT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 0);
        // A valid setting computes again; a bad one after it is reported anew.
        bar->right_boundary = 1.0f;
        EXPECT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 1);
        EXPECT_NE(y, 42.0f);
        bar->right_boundary = bad;
        EXPECT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 0);
        EXPECT_EQ(err.text(), std::string(barBoundaryMessage) + barBoundaryMessage) << bad;
    }
    // Rounded to the nearest end condition: 3.4 is free, -0.4 unconstrained.
    bar->left_boundary = 3.4f;
    bar->right_boundary = -0.4f;
    StderrCapture err;
    float trigger = 0.0f, y;
    EXPECT_EQ(sp_bar_compute(sp.get(), bar.get(), &trigger, &y), 1);
    EXPECT_EQ(err.text(), "");
}

TEST(SpBar, WithoutScanTheOutputIsReadAtTheMiddle) {
    ContextHandle sp;
    BarHandle bar;
    sp_bar_init(sp.get(), bar.get(), 3.0f, 0.001f);
    bar->scan_speed = 0.0f;
    const int N = bar->points; // 85: the middle falls half-way between points 42 and 43
    ASSERT_EQ(N % 2, 1);
    for (int i = 0; i < 3000; ++i) {
        float trigger = 0.0f, y;
        sp_bar_compute(sp.get(), bar.get(), &trigger, &y);
        const float* row = bar->row_current; // the row just computed
        ASSERT_EQ(y, 0.5f * row[N / 2 + 3] + 0.5f * row[N / 2 + 2]) << i;
    }
}

TEST(SpBar, EachTriggerStrikesOnceAndReusesTheGrid) {
    ContextHandle sp;
    BarHandle bar;
    sp_bar_init(sp.get(), bar.get(), 3.0f, 0.0001f);
    bar->decay_time = 0.5f;
    bar->scan_speed = 0.0f;
    void* grid = bar->grid.data;

    // Let the note die away, then strike again: the note starts over.
    std::vector<float> out(44100);
    const std::vector<std::size_t> strikes{0, 30000};
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  barRenderInto(sp.get(), bar.get(), out, strikes);
                  // A note's re-init with unchanged stiffness and loss keeps the grid and allocates nothing.
                  sp_bar_init(sp.get(), bar.get(), 3.0f, 0.0001f);
              }),
              0u);
    EXPECT_EQ(bar->grid.data, grid);
    const double start = barRms(out, 1000, 2000);
    const double dying = barRms(out, 27000, 2000);
    const double struck = barRms(out, 31000, 2000);
    EXPECT_LT(dying, start * 1e-2);
    EXPECT_NEAR(struck, start, 0.02 * start);

    // One trigger sample is one strike: the bar struck twice on consecutive samples moves twice as far.
    auto energyAfter = [&](const std::vector<std::size_t>& at) {
        BarHandle b;
        sp_bar_init(sp.get(), b.get(), 3.0f, 0.0001f);
        const auto y = barRender(sp.get(), b.get(), 3000, at);
        return barRms(y, 1000, 2000);
    };
    const double once = energyAfter({0});
    const double twice = energyAfter({0, 1});
    EXPECT_GT(twice, 1.5 * once);
    EXPECT_LT(twice, 2.5 * once);

    // Any non-zero trigger strikes, NaN included; zero does not.
    auto render = [&](float value) {
        BarHandle b;
        sp_bar_init(sp.get(), b.get(), 3.0f, 0.0001f);
        return barRender(sp.get(), b.get(), 3000, {0, 1500}, value);
    };
    const auto one = render(1.0f);
    EXPECT_EQ(render(-0.25f), one);
    EXPECT_EQ(render(std::numeric_limits<float>::quiet_NaN()), one);
    EXPECT_NE(render(0.0f), one);
}
