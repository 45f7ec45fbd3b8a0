#include "Source/karaoke/LyricsFile.h"
#include "Source/karaoke/LyricsTiming.h"
#include "platform/foundation/Files.h"
#include "tests/support/Clocks.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/LyricsFiles.h"
#include "tests/support/NotesFiles.h"
#include "tests/support/QuietNotesFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using testsupport::readBytes;
using testsupport::transcriptionText;
using testsupport::writeBytes;
using vantle::LyricLine;
using vantle::LyricsTiming;
using vantle::SaveResult;

namespace {

std::vector<std::string> texts(const LyricsTiming& timing) {
    std::vector<std::string> lines;
    for (const LyricLine& line : timing.lines())
        lines.push_back(line.text);
    return lines;
}

std::vector<std::optional<double>> times(const LyricsTiming& timing) {
    std::vector<std::optional<double>> lines;
    for (const LyricLine& line : timing.lines())
        lines.push_back(line.time);
    return lines;
}

// The files these tests write are taken at once; the tests of the quiet rule give their own clock.
class QuietLyricsFiles final : public ::testing::Environment {
    void SetUp() override { quiet_.emplace(); }
    void TearDown() override { quiet_.reset(); }
    std::optional<testsupport::ScopedQuietLyricsFiles> quiet_;
};
[[maybe_unused]] ::testing::Environment* const quietLyricsFiles =
    ::testing::AddGlobalTestEnvironment(new QuietLyricsFiles);

struct SongFolder : testsupport::TemporaryFolder {
    const std::string song = file("Song.mp3");
    const std::string lrc = file("Song.lrc");
    const std::string transcription = file("Song.t.txt");
};

// A file as people leave it: tags, a comment, a line that is no line, a line already timed with word
// times, blank lines and CRLF ends.
const std::string handWritten = "[ti:Night Song]\r\n"
                                "[re:Some Editor]\r\n"
                                "# made by hand\r\n"
                                "[01:75.00]not a time\r\n"
                                "\r\n"
                                "[00:01.50]<00:01.50>Already <00:02.00>timed\r\n"
                                "Second line\r\n"
                                "  Third line  \r\n"
                                "[00:30.00]\r\n"
                                "Fourth";

} // namespace

TEST(LyricsTiming, LinesOfTheSongsFiles) {
    {
        SongFolder folder;
        ASSERT_TRUE(writeBytes(folder.lrc, handWritten));
        ASSERT_TRUE(writeBytes(folder.transcription, transcriptionText({{"Not these", "0:01.000"}})));
        const LyricsTiming timing(folder.song);
        const std::vector<std::string> lines = {
            "# made by hand", "Already timed", "Second line", "Third line", "", "Fourth"};
        EXPECT_EQ(texts(timing), lines);
        const std::vector<std::optional<double>> stamped = {std::nullopt, 1.5,  std::nullopt,
                                                            std::nullopt, 30.0, std::nullopt};
        EXPECT_EQ(times(timing), stamped);
        EXPECT_EQ(timing.nextUnstamped(), 0);
        EXPECT_EQ(timing.lrcPath(), folder.lrc);
    }
    {
        SongFolder folder;
        ASSERT_TRUE(writeBytes(
            folder.transcription,
            transcriptionText({{"", "0:00.000"}, {"First words", "0:04.000"}, {"Second", "0:09.000"}})));
        const LyricsTiming timing(folder.song);
        EXPECT_EQ(texts(timing), (std::vector<std::string>{"First words", "Second"}));
        EXPECT_EQ(timing.nextUnstamped(), 0);
        EXPECT_FALSE(timing.dirty());
    }
    {
        SongFolder folder;
        LyricsTiming timing(folder.song);
        EXPECT_TRUE(timing.lines().empty());
        EXPECT_EQ(timing.nextUnstamped(), -1);
        EXPECT_FALSE(timing.stamp(1.0));
        timing.addPastedLines("First pasted\r\n\n  Second pasted\n");
        EXPECT_EQ(texts(timing), (std::vector<std::string>{"First pasted", "Second pasted"}));
        EXPECT_TRUE(timing.dirty());
    }
}

