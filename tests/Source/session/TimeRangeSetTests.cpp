#include "Source/session/FormatTime.h"
#include "Source/session/TimeRangeSet.h"

#include <gtest/gtest.h>

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
    const struct {
        Spans before;
        TimeRange added;
        std::size_t index;
        Spans after;
    } cases[] = {
        {{}, {5, 5}, 0, {{5, 5}}},
        {{{0, 10}}, {10, 12}, 1, {{0, 10}, {10, 12}}}, // starting at the previous end is not merged
        {{{0, 10}}, {5, 15}, 0, {{0, 15}}},
        {{{0, 10}, {20, 30}}, {15, 25}, 1, {{0, 10}, {15, 30}}},
        // A span that begins inside another and reaches past several later ones absorbs them all.
        {{{0, 10}, {12, 13}, {14, 15}, {40, 50}}, {5, 14.5}, 0, {{0, 15}, {40, 50}}},
        {{{10, 20}}, {0, 10}, 0, {{0, 20}}}, // touching the following span merges it
    };
    for (const auto& c : cases) {
        auto set = rangeSetOf(c.before);
        EXPECT_EQ(set.addRange(c.added.start, c.added.end, 0), c.index) << c.added.start;
        EXPECT_EQ(set.ranges, c.after) << c.added.start;
    }
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
    set.mergeFollowingRanges(99);
    EXPECT_EQ(set.ranges, (Spans{{0, 10}, {12, 20}}));

    auto nested = rangeSetOf({{0, 30}, {5, 10}, {12, 40}, {41, 42}});
    nested.mergeFollowingRanges(0);
    EXPECT_EQ(nested.ranges, (Spans{{0, 40}, {41, 42}}));
}

TEST(TimeRangeSet, ExtendRange) {
    auto set = rangeSetOf({{0, 10}});
    EXPECT_FALSE(set.extendRange(0, 4)); // going back never shortens
    EXPECT_TRUE(set.extendRange(0, 11));
    EXPECT_EQ(set.ranges, (Spans{{0, 11}}));

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
    // A span opened where playback stood and never played is not stored: it covers nothing.
    for (const Spans& spans : {Spans{{0, 0}, {0, 10.5}, {20, 30}}, Spans{{0, 10.5}, {12, 12}, {20, 30}},
                               Spans{{0, 10.5}, {20, 30}, {30, 30}}}) {
        EXPECT_EQ(*platform::encodePlistValue(std::make_shared<TimeRangeSet>(rangeSetOf(spans))), expected);
    }

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

TEST(FormatTime, MinutesSecondsAndFractions) {
    const struct {
        double seconds;
        int decimals, minuteWidth;
        const char* text;
    } cases[] = {
        {75.9, 0, 2, " 1:15"},
        {3725, 0, 2, "62:05"},
        {6000, 0, 2, "100:00"},
        {59.999, 0, 2, " 0:59"},
        {75.9, 3, 2, " 1:15.900"},
        {65.05, 2, 2, " 1:05.05"},
        {65, 1, 4, "   1:05.0"},
        {65, 0, 0, "1:05"},
        {-75.9, 0, 2, "-1:15"},
        {-0.5, 0, 2, " 0:00"},
        {-600, 0, 2, "-10:00"},
        {notANumber, 0, 2, "--:--"},
        {infinity, 3, 2, "--:--"},
        {-1e19, 0, 2, "--:--"},
        {100, 17, 2, "--:--"}, // 100 × 10^17 is beyond a 64-bit count
        {9.2e18, 0, 2, "153333333333333333:20"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatTime(c.seconds, c.decimals, c.minuteWidth), c.text) << c.seconds;
    // Out-of-range arguments are kept in range instead of stopping the program.
    EXPECT_EQ(formatTime(1.5, 40, 2), formatTime(1.5, 17, 2));
    EXPECT_EQ(formatTime(1.5, -3, -9), "0:01");
    EXPECT_EQ(formatTime(1, 0, 1000).size(), 64u + 3u);
}
