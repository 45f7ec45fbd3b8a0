#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Sigpro/modules/sp_vdelay.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using sigprotest::impulse;

namespace {

using Vdelay = sigprotest::ModuleHandle<sp_vdelay, sp_vdelay_create, sp_vdelay_destroy, sp_vdelay_compute>;

// Expects y to be zero but for the given samples.
void expectEchoes(const std::vector<float>& y, const std::vector<std::pair<std::size_t, float>>& echoes) {
    std::vector<float> want(y.size(), 0.0f);
    for (auto [at, value] : echoes)
        want[at] = value;
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_EQ(y[n], want[n]) << n;
}

} // namespace

TEST(SpVdelay, WholeSampleDelaysAreExactUpToTheWholeMaximum) {
    ContextHandle sp;
    Vdelay delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1.0f), 1);
    EXPECT_EQ(delay->delay, 0.5f);
    EXPECT_EQ(delay->feedback, 0.0f);
    expectEchoes(delay(sp.get(), impulse(30000)), {{22050, 1.0f}});

    // The whole maximum does not wrap onto the newest sample.
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1.0f), 1);
    delay->delay = 1.0f;
    expectEchoes(delay(sp.get(), impulse(50000)), {{44100, 1.0f}});

    // A delay of 0 outputs the sample just written.
    delay->delay = 0.0f;
    const std::vector<float> ramp = {0.25f, -0.5f, 0.75f, 1.0f};
    EXPECT_EQ(delay(sp.get(), ramp), ramp);

    // Feedback takes the previous output, so each repeat is one sample later than the delay.
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 2.0f), 1);
    delay->delay = 0.5f;
    delay->feedback = 0.5f;
    expectEchoes(delay(sp.get(), impulse(70000)), {{22050, 1.0f}, {44101, 0.5f}, {66152, 0.25f}});
}

TEST(SpVdelay, FractionalDelaysInterpolateWithTheFourPointCubic) {
    ContextHandle sp;
    Vdelay delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.1f), 1);
    // 100.25 samples: the impulse spreads over delays 102 ... 99 with the Lagrange weights of the points
    // before, at, after and two after a position x = 0.75 past the point 101 samples back.
    delay->delay = static_cast<float>(100.25 / 44100.0);
    const std::vector<float> y = delay(sp.get(), impulse(400));
    const double x = 0.75;
    const double w[4] = {-x * (x - 1) * (x - 2) / 6, (x + 1) * (x - 1) * (x - 2) / 2,
                         -(x + 1) * x * (x - 2) / 2, (x + 1) * x * (x - 1) / 6};
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(y[n], n >= 99 && n <= 102 ? w[102 - n] : 0.0, 2e-5) << n;

    // At 8 Hz a maximum of 0.25 s is a line of 2 samples: linear interpolation instead.
    sp->sample_rate = 8;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.25f), 1);
    delay->delay = 1.5f / 8.0f;
    EXPECT_EQ(delay(sp.get(), impulse(6)), (std::vector<float>{0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f}));
}

TEST(SpVdelay, DegenerateMaximaAndDelaysStaySafe) {
    ContextHandle sp;
    Vdelay delay;
    // A maximum that gives no sample keeps the smallest working line; a delay of 0 passes the input.
    for (float max : {0.0f, -1.0f, 1e-9f, std::numeric_limits<float>::quiet_NaN()}) {
        ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), max), 1) << max;
        EXPECT_EQ(delay->max_samples, 1) << max;
        delay->delay = 0.0f;
        const std::vector<float> input = {1.0f, 2.0f, -3.0f};
        EXPECT_EQ(delay(sp.get(), input), input) << max;
    }

    // A maximum too long to index is refused; the module then computes silence.
    {
        testsupport::StderrCapture err;
        EXPECT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1e6f), 0);
        EXPECT_EQ(err.text(), "sp_vdelay: maximum delay too long\n");
    }
    EXPECT_EQ(delay(sp.get(), std::vector<float>(16, 1.0f)), std::vector<float>(16, 0.0f));

    // Delays beyond the line, negative or not finite read somewhere inside it.
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.01f), 1);
    const std::vector<float> tone =
        testsupport::sine(2000, 44100.0 * 0.37 / (2.0 * std::numbers::pi), 44100.0);
    for (float d : {1e9f, -0.5f, 0.0101f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()}) {
        delay->delay = d;
        for (float out : delay(sp.get(), tone))
            ASSERT_TRUE(std::isfinite(out) && std::fabs(out) < 2.0f) << d;
    }
}

TEST(SpVdelay, ReinitStartsOverAndComputeNeverAllocates) {
    sigprotest::expectModuleLifecycle<Vdelay>(
        [](sp_data* sp, sp_vdelay* p) { return sp_vdelay_init(sp, p, 0.01f); }, impulse(1000),
        [](sp_vdelay* p) { p->feedback = 0.9f; });
    ContextHandle sp;
    Vdelay delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.01f), 1);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (std::size_t n = 0; n < 4096; ++n) {
                      delay->delay = 0.001f + 0.000001f * float(n);
                      delay(sp.get(), n % 7 == 0 ? 1.0f : 0.0f);
                  }
              }),
              0u);
}
