// The dance table: the usual bands by default, the teacher's changes checked and kept in the user
// defaults, and a song's tags naming its dance.

#include "Source/tempo/DanceTable.h"

#include <gtest/gtest.h>

using namespace vantle;

TEST(DanceTable, StartsWithTheUsualBandsAndNoTargetsOrTags) {
    const DanceTable table;
    for (Dance dance : allDances()) {
        SCOPED_TRACE(std::string(danceKey(dance)));
        EXPECT_EQ(table.settings(dance).band, defaultBand(dance));
        EXPECT_FALSE(table.settings(dance).target);
        EXPECT_TRUE(table.settings(dance).tag.empty());
    }
    EXPECT_EQ(table.settings(Dance::waltz).band, (DanceBand{3, 28, 30}));
    EXPECT_EQ(table.danceForTags("abc\u2605"), Dance::none);
}

TEST(DanceTable, KeepsEachValueThatIsInRangeAndLeavesTheOthers) {
    struct Case {
        const char* what;
        DanceSettings given;
        DanceSettings kept;
    };
    const DanceBand waltz = defaultBand(Dance::waltz);
    const Case cases[] = {
        {"a target and a tag", {waltz, 29.0, "w"}, {waltz, 29.0, "w"}},
        {"another meter and band", {{4, 30, 34}, std::nullopt, ""}, {{4, 30, 34}, std::nullopt, ""}},
        {"a meter of 5", {{5, 28, 30}, std::nullopt, ""}, {waltz, std::nullopt, ""}},
        {"a band upside down", {{3, 31, 29}, std::nullopt, ""}, {waltz, std::nullopt, ""}},
        {"a band beyond the limits", {{3, 1, 500}, std::nullopt, ""}, {waltz, std::nullopt, ""}},
        {"a target of 0", {waltz, 0.0, ""}, {waltz, std::nullopt, ""}},
        {"a tag of two characters", {waltz, std::nullopt, "ab"}, {waltz, std::nullopt, ""}},
        {"a tag of one character in UTF-8", {waltz, std::nullopt, "\u2605"}, {waltz, std::nullopt, "\u2605"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DanceTable table;
        table.set(Dance::waltz, c.given);
        EXPECT_EQ(table.settings(Dance::waltz), c.kept);
        EXPECT_EQ(table.settings(Dance::tango).band, defaultBand(Dance::tango)) << "other rows untouched";
    }
    DanceTable table;
    table.set(Dance::none, {{3, 28, 30}, 29.0, "n"});
    EXPECT_EQ(table, DanceTable()) << "none has no row";
}

TEST(DanceTable, ATagNamesOneDanceAndTheTagsOfASongNameItsDance) {
    DanceTable table;
    table.set(Dance::waltz, {defaultBand(Dance::waltz), std::nullopt, "w"});
    table.set(Dance::tango, {defaultBand(Dance::tango), std::nullopt, "t"});
    EXPECT_EQ(table.danceForTags("t"), Dance::tango);
    EXPECT_EQ(table.danceForTags("\u2605w!"), Dance::waltz);
    EXPECT_EQ(table.danceForTags("tw"), Dance::waltz) << "the first dance in menu order";
    EXPECT_EQ(table.danceForTags("x"), Dance::none);
    // Given to the rumba, the tag leaves the tango.
    table.set(Dance::rumba, {defaultBand(Dance::rumba), std::nullopt, "t"});
    EXPECT_EQ(table.danceForTags("t"), Dance::rumba);
    EXPECT_TRUE(table.settings(Dance::tango).tag.empty());
}

TEST(DanceTable, RoundTripsThroughTheDefaultsAndReadsWhatItCanOfADamagedOne) {
    DanceTable table;
    table.set(Dance::waltz, {defaultBand(Dance::waltz), 29.0, "w"});
    table.set(Dance::squareDance, {{4, 30, 34}, 32.0, ""});
    EXPECT_EQ(DanceTable::decoded(table.encoded()), table);
    EXPECT_EQ(DanceTable().encoded(), platform::PlistValue(platform::PlistDictionary{}))
        << "defaults store nothing";

    platform::PlistDictionary damaged{
        {"waltz", platform::PlistDictionary{{"beatsPerBar", 7}, {"target", 29}, {"tag", "ww"}}},
        {"Cha Cha", platform::PlistDictionary{{"low", 29.0}, {"high", "fast"}}},
        {"hula", platform::PlistDictionary{{"target", 20.0}}},
        {"tango", "not a row"},
    };
    const DanceTable read = DanceTable::decoded(platform::PlistValue(damaged));
    EXPECT_EQ(read.settings(Dance::waltz), (DanceSettings{defaultBand(Dance::waltz), 29.0, ""}));
    EXPECT_EQ(read.settings(Dance::chaCha).band, (DanceBand{4, 29, 32}))
        << "the low end read, the high one kept";
    EXPECT_EQ(read.settings(Dance::tango), DanceTable().settings(Dance::tango));
    EXPECT_EQ(DanceTable::decoded(platform::PlistValue("text")), DanceTable());
}
