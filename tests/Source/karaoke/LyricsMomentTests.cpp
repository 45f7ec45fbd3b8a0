#include "Source/karaoke/Lyrics.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using vantle::LyricLine;
using vantle::Lyrics;
using vantle::LyricsMoment;
using vantle::lyricsMomentAt;

namespace {

LyricLine line(double time, std::string text) {
    return {time, std::move(text), {}, {}};
}

// A song of the shapes the panel meets: a plain line, a break, a line of two-byte characters, a line
// with word times that ends before the next line starts, and a last line.
Lyrics song() {
    Lyrics lyrics;
    lyrics.source = Lyrics::Source::lrc;
    lyrics.lines = {line(5, "Hello world"),
                    line(15, ""),
                    line(30, "\xC3\xA9\xC3\xA9\xC3\xA9"),
                    {32.0, "One two", {{32.0, "One "}, {33.0, "two"}}, 34.0},
                    line(40, "Last")};
    return lyrics;
}

} // namespace

TEST(LyricsLookups, LineAtAndLineJumps) {
    const Lyrics lyrics = song();
    const std::pair<double, int> lineAt[] = {{-1, -1}, {4.99, -1}, {5, 0},  {14.999, 0},
                                             {15, 1},  {29.99, 1}, {30, 2}, {1000, 4}};
    for (const auto& [t, index] : lineAt)
        EXPECT_EQ(lyrics.lineAt(t), index) << t;

    // A break's blank line is skipped by both jumps; with nowhere to go there is no time, never 0.
    const std::pair<double, std::optional<double>> next[] = {
        {0, 5}, {5, 30}, {20, 30}, {39.9, 40}, {40, std::nullopt}};
    for (const auto& [t, time] : next)
        EXPECT_EQ(lyrics.nextLineTime(t), time) << t;
    const std::pair<double, std::optional<double>> previous[] = {{0, 5},  {6, 5},   {20, 5},
                                                                 {31, 5}, {33, 30}, {41, 32}};
    for (const auto& [t, time] : previous)
        EXPECT_EQ(lyrics.previousLineTime(t), time) << t;

    const Lyrics none;
    EXPECT_EQ(none.lineAt(3), -1);
    EXPECT_EQ(none.nextLineTime(3), std::nullopt);
    EXPECT_EQ(none.previousLineTime(3), std::nullopt);
}

// The lit position at exact heard times: what the clock says is what is lit.
TEST(LyricsLookups, LitPositionAtHeardTimes) {
    const Lyrics lyrics = song();
    const struct {
        double t;
        int line;
        double fraction;
        int bytes;
    } rows[] = {
        {4.0, -1, 0.0, 0},     {5.0, 0, 0.0, 0},
        {10.0, 0, 0.5, 5},                        // halfway to the next line: 5.5 of 11 characters
        {14.0, 0, 0.9, 9},     {15.0, 1, 0.0, 0}, // the break
        {31.0, 2, 0.5, 2},                        // one and a half of three two-byte characters: one whole
        {32.5, 3, 2.0 / 7, 2},                    // half of "One "
        {33.5, 3, 5.5 / 7, 5},                    // "One " and half of "two"
        {34.5, 3, 1.0, 7},                        // the words ended before the next line
        {42.5, 4, 0.5, 2},                        // a last line is sung over five seconds
        {45.0, 4, 1.0, 4},     {100.0, 4, 1.0, 4},
    };
    for (const auto& row : rows) {
        const LyricsMoment moment = lyricsMomentAt(lyrics, row.t);
        EXPECT_EQ(moment.line, row.line) << row.t;
        EXPECT_DOUBLE_EQ(moment.litFraction, row.fraction) << row.t;
        EXPECT_EQ(moment.litBytes, row.bytes) << row.t;
    }
}

TEST(LyricsLookups, LitBytesKeepMarksWithTheirCharacter) {
    Lyrics lyrics;
    lyrics.lines = {line(0, "e\xCC\x81x"), line(10, "next")}; // e, a combining acute, x
    EXPECT_EQ(lyricsMomentAt(lyrics, 5.0).litBytes, 3);
    EXPECT_EQ(lyricsMomentAt(lyrics, 4.9).litBytes, 0);
}

TEST(LyricsLookups, CountdownBeforeFirstLineAndAfterLongBreaks) {
    const struct {
        const char* name;
        std::vector<LyricLine> lines;
        double t;
        int dots;
    } rows[] = {
        {"three seconds before the first line", {line(5, "A")}, 2.0, 3},
        {"two and a half", {line(5, "A")}, 2.5, 3},
        {"two", {line(5, "A")}, 3.0, 2},
        {"a half", {line(5, "A")}, 4.5, 1},
        {"more than three", {line(5, "A")}, 1.9, 0},
        {"the line itself", {line(5, "A")}, 5.0, 0},
        {"the first sung line after a blank", {line(1, ""), line(5, "A")}, 2.5, 3},
        {"after a blank line 15 s before", song().lines, 27.0, 3},
        {"a second before, after a blank", song().lines, 29.5, 1},
        {"a gap of ten seconds", {line(5, "A"), line(15, "B")}, 13.0, 2},
        {"a gap under ten seconds", {line(5, "A"), line(14, "B")}, 12.0, 0},
        // The words of the line before ended at 34: six seconds before the next is no break.
        {"after words that ended late", song().lines, 38.0, 0},
        {"after words that ended early", {{1.0, "Ah", {{1.0, "Ah"}}, 2.0}, line(12.5, "B")}, 10.0, 3},
        // Without an end, the last word's start is as late as its singing is known to go.
        {"after a last word started late",
         {{1.0, "Oh ah", {{5.0, "ah"}}, std::nullopt}, line(12.0, "B")},
         10.0,
         0},
    };
    for (const auto& row : rows) {
        Lyrics lyrics;
        lyrics.lines = row.lines;
        EXPECT_EQ(lyricsMomentAt(lyrics, row.t).countdownDots, row.dots) << row.name;
    }
}
