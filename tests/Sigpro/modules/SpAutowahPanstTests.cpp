#include "Sigpro/modules/sp_autowah.h"
#include "Sigpro/modules/sp_panst.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using PanstHandle = SP_MODULE(panst);
using Autowah = SP_COMPUTING_MODULE(autowah);

// Gains of the panner at `pan` under `type`, measured with distinct inputs on both sides.
std::pair<float, float> panstGains(sp_data* sp, sp_panst* p, std::uint32_t type, float pan) {
    std::tie(p->type, p->pan) = std::pair(type, pan);
    float inLeft = 0.5f, inRight = -2.0f, outLeft = 99.0f, outRight = 99.0f;
    EXPECT_EQ(sp_panst_compute(sp, p, &inLeft, &inRight, &outLeft, &outRight), 1);
    return {outLeft / inLeft, outRight / inRight};
}

// Wet gain of the full wah at `hz` for a sine of `level`, once its envelope has settled.
double autowahGain(double hz, double level) {
    return sigprotest::freshGain<Autowah>(
        sp_autowah_init, [](sp_autowah* p) { *p->wah = *p->level = 1.0f; }, hz, level);
}

} // namespace

TEST(SpPanst, LawsGiveTheirGainsOnlyTheTwoLowBitsOfTheTypeCount) {
    ContextHandle sp;
    PanstHandle p;
    std::tie(p->pan, p->type) = std::pair(0.7f, 9u);
    ASSERT_EQ(sp_panst_init(sp.get(), p.get()), 1);
    EXPECT_EQ(std::pair(p->pan, p->type), std::pair(0.0f, 0u));

    const float quarter = static_cast<float>(std::cos(std::numbers::pi / 4.0));
    const float half = static_cast<float>(std::numbers::sqrt2 / 2.0);
    using Case = std::tuple<std::uint32_t, float, float, float>; // type, pan, left and right gains
    for (const auto& [type, pan, leftGain, rightGain] :
         {// Equal power: cos and sin of a quarter turn.
          Case{0, 0.0f, quarter, quarter}, Case{0, -1.0f, 1.0f, 0.0f}, Case{0, 1.0f, 0.0f, 1.0f},
          // Square root, mirrored: -1 silences the left and passes the right.
          Case{1, -1.0f, 0.0f, 1.0f}, Case{1, 1.0f, 1.0f, 0.0f}, Case{1, 0.0f, half, half},
          Case{1, 0.5f, std::sqrt(0.75f), std::sqrt(0.25f)},
          // Linear.
          Case{2, -1.0f, 1.0f, 0.0f}, Case{2, 0.5f, 0.25f, 0.75f}, Case{2, 0.0f, 0.5f, 0.5f},
          // Alternative equal power: full left passes both at sqrt(2)/2, full right negates the right.
          Case{3, 1.0f, half, -half}, Case{3, -1.0f, half, half}, Case{3, 0.0f, 1.0f, 0.0f}}) {
        for (std::uint32_t high : {0u, 4u, 8u, 0x80000000u, 0xFFFFFFFCu}) {
            const auto [left, right] = panstGains(sp.get(), p.get(), type | high, pan);
            EXPECT_NEAR(left, leftGain, 1e-6f) << "type " << type << " pan " << pan << " high " << high;
            EXPECT_NEAR(right, rightGain, 1e-6f) << "type " << type << " pan " << pan << " high " << high;
        }
    }
    // Between the ends the equal-power laws keep the power and the linear one the sum.
    for (float pan : {-0.8f, -0.3f, 0.1f, 0.65f}) {
        for (std::uint32_t type : {0u, 1u, 2u}) {
            const auto [left, right] = panstGains(sp.get(), p.get(), type, pan);
            EXPECT_NEAR(type == 2 ? left + right : left * left + right * right, 1.0f, 1e-6f) << type << pan;
        }
    }
}

TEST(SpAutowah, DefaultsAndNoWahAtFullWetIsTheIdentity) {
    sigprotest::Fresh<Autowah> wah(sp_autowah_init);
    EXPECT_EQ((std::vector{*wah->level, *wah->wah, *wah->wet_dry}), (std::vector{0.1f, 0.0f, 100.0f}));
    *wah->level = 1.0f;
    // Quiet and loud passages: the envelope moves the filter, none of it reaches the output.
    std::vector<float> input = testsupport::noise(3000, 1u, 0.01f);
    const auto loud = testsupport::noise(3000, 2u, 1.0f);
    input.insert(input.end(), loud.begin(), loud.end());
    input.insert(input.end(), {0.0f, -1.0f});
    EXPECT_EQ(wah(input), input);
    *wah->wet_dry = 50.0f;
    for (float x : testsupport::noise(100, 3u, 1.0f))
        ASSERT_FLOAT_EQ(wah(x), 1.5f * x);
    sigprotest::expectModuleLifecycle<Autowah>(
        sp_autowah_init, testsupport::noise(2000, 5u, 0.8f), [](sp_autowah* p) { *p->wah = 1.0f; },
        [](sp_autowah* p, int n) { *p->wah = float(n % 2); });
}

TEST(SpAutowah, TheResonanceRisesWithTheLevelAndSilenceStaysSilent) {
    // A quiet signal leaves the resonance near 450 Hz; a loud one pulls it up to about 2.2 kHz.
    const double quietLow = autowahGain(450.0, 0.01), quietHigh = autowahGain(2200.0, 0.01);
    const double loudLow = autowahGain(450.0, 1.0), loudHigh = autowahGain(2200.0, 1.0);
    EXPECT_GT(quietLow, 10.0 * quietHigh);
    EXPECT_GT(loudHigh, 5.0 * loudLow);
    EXPECT_GT(std::min(quietLow, loudHigh), 1.0);
    sigprotest::Fresh<Autowah> wah(sp_autowah_init);
    *wah->wah = 1.0f;
    EXPECT_EQ(wah.generate(1000), std::vector<float>(1000, 0.0f));
}
