#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Sigpro/modules/PitchTracker.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ptrack.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using testsupport::StderrCapture;

namespace {

// Owns one tracker from create to destroy. Test thread.
class TrackerHandle {
public:
    TrackerHandle(std::int32_t rate, std::uint32_t hop, std::uint32_t peaks)
        : tracker_(rzPitchTrackerCreate(rate, hop, peaks)) {}
    ~TrackerHandle() { rzPitchTrackerDestroy(tracker_); }
    TrackerHandle(const TrackerHandle&) = delete;
    TrackerHandle& operator=(const TrackerHandle&) = delete;
    PitchTracker* get() const { return tracker_; }

private:
    PitchTracker* tracker_;
};

struct TrackerReading {
    float amplitude = -1.0f;
    float pitch = -1.0f;
};

TrackerReading trackerRead(const PitchTracker* t) {
    TrackerReading r;
    rzPitchTrackerGetAmplitudeAndPitch(t, &r.amplitude, &r.pitch);
    return r;
}

} // namespace

TEST(PitchTracker, NewTrackerReadsZeroAndAnalysesAToneWithTheTapSettings) {
    TrackerHandle t(44100, 4096, 20);
    ASSERT_NE(t.get(), nullptr);
    ASSERT_NE(t.get()->context, nullptr);
    EXPECT_EQ(t.get()->context->sample_rate, 44100);
    EXPECT_EQ(t.get()->context->channels, 1);
    EXPECT_EQ(t.get()->tracker->hop_size, 4096);
    EXPECT_EQ(t.get()->tracker->peak_count, 20);
    TrackerReading r = trackerRead(t.get());
    EXPECT_EQ(r.amplitude, 0.0f);
    EXPECT_EQ(r.pitch, 0.0f);

    const std::vector<float> tone = testsupport::sine(44100, 440.0, 44100.0, 0.4);
    rzPitchTrackerAnalyze(t.get(), tone.data(), 0);
    r = trackerRead(t.get());
    EXPECT_EQ(r.amplitude, 0.0f);
    EXPECT_EQ(r.pitch, 0.0f);

    // The first samples show the module's values before any analysis.
    rzPitchTrackerAnalyze(t.get(), tone.data(), 10);
    r = trackerRead(t.get());
    EXPECT_EQ(r.pitch, 100.0f);
    EXPECT_FLOAT_EQ(r.amplitude, std::pow(10.0f, -144.0f / 20.0f));

    rzPitchTrackerAnalyze(t.get(), tone.data() + 10, static_cast<std::uint32_t>(tone.size() - 10));
    r = trackerRead(t.get());
    EXPECT_NEAR(r.pitch, 440.0f, 4.4f);
    EXPECT_GT(r.amplitude, 0.1f);
    // Reading does not run the module.
    const TrackerReading again = trackerRead(t.get());
    EXPECT_EQ(again.pitch, r.pitch);
    EXPECT_EQ(again.amplitude, r.amplitude);

    // The given sample rate is the one the pitch is computed with.
    TrackerHandle slow(22050, 1024, 20);
    const std::vector<float> low = testsupport::sine(22050, 440.0, 22050.0, 0.4);
    rzPitchTrackerAnalyze(slow.get(), low.data(), static_cast<std::uint32_t>(low.size()));
    EXPECT_NEAR(trackerRead(slow.get()).pitch, 440.0f, 4.4f);
}

TEST(PitchTracker, BufferSplitsDoNotChangeTheResult) {
    const std::vector<float> tone = testsupport::sine(3 * 2048 + 700, 523.25, 48000.0, 0.4);
    TrackerHandle whole(48000, 2048, 20);
    rzPitchTrackerAnalyze(whole.get(), tone.data(), static_cast<std::uint32_t>(tone.size()));
    const TrackerReading want = trackerRead(whole.get());
    EXPECT_NEAR(want.pitch, 523.25f, 5.3f);

    const std::vector<std::vector<std::uint32_t>> splits = {
        {static_cast<std::uint32_t>(tone.size() / 2),
         static_cast<std::uint32_t>(tone.size() - tone.size() / 2)},
        {1, 2047, 1, 4000, 0, static_cast<std::uint32_t>(tone.size() - 6049)},
        {512, 512, 512, 512, 512, 512, 512, 512, 512, 512, 512, 512, 512, 512}};
    for (const auto& sizes : splits) {
        TrackerHandle t(48000, 2048, 20);
        std::size_t at = 0;
        for (std::uint32_t size : sizes) {
            const auto take = static_cast<std::uint32_t>(std::min<std::size_t>(size, tone.size() - at));
            rzPitchTrackerAnalyze(t.get(), tone.data() + at, take);
            at += take;
        }
        ASSERT_EQ(at, tone.size());
        const TrackerReading r = trackerRead(t.get());
        EXPECT_EQ(r.pitch, want.pitch) << sizes.size();
        EXPECT_EQ(r.amplitude, want.amplitude) << sizes.size();
    }
}

TEST(PitchTracker, RefusedHopSizeGivesATrackerThatStaysAtZero) {
    for (std::uint32_t hop : {32u, 3000u, 0u, 0x80000000u}) {
        StderrCapture err;
        TrackerHandle t(44100, hop, 20);
        ASSERT_NE(t.get(), nullptr);
        EXPECT_EQ(err.text(), "Woops\n") << hop;
        const std::vector<float> tone = testsupport::sine(8192, 440.0, 44100.0, 0.4);
        rzPitchTrackerAnalyze(t.get(), tone.data(), static_cast<std::uint32_t>(tone.size()));
        const TrackerReading r = trackerRead(t.get());
        EXPECT_EQ(r.amplitude, 0.0f) << hop;
        EXPECT_EQ(r.pitch, 0.0f) << hop;
    }
    rzPitchTrackerDestroy(nullptr);
}

TEST(PitchTracker, AnalysisNeverAllocates) {
    TrackerHandle t(44100, 1024, 20);
    const std::vector<float> tone = testsupport::sine(6 * 1024, 330.0, 44100.0, 0.4);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t at = 0; at < tone.size(); at += 256)
                      rzPitchTrackerAnalyze(t.get(), tone.data() + at, 256);
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
    EXPECT_NEAR(trackerRead(t.get()).pitch, 330.0f, 3.3f);
}
