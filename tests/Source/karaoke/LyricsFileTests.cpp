#include "Source/karaoke/LyricsFile.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Files.h"
#include "tests/support/FifoGuard.h"
#include "tests/support/LyricsFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

using testsupport::readBytes;
using testsupport::transcriptionText;
using testsupport::writeBytes;
using vantle::Lyrics;
using vantle::LyricsReadResult;
using vantle::readLyricsBeside;

namespace {

const std::string cues = transcriptionText({{"Second", "0:09.500"}, {"First", "0:04.000"}});

} // namespace

// Which file is read: the LRC first, in any case of its extension, then the transcription.
TEST(LyricsBeside, SourcesInOrder) {
    const struct {
        const char* name;
        std::map<std::string, std::string> files;
        std::string audio;
        Lyrics::Source source;
        std::string read; // the file read, "" for none
        std::string firstLine;
    } rows[] = {
        {"an LRC file",
         {{"Song.lrc", "[00:01.00]From LRC"}},
         "Song.mp3",
         Lyrics::Source::lrc,
         "Song.lrc",
         "From LRC"},
        {"an LRC file in capitals",
         {{"Song.LRC", "[00:01.00]Loud"}},
         "Song.mp3",
         Lyrics::Source::lrc,
         "Song.LRC",
         "Loud"},
        {"the LRC file before the transcription",
         {{"Song.Lrc", "[00:01.00]From LRC"}, {"Song.t.txt", cues}},
         "Song.flac",
         Lyrics::Source::lrc,
         "Song.Lrc",
         "From LRC"},
        {"the transcription, sorted",
         {{"Song.t.txt", cues}},
         "Song.mp3",
         Lyrics::Source::transcription,
         "Song.t.txt",
         "First"},
        {"an empty LRC file gives way",
         {{"Song.lrc", "\n"}, {"Song.t.txt", cues}},
         "Song.mp3",
         Lyrics::Source::transcription,
         "Song.t.txt",
         "First"},
        {"only the last extension goes",
         {{"a.b.lrc", "[00:01.00]Dotted"}, {"a.lrc", "[00:01.00]No"}},
         "a.b.m4a",
         Lyrics::Source::lrc,
         "a.b.lrc",
         "Dotted"},
        {"another song's file",
         {{"Songs.lrc", "[00:01.00]No"}, {"song.lrc", "[00:01.00]No"}},
         "Song.mp3",
         Lyrics::Source::none,
         "",
         ""},
    };
    for (const auto& row : rows) {
        testsupport::TemporaryFolder folder;
        for (const auto& [name, bytes] : row.files)
            ASSERT_TRUE(writeBytes(folder.file(name), bytes));
        const LyricsReadResult result = readLyricsBeside(folder.file(row.audio));
        EXPECT_TRUE(result.notice.empty()) << row.name << ": " << result.notice;
        ASSERT_EQ(result.lookedFor.size(), 2u) << row.name;
        EXPECT_EQ(result.lookedFor[1], folder.file(row.audio.substr(0, row.audio.rfind('.')) + ".t.txt"))
            << row.name;
        if (row.read.empty()) {
            EXPECT_FALSE(result.lyrics) << row.name;
            EXPECT_EQ(result.lookedFor[0], folder.file("Song.lrc")) << row.name;
            continue;
        }
        ASSERT_TRUE(result.lyrics) << row.name;
        EXPECT_EQ(result.lyrics->source, row.source) << row.name;
        EXPECT_EQ(result.lyrics->path, folder.file(row.read)) << row.name;
        ASSERT_FALSE(result.lyrics->lines.empty()) << row.name;
        EXPECT_EQ(result.lyrics->lines[0].text, row.firstLine) << row.name;
    }
}

TEST(LyricsBeside, FileOverTwoMebibytesIsNotRead) {
    testsupport::TemporaryFolder folder;
    std::string large;
    while (large.size() <= vantle::largestLyricsFileSize)
        large += "[00:01.00]Far too many lines for anyone to sing\n";
    ASSERT_TRUE(writeBytes(folder.file("Song.lrc"), large));
    const LyricsReadResult alone = readLyricsBeside(folder.file("Song.mp3"));
    EXPECT_FALSE(alone.lyrics);
    EXPECT_NE(alone.notice.find(folder.file("Song.lrc")), std::string::npos) << alone.notice;
    EXPECT_NE(alone.notice.find("2 MiB"), std::string::npos) << alone.notice;

    // The transcription still serves, and the notice still tells of the LRC file.
    ASSERT_TRUE(writeBytes(folder.file("Song.t.txt"), cues));
    const LyricsReadResult withCues = readLyricsBeside(folder.file("Song.mp3"));
    ASSERT_TRUE(withCues.lyrics);
    EXPECT_EQ(withCues.lyrics->source, Lyrics::Source::transcription);
    EXPECT_NE(withCues.notice.find("2 MiB"), std::string::npos);
}

