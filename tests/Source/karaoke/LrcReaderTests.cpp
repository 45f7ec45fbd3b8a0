#include "Source/karaoke/LyricsFile.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using vantle::LyricLine;
using vantle::Lyrics;
using vantle::parseLrc;

namespace {

struct Timed {
    double time;
    std::string text;
};

// The timed lines as (time, text), times to the microsecond so that a table can name them.
std::vector<Timed> timedLines(const Lyrics& lyrics) {
    std::vector<Timed> lines;
    for (const LyricLine& line : lyrics.lines)
        lines.push_back({std::round(line.time.value_or(-1) * 1e6) / 1e6, line.text});
    return lines;
}

bool operator==(const Timed& a, const Timed& b) {
    return a.time == b.time && a.text == b.text;
}

void PrintTo(const Timed& line, std::ostream* out) {
    *out << "(" << line.time << ", \"" << line.text << "\")";
}

} // namespace

// Every time form people write, one file each: what it reads as, in time order.
TEST(LrcReader, TimeFormsAndLineShapes) {
    const struct {
        const char* name;
        std::string file;
        std::vector<Timed> lines;
    } rows[] = {
        {"minutes and seconds", "[1:02]Line", {{62, "Line"}}},
        {"tenths", "[01:02.5]Line", {{62.5, "Line"}}},
        {"hundredths", "[01:02.25]Line", {{62.25, "Line"}}},
        {"thousandths", "[01:02.125]Line", {{62.125, "Line"}}},
        {"hundredths after a colon", "[01:02:25]Line", {{62.25, "Line"}}},
        {"long minutes", "[100:07.00]Late", {{6007, "Late"}}},
        {"a blank after the tag", "[00:01.00] Spaced  ", {{1, "Spaced"}}},
        {"a chorus sung three times",
         "[00:10.00][00:30.00] [00:50.00]Chorus",
         {{10, "Chorus"}, {30, "Chorus"}, {50, "Chorus"}}},
        {"lines out of order, sorted and stable",
         "[00:20.00]B\n[00:05.00]A\n[00:20.00]C",
         {{5, "A"}, {20, "B"}, {20, "C"}}},
        {"a timed empty line is a break",
         "[00:01.00]Sung\n[00:04.00]\n[00:20.00]Again",
         {{1, "Sung"}, {4, ""}, {20, "Again"}}},
        {"a positive offset shows lines earlier", "[offset:+500]\n[00:10.00]A", {{9.5, "A"}}},
        {"a negative offset later, after the lines too", "[00:10.00]A\n[offset:-250]", {{10.25, "A"}}},
        {"CRLF line ends", "[00:01.00]A\r\n[00:02.00]B\r\n", {{1, "A"}, {2, "B"}}},
        {"a text in brackets stays text", "[00:01.00][Chorus]", {{1, "[Chorus]"}}},
        {"bad lines skipped, never the file",
         "[00:01.00]Good\n[01:75.00]Bad seconds\n[-00:01.00]Negative\n[ti:T] trailing\n[00:1.00]One "
         "digit\n[00:02.]No fraction\n[00:03.00]Also good",
         {{1, "Good"}, {3, "Also good"}}},
    };
    for (const auto& row : rows) {
        const std::optional<Lyrics> lyrics = parseLrc(row.file);
        ASSERT_TRUE(lyrics) << row.name;
        EXPECT_EQ(timedLines(*lyrics), row.lines) << row.name;
    }
}

TEST(LrcReader, TagsWordsAndUntimedLines) {
    const auto lyrics = parseLrc("[ti:Night Song]\n[ar:Someone]\n[al:Album]\n[by:Me]\n[length:3:20]\n"
                                 "[offset:1000]\n[re:Editor 1.0]\n[TI:Upper]\n"
                                 "Untimed first\n\n"
                                 "[00:02.00]<00:02.00>When <00:02.40>the <00:03.00>night <00:03.50>\n"
                                 "[00:05.00]Before <00:05.50>words\n"
                                 "  Untimed second  \n");
    ASSERT_TRUE(lyrics);
    EXPECT_EQ(lyrics->source, Lyrics::Source::lrc);
    const std::map<std::string, std::string> tags = {
        {"ti", "Upper"},    {"ar", "Someone"},  {"al", "Album"},     {"by", "Me"},
        {"length", "3:20"}, {"offset", "1000"}, {"re", "Editor 1.0"}};
    EXPECT_EQ(lyrics->tags, tags);
    ASSERT_EQ(lyrics->untimed.size(), 2u);
    EXPECT_EQ(lyrics->untimed[0].text, "Untimed first");
    EXPECT_EQ(lyrics->untimed[1].text, "Untimed second");

    ASSERT_EQ(lyrics->lines.size(), 2u);
    const LyricLine& words = lyrics->lines[0];
    EXPECT_EQ(words.time, 1.0); // the offset moves the words with their line
    EXPECT_EQ(words.text, "When the night");
    ASSERT_EQ(words.words.size(), 3u);
    EXPECT_EQ(words.words[0].text, "When ");
    EXPECT_DOUBLE_EQ(words.words[1].start, 1.4);
    EXPECT_EQ(words.words[2].text, "night");
    EXPECT_EQ(words.wordsEnd, 2.5);
    const LyricLine& prefixed = lyrics->lines[1];
    EXPECT_EQ(prefixed.text, "Before words");
    ASSERT_EQ(prefixed.words.size(), 1u);
    EXPECT_EQ(prefixed.words[0].text, "words");
    EXPECT_FALSE(prefixed.wordsEnd);
}

