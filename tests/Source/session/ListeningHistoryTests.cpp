#include "Source/session/PlayerServices.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "platform/foundation/TextFile.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/Clocks.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>

using namespace vantle;
using namespace vantle::testing;
using testsupport::localDate;
using testsupport::ScopedTimeZone;

namespace {

std::vector<TimeRange> spans(const TimeRangeSet& set) {
    return set.ranges;
}

std::shared_ptr<PlaylistEntry> listeningEntry(SessionTempFolder& folder, const std::string& name,
                                              double seconds) {
    auto entry = PlaylistEntry::make(writeSilentWav(folder.url(name), seconds));
    EXPECT_TRUE(entry);
    return entry;
}

std::shared_ptr<TimeRangeSet> listeningSet(std::vector<TimeRange> ranges) {
    auto set = std::make_shared<TimeRangeSet>();
    set->ranges = std::move(ranges);
    return set;
}

} // namespace

TEST(ListeningHistory, OpeningASpanFindsOrAddsIt) {
    SessionTempFolder folder;
    auto entry = listeningEntry(folder, "a.wav", 100);
    entry->beginTimeRange(12);
    ASSERT_TRUE(entry->currentTimeRangeSet);
    EXPECT_EQ(spans(*entry->currentTimeRangeSet), (std::vector<TimeRange>{{12, 12}}));
    EXPECT_EQ(entry->cachedTimeRangeIndex, 0u);

    entry->currentTimeRangeSet = listeningSet({{0, 10}, {20, 30}});
    entry->beginTimeRange(10);
    EXPECT_EQ(entry->cachedTimeRangeIndex, 0u);
    EXPECT_EQ(entry->currentTimeRangeSet->ranges.size(), 2u);
    entry->beginTimeRange(15);
    EXPECT_EQ(entry->cachedTimeRangeIndex, 1u);
    EXPECT_EQ(spans(*entry->currentTimeRangeSet), (std::vector<TimeRange>{{0, 10}, {15, 15}, {20, 30}}));

    // A time that is not finite is never stored.
    entry->beginTimeRange(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(entry->currentTimeRangeSet->ranges.size(), 3u);
    EXPECT_EQ(entry->cachedTimeRangeIndex, 1u);
}

TEST(ListeningHistory, PlayerRecordsOnlyInDanceMode) {
    SessionTempFolder folder;
    FakePlayer player;
    recordPlayedRange(player); // no entry: nothing to do
    player.playerEntry = listeningEntry(folder, "a.wav", 100);
    PlaylistEntry& entry = *player.playerEntry;

    player.playerMode = PlayerMode::prepare;
    player.fileTime = 5;
    recordPlayedRange(player);
    EXPECT_FALSE(entry.currentTimeRangeSet);

    player.playerMode = PlayerMode::dance;
    recordPlayedRange(player); // opens (5, 5)
    player.fileTime = 9;
    recordPlayedRange(player); // extends to 9
    player.fileTime = 8;
    recordPlayedRange(player); // went back: inside (5, 9), nothing new
    EXPECT_EQ(spans(*entry.currentTimeRangeSet), (std::vector<TimeRange>{{5, 9}}));
    player.fileTime = 40;
    recordPlayedRange(player); // extends again
    player.fileTime = 2;
    recordPlayedRange(player); // a jump back opens a new span
    player.fileTime = 6;
    recordPlayedRange(player); // and reaches the first one
    EXPECT_EQ(spans(*entry.currentTimeRangeSet), (std::vector<TimeRange>{{2, 40}}));
    EXPECT_EQ(entry.cachedTimeRangeIndex, 0u);
}

TEST(ListeningHistory, FinishingCountsOneCompletedListeningAboveHalf) {
    SessionTempFolder folder;
    platform::FakeClock clock(platform::Date{700000000});
    auto entry = listeningEntry(folder, "a.wav", 100);
    entry->currentTimeRangeSet = listeningSet({{0, 60}});
    entry->finishListening(clock);
    ASSERT_EQ(entry->playedDates.size(), 1u);
    EXPECT_EQ(entry->playedDates[0], clock.now());
    EXPECT_TRUE(entry->hasBeenCompleted);
    EXPECT_EQ(spans(entry->prevTimeRangeSet), (std::vector<TimeRange>{{0, 60}}));
    // Again in the same run: the same spans merge to the same history, and no second date.
    clock.advance(3600);
    entry->finishListening(clock);
    EXPECT_EQ(entry->playedDates.size(), 1u);
    EXPECT_EQ(spans(entry->prevTimeRangeSet), (std::vector<TimeRange>{{0, 60}}));
    // The listening itself is left as it is.
    EXPECT_EQ(spans(*entry->currentTimeRangeSet), (std::vector<TimeRange>{{0, 60}}));

    auto half = listeningEntry(folder, "b.wav", 100);
    half->currentTimeRangeSet = listeningSet({{0, 50}});
    half->finishListening(clock);
    EXPECT_TRUE(half->playedDates.empty());
    EXPECT_FALSE(half->hasBeenCompleted);

    // Overlapping spans count once: 0..30 and 20..45 cover 45 %, not 55 %.
    auto overlapping = listeningEntry(folder, "c.wav", 100);
    overlapping->currentTimeRangeSet = listeningSet({{0, 30}, {20, 45}});
    overlapping->finishListening(clock);
    EXPECT_TRUE(overlapping->playedDates.empty());
}

TEST(ListeningHistory, FinishingMergesTheListeningIntoThePreviousSpans) {
    SessionTempFolder folder;
    platform::FakeClock clock;
    auto entry = listeningEntry(folder, "a.wav", 200);
    entry->prevTimeRangeSet.ranges = {{0, 100}};
    entry->currentTimeRangeSet = listeningSet({{50, 150}});
    entry->finishListening(clock);
    EXPECT_EQ(spans(entry->prevTimeRangeSet), (std::vector<TimeRange>{{0, 150}}));

    auto several = listeningEntry(folder, "b.wav", 200);
    several->prevTimeRangeSet.ranges = {{10, 20}, {100, 110}};
    // Out of order, as a file may hold it.
    several->currentTimeRangeSet = listeningSet({{150, 160}, {0, 5}, {18, 30}});
    several->finishListening(clock);
    EXPECT_EQ(spans(several->prevTimeRangeSet),
              (std::vector<TimeRange>{{0, 5}, {10, 30}, {100, 110}, {150, 160}}));
}

TEST(ListeningHistory, FinishingSavesAlteredNotesEvenWithoutAListening) {
    SessionTempFolder folder;
    auto entry = listeningEntry(folder, "song.wav", 100);
    TextNoteSet& notes = entry->noteSet();
    notes.notes.push_back(std::make_shared<TextNote>(65.9, "tempo"));
    notes.altered = true;
    platform::FakeClock clock;
    entry->finishListening(clock);
    EXPECT_FALSE(notes.altered);
    EXPECT_TRUE(entry->playedDates.empty());
    auto text = platform::readTextFile(folder.path + "/song.txt");
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(*text, folder.path + "/song.wav\n 1:05 tempo\n");
}

TEST(ListeningHistory, CoveredFractionIsTheUnionWithinZeroAndOne) {
    SessionTempFolder folder;
    auto entry = listeningEntry(folder, "a.wav", 120);
    EXPECT_DOUBLE_EQ(entry->coveredFraction(*listeningSet({{0, 30}, {50, 80}})), 0.5);
    EXPECT_DOUBLE_EQ(entry->coveredFraction(*listeningSet({{0, 60}, {30, 90}})), 0.75);
    EXPECT_DOUBLE_EQ(entry->coveredFraction(*listeningSet({{0, 500}})), 1.0);
    EXPECT_DOUBLE_EQ(entry->coveredFraction(TimeRangeSet{}), 0.0);

    entry->_cachedDuration = 0.001;
    EXPECT_DOUBLE_EQ(entry->coveredFraction(*listeningSet({{0, 1}})), 0.0);

    auto missing = PlaylistEntry(platform::KeyedDecoder(platform::PlistDictionary{
        {"_url", folder.url("gone.wav").absoluteString()},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}}));
    EXPECT_DOUBLE_EQ(missing.coveredFraction(*listeningSet({{0, 30}})), 0.0);
}

