#include "Sigpro/modules/sp_ptrack.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using PtrackHandle = sigprotest::ModuleHandle<sp_ptrack, sp_ptrack_create, sp_ptrack_destroy>;

// Feeds the samples in order, allocating nothing; returns the pitch and amplitude of the last call.
std::pair<float, float> ptrackFeed(sp_data* sp, const PtrackHandle& p, const std::vector<float>& input) {
    std::pair<float, float> last{-1.0f, -1.0f};
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (float x : input)
                      ASSERT_EQ(sp_ptrack_compute(sp, p.get(), &x, &last.first, &last.second), 1);
              }),
              0u);
    return last;
}

// Harmonics 1 ... `count` of f0 (`skip` left out), each at amplitude level / k.
std::vector<float> ptrackTone(std::size_t n, double rate, double f0, double level, int count = 1,
                              int skip = 0) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i)
        for (int k = 1; k <= count; ++k)
            if (k != skip)
                v[i] += float(level / k * std::sin(2.0 * std::numbers::pi * f0 * k * double(i) / rate + k));
    return v;
}

// The amplitude output for a level (before the offset of 92.3 dB) of 0: silence.
const float ptrackSilentAmplitude = static_cast<float>(std::pow(10.0, double(0.0f - 92.3f) / 20.0));

} // namespace

TEST(SpPtrack, FindsTheFundamentalOfSinesAndHarmonicTonesWithinOnePercent) {
    using Case = std::tuple<int, int, double, int, int>; // rate, hop, f0, harmonics, harmonics missing
    // The pitch tap's set-up (hop 4096, 20 peaks) and shorter hops; a tone without its fundamental too.
    for (const auto& [rate, hop, f0, harmonics, missing] :
         {Case{44100, 4096, 440.0, 1, 0}, Case{44100, 1024, 440.0, 1, 0}, Case{48000, 512, 440.0, 1, 0},
          Case{44100, 2048, 1234.5, 1, 0}, Case{22050, 4096, 82.4, 1, 0}, Case{44100, 1024, 110.0, 8, 0},
          Case{44100, 2048, 196.0, 8, 1}}) {
        ContextHandle sp(rate);
        PtrackHandle pt;
        ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
        const auto tone = ptrackTone(6 * hop + 1, rate, f0, 0.5, harmonics, missing);
        EXPECT_NEAR(ptrackFeed(sp.get(), pt, tone).first, f0, 0.01 * f0) << rate << " " << hop;
    }
}

TEST(SpPtrack, AnalysesOnTheCallAfterEachFullHopAndKeepsThePitchOnSilence) {
    ContextHandle sp;
    PtrackHandle pt;
    const int hop = 512;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
    EXPECT_EQ(pt->min_level, 40.0f);
    // Before the first analysis: 100 Hz and the amplitude of -144 dB.
    const std::vector<float> tone = ptrackTone(8 * hop + 1, 44100, 440.0, 0.5);
    const std::vector<float> firstHop(tone.begin(), tone.begin() + hop);
    const auto before = ptrackFeed(sp.get(), pt, firstHop);
    EXPECT_EQ(before.first, 100.0f);
    EXPECT_FLOAT_EQ(before.second, std::pow(10.0f, -144.0f / 20.0f));
    EXPECT_GT(ptrackFeed(sp.get(), pt, {tone[hop]}).second, 0.01f);
    EXPECT_NEAR(ptrackFeed(sp.get(), pt, std::vector<float>(tone.begin() + hop + 1, tone.end())).first,
                440.0f, 4.4f);

    // Silence: the hops that still hold the tone's end may move the pitch; after them the level is 0
    // and the pitch holds.
    const float held = ptrackFeed(sp.get(), pt, std::vector<float>(2 * hop, 0.0f)).first;
    EXPECT_NEAR(held, 440.0f, 0.05f * 440.0f);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ptrackFeed(sp.get(), pt, std::vector<float>(hop, 0.0f)),
                  std::pair(held, ptrackSilentAmplitude));

    // Silence from the start never leaves 100 Hz, also once the level history has wrapped after 20 hops.
    PtrackHandle quiet;
    ASSERT_EQ(sp_ptrack_init(sp.get(), quiet.get(), 256, 20), 1);
    EXPECT_EQ(ptrackFeed(sp.get(), quiet, std::vector<float>(25 * 256 + 1, 0.0f)),
              std::pair(100.0f, ptrackSilentAmplitude));
}

