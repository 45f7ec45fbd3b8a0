#include "Source/session/PlayerServices.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "platform/foundation/TextFile.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/Clocks.h"

#include <gtest/gtest.h>
#include <limits>

using namespace vantle;
using namespace vantle::testing;
using testsupport::localDate;
using Spans = std::vector<TimeRange>;

// Entries made from silent WAV files of the given length, each its own file.
class ListeningHistory : public ::testing::Test {
protected:
    std::shared_ptr<PlaylistEntry> entry(double seconds, Spans listening = {}) {
        auto made =
            PlaylistEntry::make(writeSilentWav(folder.url(std::to_string(++files) + ".wav"), seconds));
        EXPECT_TRUE(made);
        if (!listening.empty()) made->currentTimeRangeSet = heardSpans(std::move(listening));
        return made;
    }

    SessionTempFolder folder;
    testsupport::FakeClock clock{platform::Date{700000000}};
    int files = 0;
};

TEST_F(ListeningHistory, OpeningASpanFindsOrAddsIt) {
    auto played = entry(100);
    played->beginTimeRange(12);
    ASSERT_TRUE(played->currentTimeRangeSet);
    EXPECT_EQ(played->currentTimeRangeSet->ranges, (Spans{{12, 12}}));

    played->currentTimeRangeSet = heardSpans({{0, 10}, {20, 30}});
    played->beginTimeRange(10);
    EXPECT_EQ(played->cachedTimeRangeIndex, 0u);
    played->beginTimeRange(15);
    EXPECT_EQ(played->cachedTimeRangeIndex, 1u);
    EXPECT_EQ(played->currentTimeRangeSet->ranges, (Spans{{0, 10}, {15, 15}, {20, 30}}));

    // A time that is not finite is never stored.
    played->beginTimeRange(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(played->currentTimeRangeSet->ranges.size(), 3u);
    EXPECT_EQ(played->cachedTimeRangeIndex, 1u);
}

TEST_F(ListeningHistory, PlayerRecordsOnlyInDanceMode) {
    FakePlayer player;
    recordPlayedRange(player); // no entry: nothing to do
    player.playerEntry = entry(100);
    PlaylistEntry& played = *player.playerEntry;
    auto at = [&](double time) {
        player.fileTime = time;
        recordPlayedRange(player);
    };
    player.playerMode = PlayerMode::prepare;
    at(5);
    EXPECT_FALSE(played.currentTimeRangeSet);

    player.playerMode = PlayerMode::dance;
    at(5); // opens (5, 5)
    at(9); // extends
    at(8); // went back: inside (5, 9), nothing new
    EXPECT_EQ(played.currentTimeRangeSet->ranges, (Spans{{5, 9}}));
    at(40);
    at(2); // a jump back opens a new span
    at(6); // and reaches the first one
    EXPECT_EQ(played.currentTimeRangeSet->ranges, (Spans{{2, 40}}));
}

TEST_F(ListeningHistory, FinishingCountsOneCompletedListeningAboveHalf) {
    auto played = entry(100, {{0, 60}});
    played->finishListening(clock);
    EXPECT_EQ(played->playedDates, std::vector<platform::Date>{clock.now()});
    EXPECT_TRUE(played->hasBeenCompleted);
    EXPECT_EQ(played->prevTimeRangeSet.ranges, (Spans{{0, 60}}));
    // Again in the same run: the same spans merge to the same history, and no second date.
    clock.advance(3600);
    played->finishListening(clock);
    EXPECT_EQ(played->playedDates.size(), 1u);
    EXPECT_EQ(played->prevTimeRangeSet.ranges, (Spans{{0, 60}}));
    EXPECT_EQ(played->currentTimeRangeSet->ranges, (Spans{{0, 60}}));

    // Half is not enough; overlapping spans count once (0..30 and 20..45 cover 45 %, not 55 %).
    for (const Spans& short_ : {Spans{{0, 50}}, Spans{{0, 30}, {20, 45}}}) {
        auto partly = entry(100, short_);
        partly->finishListening(clock);
        EXPECT_TRUE(partly->playedDates.empty());
        EXPECT_FALSE(partly->hasBeenCompleted);
    }
}

TEST_F(ListeningHistory, FinishingMergesTheListeningIntoTheHistory) {
    auto played = entry(200, {{150, 160}, {0, 5}, {18, 30}}); // out of order, as a file may hold it
    played->prevTimeRangeSet.ranges = {{10, 20}, {100, 110}};
    played->finishListening(clock);
    EXPECT_EQ(played->prevTimeRangeSet.ranges, (Spans{{0, 5}, {10, 30}, {100, 110}, {150, 160}}));

    // A listening opened where playback stood and left unplayed adds no span, wherever it stood.
    for (const Spans& unplayed : {Spans{{0, 0}}, Spans{{50, 50}}, Spans{{0, 5}, {70, 70}}}) {
        auto left = entry(200, unplayed);
        left->finishListening(clock);
        EXPECT_EQ(left->prevTimeRangeSet.ranges, unplayed.size() == 2 ? (Spans{{0, 5}}) : Spans{});
    }
}

TEST_F(ListeningHistory, FinishingSavesAlteredNotesEvenWithoutAListening) {
    auto played = entry(100);
    TextNoteSet& notes = played->noteSet();
    notes.notes.push_back(std::make_shared<TextNote>(65.9, "tempo"));
    notes.altered = true;
    played->finishListening(clock);
    EXPECT_FALSE(notes.altered);
    EXPECT_TRUE(played->playedDates.empty());
    EXPECT_EQ(platform::readTextFile(folder.path + "/1.txt").value(), folder.path + "/1.wav\n 1:05 tempo\n");
}

TEST_F(ListeningHistory, CoveredFractionIsTheUnionWithinZeroAndOne) {
    auto played = entry(120);
    EXPECT_DOUBLE_EQ(played->coveredFraction(*heardSpans({{0, 60}, {30, 90}})), 0.75);
    EXPECT_DOUBLE_EQ(played->coveredFraction(*heardSpans({{0, 500}})), 1.0);
    played->_cachedDuration = 0.001;
    EXPECT_DOUBLE_EQ(played->coveredFraction(*heardSpans({{0, 1}})), 0.0);
    EXPECT_DOUBLE_EQ(
        decodedEntry(folder.url("gone.wav").absoluteString())->coveredFraction(*heardSpans({{0, 30}})), 0.0);
}

TEST_F(ListeningHistory, TimeSinceLastPlayedCountsSecondsAndCalendarDays) {
    testsupport::ScopedTimeZone zone("Europe/Berlin");
    auto played = entry(10);
    clock.set(localDate(2024, 5, 10, 0, 1));
    EXPECT_FALSE(played->secondsSinceLastPlayed(clock));
    EXPECT_FALSE(played->daysSinceLastPlayed(clock));

    played->playedDates = {localDate(2024, 5, 1, 12, 0), localDate(2024, 5, 9, 23, 59)};
    EXPECT_EQ(played->secondsSinceLastPlayed(clock), 120);
    EXPECT_EQ(played->daysSinceLastPlayed(clock), 1);
    clock.set(localDate(2024, 5, 9, 23, 59).addingTimeInterval(59.9));
    EXPECT_EQ(played->secondsSinceLastPlayed(clock), 59);
    EXPECT_EQ(played->daysSinceLastPlayed(clock), 0);

    // Across the spring change the day is 23 hours long: yesterday is still one day ago.
    played->playedDates = {localDate(2024, 3, 30, 23, 30)};
    clock.set(localDate(2024, 3, 31, 23, 0));
    EXPECT_EQ(played->secondsSinceLastPlayed(clock), 22 * 3600 + 1800);
    EXPECT_EQ(played->daysSinceLastPlayed(clock), 1);
    // And across the autumn change a 25-hour day is still one day.
    played->playedDates = {localDate(2024, 10, 27, 0, 30)};
    clock.set(localDate(2024, 10, 28, 23, 30));
    EXPECT_EQ(played->daysSinceLastPlayed(clock), 1);
}

TEST_F(ListeningHistory, FilterTestUsesTagsThenWords) {
    auto tagged = decodedEntry("file:///m/My%20Song.mp3", {{"tags", "ab"}});
    const std::vector<std::string> none;
    const struct {
        std::vector<std::string> words;
        TagSet include, exclude;
        bool matches;
    } cases[] = {
        {none, {}, {"b"}, false},           {{"nomatch"}, {"a"}, {}, true},    {none, {"c"}, {}, false},
        {none, {"a"}, {"b"}, false},        {none, {"a", "b"}, {}, true},      {none, {"a", "c"}, {}, false},
        {{"song"}, {}, {}, true},           {{"my", "", "son"}, {}, {}, true}, {{"mp3"}, {}, {}, false},
        {{"Song"}, {}, {}, false}, // words arrive lower-cased
        {{"song", "other"}, {}, {}, false}, {{"", ""}, {}, {}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tagged->matchesFilter(c.words, c.include, c.exclude), c.matches)
            << ::testing::PrintToString(c.words) << ::testing::PrintToString(c.include);

    auto doubled = decodedEntry("file:///m/Take.m4a.mp3");
    EXPECT_TRUE(doubled->matchesFilter({"take"}, {}, {}));
    EXPECT_FALSE(doubled->matchesFilter({"m4a"}, {}, {}));
    EXPECT_FALSE(doubled->matchesFilter(none, {"a"}, {})); // no tags at all
    auto wide = decodedEntry("file:///m/x.wav", {{"tags", "é★"}});
    EXPECT_TRUE(wide->matchesFilter(none, {"★"}, {}));
    EXPECT_FALSE(wide->matchesFilter(none, {}, {"é"}));
}

TEST_F(ListeningHistory, ZeroMarksKeepTheirSpacingAndLeadForward) {
    auto played = entry(30);
    played->zeros = {4, 7, 12, 20};
    played->addZero(10);
    EXPECT_EQ(played->zeros, (std::vector<double>{4, 10, 20}));
    played->addZero(std::numeric_limits<double>::infinity());
    played->addZero(1);
    EXPECT_EQ(played->zeros, (std::vector<double>{1, 10, 20}));

    EXPECT_DOUBLE_EQ(played->nextZero(10), 10);
    EXPECT_DOUBLE_EQ(played->nextZero(10.1), 20);
    EXPECT_DOUBLE_EQ(played->nextZero(25), 30);
    auto unreadable =
        decodedEntry(folder.url("gone.wav").absoluteString(), {{"zeros", platform::PlistArray{5.0}}});
    EXPECT_DOUBLE_EQ(unreadable->nextZero(6), 0);
    EXPECT_DOUBLE_EQ(unreadable->nextZero(5), 5);
}
