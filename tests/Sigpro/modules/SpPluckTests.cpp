#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <tuple>
#include <vector>

#include "Sigpro/modules/sp_pluck.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using sigprotest::impulse;

namespace {

using Pluck = sigprotest::ModuleHandle<sp_pluck, sp_pluck_create, sp_pluck_destroy, sp_pluck_compute>;

// Table points drawn from the context generator after `skipped` earlier draws, as a test-side copy.
std::vector<float> pluckNoise(int skipped, int count) {
    std::uint32_t state = 0;
    std::vector<float> points;
    for (int i = 0; i < skipped + count; ++i) {
        state = (1103515245u * state + 12345u) & 0x7FFFFFFFu;
        if (i >= skipped) points.push_back(static_cast<float>(2.0 * (state * 4.656613e-10) - 1.0));
    }
    return points;
}

const float* pluckTable(const Pluck& p) {
    return static_cast<const float*>(p->table.data);
}

} // namespace

TEST(SpPluck, TableLengthFollowsTheInitialFrequencyAndStaysSilentUntilPlucked) {
    ContextHandle sp;
    Pluck pluck;
    // trunc(44.1) = 44 is raised to the floor of 64 points.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    EXPECT_EQ(std::tuple(pluck->length, pluck->amplitude, pluck->frequency), std::tuple(64, 0.5f, 1000.0f));
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 100.0f), 1);
    EXPECT_EQ(pluck->length, 441);
    // Init filled the table from the context's generator: the first init drew 64 points, this one 441.
    const std::vector<float> drawn = pluckNoise(64, 441);
    for (int i = 0; i < 441; ++i)
        ASSERT_NEAR(pluckTable(pluck)[i], drawn[i], 1e-6f) << i;
    for (float f : {100.0f, 440.0f, 3000.0f}) {
        pluck->frequency = f;
        EXPECT_EQ(pluck.generate(sp.get(), 2000), std::vector<float>(2000, 0.0f)) << f;
    }
}

TEST(SpPluck, APluckRingsAtThePlayedFrequencyAndDecaysTowardsTheTableMean) {
    ContextHandle sp;
    Pluck pluck;
    // A 64-point table played at 440 Hz: about seven passes of the smoothing per table length of output.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    pluck->frequency = 440.0f;
    pluck->amplitude = 1.0f;
    const std::vector<float> y = pluck(sp.get(), impulse(3 * 44100));
    // Period of the tone, 44100 / 440 = 100.2 samples: the strongest autocorrelation over 0.1 s.
    std::size_t bestLag = 0;
    double best = -1e300;
    for (std::size_t lag = 60; lag < 160; ++lag) {
        double sum = 0;
        for (std::size_t n = 441; n < 441 + 4410; ++n)
            sum += double(y[n]) * y[n + lag];
        if (sum > best) std::tie(best, bestLag) = std::tuple(sum, lag);
    }
    EXPECT_TRUE(bestLag == 100 || bestLag == 101) << bestLag;

    // Each period smooths the table: the tone dies away and leaves the level of the table's mean, the
    // guard point (still 0) averaged in by the first pass.
    auto spread = [&](std::size_t from, std::size_t count) {
        std::vector<float> part(y.begin() + from, y.begin() + from + count);
        const double mean = std::accumulate(part.begin(), part.end(), 0.0) / double(count);
        for (float& v : part)
            v -= float(mean);
        return testsupport::rms(part);
    };
    EXPECT_GT(spread(0, 441), 0.2);
    EXPECT_LT(spread(y.size() - 4410, 4410), spread(0, 441) * 1e-3);
    const std::vector<float> table = pluckNoise(64, 64);
    EXPECT_NEAR(y.back(), std::accumulate(table.begin(), table.end(), 0.0) / 65.0, 0.01);
}

TEST(SpPluck, ATriggerInTheMiddleOfANoteRefillsTheTableAndRestartsThePeriod) {
    ContextHandle sp;
    Pluck pluck;
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    pluck->frequency = 330.0f;
    pluck(sp.get(), impulse(1000));
    ASSERT_NE(pluck->phase, 0);
    // Draws so far: 64 at init and 64 at the first trigger; the next trigger takes the next 64.
    const std::vector<float> expected = pluckNoise(128, 64);
    // Phase 0: the first point of the new table, scaled by the amplitude.
    EXPECT_NEAR(pluck(sp.get(), 1.0f), expected[0] * 0.5f, 1e-6f);
    const auto step = static_cast<std::int32_t>(330.0f * pluck->phase_step_scale);
    EXPECT_EQ(pluck->phase, step);
    for (int i = 1; i < 64; ++i)
        ASSERT_NEAR(pluckTable(pluck)[i], expected[i], 1e-6f) << i;
    // NaN counts as a trigger too.
    pluck.generate(sp.get(), 10);
    pluck(sp.get(), std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(pluck->phase, step);
}

TEST(SpPluck, RefusedSetUpsAndWildFrequenciesStaySafe) {
    ContextHandle sp;
    Pluck pluck;
    for (float f : {0.0f, -100.0f, std::numeric_limits<float>::quiet_NaN()}) {
        testsupport::StderrCapture err;
        EXPECT_EQ(sp_pluck_init(sp.get(), pluck.get(), f), 0) << f;
        EXPECT_EQ(err.text().rfind("sp_pluck: ", 0), 0u) << err.text();
        EXPECT_EQ(pluck(sp.get(), impulse(100)), std::vector<float>(100, 0.0f));
    }
    // A very low string is held at the longest table the 24.8 phase can index.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1e-6f), 1);
    EXPECT_EQ(pluck->length, sp_pluck_max_length);

    // Frequencies the table cannot follow hold the phase or read a whole period a sample; never outside.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    for (float f : {-440.0f, 1e12f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN(), 440.0f}) {
        pluck->frequency = f;
        for (float y : pluck(sp.get(), f == -440.0f ? impulse(500) : std::vector<float>(500)))
            ASSERT_TRUE(std::isfinite(y) && std::fabs(y) <= 0.5f) << f;
        ASSERT_TRUE(pluck->phase >= 0 && pluck->phase < pluck->length * 256) << f;
    }
}

TEST(SpPluck, ReInitReusesTheTableAndComputeNeverAllocates) {
    ContextHandle sp;
    Pluck pluck;
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 220.0f), 1);
    const void* table = pluck->table.data;
    pluck(sp.get(), impulse(300));
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 220.0f), 1);
    EXPECT_EQ(pluck->table.data, table);
    EXPECT_EQ(pluck.generate(sp.get(), 300), std::vector<float>(300, 0.0f));
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 55.0f), 1);
    EXPECT_EQ(pluck->length, 801);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (int n = 0; n < 4096; ++n)
                      pluck(sp.get(), n % 1000 == 0 ? 1.0f : 0.0f);
              }),
              0u);
}