TEST(SpPtrack, LevelFollowsTheInputAndGatesThePitchSearch) {
    ContextHandle sp;
    const int hop = 2048;
    PtrackHandle pt;
    auto feedFresh = [&](const std::vector<float>& input, int peaks = 20, float minLevel = 40.0f) {
        EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, peaks), 1);
        pt->min_level = minLevel;
        return ptrackFeed(sp.get(), pt, input);
    };
    // Level is 3.333 ln(power): an amplitude ratio a gives an output ratio a^(2 x 3.333 / (20 / ln 10)).
    const float loud = feedFresh(ptrackTone(4 * hop + 1, 44100, 440.0, 0.5)).second;
    const float soft = feedFresh(ptrackTone(4 * hop + 1, 44100, 440.0, 0.01)).second;
    EXPECT_NEAR(loud / soft, std::pow(50.0, 2.0 * 3.333 * std::log(10.0) / 20.0), 0.01 * loud / soft);

    // A tone whose level (between 20 and 40) stays under min_level leaves the pitch alone, until min_level
    // is lowered.
    const std::vector<float> faint = ptrackTone(6 * hop + 1, 44100, 440.0, 5e-5);
    EXPECT_EQ(feedFresh(faint).first, 100.0f);
    EXPECT_NEAR(feedFresh(faint, 20, 20.0f).first, 440.0f, 4.4f);
    // No peaks kept: the level is measured but no pitch is found.
    const auto none = feedFresh(ptrackTone(4 * hop + 1, 44100, 440.0, 0.5), 0);
    EXPECT_EQ(none.first, 100.0f);
    EXPECT_FLOAT_EQ(none.second, loud);
}

TEST(SpPtrack, BadHopSizesAreRefusedWithWoopsAndComputeNothing) {
    ContextHandle sp;
    for (int hop : {32, 100, 4097, 8192, 0, -64, 2147483647}) {
        PtrackHandle pt;
        StderrCapture err;
        EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 0) << hop;
        EXPECT_EQ(err.text(), "Woops\n") << hop;
        EXPECT_EQ(ptrackFeed(sp.get(), pt, ptrackTone(300, 44100, 440.0, 0.5)), std::pair(0.0f, 0.0f)) << hop;
    }
    // The smallest and largest windows are accepted silently.
    for (int hop : {64, 4096}) {
        PtrackHandle pt;
        StderrCapture err;
        EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1) << hop;
        EXPECT_EQ(err.text(), "") << hop;
    }

    // A refused re-init stops a tracker that worked; a good one brings it back with the new hop.
    PtrackHandle pt;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), 1024, 20), 1);
    EXPECT_NEAR(ptrackFeed(sp.get(), pt, ptrackTone(6 * 1024 + 1, 44100, 440.0, 0.5)).first, 440.0f, 4.4f);
    StderrCapture err;
    EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), 48, 20), 0);
    EXPECT_EQ(err.text(), "Woops\n");
    EXPECT_EQ(ptrackFeed(sp.get(), pt, ptrackTone(100, 44100, 440.0, 0.5)), std::pair(0.0f, 0.0f));
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), 512, 20), 1);
    EXPECT_EQ(ptrackFeed(sp.get(), pt, ptrackTone(512, 44100, 440.0, 0.5)).first, 100.0f);
    EXPECT_NEAR(ptrackFeed(sp.get(), pt, ptrackTone(6 * 512 + 1, 44100, 660.0, 0.5)).first, 660.0f, 6.6f);
}
