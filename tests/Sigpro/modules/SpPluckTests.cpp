#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "Sigpro/modules/sp_pluck.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using PluckHandle = sigprotest::ModuleHandle<sp_pluck, sp_pluck_create, sp_pluck_destroy>;

// The context generator's sequence from a given state, as a test-side copy.
std::uint32_t pluckNextDraw(std::uint32_t& state) {
    state = (1103515245u * state + 12345u) & 0x7FFFFFFFu;
    return state;
}

float pluckNoisePoint(std::uint32_t draw) {
    return static_cast<float>(2.0 * (draw * 4.656613e-10) - 1.0);
}

std::vector<float> pluckRender(sp_data* sp, sp_pluck* p, std::size_t samples, std::size_t triggerAt = 0) {
    std::vector<float> y(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        float trigger = n == triggerAt ? 1.0f : 0.0f;
        sp_pluck_compute(sp, p, &trigger, &y[n]);
    }
    return y;
}

const float* pluckTable(const sp_pluck* p) {
    return static_cast<const float*>(p->table.data);
}

} // namespace

TEST(SpPluck, TableLengthFollowsTheInitialFrequencyAndStaysSilentUntilPlucked) {
    ContextHandle sp;
    PluckHandle pluck;
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    // trunc(44.1) = 44 is raised to the floor of 64 points.
    EXPECT_EQ(pluck->length, 64);
    EXPECT_EQ(pluck->max_length, 64);
    EXPECT_EQ(pluck->table.size, 65 * sizeof(float));
    EXPECT_EQ(pluck->amplitude, 0.5f);
    EXPECT_EQ(pluck->frequency, 1000.0f);
    EXPECT_EQ(pluck->silent, 1);

    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 100.0f), 1);
    EXPECT_EQ(pluck->length, 441);
    EXPECT_EQ(pluck->table.size, 442 * sizeof(float));
    EXPECT_FLOAT_EQ(pluck->phase_step_scale, static_cast<float>((441 * 256 + 128) / 44100.0));

    // Init filled the table from the context's generator: the first init drew 64 points, this one 441.
    std::uint32_t state = 0;
    for (int i = 0; i < 64; ++i)
        pluckNextDraw(state);
    for (int i = 0; i < 441; ++i)
        ASSERT_NEAR(pluckTable(pluck.get())[i], pluckNoisePoint(pluckNextDraw(state)), 1e-6f) << i;

    for (float f : {100.0f, 440.0f, 3000.0f}) {
        pluck->frequency = f;
        for (float y : pluckRender(sp.get(), pluck.get(), 2000, SIZE_MAX))
            ASSERT_EQ(y, 0.0f) << f;
    }
}

