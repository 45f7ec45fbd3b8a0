#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_vdelay.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using VdelayHandle = sigprotest::ModuleHandle<sp_vdelay, sp_vdelay_create, sp_vdelay_destroy>;

std::vector<float> vdelayRender(sp_data* sp, sp_vdelay* p, const std::vector<float>& input) {
    std::vector<float> y(input.size());
    for (std::size_t n = 0; n < input.size(); ++n) {
        float x = input[n];
        sp_vdelay_compute(sp, p, &x, &y[n]);
    }
    return y;
}

std::vector<float> vdelayImpulse(std::size_t samples, float height = 1.0f) {
    std::vector<float> x(samples, 0.0f);
    x[0] = height;
    return x;
}

// Four-point Lagrange weights of the points before, at, after and two after a position x past the
// second one.
std::vector<double> vdelayLagrange(double x) {
    return {-x * (x - 1) * (x - 2) / 6, (x + 1) * (x - 1) * (x - 2) / 2, -(x + 1) * x * (x - 2) / 2,
            (x + 1) * x * (x - 1) / 6};
}

} // namespace

TEST(SpVdelay, LineHoldsTheMaximumAndWholeSampleDelaysAreExact) {
    ContextHandle sp;
    VdelayHandle delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1.0f), 1);
    EXPECT_EQ(delay->max_samples, 44100);
    EXPECT_EQ(delay->size, 44103);
    EXPECT_EQ(delay->buffer.size, 44103 * sizeof(float));
    EXPECT_EQ(delay->delay, 0.5f);
    EXPECT_EQ(delay->feedback, 0.0f);

    // 0.5 s: the impulse reappears after 22050 samples, untouched, and nothing else comes out.
    std::vector<float> y = vdelayRender(sp.get(), delay.get(), vdelayImpulse(30000));
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_EQ(y[n], n == 22050 ? 1.0f : 0.0f) << n;

    // The whole maximum delays by the whole maximum (the line does not wrap onto the newest sample).
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1.0f), 1);
    delay->delay = 1.0f;
    y = vdelayRender(sp.get(), delay.get(), vdelayImpulse(50000));
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_EQ(y[n], n == 44100 ? 1.0f : 0.0f) << n;

    // A delay of 0 outputs the sample just written.
    delay->delay = 0.0f;
    const std::vector<float> ramp = {0.25f, -0.5f, 0.75f, 1.0f};
    EXPECT_EQ(vdelayRender(sp.get(), delay.get(), ramp), ramp);
}

TEST(SpVdelay, FractionalDelaysInterpolateWithTheFourPointCubic) {
    ContextHandle sp;
    VdelayHandle delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.1f), 1);
    // 100.25 samples: the impulse spreads over delays 99 ... 102 with the Lagrange weights of 0.75 past
    // the point 101 samples back.
    delay->delay = static_cast<float>(100.25 / 44100.0);
    const std::vector<float> y = vdelayRender(sp.get(), delay.get(), vdelayImpulse(400));
    const std::vector<double> w = vdelayLagrange(0.75); // points at delays 102, 101, 100, 99
    for (std::size_t n = 0; n < y.size(); ++n) {
        double want = 0;
        if (n >= 99 && n <= 102) want = w[102 - n];
        ASSERT_NEAR(y[n], want, 2e-5) << n;
    }

    // A sine keeps its amplitude and lags by the delay: 100.25 samples at 441 Hz is 1.0025 cycles.
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.1f), 1);
    delay->delay = static_cast<float>(100.25 / 44100.0);
    const double hz = 441.0;
    const std::vector<float> sine = testsupport::sine(8820, hz, 44100.0);
    const std::vector<float> out = vdelayRender(sp.get(), delay.get(), sine);
    double worst = 0;
    for (std::size_t n = 200; n < out.size(); ++n) {
        const double want = std::sin(2.0 * std::numbers::pi * hz * (double(n) - 100.25) / 44100.0);
        worst = std::max(worst, std::fabs(out[n] - want));
    }
    EXPECT_LT(worst, 1e-4);
}

