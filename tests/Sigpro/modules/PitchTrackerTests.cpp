#include "Sigpro/modules/PitchTracker.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

#include <memory>

using namespace sigpro;

namespace {

using Tracker = std::unique_ptr<PitchTracker, decltype(&rzPitchTrackerDestroy)>;

Tracker makeTracker(std::int32_t rate, std::uint32_t hop) {
    return Tracker(rzPitchTrackerCreate(rate, hop, 20), &rzPitchTrackerDestroy);
}

std::pair<float, float> amplitudeAndPitch(const Tracker& t) {
    std::pair<float, float> reading{-1.0f, -1.0f};
    rzPitchTrackerGetAmplitudeAndPitch(t.get(), &reading.first, &reading.second);
    return reading;
}

void analyze(const Tracker& t, const std::vector<float>& samples, std::size_t from, std::size_t count) {
    rzPitchTrackerAnalyze(t.get(), samples.data() + from, static_cast<std::uint32_t>(count));
}

} // namespace

TEST(PitchTracker, ReadsZeroUntilAnalysedThenTheModulesValuesAtItsOwnRate) {
    for (int rate : {44100, 22050}) {
        auto t = makeTracker(rate, rate == 44100 ? 4096 : 1024);
        ASSERT_NE(t, nullptr);
        const std::vector<float> tone = testsupport::sine(std::size_t(rate), 440.0, rate, 0.4);
        analyze(t, tone, 0, 0);
        EXPECT_EQ(amplitudeAndPitch(t), std::make_pair(0.0f, 0.0f));
        analyze(t, tone, 0, tone.size());
        const auto [amplitude, pitch] = amplitudeAndPitch(t);
        EXPECT_NEAR(pitch, 440.0f, 4.4f) << rate;
        EXPECT_GT(amplitude, 0.1f);
        // Reading does not run the module.
        EXPECT_EQ(amplitudeAndPitch(t), std::make_pair(amplitude, pitch));
    }
}

TEST(PitchTracker, BufferSplitsDoNotChangeTheResultAndAnalysisNeverAllocates) {
    const std::vector<float> tone = testsupport::sine(3 * 2048 + 700, 523.25, 48000.0, 0.4);
    auto whole = makeTracker(48000, 2048);
    analyze(whole, tone, 0, tone.size());
    const auto want = amplitudeAndPitch(whole);
    EXPECT_NEAR(want.second, 523.25f, 5.3f);

    const std::vector<std::vector<std::size_t>> splits = {{tone.size() / 2, tone.size() - tone.size() / 2},
                                                          {1, 2047, 1, 4000, 0, tone.size() - 6049},
                                                          std::vector<std::size_t>(14, 512)};
    for (const auto& sizes : splits) {
        auto t = makeTracker(48000, 2048);
        std::size_t at = 0;
        EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                      for (std::size_t size : sizes) {
                          const std::size_t take = std::min(size, tone.size() - at);
                          analyze(t, tone, at, take);
                          at += take;
                      }
                  }),
                  0u);
        ASSERT_EQ(at, tone.size());
        EXPECT_EQ(amplitudeAndPitch(t), want) << sizes.size();
    }
}

TEST(PitchTracker, RefusedHopSizeGivesATrackerThatStaysAtZero) {
    const std::vector<float> tone = testsupport::sine(8192, 440.0, 44100.0, 0.4);
    for (std::uint32_t hop : {32u, 3000u, 0u, 0x80000000u}) {
        testsupport::StderrCapture err;
        auto t = makeTracker(44100, hop);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(err.text(), "Woops\n") << hop;
        analyze(t, tone, 0, tone.size());
        EXPECT_EQ(amplitudeAndPitch(t), std::make_pair(0.0f, 0.0f)) << hop;
    }
    rzPitchTrackerDestroy(nullptr);
}