TEST(LyricsTiming, StampsInOrderAndTakesThemBack) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "[offset:+500]\nOne\n[00:05.00]Two\nThree\n"));
    LyricsTiming timing(folder.song);
    EXPECT_FALSE(timing.undoStamp());
    ASSERT_TRUE(timing.stamp(1.234));
    // What is shown is what the file will say: the hundredth written, the offset taken off again.
    EXPECT_EQ(timing.lines()[0].time, 1.23);
    EXPECT_EQ(timing.nextUnstamped(), 2);
    EXPECT_TRUE(timing.dirty());
    ASSERT_TRUE(timing.stamp(7.0));
    EXPECT_EQ(timing.nextUnstamped(), -1);
    EXPECT_FALSE(timing.stamp(8.0));
    ASSERT_TRUE(timing.undoStamp());
    EXPECT_EQ(timing.nextUnstamped(), 2);
    ASSERT_TRUE(timing.undoStamp());
    EXPECT_FALSE(timing.dirty());
    EXPECT_EQ(timing.save().outcome, SaveResult::Outcome::unchanged);

    ASSERT_TRUE(timing.stamp(1.234));
    ASSERT_TRUE(timing.stamp(61.996));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    // The offset shows lines earlier, so the file's times are later than the heard ones.
    EXPECT_EQ(readBytes(folder.lrc), "[offset:+500]\n[00:01.73]One\n[00:05.00]Two\n[01:02.50]Three\n");
    EXPECT_FALSE(timing.dirty());
    const auto reread = vantle::readLyricsBeside(folder.song);
    ASSERT_TRUE(reread.lyrics);
    ASSERT_EQ(reread.lyrics->lines.size(), 3u);
    EXPECT_DOUBLE_EQ(*reread.lyrics->lines[2].time, *timing.lines()[2].time);
}

// Only the stamps change the file: every other byte stays as written, in the file's own encoding.
TEST(LyricsTiming, SaveKeepsEveryOtherByte) {
    const auto utf16 = [](const std::string& ascii) {
        std::string bytes = "\xFF\xFE";
        for (const char c : ascii) {
            bytes += c;
            bytes += '\0';
        }
        return bytes;
    };
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } rows[] = {
        {"tags, comments, bad and blank lines, CRLF", handWritten,
         "[ti:Night Song]\r\n[re:Some Editor]\r\n[00:10.00]# made by hand\r\n[01:75.00]not a time\r\n\r\n"
         "[00:01.50]<00:01.50>Already <00:02.00>timed\r\n[00:12.25]Second line\r\n  Third line  \r\n"
         "[00:30.00]\r\nFourth"},
        {"a mark and Latin-1 text",
         "\xEF\xBB\xBF"
         "Caf\xC3\xA9\nTwo\n",
         "\xEF\xBB\xBF[00:10.00]Caf\xC3\xA9\n[00:12.25]Two\n"},
        {"Latin-1", "Caf\xE9\nTwo\n", "[00:10.00]Caf\xE9\n[00:12.25]Two\n"},
        {"UTF-16", utf16("One\r\nTwo\r\n"), utf16("[00:10.00]One\r\n[00:12.25]Two\r\n")},
        // Bytes that are no text stay as they are, on lines stamped or not.
        {"a mark and a stray byte",
         "\xEF\xBB\xBF"
         "Caf\xE9\nTwo\n[00:30.00]Cr\xE9pe\n",
         "\xEF\xBB\xBF[00:10.00]Caf\xE9\n[00:12.25]Two\n[00:30.00]Cr\xE9pe\n"},
        {"UTF-16 with an odd last byte", utf16("One\nTwo\n[00:30.00]End") + "X",
         utf16("[00:10.00]One\n[00:12.25]Two\n[00:30.00]End") + "X"},
    };
    for (const auto& row : rows) {
        SongFolder folder;
        ASSERT_TRUE(writeBytes(folder.lrc, row.before));
        LyricsTiming timing(folder.song);
        ASSERT_TRUE(timing.stamp(10.0)) << row.name;
        ASSERT_TRUE(timing.stamp(12.25)) << row.name;
        const SaveResult saved = timing.save();
        ASSERT_EQ(saved.outcome, SaveResult::Outcome::written) << row.name << ": " << saved.reason;
        EXPECT_EQ(readBytes(folder.lrc), row.after) << row.name;
    }
}