TEST(SpPluck, APluckRingsAtThePlayedFrequencyAndDecaysTowardsTheTableMean) {
    ContextHandle sp;
    PluckHandle pluck;
    // A 64-point table played at 440 Hz: about seven passes of the smoothing per table length of output.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    pluck->frequency = 440.0f;
    pluck->amplitude = 1.0f;
    const std::vector<float> y = pluckRender(sp.get(), pluck.get(), 3 * 44100);

    // Period of the tone: the strongest autocorrelation over 0.1 s after the attack.
    const std::size_t start = 441;
    std::size_t bestLag = 0;
    double best = -1e300;
    for (std::size_t lag = 60; lag < 160; ++lag) {
        double sum = 0;
        for (std::size_t n = start; n < start + 4410; ++n)
            sum += double(y[n]) * y[n + lag];
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    // 44100 / 440 = 100.2 samples.
    EXPECT_GE(bestLag, 100u);
    EXPECT_LE(bestLag, 101u);

    // Each period smooths the table: the tone dies away and leaves the level of the table's mean.
    auto spread = [&](std::size_t from, std::size_t count) {
        double mean = 0, squares = 0;
        for (std::size_t n = from; n < from + count; ++n)
            mean += y[n];
        mean /= double(count);
        for (std::size_t n = from; n < from + count; ++n)
            squares += (y[n] - mean) * (y[n] - mean);
        return std::sqrt(squares / double(count));
    };
    const double early = spread(0, 441);
    const double late = spread(y.size() - 4410, 4410);
    EXPECT_GT(early, 0.2);
    EXPECT_LT(late, early * 1e-3);

    ContextHandle replay;
    PluckHandle reference;
    ASSERT_EQ(sp_pluck_init(replay.get(), reference.get(), 1000.0f), 1);
    float trigger = 1.0f, first;
    sp_pluck_compute(replay.get(), reference.get(), &trigger, &first);
    double mean = 0;
    // The table as plucked at the trigger: the guard point (still 0) is averaged in by the first pass.
    for (int i = 0; i < 64; ++i)
        mean += pluckTable(reference.get())[i];
    mean /= 65.0;
    EXPECT_NEAR(y.back(), mean, 0.01);
}

TEST(SpPluck, ATriggerInTheMiddleOfANoteRefillsTheTableAndRestartsThePeriod) {
    ContextHandle sp;
    PluckHandle pluck;
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    pluck->frequency = 330.0f;
    pluckRender(sp.get(), pluck.get(), 1000);
    ASSERT_NE(pluck->phase, 0);

    // Draws so far: 64 at init and 64 at the first trigger; the next trigger takes the next 64.
    std::uint32_t state = 0;
    for (int i = 0; i < 128; ++i)
        pluckNextDraw(state);
    std::vector<float> expected(64);
    for (float& point : expected)
        point = pluckNoisePoint(pluckNextDraw(state));

    float trigger = 1.0f, y;
    sp_pluck_compute(sp.get(), pluck.get(), &trigger, &y);
    // Phase 0: the first point of the new table, scaled by the amplitude.
    EXPECT_NEAR(y, expected[0] * 0.5f, 1e-6f);
    const std::int32_t step = static_cast<std::int32_t>(330.0f * pluck->phase_step_scale);
    EXPECT_EQ(pluck->phase, step);
    for (int i = 1; i < 64; ++i)
        ASSERT_NEAR(pluckTable(pluck.get())[i], expected[i], 1e-6f) << i;

    // NaN counts as a trigger too.
    trigger = std::numeric_limits<float>::quiet_NaN();
    pluckRender(sp.get(), pluck.get(), 10, SIZE_MAX);
    sp_pluck_compute(sp.get(), pluck.get(), &trigger, &y);
    EXPECT_EQ(pluck->phase, step);
}

TEST(SpPluck, RefusedSetUpsAndWildFrequenciesStaySafe) {
    ContextHandle sp;
    PluckHandle pluck;
    for (float f : {0.0f, -100.0f, std::numeric_limits<float>::quiet_NaN()}) {
        StderrCapture err;
        EXPECT_EQ(sp_pluck_init(sp.get(), pluck.get(), f), 0) << f;
        EXPECT_EQ(err.text().rfind("sp_pluck: ", 0), 0u) << err.text();
        EXPECT_EQ(pluck->table.data, nullptr);
        for (float y : pluckRender(sp.get(), pluck.get(), 100))
            ASSERT_EQ(y, 0.0f);
    }

    // A very low string is held at the longest table the 24.8 phase can index.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1e-6f), 1);
    EXPECT_EQ(pluck->length, sp_pluck_max_length);

    // Frequencies the table cannot follow hold the phase or read a whole period a sample; never outside.
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 1000.0f), 1);
    std::size_t n = 0;
    for (float f : {-440.0f, 1e12f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN(), 440.0f}) {
        pluck->frequency = f;
        for (float y : pluckRender(sp.get(), pluck.get(), 500, n == 0 ? 0 : SIZE_MAX)) {
            ASSERT_TRUE(std::isfinite(y)) << f;
            ASSERT_LE(std::fabs(y), 0.5f) << f;
        }
        ASSERT_GE(pluck->phase, 0);
        ASSERT_LT(pluck->phase, pluck->length * 256);
        ++n;
    }
}

TEST(SpPluck, ReInitReusesTheTableAndComputeNeverAllocates) {
    ContextHandle sp;
    PluckHandle pluck;
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 220.0f), 1);
    const void* table = pluck->table.data;
    pluckRender(sp.get(), pluck.get(), 300);
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 220.0f), 1);
    EXPECT_EQ(pluck->table.data, table);
    EXPECT_EQ(pluck->silent, 1);
    EXPECT_EQ(pluck->phase, 0);
    ASSERT_EQ(sp_pluck_init(sp.get(), pluck.get(), 55.0f), 1);
    EXPECT_EQ(pluck->length, 801);

    std::vector<float> out(4096);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t n = 0; n < out.size(); ++n) {
                      float trigger = n % 1000 == 0 ? 1.0f : 0.0f;
                      sp_pluck_compute(sp.get(), pluck.get(), &trigger, &out[n]);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
