#include "platform/foundation/Text.h"

#include <gtest/gtest.h>
#include <thread>

using namespace platform;

using Groups = std::vector<std::vector<std::string>>;

TEST(Text, CaptureGroups) {
    EXPECT_EQ(captureGroups(R"((\d+):(\d\d)\s*)", "intro 2:00 solo"), (Groups{{"2:00 ", "2", "00"}}));
    EXPECT_EQ(captureGroups(R"((\d+):(\d\d)\s*)", "12:30  chorus 1:05 intro"),
              (Groups{{"12:30  ", "12", "30"}, {"1:05 ", "1", "05"}}));
    EXPECT_EQ(captureGroups(R"((\d+):(\d\d)\s*)", "2:3 text"), Groups{});
    // An optional group that took no part gives an empty text.
    EXPECT_EQ(captureGroups("(a)|(b)", "ba"), (Groups{{"b", "", "b"}, {"a", "a", ""}}));
    // Greedy: from the first opening to the last closing parenthesis.
    EXPECT_EQ(captureGroups(R"(\((.*)\))", "a (b) c (d).mov"), (Groups{{"(b) c (d)", "b) c (d"}}));
    EXPECT_EQ(captureGroups(R"(\((.*)\))", "intro().pdf"), (Groups{{"()", ""}}));
    // The dot matches any separator; an hours field is skipped over by the leftmost match.
    const char* cue = R"((\d+):(\d\d).(\d+)\s*\-\-\>)";
    EXPECT_EQ(captureGroups(cue, "1:02,500 --> 1:05.000"), (Groups{{"1:02,500 -->", "1", "02", "500"}}));
    EXPECT_EQ(captureGroups(cue, "01:02:03.456 -->"), (Groups{{"02:03.456 -->", "02", "03", "456"}}));

    for (const char* bad : {"(", "[a-", "*", "\\", "(?<", "a{2,1}"})
        EXPECT_EQ(captureGroups(bad, "a(b"), Groups{});
    // Empty matches advance instead of looping.
    EXPECT_EQ(captureGroups("x*", "ab").size(), 3u);
}

TEST(Text, MatchPositionsAreByteOffsets) {
    std::string line = "Caf\xC3\xA9 \xF0\x9F\x8E\xB5 1:05  tempo";
    auto match = firstMatch(R"((\d+):(\d\d)\s*)", line);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->groups[0].begin, 11u);
    EXPECT_EQ(line.substr(match->groups[0].end), "tempo");
    EXPECT_EQ(match->groups[2].text, "05");

    auto optional = firstMatch("(x)?y", "zy");
    ASSERT_TRUE(optional);
    EXPECT_FALSE(optional->groups[1].matched());
    EXPECT_EQ(optional->groups[0].begin, 1u);

    // Ill-formed bytes are matched as U+FFFD and keep their place.
    std::string broken = "\xFF\xE2\x82 9:59 x";
    auto inBroken = firstMatch(R"(\d+:\d\d)", broken);
    ASSERT_TRUE(inBroken);
    EXPECT_EQ(inBroken->groups[0].begin, 4u);
    EXPECT_EQ(inBroken->groups[0].text, "9:59");
    EXPECT_EQ(regexMatches(".", broken).size(), 9u);

    EXPECT_FALSE(firstMatch("q", "abc"));
    EXPECT_FALSE(firstMatch("(", "abc"));
}

TEST(Text, PatternsAreSharedSafelyBetweenThreads) {
    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &found] {
            for (int i = 0; i < 200; ++i) {
                std::string pattern = "(\\d+):(\\d\\d)" + std::string(i % 3, ' ');
                found[t] += static_cast<int>(captureGroups(pattern, "0:01   1:02   ").size());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int count : found)
        EXPECT_EQ(count, 400);
}