TEST(LyricsTiming, FileChangedOutsideIsNeverWrittenOverUnseen) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "[ti:Song]\nOne\nTwo\n"));
    LyricsTiming timing(folder.song);
    ASSERT_TRUE(timing.stamp(3.0));
    ASSERT_TRUE(timing.stamp(4.0));
    // An editor adds a line and times the second one itself meanwhile.
    const std::string edited = "[ti:Song]\n[ar:Someone]\nOne\n[00:09.00]Two\nThree\n";
    ASSERT_TRUE(writeBytes(folder.lrc, edited));
    const SaveResult first = timing.save();
    EXPECT_EQ(first.outcome, SaveResult::Outcome::changedOnDisk);
    EXPECT_NE(first.reason.find("changed on disk"), std::string::npos) << first.reason;
    EXPECT_EQ(readBytes(folder.lrc), edited);
    // Read again: the editor's time stands, this stamp goes where its line is still untimed.
    EXPECT_EQ(texts(timing), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(times(timing), (std::vector<std::optional<double>>{3.0, 9.0, std::nullopt}));
    EXPECT_TRUE(timing.dirty());
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "[ti:Song]\n[ar:Someone]\n[00:03.00]One\n[00:09.00]Two\nThree\n");
}

TEST(LyricsTiming, FileThatAppearedMeanwhileIsReadFirst) {
    SongFolder folder;
    LyricsTiming timing(folder.song);
    timing.addPastedLines("Mine\nOurs\n");
    ASSERT_TRUE(timing.stamp(2.0));
    ASSERT_TRUE(writeBytes(folder.file("Song.LRC"), "[00:01.00]Ours\n"));
    EXPECT_EQ(timing.save().outcome, SaveResult::Outcome::changedOnDisk);
    EXPECT_EQ(readBytes(folder.file("Song.LRC")), "[00:01.00]Ours\n");
    EXPECT_FALSE(testsupport::entryNames(folder.path).count("Song.lrc"));
    // The pasted line not in the file is kept, with its stamp; the one the file has is not doubled.
    EXPECT_EQ(texts(timing), (std::vector<std::string>{"Ours", "Mine"}));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.file("Song.LRC")), "[00:01.00]Ours\n[00:02.00]Mine\n");
}

TEST(LyricsTiming, TranscriptionIsNeverWritten) {
    SongFolder folder;
    const std::string cues =
        transcriptionText({{"", "0:00.000"}, {"First words", "0:04.000"}, {"Second", "0:09.000"}});
    ASSERT_TRUE(writeBytes(folder.transcription, cues));
    LyricsTiming timing(folder.song);
    ASSERT_TRUE(timing.stamp(4.5));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.transcription), cues);
    EXPECT_EQ(readBytes(folder.lrc), "[00:04.50]First words\n[00:09.00]Second\n");
}