TEST(LyricsBeside, RepeatsLeftOutAreTold) {
    testsupport::TemporaryFolder folder;
    std::string bytes;
    for (int minute = 0; minute < 400; ++minute)
        bytes += "[" + std::to_string(minute) + ":00]";
    ASSERT_TRUE(writeBytes(folder.file("Song.lrc"), bytes + std::string(200 << 10, 'a')));
    const LyricsReadResult result = readLyricsBeside(folder.file("Song.mp3"));
    ASSERT_TRUE(result.lyrics);
    EXPECT_NE(result.notice.find(folder.file("Song.lrc")), std::string::npos) << result.notice;
    EXPECT_NE(result.notice.find("left out"), std::string::npos) << result.notice;
}

TEST(LyricsBeside, UnreadableFileIsToldNotWaitedFor) {
    testsupport::TemporaryFolder folder;
    const std::string fifo = folder.file("Song.lrc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto call =
        testsupport::callGuardedAgainstFifo(fifo, [&] { return readLyricsBeside(folder.file("Song.mp3")); });
    EXPECT_FALSE(call.blocked);
    EXPECT_FALSE(call.result.lyrics);
    EXPECT_NE(call.result.notice.find("could not be read"), std::string::npos) << call.result.notice;
}

namespace {

// A loader whose deliveries are counted and kept; the test thread is the main thread.
struct LoaderRig {
    // Bound before any read starts, so that no worker thread is taken for the main thread.
    LoaderRig() { platform::mainQueue().bindToCurrentThread(); }
    std::vector<LyricsReadResult> delivered;
    vantle::LyricsLoader loader{[this](const LyricsReadResult& result) { delivered.push_back(result); }};

    // Polls as the window's tick would until the last result's first line is `line` ("" for none);
    // a read that met a file half-written is followed by another, so only the last one counts.
    bool waitForFirstLine(const std::string& line) {
        return platform::mainQueue().drainUntil(
            [&] {
                loader.poll();
                return !delivered.empty() && firstLine() == line;
            },
            10.0);
    }
    // Polls until two looks have started: the first has finished then, and what it found is delivered.
    bool lookAgain() {
        int started = 0;
        if (!platform::mainQueue().drainUntil([&] { return (started += loader.poll()) == 2; }, 10.0))
            return false;
        platform::mainQueue().drain();
        return true;
    }
    std::string firstLine() const {
        const auto& lyrics = delivered.back().lyrics;
        return lyrics && !lyrics->lines.empty() ? lyrics->lines[0].text : "";
    }
};

} // namespace

TEST(LyricsLoader, ReadsAgainWhatChangedOnDisk) {
    testsupport::TemporaryFolder folder;
    LoaderRig rig;
    rig.loader.load(folder.file("Song.mp3"));
    ASSERT_TRUE(rig.waitForFirstLine(""));
    EXPECT_FALSE(rig.delivered.back().lyrics);

    // A file that appears is found, one written in place and one replaced by a rename are read again.
    ASSERT_TRUE(writeBytes(folder.file("Song.t.txt"), cues));
    ASSERT_TRUE(rig.waitForFirstLine("First"));
    ASSERT_TRUE(writeBytes(folder.file("Song.LRC"), "[00:01.00]Typed"));
    ASSERT_TRUE(rig.waitForFirstLine("Typed"));
    ASSERT_TRUE(writeBytes(folder.file("Song.LRC"), "[00:01.00]Typed again"));
    ASSERT_TRUE(rig.waitForFirstLine("Typed again"));
    ASSERT_TRUE(
        platform::writeFileAtomically(folder.file("Song.LRC"), std::string_view("[00:01.00]Renamed")));
    ASSERT_TRUE(rig.waitForFirstLine("Renamed"));

    // Nothing changed: looking again and again delivers nothing new, even when the folder changes.
    const std::size_t settled = rig.delivered.size();
    ASSERT_TRUE(writeBytes(folder.file("Other.txt"), "unrelated"));
    ASSERT_TRUE(rig.lookAgain());
    EXPECT_EQ(rig.delivered.size(), settled);
}

TEST(LyricsLoader, DeliversOnlyTheSongAskedForLast) {
    testsupport::TemporaryFolder folder;
    ASSERT_TRUE(writeBytes(folder.file("One.lrc"), "[00:01.00]One"));
    ASSERT_TRUE(writeBytes(folder.file("Two.lrc"), "[00:01.00]Two"));
    LoaderRig rig;
    rig.loader.load(folder.file("One.mp3"));
    rig.loader.load(folder.file("Two.mp3"));
    ASSERT_TRUE(rig.waitForFirstLine("Two"));
    ASSERT_TRUE(rig.lookAgain());
    ASSERT_EQ(rig.delivered.size(), 1u);
    EXPECT_EQ(rig.firstLine(), "Two");
}
