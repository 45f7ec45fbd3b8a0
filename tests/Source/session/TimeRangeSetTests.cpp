#include "Source/session/FormatTime.h"
#include "Source/session/TimeRangeSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using vantle::formatTime;
using vantle::TimeRange;
using vantle::TimeRangeSet;

namespace {

TimeRangeSet rangeSetOf(std::vector<TimeRange> ranges) {
    TimeRangeSet set;
    set.ranges = std::move(ranges);
    return set;
}

using Spans = std::vector<TimeRange>;
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(TimeRangeSet, AddRangeInsertsExtendsAndMerges) {
    TimeRangeSet empty;
    EXPECT_EQ(empty.addRange(5, 5, 0), 0u);
    EXPECT_EQ(empty.ranges, (Spans{{5, 5}}));

    auto touching = rangeSetOf({{0, 10}});
    EXPECT_EQ(touching.addRange(10, 12, 0), 1u); // starting at the previous end is not merged
    EXPECT_EQ(touching.ranges, (Spans{{0, 10}, {10, 12}}));

    auto inside = rangeSetOf({{0, 10}});
    EXPECT_EQ(inside.addRange(9, 12, 0), 0u);
    EXPECT_EQ(inside.ranges, (Spans{{0, 12}}));

    auto overlapping = rangeSetOf({{0, 10}});
    EXPECT_EQ(overlapping.addRange(5, 15, 0), 0u);
    EXPECT_EQ(overlapping.ranges, (Spans{{0, 15}}));

    auto after = rangeSetOf({{0, 10}});
    EXPECT_EQ(after.addRange(20, 20, 0), 1u);
    EXPECT_EQ(after.ranges, (Spans{{0, 10}, {20, 20}}));

    auto between = rangeSetOf({{0, 10}, {20, 30}});
    EXPECT_EQ(between.addRange(15, 25, 0), 1u);
    EXPECT_EQ(between.ranges, (Spans{{0, 10}, {15, 30}}));

    // A span that begins inside another and reaches past several later ones absorbs them all.
    auto wide = rangeSetOf({{0, 10}, {12, 13}, {14, 15}, {40, 50}});
    EXPECT_EQ(wide.addRange(5, 14.5, 0), 0u);
    EXPECT_EQ(wide.ranges, (Spans{{0, 15}, {40, 50}}));

    auto first = rangeSetOf({{10, 20}});
    EXPECT_EQ(first.addRange(0, 10, 0), 0u); // touching the following span merges it
    EXPECT_EQ(first.ranges, (Spans{{0, 20}}));
}

TEST(TimeRangeSet, AddRangeHintsAndBadInput) {
    // Merging one set into another passes the index returned for the span before.
    auto merged = rangeSetOf({{0, 100}});
    std::size_t hint = 0;
    for (TimeRange span : Spans{{50, 150}, {160, 170}, {165, 200}}) {
        auto index = merged.addRange(span.start, span.end, hint);
        ASSERT_TRUE(index);
        hint = *index;
    }
    EXPECT_EQ(merged.ranges, (Spans{{0, 150}, {160, 200}}));
    EXPECT_EQ(hint, 1u);

    // A hint past the end counts as the end rather than stopping the program.
    auto hinted = rangeSetOf({{0, 10}});
    EXPECT_EQ(hinted.addRange(20, 30, 7), 1u);
    EXPECT_EQ(hinted.ranges, (Spans{{0, 10}, {20, 30}}));

    // Non-finite times are never stored; an end before the start gives a zero-length span.
    auto guarded = rangeSetOf({{0, 10}});
    EXPECT_FALSE(guarded.addRange(notANumber, 5, 0));
    EXPECT_FALSE(guarded.addRange(20, infinity, 0));
    EXPECT_FALSE(guarded.addRange(-infinity, 0, 0));
    EXPECT_EQ(guarded.ranges, (Spans{{0, 10}}));
    EXPECT_EQ(guarded.addRange(30, 25, 0), 1u);
    EXPECT_EQ(guarded.ranges, (Spans{{0, 10}, {30, 30}}));
}

TEST(TimeRangeSet, MergeFollowingRanges) {
    auto set = rangeSetOf({{0, 10}, {12, 14}, {14, 20}});
    set.mergeFollowingRanges(0);
    EXPECT_EQ(set.ranges, (Spans{{0, 10}, {12, 14}, {14, 20}}));
    set.mergeFollowingRanges(1);
    EXPECT_EQ(set.ranges, (Spans{{0, 10}, {12, 20}}));
    set.mergeFollowingRanges(2);
    set.mergeFollowingRanges(99);
    EXPECT_EQ(set.ranges, (Spans{{0, 10}, {12, 20}}));

    auto nested = rangeSetOf({{0, 30}, {5, 10}, {12, 40}, {41, 42}});
    nested.mergeFollowingRanges(0);
    EXPECT_EQ(nested.ranges, (Spans{{0, 40}, {41, 42}}));
}

TEST(TimeRangeSet, ExtendRange) {
    auto set = rangeSetOf({{0, 10}});
    EXPECT_FALSE(set.extendRange(0, 10));
    EXPECT_FALSE(set.extendRange(0, 4)); // going back never shortens
    EXPECT_EQ(set.ranges, (Spans{{0, 10}}));
    EXPECT_TRUE(set.extendRange(0, 11));
    EXPECT_EQ(set.ranges, (Spans{{0, 11}}));

    auto reaching = rangeSetOf({{0, 10}, {11, 30}});
    EXPECT_TRUE(reaching.extendRange(0, 11));
    EXPECT_EQ(reaching.ranges, (Spans{{0, 30}}));

    // Every span the new end reaches is absorbed, not just the next one, so spans never overlap.
    auto jumping = rangeSetOf({{0, 10}, {12, 13}, {14, 15}});
    EXPECT_TRUE(jumping.extendRange(0, 14.5));
    EXPECT_EQ(jumping.ranges, (Spans{{0, 15}}));

    auto three = rangeSetOf({{0, 1}, {2, 3}, {4, 5}});
    EXPECT_FALSE(three.extendRange(3, 100));
    EXPECT_FALSE(three.extendRange(1, notANumber));
    EXPECT_FALSE(three.extendRange(1, infinity));
    EXPECT_EQ(three.ranges, (Spans{{0, 1}, {2, 3}, {4, 5}}));
}

TEST(TimeRangeSet, CoveredDurationIsTheUnion) {
    EXPECT_EQ(TimeRangeSet().coveredDuration(), 0);
    EXPECT_EQ(rangeSetOf({{0, 30}, {50, 80}}).coveredDuration(), 60);
    // Overlaps and disorder as a decoded file may hold them are counted once.
    EXPECT_EQ(rangeSetOf({{50, 80}, {0, 30}, {10, 20}, {25, 55}, {7, 7}}).coveredDuration(), 80);
    EXPECT_EQ(rangeSetOf({{10, 5}}).coveredDuration(), 0);
}

TEST(TimeRangeSet, Coding) {
    auto set = std::make_shared<TimeRangeSet>(rangeSetOf({{0, 10.5}, {20, 30}}));
    auto tree = platform::encodePlistValue(set);
    ASSERT_TRUE(tree);
    using platform::PlistDictionary;
    using platform::PlistValue;
    const PlistValue expected =
        PlistDictionary{{"ranges", PlistValue::Array{PlistDictionary{{"start", 0.0}, {"end", 10.5}},
                                                     PlistDictionary{{"start", 20.0}, {"end", 30.0}}}}};
    EXPECT_EQ(*tree, expected);
    ASSERT_EQ(tree->find("ranges")->at(0)->asDictionary()->entries().front().first, "start");

    auto bytes = platform::encodePlist(set);
    ASSERT_TRUE(bytes);
    auto back = platform::decodePlist<std::shared_ptr<TimeRangeSet>>(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)->ranges, set->ranges);