// A host who stamps a few lines of a transcribed song and leaves must not lose the times the cues gave
// the rest: the LRC file then wins over the transcription.
TEST(LyricsTiming, LinesLeftUnstampedKeepTheirCuesTimes) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(
        folder.transcription,
        transcriptionText(
            {{"", "0:00.000"}, {"First words", "0:04.000"}, {"Second", "0:09.250"}, {"Third", "0:15.500"}})));
    LyricsTiming timing(folder.song);
    EXPECT_EQ(times(timing), (std::vector<std::optional<double>>{4.0, 9.25, 15.5}));
    // The cues' times are the host's to correct, in order: every line is still offered.
    EXPECT_EQ(timing.nextUnstamped(), 0);
    EXPECT_FALSE(timing.dirty());
    ASSERT_TRUE(timing.stamp(4.5));
    ASSERT_TRUE(timing.stamp(9.75));
    EXPECT_EQ(timing.nextUnstamped(), 2);
    ASSERT_TRUE(timing.undoStamp());
    EXPECT_EQ(times(timing), (std::vector<std::optional<double>>{4.5, 9.25, 15.5}));
    EXPECT_EQ(timing.nextUnstamped(), 1);
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "[00:04.50]First words\n[00:09.25]Second\n[00:15.50]Third\n");
    const auto reread = vantle::readLyricsBeside(folder.song);
    ASSERT_TRUE(reread.lyrics);
    ASSERT_EQ(reread.lyrics->lines.size(), 3u);
    EXPECT_EQ(reread.lyrics->lines[1].time, 9.25);
    EXPECT_EQ(reread.lyrics->lines[2].time, 15.5);
}

TEST(LyricsTiming, RefusedOrUnwritableFileSaysWhy) {
    {
        SongFolder folder;
        std::string large;
        while (large.size() <= vantle::largestLyricsFileSize)
            large += "A line nobody will time by hand\n";
        ASSERT_TRUE(writeBytes(folder.lrc, large));
        LyricsTiming timing(folder.song);
        EXPECT_TRUE(timing.lines().empty());
        EXPECT_NE(timing.notice().find("2 MiB"), std::string::npos);
        timing.addPastedLines("Pasted");
        ASSERT_TRUE(timing.stamp(1.0));
        const SaveResult saved = timing.save();
        EXPECT_EQ(saved.outcome, SaveResult::Outcome::failed);
        EXPECT_NE(saved.reason.find("2 MiB"), std::string::npos);
        EXPECT_EQ(readBytes(folder.lrc), large);
    }
    {
        SongFolder folder;
        LyricsTiming timing(folder.file("Gone/Song.mp3"));
        timing.addPastedLines("Pasted");
        const SaveResult saved = timing.save();
        EXPECT_EQ(saved.outcome, SaveResult::Outcome::failed);
        EXPECT_NE(saved.reason.find("could not be written"), std::string::npos) << saved.reason;
        EXPECT_TRUE(timing.dirty());
    }
}

// Times that would take the file past what the reader reads are not written: it would show no lyrics.
TEST(LyricsTiming, ASaveThatWouldPassTheReadersBoundIsRefused) {
    SongFolder folder;
    std::string full;
    while (full.size() + 6 <= vantle::largestLyricsFileSize)
        full += "Line\n";
    ASSERT_TRUE(writeBytes(folder.lrc, full));
    LyricsTiming timing(folder.song);
    ASSERT_TRUE(timing.stamp(1.0));
    const SaveResult saved = timing.save();
    EXPECT_EQ(saved.outcome, SaveResult::Outcome::failed);
    EXPECT_NE(saved.reason.find("larger than 2 MiB"), std::string::npos) << saved.reason;
    EXPECT_EQ(readBytes(folder.lrc), full);
}

TEST(LyricsTiming, PastedLinesTakeTheFilesLineEnds) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "One\r\nTwo"));
    LyricsTiming timing(folder.song);
    timing.addPastedLines("Three\nFour");
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "One\r\nTwo\r\nThree\r\nFour\r\n");
}

