#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_autowah.h"
#include "Sigpro/modules/sp_panst.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using PanstHandle = sigprotest::ModuleHandle<sp_panst, sp_panst_create, sp_panst_destroy>;
using AutowahHandle = sigprotest::ModuleHandle<sp_autowah, sp_autowah_create, sp_autowah_destroy>;

struct PanstGains {
    float left;
    float right;
};

// Gains of the panner at `pan` under `type`, measured with distinct inputs on both sides.
PanstGains panstGains(sp_data* sp, sp_panst* p, std::uint32_t type, float pan) {
    p->type = type;
    p->pan = pan;
    float inLeft = 0.5f, inRight = -2.0f, outLeft = 99.0f, outRight = 99.0f;
    EXPECT_EQ(sp_panst_compute(sp, p, &inLeft, &inRight, &outLeft, &outRight), 1);
    return {outLeft / inLeft, outRight / inRight};
}

// Wet gain of the wah at `hz` for a sine of `level`, once its envelope has settled.
double autowahGain(double hz, double level) {
    ContextHandle sp;
    AutowahHandle wah;
    sp_autowah_init(sp.get(), wah.get());
    *wah->wah = 1.0f;
    *wah->level = 1.0f;
    return testsupport::steadyGain(
        44100.0, hz,
        [&](float x) {
            float y;
            sp_autowah_compute(sp.get(), wah.get(), &x, &y);
            return y;
        },
        level);
}

} // namespace

TEST(SpPanst, LawsGiveTheirGainsAtTheEndsAndTheCentre) {
    ContextHandle sp;
    PanstHandle p;
    p->pan = 0.7f;
    p->type = 9;
    ASSERT_EQ(sp_panst_init(sp.get(), p.get()), 1);
    EXPECT_EQ(p->pan, 0.0f);
    EXPECT_EQ(p->type, 0u);

    const float quarter = static_cast<float>(std::cos(std::numbers::pi / 4.0));
    const float half = static_cast<float>(std::numbers::sqrt2 / 2.0);
    struct Case {
        std::uint32_t type;
        float pan;
        float left;
        float right;
    };
    for (Case c : {
             // Equal power: cos and sin of a quarter turn.
             Case{0, 0.0f, quarter, quarter},
             Case{0, -1.0f, 1.0f, 0.0f},
             Case{0, 1.0f, 0.0f, 1.0f},
             // Square root, mirrored: -1 silences the left and passes the right.
             Case{1, -1.0f, 0.0f, 1.0f},
             Case{1, 1.0f, 1.0f, 0.0f},
             Case{1, 0.0f, half, half},
             Case{1, 0.5f, std::sqrt(0.75f), std::sqrt(0.25f)},
             // Linear.
             Case{2, -1.0f, 1.0f, 0.0f},
             Case{2, 0.5f, 0.25f, 0.75f},
             Case{2, 0.0f, 0.5f, 0.5f},
             // Alternative equal power: full left passes both at sqrt(2)/2, full right negates the right.
             Case{3, 1.0f, half, -half},
             Case{3, -1.0f, half, half},
             Case{3, 0.0f, 1.0f, 0.0f},
         }) {
        const PanstGains g = panstGains(sp.get(), p.get(), c.type, c.pan);
        EXPECT_NEAR(g.left, c.left, 1e-6f) << "type " << c.type << " pan " << c.pan;
        EXPECT_NEAR(g.right, c.right, 1e-6f) << "type " << c.type << " pan " << c.pan;
    }
}

TEST(SpPanst, OnlyTheTwoLowBitsOfTheTypeCountAndEqualPowerKeepsThePower) {
    ContextHandle sp;
    PanstHandle p;
    sp_panst_init(sp.get(), p.get());
    for (float pan : {-0.8f, -0.3f, 0.1f, 0.65f}) {
        for (std::uint32_t type : {0u, 1u, 2u, 3u}) {
            const PanstGains base = panstGains(sp.get(), p.get(), type, pan);
            for (std::uint32_t high : {4u, 8u, 0x80000000u, 0xFFFFFFFCu}) {
                const PanstGains g = panstGains(sp.get(), p.get(), type | high, pan);
                EXPECT_EQ(g.left, base.left) << type << " " << high;
                EXPECT_EQ(g.right, base.right) << type << " " << high;
            }
        }
        const PanstGains equal = panstGains(sp.get(), p.get(), 0, pan);
        EXPECT_NEAR(equal.left * equal.left + equal.right * equal.right, 1.0f, 1e-6f) << pan;
        const PanstGains root = panstGains(sp.get(), p.get(), 1, pan);
        EXPECT_NEAR(root.left * root.left + root.right * root.right, 1.0f, 1e-6f) << pan;
        const PanstGains linear = panstGains(sp.get(), p.get(), 2, pan);
        EXPECT_NEAR(linear.left + linear.right, 1.0f, 1e-6f) << pan;
    }
}

