#include "Source/session/TextNoteSet.h"
#include "Source/session/Transcription.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using platform::Url;
using vantle::TextNote;
using vantle::Transcription;

namespace {

struct TranscriptionFolder : testsupport::TemporaryFolder {
    // Writes the transcription file of `name`.mp3 and reads it.
    std::unique_ptr<Transcription> read(const std::string& name, std::string_view bytes) const {
        EXPECT_TRUE(platform::writeFileAtomically(path + "/" + name + ".t.txt", bytes));
        return std::make_unique<Transcription>(Url::fileURLWithPath(path + "/" + name + ".mp3", false));
    }
};

// A header of three lines, then groups of text, timing and a blank line.
const std::string threeCues = "WEBVTT\n\n\n"
                              "\n0:00.000 --> 0:04.000\n\n"
                              "First words\n0:04.000 --> 0:09.500\n\n"
                              "Second words\n0:09.500 --> 0:15.000\n\n";

double cueTime(std::string_view timing) {
    auto cue = TextNote::fromCue("t", timing);
    return cue ? cue->time() : -1;
}

} // namespace

TEST(Transcription, CueLines) {
    const std::pair<std::string_view, double> cues[] = {
        {"1:02,500 --> 1:05,000", 62.5},
        {"0:59.999 --> 1:00.000", double(59.999f)}, // seconds are read as a float
        {"0:00.5-->", 0.5},
        {"1:75.0 -->", 135},
        {"at 2:00.0 \t --> end", 120},
        {"01:02:03.456 --> 01:02:05.000", double(3720.0f + 3.456f)}, // a leading hours field
    };
    for (const auto& [timing, time] : cues)
        EXPECT_EQ(cueTime(timing), time) << timing;
    for (std::string_view none : {"1:02.500 -> 1:05", "1:02 --> 1:05", "1:2.500 -->", "", "-->",
                                  "99999999999999999999:00.0 -->", "1:02. -->"})
        EXPECT_EQ(cueTime(none), -1) << none;

    auto cue = TextNote::fromCue("  Keep  me\t", "0:01.0 -->");
    ASSERT_TRUE(cue);
    EXPECT_EQ(cue->text(), "  Keep  me\t");

    // Long runs of digits are searched in linear time: a search that backtracks beyond that gives
    // up, and the late stamp would not be found.
    EXPECT_EQ(cueTime("1:00." + std::string(200000, '9')), -1);
    EXPECT_EQ(cueTime(std::string(200000, '1') + ":"), -1);
    EXPECT_EQ(cueTime(std::string(200000, '1') + " 1:02.5 -->"), 62.5);
}

TEST(Transcription, ReadsGroupsOfThreeLines) {
    TranscriptionFolder folder;
    auto lf = folder.read("Song", threeCues);
    ASSERT_EQ(lf->segments.size(), 3u);
    EXPECT_EQ(lf->segments[0]->text(), "");
    EXPECT_EQ(lf->segments[1]->time(), 4);
    EXPECT_EQ(lf->segments[1]->text(), "First words");
    EXPECT_EQ(lf->segments[2]->time(), 9.5);

    // The last timing line without a line end still gives its cue.
    auto cut = folder.read("Cut", threeCues.substr(0, threeCues.size() - 2));
    ASSERT_EQ(cut->segments.size(), 3u);
    EXPECT_EQ(cut->segments[2]->text(), "Second words");
    auto five = folder.read("Five", "a\nb\nc\nOnly\n0:03.000 --> 0:04.000");
    ASSERT_EQ(five->segments.size(), 1u);
    EXPECT_EQ(five->segments[0]->time(), 3);

    // A group without a stamp is skipped without realigning the following groups.
    auto skipped = folder.read("Skip", "h\nh\nh\nbad\nno stamp\n\ngood\n0:07.0 --> x\n\n");
    ASSERT_EQ(skipped->segments.size(), 1u);
    EXPECT_EQ(skipped->segments[0]->text(), "good");
    EXPECT_EQ(skipped->segments[0]->time(), 7);
}