TEST(Text, CaseMapping) {
    EXPECT_EQ(lowercased("\u00C9COLE"), "\u00E9cole");
    EXPECT_EQ(lowercased("\xCE\xA3\xCE\x91\xCE\xA3"), "\xCF\x83\xCE\xB1\xCF\x82"); // ΣΑΣ → σας
    EXPECT_EQ(lowercased("My Song.MP3"), "my song.mp3");
    EXPECT_EQ(lowercased("\xC4\xB0"), "i\xCC\x87"); // İ, root locale
    EXPECT_EQ(uppercased("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(lowercased(""), "");

    EXPECT_TRUE(localizedCaseInsensitiveContains("My Song.MP3", "song"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("Stra\u00DFe", "STRASSE"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("Cafe\xCC\x81 Noir", "CAF\xC3\x89")); // decomposed é
    EXPECT_FALSE(localizedCaseInsensitiveContains("Caf\xC3\xA9", "cafe"));
    EXPECT_FALSE(localizedCaseInsensitiveContains("abc", ""));
    EXPECT_FALSE(localizedCaseInsensitiveContains("abc", "abcd"));
}

TEST(Text, TrimmingAndLineSplitting) {
    EXPECT_EQ(trimmingWhitespace(" \t\n\xC2\xA0\xE2\x80\xA8 hi  there \r\n\xE3\x80\x80"), "hi  there");
    EXPECT_EQ(trimmingWhitespace(" \n\t "), "");
    EXPECT_EQ(trimmingWhitespace(""), "");
    EXPECT_EQ(trimmingWhitespace("\xC3\xA9"), "\xC3\xA9");
    EXPECT_EQ(trimmingWhitespace(" \xFF \xE2\x80 "), "\xFF \xE2\x80");

    using Lines = std::vector<std::string>;
    EXPECT_EQ(splittingAtControlCharacters("a\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splittingAtControlCharacters("path\n 1:05 x\ty\n"), (Lines{"path", " 1:05 x", "y", ""}));
    EXPECT_EQ(splittingAtControlCharacters(""), (Lines{""}));
    // C1 controls and format characters (zero-width space, soft hyphen) end lines too.
    EXPECT_EQ(splittingAtControlCharacters("a\u0085b\u200Bc\u00ADd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(splittingAtControlCharacters("caf\xC3\xA9 \xFF"), (Lines{"caf\xC3\xA9 \xFF"}));
}

TEST(Text, Utf8Validity) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("Gr\u00FC\u00DFe \U0001D11E"));
    for (const char* bad :
         {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xFE"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    EXPECT_EQ(replacingInvalidUtf8("a\377b\342\202"), "a\uFFFDb\uFFFD"); // a stray byte, a cut sequence
    EXPECT_EQ(replacingInvalidUtf8("\xC3\xA9"), "\xC3\xA9");
}

// What a file name may hold, as it is shown on one line: every control character, the line and paragraph
// separators and (printed) every ill-formed byte say what they are, and nothing else changes.
TEST(Text, OneLineEscapes) {
    struct Case {
        const char* text;
        const char* shown;   // escapingControlCharacters
        const char* printed; // printableLine
    };
    const Case cases[] = {
        {"plain song.mp3", "plain song.mp3", "plain song.mp3"},
        {"", "", ""},
        {"two\nlines.wav", "two\\nlines.wav", "two\\nlines.wav"},
        {"tab\there\r\n", "tab\\there\\r\\n", "tab\\there\\r\\n"},
        {"nul\x01"
         "bell\x07"
         "esc\x1B[2J",
         "nul\\u0001bell\\u0007esc\\u001B[2J", "nul\\u0001bell\\u0007esc\\u001B[2J"},
        {"del\x7F!", "del\\u007F!", "del\\u007F!"},
        // C1 controls (NEL, CSI) and the Unicode line and paragraph separators.
        {"nel\u0085csi\u009B", "nel\\u0085csi\\u009B", "nel\\u0085csi\\u009B"},
        {"a\u2028b\u2029c", "a\\u2028b\\u2029c", "a\\u2028b\\u2029c"},
        // The bidirectional embeddings, overrides and isolates, which show the text after them in another
        // order ("rlo\u202Eevil.wav" would read "rlovaw.live").
        {"rlo\u202Eevil.wav", "rlo\\u202Eevil.wav", "rlo\\u202Eevil.wav"},
        {"\u202A\u202B\u202C\u202D", "\\u202A\\u202B\\u202C\\u202D", "\\u202A\\u202B\\u202C\\u202D"},
        {"\u2066\u2067\u2068\u2069", "\\u2066\\u2067\\u2068\\u2069", "\\u2066\\u2067\\u2068\\u2069"},
        // Letters, marks, symbols and other format characters stay, the neighbours of those ranges too.
        {"D\u00E9j\u00E0 \u266B \u200B\U0001D11E", "D\u00E9j\u00E0 \u266B \u200B\U0001D11E",
         "D\u00E9j\u00E0 \u266B \u200B\U0001D11E"},
        {"\u2029x\u202F\u2065\u206A", "\\u2029x\u202F\u2065\u206A", "\\u2029x\u202F\u2065\u206A"},
        // A name in another encoding: a widget shows the bytes as U+FFFD, a printed line spells them out.
        {"caf\xE9\n", "caf\xE9\\n", "caf\\xE9\\n"},
        {"\x9B"
         "2J",
         "\x9B"
         "2J",
         "\\x9B"
         "2J"},
        // A backslash is not doubled: an escaped name reads as its own bytes would.
        {"back\\slash", "back\\slash", "back\\slash"},
    };
    const char* const escaped = "[\\p{Cc}\\u2028\\u2029\\u202A-\\u202E\\u2066-\\u2069]";
    for (const Case& c : cases) {
        EXPECT_EQ(escapingControlCharacters(c.text), c.shown) << c.text;
        EXPECT_EQ(printableLine(c.text), c.printed) << c.text;
        EXPECT_TRUE(isValidUtf8(printableLine(c.text))) << c.text;
        EXPECT_TRUE(regexMatches(escaped, printableLine(c.text)).empty()) << c.text;
    }
}

// A search that retries a long run at every start position gives up on it rather than stalling the
// program; the same search written to run in linear time finds its match in the same text, and
// short texts backtrack as much as they need.
TEST(TextSearchBound, BacktrackingIsBoundedByTheTextsLength) {
    const std::string longRun = std::string(100000, '7') + " 1:00 late";
    EXPECT_FALSE(firstMatch(R"((\d+):(\d\d))", longRun));
    const auto linear = firstMatch(R"((?<!\d)(\d++):(\d\d))", longRun);
    ASSERT_TRUE(linear);
    EXPECT_EQ(linear->groups[0].text, "1:00");

    const auto shortRun = firstMatch(R"((\d+):(\d\d))", std::string(400, '7') + " 1:00");
    ASSERT_TRUE(shortRun);
    EXPECT_EQ(shortRun->groups[0].text, "1:00");
}