TEST(SpAutowah, RegistersItsParametersInOrderWithTheirDefaults) {
    ContextHandle sp;
    AutowahHandle wah;
    ASSERT_EQ(sp_autowah_init(sp.get(), wah.get()), 1);
    ASSERT_NE(wah->state, nullptr);
    EXPECT_EQ(wah->param_count, 3);
    EXPECT_EQ(wah->params[0], wah->level);
    EXPECT_EQ(wah->params[1], wah->wah);
    EXPECT_EQ(wah->params[2], wah->wet_dry);
    EXPECT_EQ(*wah->level, 0.1f);
    EXPECT_EQ(*wah->wah, 0.0f);
    EXPECT_EQ(*wah->wet_dry, 100.0f);

    // A second init keeps the state block and starts over: the same output as a fresh module.
    sp_autowah_state* state = wah->state;
    *wah->wah = 1.0f;
    const auto input = testsupport::noise(2000, 5u, 0.8f);
    float y;
    for (float x : input)
        sp_autowah_compute(sp.get(), wah.get(), &x, &y);
    ASSERT_EQ(sp_autowah_init(sp.get(), wah.get()), 1);
    EXPECT_EQ(wah->state, state);
    EXPECT_EQ(*wah->wah, 0.0f);
    AutowahHandle fresh;
    sp_autowah_init(sp.get(), fresh.get());
    *wah->wah = *fresh->wah = 1.0f;
    for (float x : input) {
        float a, b;
        sp_autowah_compute(sp.get(), wah.get(), &x, &a);
        sp_autowah_compute(sp.get(), fresh.get(), &x, &b);
        ASSERT_EQ(a, b);
    }
}

TEST(SpAutowah, NoWahAtFullWetIsTheIdentityAndLessWetAddsDry) {
    ContextHandle sp;
    AutowahHandle wah;
    sp_autowah_init(sp.get(), wah.get());
    *wah->level = 1.0f;
    // Quiet and loud passages: the envelope moves the filter, none of it reaches the output.
    std::vector<float> input = testsupport::noise(3000, 1u, 0.01f);
    const auto loud = testsupport::noise(3000, 2u, 1.0f);
    input.insert(input.end(), loud.begin(), loud.end());
    input.push_back(0.0f);
    input.push_back(-1.0f);
    std::vector<float> out(input.size());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t i = 0; i < input.size(); ++i)
                      sp_autowah_compute(sp.get(), wah.get(), &input[i], &out[i]);
              }),
              0u);
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(out[i], input[i]) << i;

    *wah->wet_dry = 50.0f;
    for (float x : testsupport::noise(100, 3u, 1.0f)) {
        float y;
        sp_autowah_compute(sp.get(), wah.get(), &x, &y);
        ASSERT_FLOAT_EQ(y, 1.5f * x);
    }
}

TEST(SpAutowah, TheResonanceRisesWithTheLevel) {
    // A quiet signal leaves the resonance near 450 Hz; a loud one pulls it up to about 2.2 kHz.
    const double quietLow = autowahGain(450.0, 0.01), quietHigh = autowahGain(2200.0, 0.01);
    const double loudLow = autowahGain(450.0, 1.0), loudHigh = autowahGain(2200.0, 1.0);
    EXPECT_GT(quietLow, 10.0 * quietHigh);
    EXPECT_GT(loudHigh, 5.0 * loudLow);
    EXPECT_GT(quietLow, 1.0);
    EXPECT_GT(loudHigh, 1.0);

    // Silence stays silent.
    ContextHandle sp;
    AutowahHandle wah;
    sp_autowah_init(sp.get(), wah.get());
    *wah->wah = 1.0f;
    for (int i = 0; i < 1000; ++i) {
        float x = 0.0f, y = 1.0f;
        sp_autowah_compute(sp.get(), wah.get(), &x, &y);
        ASSERT_EQ(y, 0.0f);
    }
}