TEST(ListeningHistory, TimeSinceLastPlayedCountsSecondsAndCalendarDays) {
    ScopedTimeZone zone("Europe/Berlin");
    SessionTempFolder folder;
    auto entry = listeningEntry(folder, "a.wav", 10);
    platform::FakeClock clock(localDate(2024, 5, 10, 0, 1));
    EXPECT_FALSE(entry->secondsSinceLastPlayed(clock));
    EXPECT_FALSE(entry->daysSinceLastPlayed(clock));

    entry->playedDates = {localDate(2024, 5, 1, 12, 0), localDate(2024, 5, 9, 23, 59)};
    EXPECT_EQ(entry->secondsSinceLastPlayed(clock), 120);
    EXPECT_EQ(entry->daysSinceLastPlayed(clock), 1);
    clock.set(localDate(2024, 5, 9, 23, 59).addingTimeInterval(59.9));
    EXPECT_EQ(entry->secondsSinceLastPlayed(clock), 59);
    EXPECT_EQ(entry->daysSinceLastPlayed(clock), 0);

    // Across the spring change the day is 23 hours long: yesterday is still one day ago.
    entry->playedDates = {localDate(2024, 3, 30, 23, 30)};
    clock.set(localDate(2024, 3, 31, 23, 0));
    EXPECT_EQ(entry->secondsSinceLastPlayed(clock), 22 * 3600 + 1800);
    EXPECT_EQ(entry->daysSinceLastPlayed(clock), 1);
    clock.set(localDate(2024, 4, 7, 9, 0));
    EXPECT_EQ(entry->daysSinceLastPlayed(clock), 8);
    // And across the autumn change a 25-hour day is still one day.
    entry->playedDates = {localDate(2024, 10, 27, 0, 30)};
    clock.set(localDate(2024, 10, 28, 23, 30));
    EXPECT_EQ(entry->daysSinceLastPlayed(clock), 1);
}