    // Stored order and overlaps are kept; integers read as seconds.
    auto stored = platform::decodePlistValue<TimeRangeSet>(
        PlistDictionary{{"ranges", PlistValue::Array{PlistDictionary{{"start", 20}, {"end", 30}},
                                                     PlistDictionary{{"start", 0}, {"end", 25}}}}});
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->ranges, (Spans{{20, 30}, {0, 25}}));

    // Missing keys fail; non-finite spans are dropped, the rest kept.
    EXPECT_FALSE(platform::decodePlistValue<TimeRangeSet>(PlistDictionary{}));
    EXPECT_FALSE(platform::decodePlistValue<TimeRangeSet>(
        PlistDictionary{{"ranges", PlistValue::Array{PlistDictionary{{"start", 1.0}}}}}));
    EXPECT_FALSE(platform::decodePlistValue<TimeRangeSet>(
        PlistDictionary{{"ranges", PlistValue::Array{PlistDictionary{{"start", 1.0}, {"end", "2"}}}}}));
    auto withNan = platform::decodePlistValue<TimeRangeSet>(
        PlistDictionary{{"ranges", PlistValue::Array{PlistDictionary{{"start", notANumber}, {"end", 2.0}},
                                                     PlistDictionary{{"start", 3.0}, {"end", infinity}},
                                                     PlistDictionary{{"start", 4.0}, {"end", 5.0}}}}});
    ASSERT_TRUE(withNan);
    EXPECT_EQ(withNan->ranges, (Spans{{4, 5}}));
}