// An editor writing at any step of the save (before it read the file, after, after its temporary was
// written, just before the rename) keeps what it wrote: the save writes nothing, reads the file again
// and lays its stamps over it, and the next save writes them on top.
TEST(LyricsTiming, AWriteFromOutsideDuringTheSaveIsNeverReplaced) {
    for (const platform::SaveStep step :
         {platform::SaveStep::locked, platform::SaveStep::read, platform::SaveStep::temporaryWritten,
          platform::SaveStep::beforeReplacing}) {
        SCOPED_TRACE(int(step));
        SongFolder folder;
        ASSERT_TRUE(writeBytes(folder.lrc, "[ti:Song]\nOne\nTwo\n"));
        LyricsTiming timing(folder.song);
        ASSERT_TRUE(timing.stamp(3.0));
        bool appended = false;
        platform::setFileWriteHooks({[&](platform::SaveStep now, const std::string& target) {
                                         if (now != step || appended) return;
                                         appended = testsupport::appendToFile(target, "Three\n");
                                     },
                                     {}});
        const SaveResult saved = timing.save();
        platform::setFileWriteHooks();
        EXPECT_TRUE(appended);
        EXPECT_EQ(saved.outcome, SaveResult::Outcome::changedOnDisk);
        EXPECT_EQ(readBytes(folder.lrc), "[ti:Song]\nOne\nTwo\nThree\n");
        EXPECT_EQ(texts(timing), (std::vector<std::string>{"One", "Two", "Three"}));
        EXPECT_EQ(times(timing), (std::vector<std::optional<double>>{3.0, std::nullopt, std::nullopt}));
        ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
        EXPECT_EQ(readBytes(folder.lrc), "[ti:Song]\n[00:03.00]One\nTwo\nThree\n");
    }
}

// Stamps already written are the file's: an editor that takes them out again is not overruled by the
// next save, which lays over the file only the stamps made since.
TEST(LyricsTiming, StampsAlreadyWrittenAreNotLaidAgainOverAFileChangedOutside) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nTwo\nThree\n"));
    LyricsTiming timing(folder.song);
    ASSERT_TRUE(timing.stamp(1.0));
    ASSERT_TRUE(timing.stamp(2.0));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    // The editor takes the times out; a third stamp is made here meanwhile.
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nTwo\nThree\nFour\n"));
    ASSERT_TRUE(timing.stamp(3.0));
    EXPECT_EQ(timing.save().outcome, SaveResult::Outcome::changedOnDisk);
    EXPECT_EQ(times(timing),
              (std::vector<std::optional<double>>{std::nullopt, std::nullopt, 3.0, std::nullopt}));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "One\nTwo\n[00:03.00]Three\nFour\n");
    // A stamp written and then taken back here is taken back in the file too.
    ASSERT_TRUE(timing.undoStamp());
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "One\nTwo\nThree\nFour\n");
}

// A typo fixed in an editor while lines were stamped: the stamp of the changed line finds no line. It is
// counted, said, and kept with its time; the stamps that still fit are written.
TEST(LyricsTiming, StampsWhoseLinesChangedOutsideAreCountedAndKept) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nTwo\nThree\n"));
    LyricsTiming timing(folder.song);
    ASSERT_TRUE(timing.stamp(1.0));
    ASSERT_TRUE(timing.stamp(2.5));
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nToo\nThree\n"));
    const SaveResult first = timing.save();
    EXPECT_EQ(first.outcome, SaveResult::Outcome::changedOnDisk);
    EXPECT_EQ(first.setAside, 1);
    EXPECT_NE(first.reason.find("1 stamp found no line"), std::string::npos) << first.reason;
    EXPECT_EQ(timing.setAside(), (std::vector<std::string>{"[00:02.50]Two"}));
    ASSERT_EQ(timing.save().outcome, SaveResult::Outcome::written);
    EXPECT_EQ(readBytes(folder.lrc), "[00:01.00]One\nToo\nThree\n");
    EXPECT_EQ(timing.setAside(), (std::vector<std::string>{"[00:02.50]Two"})) << "kept after the save";

    // Every stamped line changed: nothing is left to write, and the leaving save still says how many.
    SongFolder other;
    ASSERT_TRUE(writeBytes(other.lrc, "One\nTwo\n"));
    LyricsTiming leavingTiming(other.song);
    ASSERT_TRUE(leavingTiming.stamp(1.5));
    ASSERT_TRUE(writeBytes(other.lrc, "Won\nTwo\n"));
    const SaveResult leaving = leavingTiming.saveBeforeLeaving();
    EXPECT_TRUE(leaving.ok()) << leaving.reason;
    EXPECT_EQ(leaving.setAside, 1);
    EXPECT_EQ(leavingTiming.setAside(), (std::vector<std::string>{"[00:01.50]One"}));
    EXPECT_EQ(readBytes(other.lrc), "Won\nTwo\n");
}