TEST(ListeningHistory, FilterTestUsesTagsThenWords) {
    auto entry = std::make_shared<PlaylistEntry>(platform::KeyedDecoder(platform::PlistDictionary{
        {"_url", "file:///m/My%20Song.mp3"},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}},
        {"tags", "ab"}}));
    const std::vector<std::string> none;
    EXPECT_FALSE(entry->matchesFilter(none, {}, {"b"}));
    EXPECT_TRUE(entry->matchesFilter({"nomatch"}, {"a"}, {}));
    EXPECT_FALSE(entry->matchesFilter(none, {"c"}, {}));
    EXPECT_FALSE(entry->matchesFilter(none, {"a"}, {"b"}));
    // Several include tags: the entry must carry all of them.
    EXPECT_TRUE(entry->matchesFilter(none, {"a", "b"}, {}));
    EXPECT_FALSE(entry->matchesFilter(none, {"a", "c"}, {}));

    EXPECT_TRUE(entry->matchesFilter({"song"}, {}, {}));
    EXPECT_TRUE(entry->matchesFilter({"my", "", "son"}, {}, {}));
    EXPECT_FALSE(entry->matchesFilter({"mp3"}, {}, {}));
    EXPECT_FALSE(entry->matchesFilter({"Song"}, {}, {})); // words arrive lower-cased
    EXPECT_FALSE(entry->matchesFilter({"song", "other"}, {}, {}));
    EXPECT_TRUE(entry->matchesFilter(none, {}, {}));
    EXPECT_TRUE(entry->matchesFilter({"", ""}, {}, {}));

    auto doubled = std::make_shared<PlaylistEntry>(platform::KeyedDecoder(platform::PlistDictionary{
        {"_url", "file:///m/Take.m4a.mp3"},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}}));
    EXPECT_TRUE(doubled->matchesFilter({"take"}, {}, {}));
    EXPECT_FALSE(doubled->matchesFilter({"m4a"}, {}, {}));
    EXPECT_FALSE(doubled->matchesFilter(none, {"a"}, {})); // no tags at all

    auto wide = std::make_shared<PlaylistEntry>(platform::KeyedDecoder(platform::PlistDictionary{
        {"_url", "file:///m/x.wav"},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}},
        {"tags", "é★"}}));
    EXPECT_TRUE(wide->matchesFilter(none, {"★"}, {}));
    EXPECT_FALSE(wide->matchesFilter(none, {}, {"é"}));
}

TEST(ListeningHistory, ZeroMarksKeepTheirSpacingAndLeadForward) {
    SessionTempFolder folder;
    auto entry = listeningEntry(folder, "a.wav", 30);
    entry->zeros = {4, 7, 12, 20};
    entry->addZero(10);
    EXPECT_EQ(entry->zeros, (std::vector<double>{4, 10, 20}));
    entry->addZero(std::numeric_limits<double>::infinity());
    EXPECT_EQ(entry->zeros, (std::vector<double>{4, 10, 20}));
    entry->addZero(1);
    EXPECT_EQ(entry->zeros, (std::vector<double>{1, 10, 20}));
    entry->zeros.clear();
    entry->addZero(10);
    EXPECT_EQ(entry->zeros, std::vector<double>{10});

    entry->zeros = {4, 10, 20};
    EXPECT_DOUBLE_EQ(entry->nextZero(10), 10);
    EXPECT_DOUBLE_EQ(entry->nextZero(10.1), 20);
    EXPECT_DOUBLE_EQ(entry->nextZero(0), 4);
    EXPECT_DOUBLE_EQ(entry->nextZero(25), 30);
    entry->zeros.clear();
    EXPECT_DOUBLE_EQ(entry->nextZero(5), 30);

    auto unreadable = PlaylistEntry(platform::KeyedDecoder(platform::PlistDictionary{
        {"_url", folder.url("gone.wav").absoluteString()},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}},
        {"zeros", platform::PlistArray{5.0}}}));
    EXPECT_DOUBLE_EQ(unreadable.nextZero(6), 0);
    EXPECT_DOUBLE_EQ(unreadable.nextZero(5), 5);
}