TEST(FormatTime, MinutesAndSeconds) {
    EXPECT_EQ(formatTime(0, 0, 2), " 0:00");
    EXPECT_EQ(formatTime(75.9, 0, 2), " 1:15");
    EXPECT_EQ(formatTime(600, 0, 2), "10:00");
    EXPECT_EQ(formatTime(3725, 0, 2), "62:05");
    EXPECT_EQ(formatTime(6000), "100:00");
    EXPECT_EQ(formatTime(59.999, 0, 2), " 0:59");
    EXPECT_EQ(formatTime(0.5, 0, 2), " 0:00");
    EXPECT_EQ(formatTime(75.9, 3, 2), " 1:15.900");
    EXPECT_EQ(formatTime(65.05, 2, 2), " 1:05.05");
    EXPECT_EQ(formatTime(65, 1, 4), "   1:05.0");
    EXPECT_EQ(formatTime(65, 0, 0), "1:05");
}

TEST(FormatTime, NegativeNonFiniteAndHugeTimes) {
    EXPECT_EQ(formatTime(-75.9), "-1:15");
    EXPECT_EQ(formatTime(-5), "-0:05");
    EXPECT_EQ(formatTime(-0.5), " 0:00");
    EXPECT_EQ(formatTime(-600), "-10:00");
    EXPECT_EQ(formatTime(notANumber), "--:--");
    EXPECT_EQ(formatTime(infinity, 3, 2), "--:--");
    EXPECT_EQ(formatTime(-infinity), "--:--");
    EXPECT_EQ(formatTime(1e300), "--:--");
    EXPECT_EQ(formatTime(-1e19), "--:--");
    EXPECT_EQ(formatTime(100, 17, 2), "--:--"); // 100 × 10^17 is beyond a 64-bit count
    EXPECT_EQ(formatTime(9.2e18), "153333333333333333:20");
    // Out-of-range arguments are kept in range instead of stopping the program.
    EXPECT_EQ(formatTime(1.5, 40, 2), formatTime(1.5, 17, 2));
    EXPECT_EQ(formatTime(1.5, -3, -9), "0:01");
    EXPECT_EQ(formatTime(1, 0, 1000).size(), 64u + 3u);
}
