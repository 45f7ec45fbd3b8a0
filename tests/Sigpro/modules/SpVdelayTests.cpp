#include "Sigpro/modules/sp_vdelay.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::impulse;

namespace {

using Vdelay = SP_COMPUTING_MODULE(vdelay);

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
    sigprotest::Fresh<Vdelay> delay(sp_vdelay_init, 1.0f);
    EXPECT_EQ(std::pair(delay->delay, delay->feedback), std::pair(0.5f, 0.0f));
    expectEchoes(delay(impulse(30000)), {{22050, 1.0f}});
    // The whole maximum does not wrap onto the newest sample; a delay of 0 outputs the sample just written.
    ASSERT_EQ(sp_vdelay_init(delay.sp(), delay.get(), 1.0f), 1);
    delay->delay = 1.0f;
    expectEchoes(delay(impulse(50000)), {{44100, 1.0f}});
    delay->delay = 0.0f;
    const std::vector<float> ramp = {0.25f, -0.5f, 0.75f, 1.0f};
    EXPECT_EQ(delay(ramp), ramp);
    // Feedback takes the previous output, so each repeat is one sample later than the delay.
    ASSERT_EQ(sp_vdelay_init(delay.sp(), delay.get(), 2.0f), 1);
    std::tie(delay->delay, delay->feedback) = std::pair(0.5f, 0.5f);
    expectEchoes(delay(impulse(70000)), {{22050, 1.0f}, {44101, 0.5f}, {66152, 0.25f}});
}

TEST(SpVdelay, FractionalDelaysInterpolateWithTheFourPointCubic) {
    // 100.25 samples: the impulse spreads over delays 102 ... 99 with the Lagrange weights of the points
    // before, at, after and two after a position x = 0.75 past the point 101 samples back.
    sigprotest::Fresh<Vdelay> delay(sp_vdelay_init, 0.1f);
    delay->delay = static_cast<float>(100.25 / 44100.0);
    const std::vector<float> y = delay(impulse(400));
    const double x = 0.75;
    const double w[4] = {-x * (x - 1) * (x - 2) / 6, (x + 1) * (x - 1) * (x - 2) / 2,
                         -(x + 1) * x * (x - 2) / 2, (x + 1) * x * (x - 1) / 6};
    for (std::size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(y[n], n >= 99 && n <= 102 ? w[102 - n] : 0.0, 2e-5) << n;
    // At 8 Hz a maximum of 0.25 s is a line of 2 samples: linear interpolation instead.
    sigprotest::Fresh<Vdelay> shortLine(8, sp_vdelay_init, 0.25f);
    shortLine->delay = 1.5f / 8.0f;
    EXPECT_EQ(shortLine(impulse(6)), (std::vector<float>{0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f}));
}

TEST(SpVdelay, DegenerateMaximaAndDelaysStaySafe) {
    // A maximum that gives no sample keeps the smallest working line; a delay of 0 passes the input.
    for (float max : {0.0f, -1.0f, 1e-9f, std::numeric_limits<float>::quiet_NaN()}) {
        sigprotest::Fresh<Vdelay> delay(sp_vdelay_init, max);
        EXPECT_EQ(delay->max_samples, 1) << max;
        delay->delay = 0.0f;
        EXPECT_EQ(delay(std::vector{1.0f, 2.0f, -3.0f}), (std::vector{1.0f, 2.0f, -3.0f})) << max;
    }
    // A maximum too long to index is refused; the module then computes silence.
    sigprotest::Fresh<Vdelay> delay(sp_vdelay_init, 0.01f);
    {
        testsupport::StderrCapture err;
        EXPECT_EQ(sp_vdelay_init(delay.sp(), delay.get(), 1e6f), 0);
        EXPECT_EQ(err.text(), "sp_vdelay: maximum delay too long\n");
    }
    EXPECT_EQ(delay(std::vector<float>(16, 1.0f)), std::vector<float>(16, 0.0f));
    // Delays beyond the line, negative or not finite read somewhere inside it.
    ASSERT_EQ(sp_vdelay_init(delay.sp(), delay.get(), 0.01f), 1);
    const std::vector<float> tone = testsupport::sine(2000, 2600.0, 44100.0);
    for (float d : {1e9f, -0.5f, 0.0101f, INFINITY, NAN}) {
        delay->delay = d;
        const auto out = delay(tone);
        EXPECT_TRUE(sigprotest::allFinite(out) && testsupport::peak(out) < 2.0f) << d;
    }
    sigprotest::expectModuleLifecycle<Vdelay>(
        [](sp_data* sp, sp_vdelay* p) { return sp_vdelay_init(sp, p, 0.01f); }, impulse(1000),
        [](sp_vdelay* p) { p->feedback = 0.9f; },
        [](sp_vdelay* p, int n) { p->delay = 0.001f + 0.000001f * float(n); });
}
