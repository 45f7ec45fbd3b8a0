#include "Sigpro/modules/sp_pluck.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::impulse;

namespace {

using PluckHandle = SP_COMPUTING_MODULE(pluck);
using Pluck = sigprotest::Fresh<PluckHandle>;

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

std::vector<float> pluckTable(const PluckHandle& p) {
    const auto* points = static_cast<const float*>(p->table.data);
    return std::vector<float>(points, points + p->length);
}

} // namespace

TEST(SpPluck, TableLengthFollowsTheInitialFrequencyAndStaysSilentUntilPlucked) {
    // trunc(44.1) = 44 is raised to the floor of 64 points.
    Pluck pluck(sp_pluck_init, 1000.0f);
    EXPECT_EQ(std::tuple(pluck->length, pluck->amplitude, pluck->frequency), std::tuple(64, 0.5f, 1000.0f));
    // Init fills the table from the context's generator: the first init drew 64 points, this one 441.
    ASSERT_EQ(sp_pluck_init(pluck.sp(), pluck.get(), 100.0f), 1);
    EXPECT_THAT(pluckTable(pluck), sigprotest::samplesNear(pluckNoise(64, 441), 1e-6f));
    for (float f : {100.0f, 440.0f, 3000.0f}) {
        pluck->frequency = f;
        EXPECT_EQ(pluck.generate(2000), std::vector<float>(2000, 0.0f)) << f;
    }
}

TEST(SpPluck, APluckRingsAtThePlayedFrequencyAndDecaysTowardsTheTableMean) {
    // A 64-point table played at 440 Hz: about seven passes of the smoothing per table length of output.
    Pluck pluck(sp_pluck_init, 1000.0f);
    std::tie(pluck->frequency, pluck->amplitude) = std::pair(440.0f, 1.0f);
    const std::vector<float> y = pluck(impulse(3 * 44100));
    const std::vector<float> attack(y.begin(), y.begin() + 441 + 4410 + 160);
    EXPECT_NEAR(sigprotest::autocorrelationPeriod(attack, 441, 60, 159), 100.5, 1.0); // 44100 / 440 = 100.2
    // Each period smooths the table: the tone dies away and leaves the level of the table's mean (as
    // plucked at the trigger, the next 64 draws), the guard point (still 0) averaged in by the first pass.
    auto spread = [&](std::size_t from, std::size_t count) {
        std::vector<float> part(y.begin() + long(from), y.begin() + long(from + count));
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
    Pluck pluck(sp_pluck_init, 1000.0f);
    pluck->frequency = 330.0f;
    pluck(impulse(1000));
    ASSERT_NE(pluck->phase, 0);
    // Draws so far: 64 at init and 64 at the first trigger; the next trigger takes the next 64, and phase 0
    // reads the first point of the new table, scaled by the amplitude.
    const std::vector<float> expected = pluckNoise(128, 64);
    EXPECT_NEAR(pluck(1.0f), expected[0] * 0.5f, 1e-6f);
    const auto step = static_cast<std::int32_t>(330.0f * pluck->phase_step_scale);
    EXPECT_EQ(pluck->phase, step);
    const std::vector<float> table = pluckTable(pluck);
    EXPECT_THAT(std::vector(table.begin() + 1, table.end()),
                sigprotest::samplesNear(std::vector(expected.begin() + 1, expected.end()), 1e-6f));
    // NaN counts as a trigger too.
    pluck.generate(10);
    pluck(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(pluck->phase, step);
}

TEST(SpPluck, RefusedSetUpsAndWildFrequenciesStaySafe) {
    sigprotest::ContextHandle sp;
    PluckHandle refused;
    for (float f : {0.0f, -100.0f, std::numeric_limits<float>::quiet_NaN()}) {
        testsupport::StderrCapture err;
        EXPECT_EQ(sp_pluck_init(sp.get(), refused.get(), f), 0) << f;
        EXPECT_EQ(err.text().rfind("sp_pluck: ", 0), 0u) << err.text();
        EXPECT_EQ(refused(sp.get(), impulse(100)), std::vector<float>(100, 0.0f));
    }
    // A very low string is held at the longest table the 24.8 phase can index.
    EXPECT_EQ(Pluck(sp_pluck_init, 1e-6f)->length, sp_pluck_max_length);
    // Frequencies the table cannot follow hold the phase or read a whole period a sample; never outside.
    Pluck pluck(sp_pluck_init, 1000.0f);
    for (float f : {-440.0f, 1e12f, INFINITY, NAN, 440.0f}) {
        pluck->frequency = f;
        const auto y = pluck(f == -440.0f ? impulse(500) : std::vector<float>(500));
        EXPECT_TRUE(sigprotest::allFinite(y) && testsupport::peak(y) <= 0.5f) << f;
        ASSERT_TRUE(pluck->phase >= 0 && pluck->phase < pluck->length * 256) << f;
    }
}

TEST(SpPluck, ReInitReusesTheTableAndComputeNeverAllocates) {
    Pluck pluck(sp_pluck_init, 220.0f);
    pluck(impulse(300));
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] { sp_pluck_init(pluck.sp(), pluck.get(), 220.0f); }), 0u);
    EXPECT_EQ(pluck.generate(300), std::vector<float>(300, 0.0f));
    ASSERT_EQ(sp_pluck_init(pluck.sp(), pluck.get(), 55.0f), 1);
    EXPECT_EQ(pluck->length, 801);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (int n = 0; n < 4096; ++n)
                      pluck(n % 1000 == 0 ? 1.0f : 0.0f);
              }),
              0u);
}
