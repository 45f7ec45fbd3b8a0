// The scrubber's snippets: what it asks of the snippet player, in which order, and when, on a
// hand-moved clock.

#include "tests/Source/views/TimeSliderTestSupport.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "tests/support/ManualTimers.h"

#include <gtest/gtest.h>

#include <limits>

namespace vantle::testing {
namespace {

class ScrubberTest : public ::testing::Test {
protected:
    void SetUp() override { platform::mainQueue().drain(); }

    std::shared_ptr<Scrubber> makeScrubber(bool withSnippetPlayer = true) {
        std::unique_ptr<ScrubSnippetPlayer> snippets;
        if (withSnippetPlayer) snippets = std::make_unique<FakeScrubSnippetPlayer>(log, scheduler);
        return Scrubber::make(
            player, std::move(snippets), [this] { return mainVolume; }, scheduler);
    }

    // Moves the clock and runs the snippet ends that fell due.
    void advance(double seconds) {
        scheduler.advance(seconds);
        platform::mainQueue().drain();
    }

    CallLog log;
    testsupport::ManualTimerScheduler scheduler;
    std::shared_ptr<FakeTimeSliderPlayer> player = std::make_shared<FakeTimeSliderPlayer>(log);
    float mainVolume = 0.6f;
};

TEST_F(ScrubberTest, SnippetStartsAtThePlayersPositionAndChainsEverySecondWhileScrubbing) {
    auto scrubber = makeScrubber();
    player->time = 42.5;
    scrubber->setScrubbing(true);
    EXPECT_EQ(log, (CallLog{"snippet at 42.5", "volume 0.3", "enableRate", "rate 1.5", "play"}));
    EXPECT_TRUE(scrubber->scrubPlaying());

    // A second switch-on while a snippet sounds starts nothing.
    scrubber->setScrubbing(true);
    scrubber->scrub();
    EXPECT_EQ(log.size(), 5u);

    log.clear();
    player->time = 50; // the drag moved on
    mainVolume = 1.0f;
    advance(0.999);
    EXPECT_TRUE(log.empty());
    advance(0.001);
    EXPECT_EQ(log, (CallLog{"pause at 1", "snippet at 50", "volume 0.5", "enableRate", "rate 1.5", "play"}));

    // Switched off: the sounding snippet is not cut short, and no further one follows.
    log.clear();
    scrubber->setScrubbing(false);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(scrubber->scrubPlaying());
    advance(1.0);
    EXPECT_EQ(log, (CallLog{"pause at 2"}));
    EXPECT_FALSE(scrubber->scrubPlaying());
    advance(5.0);
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(ScrubberTest, ADragOfTwoAndAHalfSecondsPlaysThreeSnippets) {
    auto scrubber = makeScrubber();
    scrubber->setScrubbing(true);
    advance(1.0);
    scrubber->setScrubbing(true); // drag movements while a snippet sounds
    advance(1.0);
    advance(0.5);
    scrubber->setScrubbing(false);
    advance(0.5);
    advance(3.0);

    int plays = 0;
    std::vector<std::string> pauses;
    for (const std::string& call : log) {
        if (call == "play") ++plays;
        if (call.rfind("pause", 0) == 0) pauses.push_back(call);
    }
    EXPECT_EQ(plays, 3);
    EXPECT_EQ(pauses, (std::vector<std::string>{"pause at 1", "pause at 2", "pause at 3"}));
}

TEST_F(ScrubberTest, APendingSnippetKeepsItsScrubberUntilItEnds) {
    auto scrubber = makeScrubber();
    std::weak_ptr<Scrubber> watch = scrubber;
    scrubber->setScrubbing(true);
    scrubber->setScrubbing(false);
    scrubber.reset(); // the main view loaded another entry
    ASSERT_FALSE(watch.expired());
    advance(1.0);
    EXPECT_EQ(log.back(), "pause at 1");
    EXPECT_TRUE(watch.expired());
}

TEST_F(ScrubberTest, SilentWithoutSnippetPlayerOrPlayer) {
    auto silent = makeScrubber(false);
    silent->setScrubbing(true);
    EXPECT_TRUE(silent->scrubbing());
    EXPECT_FALSE(silent->scrubPlaying());

    auto withoutPlayer = Scrubber::make(
        nullptr, std::make_unique<FakeScrubSnippetPlayer>(log, scheduler), [] { return 1.0f; }, scheduler);
    withoutPlayer->setScrubbing(true);
    EXPECT_FALSE(withoutPlayer->scrubPlaying());
    advance(2.0);
    EXPECT_TRUE(log.empty());
}

TEST(ScrubSnippetVolume, HalfTheMainVolumeWithinZeroToOne) {
    EXPECT_FLOAT_EQ(scrubSnippetVolume(0.6f), 0.3f);
    EXPECT_FLOAT_EQ(scrubSnippetVolume(1.0f), 0.5f);
    EXPECT_FLOAT_EQ(scrubSnippetVolume(3.0f), 1.0f);
    EXPECT_FLOAT_EQ(scrubSnippetVolume(-1.0f), 0.0f);
    EXPECT_FLOAT_EQ(scrubSnippetVolume(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_FLOAT_EQ(scrubSnippetVolume(std::numeric_limits<float>::infinity()), 1.0f);
}

} // namespace
} // namespace vantle::testing