TEST(SpVdelay, FeedbackRepeatsAtHalfAmplitudePerPeriod) {
    ContextHandle sp;
    VdelayHandle delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 2.0f), 1);
    delay->delay = 0.5f;
    delay->feedback = 0.5f;
    const std::vector<float> y = vdelayRender(sp.get(), delay.get(), vdelayImpulse(70000));
    // The feedback takes the previous output, so each repeat is one sample later than the delay.
    for (std::size_t n = 0; n < y.size(); ++n) {
        float want = 0.0f;
        if (n == 22050) want = 1.0f;
        if (n == 44101) want = 0.5f;
        if (n == 66152) want = 0.25f;
        ASSERT_EQ(y[n], want) << n;
    }
}

TEST(SpVdelay, ShortAndDegenerateLines) {
    ContextHandle sp;
    VdelayHandle delay;
    // At 8 Hz a maximum of 0.25 s is a line of 2 samples: linear interpolation (the cubic would spread
    // the impulse over four outputs).
    sp->sample_rate = 8;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.25f), 1);
    EXPECT_EQ(delay->max_samples, 2);
    delay->delay = 1.5f / 8.0f;
    std::vector<float> y = vdelayRender(sp.get(), delay.get(), vdelayImpulse(6));
    EXPECT_EQ(y, (std::vector<float>{0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f}));

    // A maximum that gives no sample keeps the smallest working line; the default delay (half of 0)
    // passes the input through.
    sp->sample_rate = 44100;
    for (float max : {0.0f, -1.0f, 1e-9f, std::numeric_limits<float>::quiet_NaN()}) {
        ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), max), 1) << max;
        EXPECT_EQ(delay->max_samples, 1) << max;
        delay->delay = 0.0f;
        const std::vector<float> input = {1.0f, 2.0f, -3.0f};
        EXPECT_EQ(vdelayRender(sp.get(), delay.get(), input), input) << max;
    }

    // A maximum too long to index is refused; the module then computes silence.
    {
        StderrCapture err;
        EXPECT_EQ(sp_vdelay_init(sp.get(), delay.get(), 1e6f), 0);
        EXPECT_EQ(err.text(), "sp_vdelay: maximum delay too long\n");
    }
    for (float out : vdelayRender(sp.get(), delay.get(), std::vector<float>(16, 1.0f)))
        ASSERT_EQ(out, 0.0f);

    // Delays beyond the line, negative or not finite read somewhere inside it.
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.01f), 1);
    std::vector<float> noise(2000);
    for (std::size_t n = 0; n < noise.size(); ++n)
        noise[n] = static_cast<float>(std::sin(double(n) * 0.37));
    for (float d : {1e9f, -0.5f, 0.0101f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()}) {
        delay->delay = d;
        for (float out : vdelayRender(sp.get(), delay.get(), noise))
            ASSERT_TRUE(std::isfinite(out) && std::fabs(out) < 2.0f) << d;
    }
}

TEST(SpVdelay, ReInitClearsAndReusesTheLineAndComputeNeverAllocates) {
    ContextHandle sp;
    VdelayHandle delay;
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.01f), 1);
    const void* line = delay->buffer.data;
    delay->feedback = 0.9f;
    vdelayRender(sp.get(), delay.get(), std::vector<float>(300, 1.0f));
    ASSERT_EQ(sp_vdelay_init(sp.get(), delay.get(), 0.01f), 1);
    EXPECT_EQ(delay->buffer.data, line);
    EXPECT_EQ(delay->last_output, 0.0f);
    for (float out : vdelayRender(sp.get(), delay.get(), std::vector<float>(500, 0.0f)))
        ASSERT_EQ(out, 0.0f);

    std::vector<float> out(4096);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t n = 0; n < out.size(); ++n) {
                      float x = n % 7 == 0 ? 1.0f : 0.0f;
                      delay->delay = 0.001f + 0.000001f * float(n);
                      sp_vdelay_compute(sp.get(), delay.get(), &x, &out[n]);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
