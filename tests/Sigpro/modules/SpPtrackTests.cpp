#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_ptrack.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using PtrackHandle = sigprotest::ModuleHandle<sp_ptrack, sp_ptrack_create, sp_ptrack_destroy>;

struct PtrackOutput {
    float pitch = -1.0f;
    float amplitude = -1.0f;
};

// Feeds the samples in order; returns the outputs of the last call.
PtrackOutput ptrackFeed(sp_data* sp, sp_ptrack* p, const std::vector<float>& input) {
    PtrackOutput last;
    for (float x : input) {
        float in = x;
        EXPECT_EQ(sp_ptrack_compute(sp, p, &in, &last.pitch, &last.amplitude), 1);
    }
    return last;
}

// Harmonics 1 ... `count` of f0 (those in `skip` left out), each at amplitude level / k.
std::vector<float> ptrackTone(std::size_t n, double rate, double f0, double level, int count = 1,
                              int skip = 0) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= count; ++k)
            if (k != skip)
                sum += level / k * std::sin(2.0 * std::numbers::pi * f0 * k * double(i) / rate + k);
        v[i] = static_cast<float>(sum);
    }
    return v;
}

// The amplitude output for an analysis whose level (before the offset) is `level`.
float ptrackAmplitudeForLevel(float level) {
    return static_cast<float>(std::pow(10.0, double(level - 92.3f) / 20.0));
}

} // namespace

TEST(SpPtrack, FindsTheFundamentalOfSinesAndHarmonicTonesWithinOnePercent) {
    struct Case {
        int rate, hop;
        double f0;
        int harmonics, missing;
    };
    // The pitch tap's set-up (hop 4096, 20 peaks) and shorter hops; a tone without its fundamental too.
    for (Case c :
         {Case{44100, 4096, 440.0, 1, 0}, Case{44100, 1024, 440.0, 1, 0}, Case{48000, 512, 440.0, 1, 0},
          Case{44100, 2048, 1234.5, 1, 0}, Case{22050, 4096, 82.4, 1, 0}, Case{44100, 1024, 110.0, 8, 0},
          Case{44100, 2048, 196.0, 8, 1}}) {
        ContextHandle sp;
        sp->sample_rate = c.rate;
        PtrackHandle pt;
        ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), c.hop, 20), 1);
        EXPECT_EQ(pt->sample_rate_f, static_cast<float>(c.rate));
        const PtrackOutput out = ptrackFeed(
            sp.get(), pt.get(), ptrackTone(6 * c.hop + 1, c.rate, c.f0, 0.5, c.harmonics, c.missing));
        EXPECT_NEAR(out.pitch, c.f0, 0.01 * c.f0) << c.rate << " " << c.hop << " " << c.f0;
        EXPECT_EQ(out.pitch, pt->frequency);
    }
}