// An editor's save under way (the file cut to nothing a moment ago) is neither taken as the lyrics nor
// written over; once quiet for a second it is read, with the stamps laid over it.
TEST(LyricsTiming, AFileWrittenWithinASecondIsNeitherReadNorWrittenOverUntilQuiet) {
    SongFolder folder;
    testsupport::FakeClock clock;
    ASSERT_TRUE(writeBytes(folder.lrc, ""));
    clock.set(testsupport::dateAfterWritten(folder.lrc, 0.2));
    {
        LyricsTiming truncated(folder.song, clock);
        EXPECT_TRUE(truncated.settling());
        EXPECT_TRUE(truncated.lines().empty());
    }
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nTwo\n"));
    clock.set(testsupport::dateAfterWritten(folder.lrc, 1.0));
    LyricsTiming timing(folder.song, clock);
    ASSERT_FALSE(timing.settling());
    ASSERT_EQ(timing.lines().size(), 2u);
    ASSERT_TRUE(timing.stamp(1.0));

    ASSERT_TRUE(writeBytes(folder.lrc, ""));
    clock.set(testsupport::dateAfterWritten(folder.lrc, 0.3));
    EXPECT_EQ(timing.save().outcome, SaveResult::Outcome::waiting);
    EXPECT_EQ(readBytes(folder.lrc), "");
    EXPECT_EQ(timing.lines().size(), 2u) << "the lines stay as read";
    ASSERT_TRUE(writeBytes(folder.lrc, "One\nTwo\nThree\n"));
    clock.set(testsupport::dateAfterWritten(folder.lrc, 0.1));
    // The leaving save waits for the file to rest, then writes.
    int pauses = 0;
    const SaveResult saved = timing.saveBeforeLeaving([&](double seconds) {
        ++pauses;
        clock.advance(seconds);
    });
    EXPECT_EQ(saved.outcome, SaveResult::Outcome::written) << saved.reason;
    EXPECT_GE(pauses, 9);
    EXPECT_EQ(readBytes(folder.lrc), "[00:01.00]One\nTwo\nThree\n");
}

// What a leaving save still cannot write is said, and every stamp is printed, so that none is lost.
TEST(LyricsTiming, ALeavingSaveThatFailsPrintsTheStamps) {
    SongFolder folder;
    LyricsTiming timing(folder.file("Gone/Song.mp3"));
    timing.addPastedLines("First\nSecond\n");
    ASSERT_TRUE(timing.stamp(1.0));
    testsupport::ScopedConsoleCapture console;
    EXPECT_EQ(timing.saveBeforeLeaving().outcome, SaveResult::Outcome::failed);
    const std::vector<std::string> lines = console.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("could not be written"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "not written to " + folder.file("Gone/Song.lrc") + ": [00:01.00]First");
    EXPECT_EQ(lines[2], "not written to " + folder.file("Gone/Song.lrc") + ": Second");
}

TEST(LyricsTiming, AStampEarlierThanTheTimedLineBeforeItIsTold) {
    SongFolder folder;
    ASSERT_TRUE(writeBytes(folder.lrc, "[00:30.00]Before\nBetween\n[00:45.00]After\nLast\n"));
    LyricsTiming timing(folder.song);
    EXPECT_EQ(timing.lastStampEarlierThan(), std::nullopt);
    ASSERT_TRUE(timing.stamp(1.0));
    EXPECT_EQ(timing.lastStampEarlierThan(), 30.0);
    ASSERT_TRUE(timing.undoStamp());
    EXPECT_EQ(timing.lastStampEarlierThan(), std::nullopt);
    ASSERT_TRUE(timing.stamp(31.0));
    EXPECT_EQ(timing.lastStampEarlierThan(), std::nullopt);
    ASSERT_TRUE(timing.stamp(46.0));
    EXPECT_EQ(timing.lastStampEarlierThan(), std::nullopt);
}