TEST(LrcReader, RepeatedLineCarriesItsWordTimes) {
    const auto lyrics = parseLrc("[00:10.00][00:40.00]<00:10.00>La <00:11.00>la<00:12.00>");
    ASSERT_TRUE(lyrics);
    ASSERT_EQ(lyrics->lines.size(), 2u);
    EXPECT_EQ(lyrics->lines[1].words[1].start, 41.0);
    EXPECT_EQ(lyrics->lines[1].wordsEnd, 42.0);
}

TEST(LrcReader, Encodings) {
    const std::string line = "[00:01.00]Caf\xC3\xA9 \xE2\x80\x9C"
                             "du\xE2\x80\x9D"; // Café "du"
    const auto utf16 = [](const std::u16string& text, bool big) {
        std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t unit : text) {
            const char high = char(unit >> 8), low = char(unit & 0xFF);
            bytes += big ? high : low;
            bytes += big ? low : high;
        }
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
        std::string text;
    } rows[] = {
        {"UTF-8", line,
         "Caf\xC3\xA9 \xE2\x80\x9C"
         "du\xE2\x80\x9D"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + line,
         "Caf\xC3\xA9 \xE2\x80\x9C"
         "du\xE2\x80\x9D"},
        {"UTF-16 little-endian", utf16(u"[00:01.00]Caf\u00E9 \u201Cdu\u201D\r\n", false),
         "Caf\xC3\xA9 \xE2\x80\x9C"
         "du\xE2\x80\x9D"},
        {"UTF-16 big-endian", utf16(u"[00:01.00]Caf\u00E9 \u201Cdu\u201D", true),
         "Caf\xC3\xA9 \xE2\x80\x9C"
         "du\xE2\x80\x9D"},
        // Not UTF-8: every byte a character, the quotes of Windows-1252 included.
        {"Latin-1",
         "[00:01.00]Caf\xE9 \x93"
         "du\x94",
         "Caf\xC3\xA9 \xE2\x80\x9C"
         "du\xE2\x80\x9D"},
        {"an unpaired surrogate", utf16(u"[00:01.00]A\xD800", false), "A\xEF\xBF\xBD"},
    };
    for (const auto& row : rows) {
        const auto lyrics = parseLrc(row.bytes);
        ASSERT_TRUE(lyrics) << row.name;
        ASSERT_EQ(lyrics->lines.size(), 1u) << row.name;
        EXPECT_EQ(lyrics->lines[0].text, row.text) << row.name;
    }
}

// Each time of a line is a copy of it: a small file of one long line with hundreds of times would
// otherwise take many times the memory of the whole file.
TEST(LrcReader, RepeatsOfALineAreHeldWithinABound) {
    std::string bytes;
    for (int second = 0; second < 400; ++second)
        bytes += "[" + std::to_string(second / 60) + ":" + (second % 60 < 10 ? "0" : "") +
                 std::to_string(second % 60) + "]";
    bytes += std::string(200 << 10, 'a');
    ASSERT_LE(bytes.size(), vantle::largestLyricsFileSize);
    const auto lyrics = parseLrc(bytes);
    ASSERT_TRUE(lyrics);
    std::uint64_t held = 0;
    for (const LyricLine& line : lyrics->lines)
        held += sizeof(LyricLine) + line.text.size();
    EXPECT_LE(held, vantle::largestLyricsHeld);
    EXPECT_TRUE(lyrics->shortened);
    // What is kept is the file's first times, in order.
    ASSERT_FALSE(lyrics->lines.empty());
    EXPECT_EQ(lyrics->lines.front().time, 0.0);
    EXPECT_EQ(lyrics->lines.back().time, double(lyrics->lines.size() - 1));
    EXPECT_FALSE(parseLrc("[00:01.00][00:02.00]La\n")->shortened);
}

// Angle brackets that open no word time are text: a line of them is read in one pass, not in one pass
// for each bracket.
TEST(LrcReader, BracketsThatOpenNoWordTimeAreReadInOnePass) {
    for (const std::string& tail : {std::string(16 << 20, '<'), std::string(16 << 20, '<') + ">"}) {
        auto bytes = std::make_shared<const std::string>("[00:01.00]" + tail);
        auto lyrics = std::make_shared<std::optional<Lyrics>>();
        ASSERT_TRUE(testsupport::finishesWithin([bytes, lyrics] { *lyrics = parseLrc(*bytes); }));
        ASSERT_TRUE(*lyrics);
        ASSERT_EQ((*lyrics)->lines.size(), 1u);
        EXPECT_EQ((*lyrics)->lines[0].text, tail);
        EXPECT_TRUE((*lyrics)->lines[0].words.empty());
    }
}

TEST(LrcReader, NothingToReadIsNoLyrics) {
    for (const std::string bytes : {"", "\n\n  \r\n", "\xEF\xBB\xBF", "[01:99.00]bad\n"})
        EXPECT_FALSE(parseLrc(bytes)) << bytes;
}