TEST(SpPtrack, AnalysesOnTheCallAfterEachFullHopAndKeepsThePitchOnSilence) {
    ContextHandle sp;
    PtrackHandle pt;
    const int hop = 512;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
    EXPECT_EQ(pt->hop_size, hop);
    EXPECT_EQ(pt->hop_size_f, 512.0f);
    EXPECT_EQ(pt->min_level, 40.0f);
    EXPECT_EQ(pt->partial_offset, 7.0f);
    EXPECT_EQ(pt->input_scale, 32768.0f);

    // Before the first analysis: 100 Hz and the amplitude of -144 dB.
    const std::vector<float> tone = ptrackTone(8 * hop + 1, 44100, 440.0, 0.5);
    float pitch = 0.0f, amplitude = 0.0f;
    for (int i = 0; i < hop; ++i) {
        float x = tone[i];
        sp_ptrack_compute(sp.get(), pt.get(), &x, &pitch, &amplitude);
        ASSERT_EQ(pitch, 100.0f) << i;
        ASSERT_FLOAT_EQ(amplitude, std::pow(10.0f, -144.0f / 20.0f)) << i;
    }
    float x = tone[hop];
    sp_ptrack_compute(sp.get(), pt.get(), &x, &pitch, &amplitude);
    EXPECT_GT(amplitude, 0.01f);
    EXPECT_EQ(pt->count, 1);
    EXPECT_EQ(pt->history_index, 1);
    PtrackOutput out = ptrackFeed(sp.get(), pt.get(), std::vector<float>(tone.begin() + hop + 1, tone.end()));
    EXPECT_NEAR(out.pitch, 440.0f, 4.4f);
    EXPECT_EQ(pt->history_index, 8);

    // Silence: the hops that still hold the tone's end may move the pitch; after them the level is 0
    // (-92.3 dB) and the pitch holds.
    out = ptrackFeed(sp.get(), pt.get(), std::vector<float>(2 * hop, 0.0f));
    const float held = out.pitch;
    EXPECT_NEAR(held, 440.0f, 0.05f * 440.0f);
    for (int i = 0; i < 3; ++i) {
        out = ptrackFeed(sp.get(), pt.get(), std::vector<float>(hop, 0.0f));
        EXPECT_EQ(out.pitch, held);
        EXPECT_EQ(out.amplitude, ptrackAmplitudeForLevel(0.0f));
        EXPECT_EQ(pt->level_history[pt->history_index], -92.3f);
    }

    // Silence from the start never leaves 100 Hz; the history index wraps after 20 hops.
    PtrackHandle quiet;
    ASSERT_EQ(sp_ptrack_init(sp.get(), quiet.get(), 256, 20), 1);
    out = ptrackFeed(sp.get(), quiet.get(), std::vector<float>(25 * 256 + 1, 0.0f));
    EXPECT_EQ(out.pitch, 100.0f);
    EXPECT_EQ(out.amplitude, ptrackAmplitudeForLevel(0.0f));
    EXPECT_EQ(quiet->history_index, 5);
}

TEST(SpPtrack, LevelFollowsTheInputAndGatesThePitchSearch) {
    ContextHandle sp;
    const int hop = 2048;
    auto amplitudeOf = [&](double level) {
        PtrackHandle pt;
        sp_ptrack_init(sp.get(), pt.get(), hop, 20);
        return ptrackFeed(sp.get(), pt.get(), ptrackTone(4 * hop + 1, 44100, 440.0, level)).amplitude;
    };
    // Level is 3.333 ln(power): an amplitude ratio a gives an output ratio a^(2 x 3.333 / (20 / ln 10)).
    const float loud = amplitudeOf(0.5), soft = amplitudeOf(0.01);
    EXPECT_NEAR(loud / soft, std::pow(50.0, 2.0 * 3.333 * std::log(10.0) / 20.0), 0.01 * loud / soft);

    // A tone whose level stays under min_level (40) leaves the pitch alone, until min_level is lowered.
    const std::vector<float> faint = ptrackTone(6 * hop + 1, 44100, 440.0, 5e-5);
    PtrackHandle pt;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
    EXPECT_EQ(ptrackFeed(sp.get(), pt.get(), faint).pitch, 100.0f);
    EXPECT_LT(pt->level_history[pt->history_index] + 92.3f, 40.0f);
    EXPECT_GT(pt->level_history[pt->history_index] + 92.3f, 20.0f);
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
    pt->min_level = 20.0f;
    EXPECT_NEAR(ptrackFeed(sp.get(), pt.get(), faint).pitch, 440.0f, 4.4f);

    // No peaks kept: the level is measured but no pitch is found.
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 0), 1);
    const PtrackOutput none = ptrackFeed(sp.get(), pt.get(), ptrackTone(4 * hop + 1, 44100, 440.0, 0.5));
    EXPECT_EQ(none.pitch, 100.0f);
    EXPECT_FLOAT_EQ(none.amplitude, loud);
}