TEST(Transcription, MissingShortAndGarbageFiles) {
    TranscriptionFolder folder;
    Transcription missing(Url::fileURLWithPath(folder.path + "/None.mp3", false));
    EXPECT_TRUE(missing.segments.empty());
    EXPECT_EQ(missing.previousSegment(1), nullptr);
    EXPECT_EQ(missing.nextSegment(1), nullptr);

    EXPECT_TRUE(folder.read("Empty", "")->segments.empty());
    EXPECT_TRUE(folder.read("Header", "a\nb\nc\nd\n")->segments.empty());
    EXPECT_TRUE(folder.read("Invalid", "a\nb\nc\nText \xFF\n0:01.0 -->\n\n")->segments.empty());

    static constexpr char controls[] = "\0\n\0\n\0\n\0x\0\n\x01 0:02.5 --> \x02\n\x7F";
    auto withNul = folder.read("Nul", std::string(controls, sizeof controls - 1));
    ASSERT_EQ(withNul->segments.size(), 1u);
    EXPECT_EQ(withNul->segments[0]->text(), std::string("\0x\0", 3));
    EXPECT_EQ(withNul->segments[0]->time(), 2.5);

    // Beyond the size a notes file may have, the file is not read at all.
    std::string huge = threeCues;
    while (huge.size() <= vantle::TextNoteSet::largestFileSize)
        huge += threeCues.substr(3);
    auto tooLarge = folder.read("Huge", huge);
    EXPECT_TRUE(tooLarge->segments.empty());
    EXPECT_TRUE(tooLarge->tooLarge());
    auto fits = folder.read("Fits", huge.substr(0, vantle::TextNoteSet::largestFileSize));
    EXPECT_FALSE(fits->segments.empty());
    EXPECT_FALSE(fits->tooLarge());
    EXPECT_FALSE(missing.tooLarge());

    std::string noise;
    for (int i = 0; i < 30000; ++i)
        noise += static_cast<char>(i % 3 == 0 ? '\n' : (i * 31) % 96 + 32);
    auto noisy = folder.read("Noise", noise);
    for (const auto& cue : noisy->segments)
        EXPECT_TRUE(std::isfinite(cue->time()));
}

TEST(Transcription, LookUpsByPlaybackTime) {
    TranscriptionFolder folder;
    auto three = folder.read("Song", threeCues);
    const auto& cues = three->segments;
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(three->segment(4.0), cues[1]);
    EXPECT_EQ(three->segment(9.4), cues[1]);
    EXPECT_EQ(three->segment(100), cues[2]);
    EXPECT_EQ(three->segment(-0.001), nullptr);
    EXPECT_EQ(three->segment(std::numeric_limits<double>::quiet_NaN()), nullptr);
    EXPECT_EQ(three->previousSegment(2), cues[0]);
    EXPECT_EQ(three->previousSegment(9.6), cues[1]);
    EXPECT_EQ(three->nextSegment(4.2), cues[2]);
    EXPECT_EQ(three->nextSegment(9.6), cues[2]);

    // Without a current cue the first and the last cue are the neighbours.
    auto two = folder.read("Two", "h\nh\nh\nA\n0:04.000 --> x\n\nB\n0:09.500 --> y\n\n");
    ASSERT_EQ(two->segments.size(), 2u);
    EXPECT_EQ(two->nextSegment(1), two->segments[1]);
    EXPECT_EQ(two->previousSegment(1), two->segments[0]);
    EXPECT_EQ(two->segment(1), nullptr);

    // Out-of-order cues stay in file order; the search runs from the end.
    auto unordered = folder.read("Unordered", "h\nh\nh\nLate\n0:20.0 -->\n\nEarly\n0:05.0 -->\n\n");
    ASSERT_EQ(unordered->segments.size(), 2u);
    EXPECT_EQ(unordered->segments[0]->text(), "Late");
    EXPECT_EQ(unordered->segment(25), unordered->segments[1]);
    EXPECT_EQ(unordered->segment(10), unordered->segments[1]);
}