TEST(SpPtrack, SpectrumIsTheHannWindowedTransformOfTheLastTwoHops) {
    ContextHandle sp;
    const int hop = 256, n = 2 * hop;
    PtrackHandle pt;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 1);
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    std::vector<float> input = ptrackTone(3 * hop + 1, 44100, 1000.0, 0.5);
    for (float& s : input)
        s += dist(gen);
    ptrackFeed(sp.get(), pt.get(), input);

    // The third analysis ran on the last call, over samples hop ... 3 hop - 1. Point k is the frequency
    // k / 2n; its value the rectangular-window transform W(k) less half of W(k - 2) and W(k + 2) (the Hann
    // window times 2), with points 0, 1 and 2 taken as 0.
    std::vector<std::complex<double>> rectangular(n);
    for (int k = 3; k < n; ++k)
        for (int t = 0; t < n; ++t)
            rectangular[k] +=
                32768.0 * double(input[hop + t]) * std::polar(1.0, -std::numbers::pi * k * t / n);
    const auto* spectrum = static_cast<const float*>(pt->spectrum.data);
    std::vector<double> want(n);
    double peak = 0.0;
    for (int k = 3; k <= n - 3; ++k) {
        want[k] = std::norm(rectangular[k] - 0.5 * (rectangular[k - 2] + rectangular[k + 2]));
        peak = std::max(peak, want[k]);
    }
    float total = 0.0f;
    for (int k = 3; k <= n - 3; ++k) {
        // The interpolation kernel is flat to 2.2e-4 over a hop, so every magnitude is off by at most that
        // much of the strongest one (twice: two hops).
        EXPECT_NEAR(std::sqrt(spectrum[4 * k + 2]), std::sqrt(want[k]), 4.5e-4 * std::sqrt(peak)) << k;
        total += spectrum[4 * k + 2];
        ASSERT_EQ(spectrum[4 * k + 3], total) << k;
    }
    // The tone stands out where it should: 1000 Hz is point 2n x 1000 / 44100.
    const int tonePoint = static_cast<int>(std::lround(2.0 * n * 1000.0 / 44100.0));
    EXPECT_GT(spectrum[4 * tonePoint + 2], 100.0f * spectrum[4 * (tonePoint + 40) + 2]);
}

TEST(SpPtrack, BadHopSizesAreRefusedWithWoopsAndComputeNothing) {
    ContextHandle sp;
    for (int hop : {32, 100, 4097, 8192, 0, -64, 2147483647}) {
        PtrackHandle pt;
        StderrCapture err;
        EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), hop, 20), 0) << hop;
        EXPECT_EQ(err.text(), "Woops\n") << hop;
        const PtrackOutput out = ptrackFeed(sp.get(), pt.get(), ptrackTone(300, 44100, 440.0, 0.5));
        EXPECT_EQ(out.pitch, 0.0f) << hop;
        EXPECT_EQ(out.amplitude, 0.0f) << hop;
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
    EXPECT_NEAR(ptrackFeed(sp.get(), pt.get(), ptrackTone(6 * 1024 + 1, 44100, 440.0, 0.5)).pitch, 440.0f,
                4.4f);
    {
        StderrCapture err;
        EXPECT_EQ(sp_ptrack_init(sp.get(), pt.get(), 48, 20), 0);
        EXPECT_EQ(err.text(), "Woops\n");
    }
    PtrackOutput out = ptrackFeed(sp.get(), pt.get(), ptrackTone(100, 44100, 440.0, 0.5));
    EXPECT_EQ(out.pitch, 0.0f);
    EXPECT_EQ(out.amplitude, 0.0f);
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), 512, 20), 1);
    out = ptrackFeed(sp.get(), pt.get(), ptrackTone(512, 44100, 440.0, 0.5));
    EXPECT_EQ(out.pitch, 100.0f);
    EXPECT_EQ(pt->signal.size, 512 * sizeof(float));
    EXPECT_NEAR(ptrackFeed(sp.get(), pt.get(), ptrackTone(6 * 512 + 1, 44100, 660.0, 0.5)).pitch, 660.0f,
                6.6f);
}

TEST(SpPtrack, ComputeNeverAllocates) {
    ContextHandle sp;
    PtrackHandle pt;
    ASSERT_EQ(sp_ptrack_init(sp.get(), pt.get(), 1024, 20), 1);
    const std::vector<float> input = ptrackTone(8 * 1024 + 1, 44100, 220.0, 0.4, 6);
    float pitch = 0.0f, amplitude = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (float s : input) {
                      float x = s;
                      sp_ptrack_compute(sp.get(), pt.get(), &x, &pitch, &amplitude);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
    EXPECT_NEAR(pitch, 220.0f, 2.2f);
}
