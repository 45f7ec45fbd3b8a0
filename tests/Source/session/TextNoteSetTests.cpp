#include "Source/session/FormatTime.h"
#include "Source/session/TextNoteSet.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/support/Clocks.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/NotesFiles.h"
#include "tests/support/QuietNotesFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using platform::Url;
using vantle::TextNote;
using vantle::TextNoteSet;
using Lines = std::vector<std::string>;

namespace {

struct NotesFolder : testsupport::TemporaryFolder {
    // What a test writes is taken at once, unless the test gives a set a clock of its own.
    testsupport::ScopedQuietNotesFiles quiet;
    Url audio(const std::string& name) const { return Url::fileURLWithPath(path + "/" + name, false); }
    void write(const std::string& name, std::string_view bytes) const {
        ASSERT_TRUE(platform::writeFileAtomically(path + "/" + name, bytes));
    }
    std::string read(const std::string& name) const {
        auto bytes = platform::readFile(path + "/" + name);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
    }
};

struct ExpectedNote {
    double time;
    std::string text;
};

void expectNotes(const TextNoteSet& set, const std::vector<ExpectedNote>& expected) {
    ASSERT_EQ(set.notes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(set.notes[i]->time(), expected[i].time) << "note " << i;
        EXPECT_EQ(set.notes[i]->text(), expected[i].text) << "note " << i;
    }
}

} // namespace

TEST(TextNote, NoteLines) {
    const struct {
        std::string line;
        double time;
        std::string text;
    } cases[] = {
        {"12:30  chorus", 750, "chorus"},
        {" 1:05 intro", 65, "intro"},
        {"1:234", 83, "4"},
        {"intro 2:00 solo", 120, "solo"},
        {"/Music/Live 10:30.mp3", 630, ".mp3"},
        {"1:75", 135, ""},
        {"1:05\t intro\tverse", 65, "intro\tverse"},
        {"100:00 x  ", 6000, "x  "},
        {"0012:05 a 3:00 b", 725, "a 3:00 b"},
        {"150119987579016:32 edge", 9007199254741000 - 8, "edge"}, // 2^53 exactly
        // A long run of digits without a stamp is searched in linear time.
        {std::string(200000, '7') + " 1:00 late", 60, "late"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 40));
        auto note = TextNote::fromNoteLine(c.line);
        ASSERT_TRUE(note);
        EXPECT_EQ(note->time(), c.time);
        EXPECT_EQ(note->text(), c.text);
    }
    for (std::string_view none : {"2:3 text", ":45 x", "abc", "", "12:3", "99999999999999999999:00 too long",
                                  "153722867280912931:00 overflows", "150119987579017:00 beyond 2^53",
                                  "\xD9\xA1\xD9\xA2:\xD9\xA3\xD9\xA0 arabic-indic digits"})
        EXPECT_FALSE(TextNote::fromNoteLine(none)) << none;

    // A long run of digits with no stamp is searched in bounded time: no note, and no false one.
    EXPECT_FALSE(TextNote::fromNoteLine(std::string(200000, '7')));
    // A non-finite time is never kept.
    EXPECT_EQ(TextNote(std::numeric_limits<double>::quiet_NaN(), "n").time(), 0);
    EXPECT_EQ(TextNote(-std::numeric_limits<double>::infinity(), "n").time(), 0);
}

TEST(TextNote, ShownTextIsCutToALineWorthKeepingTheStoredText) {
    const std::size_t limit = TextNote::shownCharacterLimit;
    const std::string e = "\xC3\xA9"; // é, two bytes
    auto times = [](const std::string& piece, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out += piece;
        return out;
    };
    const struct {
        std::string text, shown;
    } cases[] = {
        {"", ""},
        {"!Turn left", "!Turn left"},
        {std::string(limit, 'a'), std::string(limit, 'a')},
        {std::string(limit + 1, 'a'), std::string(limit, 'a') + "…"},
        {times(e, limit + 1), times(e, limit) + "…"}, // characters, not bytes, and never half of one
        {std::string(limit - 1, 'a') + "\xF0\x9F\x8E\xB5" + "tail",
         std::string(limit - 1, 'a') + "\xF0\x9F\x8E\xB5…"},
        {std::string(8 << 20, 'z'), std::string(limit, 'z') + "…"},
    };
    for (const auto& c : cases) {
        TextNote note(1, c.text);
        EXPECT_EQ(note.shownText(), c.shown) << c.text.size() << " bytes";
        EXPECT_EQ(note.text(), c.text);
    }
}

TEST(TextNote, SplitTextLines) {
    EXPECT_EQ(vantle::splitTextLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(vantle::splitTextLines("a\n"), (Lines{"a", ""}));
    EXPECT_EQ(vantle::splitTextLines("\r\n\n\r"), (Lines{"", "", "", ""}));
    EXPECT_EQ(vantle::splitTextLines("x\ty\x1F\xE2\x80\xA8z"), (Lines{"x\ty\x1F\xE2\x80\xA8z"}));
}

TEST(TextNoteSet, FileLocation) {
    auto at = [](const char* path, const char* suffix = ".txt") {
        return vantle::companionTextURL(Url::fileURLWithPath(path, false), suffix).path();
    };
    EXPECT_EQ(at("/m/a.b.m4a"), "/m/a.b.txt");
    EXPECT_EQ(at("/m/Song"), "/m/Song.txt");
    EXPECT_EQ(at("/m/.hidden"), "/m/.hidden.txt");
    EXPECT_EQ(at("/m/Song.mp3", ".t.txt"), "/m/Song.t.txt");
    EXPECT_EQ(TextNoteSet(Url::fileURLWithPath("/m/My Song.mp3", false)).textURL().absoluteString(),
              "file:///m/My%20Song.txt");
}

TEST(TextNoteSet, ReadsNotesInFileOrderAndNeverTheHeader) {
    NotesFolder folder;
    TextNoteSet none(folder.audio("Song.mp3"));
    EXPECT_TRUE(none.notes.empty());
    EXPECT_FALSE(platform::fileExists(folder.path + "/Song.txt")); // nothing written by reading

    folder.write("Song.txt", folder.path + "/Song.mp3\n12:30  chorus\n 1:05 intro\n");
    expectNotes(TextNoteSet(folder.audio("Song.mp3")), {{750, "chorus"}, {65, "intro"}});

    // A time stamp in the header path is not a note.
    folder.write("Live 10:30.txt", folder.path + "/Live 10:30.mp3\n 0:10 start\n");
    expectNotes(TextNoteSet(folder.audio("Live 10:30.mp3")), {{10, "start"}});
}

TEST(TextNoteSet, GarbageAndTruncatedFilesGiveWhatTheyCan) {
    NotesFolder folder;
    folder.write("Bad.txt", "/p\n 1:00 fine\n\xC3\x28 2:00 invalid utf-8\n");
    EXPECT_TRUE(TextNoteSet(folder.audio("Bad.mp3")).notes.empty());

    static constexpr char withControls[] = "/p\n\0\0 1:00 a\0b\n\x01\x02\x03\n 2:";
    folder.write("Nul.txt", std::string(withControls, sizeof withControls - 1));
    expectNotes(TextNoteSet(folder.audio("Nul.mp3")), {{60, std::string("a\0b", 3)}});

    folder.write("Only.txt", "1:00 header only, no line end");
    EXPECT_TRUE(TextNoteSet(folder.audio("Only.mp3")).notes.empty());

    std::string noise;
    for (int i = 0; i < 20000; ++i)
        noise += static_cast<char>((i * 7919) % 128);
    folder.write("Noise.txt", noise);
    for (const auto& note : TextNoteSet(folder.audio("Noise.mp3")).notes)
        EXPECT_GE(note->time(), 0);
}

TEST(TextNoteSet, SaveWritesTheWholeFile) {
    NotesFolder folder;
    TextNoteSet set(folder.audio("Song.mp3"));
    set.notes.push_back(std::make_shared<TextNote>(65.9, "tempo"));
    set.notes.push_back(std::make_shared<TextNote>(754, ""));
    set.notes.push_back(std::make_shared<TextNote>(6000, "a\tb\nc\r\nd\xE2\x80\xA8"
                                                         "e"));
    set.altered = true;
    testsupport::ScopedConsoleCapture console;
    set.save();
    EXPECT_FALSE(set.altered);
    const std::string header = folder.path + "/Song.mp3\n";
    EXPECT_EQ(folder.read("Song.txt"), header + " 1:05 tempo\n12:34 \n100:00 a b c  d e\n");
    // Reads back whole seconds; the note text survives unchanged apart from its line breaks.
    expectNotes(TextNoteSet(folder.audio("Song.mp3")), {{65, "tempo"}, {754, ""}, {6000, "a b c  d e"}});

    // Saving again over our own file works, and an empty list removes it: a notes file without
    // notes is none.
    set.notes.clear();
    set.altered = true;
    set.save();
    EXPECT_FALSE(platform::fileExists(folder.path + "/Song.txt"));
    EXPECT_FALSE(set.altered);
    // Nor is one made for a note begun and abandoned.
    TextNoteSet abandoned(folder.audio("Abandoned.mp3"));
    abandoned.altered = true;
    abandoned.save();
    EXPECT_FALSE(platform::fileExists(folder.path + "/Abandoned.txt"));
    EXPECT_FALSE(abandoned.altered);

    // An empty existing file holds nothing to protect.
    folder.write("Blank.txt", "");
    TextNoteSet blank(folder.audio("Blank.mp3"));
    blank.notes.push_back(std::make_shared<TextNote>(1, "x"));
    blank.save();
    EXPECT_EQ(folder.read("Blank.txt"), folder.path + "/Blank.mp3\n 0:01 x\n");
    EXPECT_TRUE(console.lines().empty());
}

TEST(TextNoteSet, NeverWritesOverAnotherFile) {
    NotesFolder folder;
    testsupport::ScopedConsoleCapture console;
    const struct {
        std::string notesFile, content, audio, why;
    } others[] = {
        // Song.mp3's transcription is Song.t.txt, which is also the notes file of Song.t.wav.
        {"Song.t.txt", "WEBVTT\n\n\nFirst\n0:04.000 --> 0:09.500\n\n", "Song.t.wav",
         "the file's first line names another file, not this song"},
        // Two audio files with one stem share one notes file: the owner named in it keeps it.
        {"Tune.txt", folder.path + "/Tune.mp3\n 0:05 theirs\n", "Tune.m4a",
         "the file's first line names another file, not this song"},
        // A file that is not text at all is not ours either.
        {"Latin.txt", "Caf\xE9\n", "Latin.mp3", "the file is not UTF-8 or UTF-16 text"},
    };
    for (const auto& other : others) {
        folder.write(other.notesFile, other.content);
        TextNoteSet set(folder.audio(other.audio));
        set.notes.push_back(std::make_shared<TextNote>(3, "mine"));
        set.altered = true;
        console.clear();
        set.save();
        EXPECT_EQ(folder.read(other.notesFile), other.content);
        EXPECT_TRUE(set.altered);
        EXPECT_EQ(console.lines(),
                  (Lines{"can't write " + set.textURL().absoluteString() + ": " + other.why}));
    }
}

TEST(TextNoteSet, WriteFailureKeepsAlteredAndPrints) {
    NotesFolder folder;
    TextNoteSet set(folder.audio("no such folder/Song One.mp3"));
    set.notes.push_back(std::make_shared<TextNote>(10, "x"));
    set.altered = true;
    testsupport::ScopedConsoleCapture console;
    set.save();
    EXPECT_TRUE(set.altered);
    EXPECT_EQ(console.lines(), (Lines{"can't write file://" + folder.path +
                                      "/no%20such%20folder/Song%20One.txt: no such file or directory"}));

    // A read-only folder (unless the tests run as root, who may write anyway).
    ASSERT_TRUE(platform::createDirectory(folder.path + "/ro"));
    ASSERT_EQ(chmod((folder.path + "/ro").c_str(), 0555), 0);
    TextNoteSet locked(folder.audio("ro/a.mp3"));
    locked.notes.push_back(std::make_shared<TextNote>(1, "y"));
    locked.altered = true;
    locked.save();
    if (!platform::fileExists(folder.path + "/ro/a.txt")) {
        EXPECT_TRUE(locked.altered);
        EXPECT_EQ(console.lines().size(), 2u);
    }
    chmod((folder.path + "/ro").c_str(), 0755);
}

TEST(TextNoteSet, OddAudioPathsStillMatchTheirHeader) {
    NotesFolder folder;
    for (std::string dir : Lines{"line\nbreak", "tab\there", "latin\xE9"}) {
        ASSERT_TRUE(platform::createDirectory(folder.path + "/" + dir));
        TextNoteSet set(folder.audio(dir + "/Song.mp3"));
        set.notes.push_back(std::make_shared<TextNote>(61, "one"));
        testsupport::ScopedConsoleCapture console;
        set.save();
        TextNoteSet again(folder.audio(dir + "/Song.mp3"));
        again.notes.push_back(std::make_shared<TextNote>(62, "two"));
        again.save(); // the header written before is recognised as ours
        expectNotes(TextNoteSet(folder.audio(dir + "/Song.mp3")), {{61, "one"}, {62, "two"}});
        EXPECT_TRUE(console.lines().empty()) << dir;
    }
}

TEST(TextNoteSet, AFileOverTheSizeLimitIsRefusedAndNeverWrittenOverOrRemoved) {
    NotesFolder folder;
    // A file of exactly the largest size, padded with blanks, for the given song.
    auto filledToLimit = [&](const std::string& song, std::size_t extra) {
        std::string text = testsupport::notesFileText(folder.path + "/" + song, 10000);
        EXPECT_LT(text.size(), TextNoteSet::largestFileSize);
        text.append(TextNoteSet::largestFileSize - text.size() - 1 + extra, ' ');
        return text + "\n";
    };
    folder.write("Full.txt", filledToLimit("Full.mp3", 0));
    TextNoteSet full(folder.audio("Full.mp3"));
    EXPECT_FALSE(full.tooLarge());
    EXPECT_EQ(full.notes.size(), 10000u);

    // One byte more, or a great many notes, and the file is refused: no notes, and what the user
    // adds is neither saved over it nor removes it, though it names this song.
    for (const std::string& content :
         {filledToLimit("Big.mp3", 1), testsupport::notesFileText(folder.path + "/Big.mp3", 60000, 30)}) {
        ASSERT_GT(content.size(), TextNoteSet::largestFileSize);
        folder.write("Big.txt", content);
        TextNoteSet set(folder.audio("Big.mp3"));
        EXPECT_TRUE(set.tooLarge());
        EXPECT_TRUE(set.notes.empty());

        testsupport::ScopedConsoleCapture console;
        set.notes.push_back(std::make_shared<TextNote>(3, "added"));
        set.altered = true;
        set.save();
        EXPECT_EQ(folder.read("Big.txt"), content);
        EXPECT_TRUE(set.altered);
        set.notes.clear();
        set.save();
        EXPECT_EQ(folder.read("Big.txt"), content);
        EXPECT_EQ(console.lines().size(), 2u) << "each failed save says so";
    }
    EXPECT_FALSE(TextNoteSet(folder.audio("None.mp3")).tooLarge()) << "no file is not a large file";
}

TEST(TextNoteSet, InsertionIndexAndNearNote) {
    TextNoteSet set(Url::fileURLWithPath("/nonexistent/vantle/a.mp3", false));
    EXPECT_EQ(set.insertionIndex(5), 0u);
    EXPECT_EQ(set.note(0), nullptr);
    auto ten = std::make_shared<TextNote>(10, "");
    auto twelve = std::make_shared<TextNote>(12, "");
    set.notes = {ten, twelve};
    EXPECT_EQ(set.insertionIndex(10), 1u);
    EXPECT_EQ(set.insertionIndex(25), 2u);
    EXPECT_EQ(set.note(7), nullptr); // 10 − 3 is not strictly below 7
    EXPECT_EQ(set.note(12.9), ten);
    EXPECT_EQ(set.note(13), twelve);
    EXPECT_EQ(set.note(15), nullptr);
    EXPECT_EQ(set.note(std::numeric_limits<double>::quiet_NaN()), nullptr);
}

namespace {

// The notes of `set` as "m:ss text" lines in list order, to compare with a file's lines.
std::string notesAsLines(const TextNoteSet& set) {
    std::string lines;
    for (const auto& note : set.notes)
        lines += vantle::formatTime(note->time(), 0, 2) + ' ' + note->text() + '\n';
    return lines;
}

} // namespace

TEST(TextNoteSet, ASaveLaysItsOwnChangeOverWhatWasWrittenElsewhereSinceTheFileWasRead) {
    enum class Elsewhere { nothing, appended, savedAnew, removed };
    enum class Here { add, remove, edit };
    const struct {
        const char* what;
        std::string read; // the lines after the path when the set read the file
        Elsewhere done;   // to the file afterwards, elsewhere
        std::string outside;
        Here here;
        std::string note;                 // the note's text; a new note's line
        std::string to;                   // an edited note's text
        std::optional<std::string> saved; // none: no file
    } cases[] = {
        {"a line added between two saves", " 0:10 mine\n", Elsewhere::appended,
         " 0:30 editor\nno time here\n", Here::add, " 0:20 second", "",
         " 0:10 mine\n 0:20 second\n 0:30 editor\nno time here\n"},
        {"a note added after all", " 0:10 mine\n", Elsewhere::savedAnew,
         " 0:10 mine\n 0:30 editor\nno time\n", Here::add, " 0:50 last", "",
         " 0:10 mine\n 0:30 editor\nno time\n 0:50 last\n"},
        {"the last note shown deleted", " 0:10 mine\n", Elsewhere::appended, " 0:40 editor\n", Here::remove,
         "mine", "", " 0:40 editor\n"},
        {"a note edited here and removed there", " 0:10 mine\n 0:20 two\n", Elsewhere::savedAnew,
         " 0:20 two\n", Here::edit, "mine", "mine, edited", " 0:10 mine, edited\n 0:20 two\n"},
        {"a note deleted here and rewritten there", " 0:10 mine\n", Elsewhere::savedAnew, " 0:10 rewritten\n",
         Here::remove, "mine", "", " 0:10 rewritten\n"},
        {"a note removed there stays removed", " 0:10 mine\n 0:20 two\n", Elsewhere::savedAnew, " 0:20 two\n",
         Here::add, " 0:30 three", "", " 0:20 two\n 0:30 three\n"},
        {"the file removed there", " 0:10 mine\n", Elsewhere::removed, "", Here::add, " 0:05 fresh", "",
         " 0:05 fresh\n"},
        {"the last note deleted, nothing done elsewhere", " 0:10 mine\n", Elsewhere::nothing, "",
         Here::remove, "mine", "", std::nullopt},
        {"the editor's own layout", "intro 2:00 solo\r\n# warm-up\n 0:10 mine\n", Elsewhere::nothing, "",
         Here::edit, "mine", "changed", "intro 2:00 solo\n# warm-up\n 0:10 changed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NotesFolder folder;
        const std::string header = folder.path + "/Song.mp3\n";
        folder.write("Song.txt", header + c.read);
        TextNoteSet set(folder.audio("Song.mp3"));
        const std::string file = set.textURL().path();
        if (c.done == Elsewhere::appended) {
            ASSERT_TRUE(testsupport::appendToFile(file, c.outside));
        }
        if (c.done == Elsewhere::savedAnew) folder.write("Song.txt", header + c.outside);
        if (c.done == Elsewhere::removed) {
            ASSERT_TRUE(platform::removeItem(file));
        }
        auto named = std::find_if(set.notes.begin(), set.notes.end(),
                                  [&](const auto& note) { return note->text() == c.note; });
        if (c.here == Here::add) {
            auto note = TextNote::fromNoteLine(c.note);
            set.notes.insert(set.notes.begin() + std::ptrdiff_t(set.insertionIndex(note->time())), note);
        } else {
            ASSERT_NE(named, set.notes.end());
            if (c.here == Here::remove) set.notes.erase(named);
            if (c.here == Here::edit) (*named)->setText(c.to);
        }
        set.altered = true;
        testsupport::ScopedConsoleCapture console;
        set.save();
        EXPECT_TRUE(console.lines().empty());
        EXPECT_FALSE(set.altered);
        EXPECT_EQ(folder.read("Song.txt"), c.saved ? header + *c.saved : "<missing>");
        // The set now holds the file's notes, as a fresh read gives them.
        EXPECT_EQ(notesAsLines(set), notesAsLines(TextNoteSet(folder.audio("Song.mp3"))));
    }
}

TEST(TextNoteSet, AFileChangedElsewhereIsReadAgainWithTheChangesNotYetSavedOnTop) {
    NotesFolder folder;
    const std::string header = folder.path + "/Song.mp3\n";
    folder.write("Song.txt", header + " 0:10 mine\n 0:20 two\n");
    TextNoteSet set(folder.audio("Song.mp3"));
    const std::string file = set.textURL().path();
    const std::shared_ptr<TextNote> mine = set.notes.at(0);
    // Touched, or saved again with the same bytes: nothing new to show.
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), nullptr, 0), 0);
    EXPECT_FALSE(set.readAgainIfChanged());
    folder.write("Song.txt", header + " 0:10 mine\n 0:20 two\n");
    EXPECT_FALSE(set.readAgainIfChanged());

    // Not saved yet: "two" deleted (as the slider does), "added" added, "mine" edited.
    set.notes.erase(set.notes.begin() + 1);
    set.notes.push_back(std::make_shared<TextNote>(50, "added"));
    mine->setText("mine, edited");
    set.altered = true;
    folder.write("Song.txt", header + " 0:10 mine\n 0:20 two\n 0:30 editor\n");
    EXPECT_TRUE(set.readAgainIfChanged());
    EXPECT_EQ(notesAsLines(set), " 0:10 mine, edited\n 0:30 editor\n 0:50 added\n");
    EXPECT_EQ(set.notes.at(0), mine) << "a note in both keeps its identity";
    ASSERT_TRUE(testsupport::appendToFile(file, " 1:00 appended\n"));
    EXPECT_TRUE(set.readAgainIfChanged());
    set.save();
    EXPECT_EQ(folder.read("Song.txt"),
              header + " 0:10 mine, edited\n 0:30 editor\n 0:50 added\n 1:00 appended\n");

    // Grown past the size limit elsewhere, it is neither read nor written over until it shrinks.
    const std::string crowded = testsupport::notesFileText(folder.path + "/Song.mp3", 60000, 30);
    folder.write("Song.txt", crowded);
    EXPECT_FALSE(set.readAgainIfChanged());
    EXPECT_TRUE(set.tooLarge());
    set.notes.push_back(std::make_shared<TextNote>(70, "late"));
    testsupport::ScopedConsoleCapture console;
    set.save();
    EXPECT_EQ(folder.read("Song.txt"), crowded);
    EXPECT_EQ(console.lines().size(), 1u);
    folder.write("Song.txt", header + " 0:10 editor's only\n");
    EXPECT_TRUE(set.readAgainIfChanged());
    EXPECT_FALSE(set.tooLarge());
    EXPECT_EQ(notesAsLines(set), " 0:10 editor's only\n 1:10 late\n");

    ASSERT_TRUE(platform::removeItem(file));
    EXPECT_TRUE(set.readAgainIfChanged());
    EXPECT_EQ(notesAsLines(set), " 1:10 late\n") << "only what was never saved is left";
}

TEST(TextNoteSet, ALargeFileStillChangingIsReadOnceItStaysAsItIs) {
    const struct {
        std::size_t notes;
        bool onceSettled;
        bool readAtOnce;
    } cases[] = {{10, true, true}, {4000, false, true}, {4000, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.notes) + (c.onceSettled ? " settled" : " now"));
        NotesFolder folder;
        folder.write("Song.txt", testsupport::notesFileText(folder.path + "/Song.mp3", c.notes, 30));
        TextNoteSet set(folder.audio("Song.mp3"));
        const std::string file = set.textURL().path();
        ASSERT_TRUE(testsupport::appendToFile(file, "90:00 one\n"));
        EXPECT_EQ(set.readAgainIfChanged(c.onceSettled), c.readAtOnce);
        if (c.readAtOnce) continue;
        ASSERT_TRUE(testsupport::appendToFile(file, "90:01 two\n"));
        EXPECT_FALSE(set.readAgainIfChanged(true));
        EXPECT_EQ(set.notes.size(), c.notes);
        EXPECT_TRUE(set.readAgainIfChanged(true));
        EXPECT_EQ(set.notes.size(), c.notes + 2);
        EXPECT_FALSE(set.readAgainIfChanged(true));
    }
}

namespace {

// A note at 0:40 made here and not saved yet, as the slider adds one.
void addUnsavedNote(TextNoteSet& set) {
    set.notes.push_back(std::make_shared<TextNote>(40, "added"));
    set.altered = true;
}

// Writes in place, as an editor that saves by truncating the file and writing it again does.
bool writeInPlace(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    return ::close(fd) == 0 && written;
}

} // namespace

// An editor caught halfway (the file emptied, cut inside a character, gone, or just written) is not
// taken as the truth: the notes shown and the changes made here stay, and nothing is written over it
// until it has been quiet for a moment. Then the changes go on top of what the editor left.
TEST(TextNoteSet, AFileWrittenWithinASecondIsNeitherTakenNorWrittenOverUntilQuiet) {
    const struct {
        const char* what;
        std::string halfway; // the lines after the path; none: the file is gone
        bool removed;
        bool finished;                              // the editor then writes the whole file
        std::string saved;                          // the lines after the path at the end
        double settles = TextNoteSet::quietSeconds; // after the last write, when it is taken
    } cases[] = {
        {"emptied", "", false, true, " 0:10 mine\n 0:30 editor\n 0:40 added\n"},
        {"cut inside a character", " 0:10 mine\n 0:20 two\n 0:30 caf\xC3", false, true,
         " 0:10 mine\n 0:30 editor\n 0:40 added\n"},
        {"gone for a moment", "", true, true, " 0:10 mine\n 0:30 editor\n 0:40 added\n"},
        {"a line just added", " 0:10 mine\n 0:20 two\n 0:30 editor\n", false, false,
         " 0:10 mine\n 0:30 editor\n 0:40 added\n"},
        // Left empty for good: once it has stayed so a while it is what the file says.
        {"emptied and left so", "", false, false, " 0:40 added\n", 0.5 + TextNoteSet::settlingPatience},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NotesFolder folder;
        const std::string header = folder.path + "/Song.mp3\n";
        folder.write("Song.txt", header + " 0:10 mine\n 0:20 two\n");
        testsupport::FakeClock clock;
        TextNoteSet set(folder.audio("Song.mp3"), clock);
        const std::string file = set.textURL().path();
        // Not saved yet: "two" deleted on the slider, "added" added.
        set.notes.erase(set.notes.begin() + 1);
        addUnsavedNote(set);

        if (c.removed) {
            ASSERT_TRUE(platform::removeItem(file));
        } else {
            ASSERT_TRUE(writeInPlace(file, c.halfway.empty() ? std::string() : header + c.halfway));
        }
        const std::string halfway = folder.read("Song.txt");
        clock.set(testsupport::dateAfterWritten(c.removed ? folder.path : file, 0.5));
        EXPECT_FALSE(set.readAgainIfChanged());
        EXPECT_EQ(notesAsLines(set), " 0:10 mine\n 0:40 added\n");
        testsupport::ScopedConsoleCapture console;
        EXPECT_EQ(set.save().status, TextNoteSet::SaveResult::Status::waiting);
        EXPECT_EQ(folder.read("Song.txt"), halfway) << "not written over";
        EXPECT_TRUE(set.altered);

        if (c.finished) {
            ASSERT_TRUE(writeInPlace(file, header + " 0:10 mine\n 0:20 two\n 0:30 editor\n"));
            clock.set(testsupport::dateAfterWritten(file, 0.5));
            EXPECT_FALSE(set.readAgainIfChanged());
        }
        clock.set(testsupport::dateAfterWritten(file, c.settles));
        EXPECT_TRUE(set.readAgainIfChanged());
        EXPECT_EQ(folder.read("Song.txt"), header + c.saved) << "the waiting save, made once quiet";
        EXPECT_FALSE(set.altered);
        EXPECT_TRUE(console.lines().empty());
    }
}

// The display looks at the file ten times a second; each look is a call here, the clock moved by a
// tenth. The file's times are ahead of the set's clock, so that only how long it stays as it is counts.
struct LookingSet {
    testsupport::FakeClock clock;
    TextNoteSet set;
    double now = 0;
    LookingSet(const NotesFolder& folder, const std::string& file)
        : clock(testsupport::dateAfterWritten(file, -100)), set(folder.audio("Song.mp3"), clock) {}
    void lookUntil(double time, const std::function<void()>& eachLook = {}) {
        for (; now < time - 1e-9; now += 0.1) {
            clock.set(clock.now().addingTimeInterval(0.1));
            set.readAgainIfChanged(true);
            if (eachLook) eachLook();
        }
    }
};

bool holdsNote(const TextNoteSet& set, const std::string& text) {
    return std::any_of(set.notes.begin(), set.notes.end(),
                       [&](const auto& note) { return note->text() == text; });
}

// An editor empties the notes file and writes it again a moment later with what it had (`cp song.txt
// saved; : > song.txt`, a note typed, `cat saved > song.txt`): the note typed meanwhile is never dropped
// by a look at the file, and ends on top of what the editor wrote.
TEST(TextNoteSet, ANoteTypedWhileAnEditorHasTheFileEmptyIsKeptOnTopOfWhatItWrites) {
    const struct {
        double typed;    // after the file was emptied
        double restored; // after the note was typed
    } cases[] = {{0.2, 0.5}, {1.2, 0.5}, {1.2, 1.5}, {2.0, 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.typed) + " " + std::to_string(c.restored));
        NotesFolder folder;
        const std::string saved = folder.path + "/Song.mp3\n 0:10 mine\n 0:20 two\n";
        folder.write("Song.txt", saved);
        const std::string file = folder.path + "/Song.txt";
        LookingSet looking(folder, file);
        TextNoteSet& set = looking.set;
        ASSERT_TRUE(writeInPlace(file, ""));
        looking.lookUntil(c.typed);
        EXPECT_EQ(notesAsLines(set), " 0:10 mine\n 0:20 two\n") << "an emptied file is not taken at once";
        set.notes.insert(set.notes.begin() + std::ptrdiff_t(set.insertionIndex(40)),
                         std::make_shared<TextNote>(40, "typed"));
        set.altered = true;
        EXPECT_NE(set.save().status, TextNoteSet::SaveResult::Status::failed);
        bool kept = true;
        looking.lookUntil(c.typed + c.restored, [&] { kept = kept && holdsNote(set, "typed"); });
        ASSERT_TRUE(writeInPlace(file, saved));
        looking.lookUntil(c.typed + c.restored + 5, [&] { kept = kept && holdsNote(set, "typed"); });
        EXPECT_TRUE(kept) << "dropped by a look at the file";
        EXPECT_EQ(folder.read("Song.txt"), saved + " 0:40 typed\n");
        EXPECT_FALSE(set.altered);
    }
}

// A notes file that a sync client or an editor's autosave touches several times a second never stays
// quiet: the save waits (and says so) for settlingPatience, then lays the note on top of the file as
// it is, with every line written there.
TEST(TextNoteSet, ASaveWaitsForAFileThatNeverSettlesOnlyAWhile) {
    NotesFolder folder;
    const std::string header = folder.path + "/Song.mp3\n";
    folder.write("Song.txt", header + " 0:10 mine\n");
    const std::string file = folder.path + "/Song.txt";
    LookingSet looking(folder, file);
    TextNoteSet& set = looking.set;
    int touches = 0;
    // A write every 0.3 seconds, for 12 seconds.
    const auto touch = [&] {
        if (looking.now < 12 && std::lround(looking.now * 10) % 3 == 0) {
            ASSERT_TRUE(testsupport::appendToFile(file, " 9:00 sync\n"));
            ++touches;
        }
    };
    looking.lookUntil(1, touch);
    addUnsavedNote(set);
    EXPECT_EQ(set.save().status, TextNoteSet::SaveResult::Status::waiting);
    EXPECT_TRUE(set.waitingForFile());
    double written = -1;
    looking.lookUntil(12, [&] {
        touch();
        if (written < 0 && !set.altered) written = looking.now;
        if (written < 0) {
            EXPECT_TRUE(set.waitingForFile());
        }
    });
    ASSERT_GE(written, 0) << "never written";
    EXPECT_LE(written, 1 + TextNoteSet::settlingPatience + 0.25);
    EXPECT_FALSE(set.waitingForFile());
    std::string expected = header + " 0:10 mine\n 0:40 added\n";
    for (int i = 0; i < touches; ++i)
        expected += " 9:00 sync\n";
    EXPECT_EQ(folder.read("Song.txt"), expected);
}

// Written elsewhere at any step of a save (before it read, after, after its temporary was written, just
// before the rename): the save waits, the other writer's line stays, and the note goes on top of it
// once the file is quiet.
TEST(TextNoteSet, AWriteFromElsewhereDuringASaveIsKeptAndTheSaveWaitsForIt) {
    for (const platform::SaveStep step :
         {platform::SaveStep::locked, platform::SaveStep::read, platform::SaveStep::temporaryWritten,
          platform::SaveStep::beforeReplacing}) {
        SCOPED_TRACE(int(step));
        NotesFolder folder;
        const std::string header = folder.path + "/Song.mp3\n";
        folder.write("Song.txt", header + " 0:10 mine\n");
        testsupport::FakeClock clock;
        TextNoteSet set(folder.audio("Song.mp3"), clock);
        const std::string file = set.textURL().path();
        clock.set(testsupport::dateAfterWritten(file, 10));
        addUnsavedNote(set);
        bool appended = false;
        platform::setFileWriteHooks({[&](platform::SaveStep now, const std::string& target) {
                                         if (now != step || appended) return;
                                         appended = testsupport::appendToFile(target, " 0:30 editor\n");
                                         clock.set(testsupport::dateAfterWritten(target, 0.1));
                                     },
                                     {}});
        const TextNoteSet::SaveResult saved = set.save();
        platform::setFileWriteHooks();
        EXPECT_TRUE(appended);
        EXPECT_EQ(saved.status, TextNoteSet::SaveResult::Status::waiting);
        EXPECT_EQ(folder.read("Song.txt"), header + " 0:10 mine\n 0:30 editor\n");
        clock.set(testsupport::dateAfterWritten(file, TextNoteSet::quietSeconds));
        EXPECT_TRUE(set.readAgainIfChanged());
        EXPECT_EQ(folder.read("Song.txt"), header + " 0:10 mine\n 0:30 editor\n 0:40 added\n");
    }
}

// The program's own save never makes a file the reader refuses: a save past the bound is refused, says
// why, and the note stays in the window.
TEST(TextNoteSet, ASaveThatWouldPassTheReadersBoundIsRefusedAndSaysWhy) {
    NotesFolder folder;
    std::string text = testsupport::notesFileText(folder.path + "/Song.mp3", 13000, 150);
    text.resize(TextNoteSet::largestFileSize - 100);
    text.resize(text.rfind('\n') + 1);
    folder.write("Song.txt", text);
    TextNoteSet set(folder.audio("Song.mp3"));
    ASSERT_FALSE(set.tooLarge());
    set.notes.push_back(std::make_shared<TextNote>(6000, std::string(300, 'n')));
    set.altered = true;
    testsupport::ScopedConsoleCapture console;
    const TextNoteSet::SaveResult saved = set.save();
    EXPECT_EQ(saved.status, TextNoteSet::SaveResult::Status::failed);
    EXPECT_EQ(saved.reason, "the notes would take more than 2 MB, more than Vantle reads back");
    EXPECT_EQ(console.lines(),
              (Lines{"can't write " + set.textURL().absoluteString() + ": " + saved.reason}));
    EXPECT_EQ(folder.read("Song.txt"), text);
    EXPECT_TRUE(set.altered);
    EXPECT_EQ(set.notes.back()->text(), std::string(300, 'n'));
}

// A save that waited for the file and then cannot write it says so once, not at every look the
// display takes; the note stays for a later save.
TEST(TextNoteSet, AWaitingSaveThatThenFailsSaysSoOnce) {
    NotesFolder folder;
    const std::string header = folder.path + "/Song.mp3\n";
    folder.write("Song.txt", header + " 0:10 mine\n");
    testsupport::FakeClock clock;
    TextNoteSet set(folder.audio("Song.mp3"), clock);
    addUnsavedNote(set);
    const std::string theirs = folder.path + "/Other.mp3\n 0:10 theirs\n";
    folder.write("Song.txt", theirs);
    clock.set(testsupport::dateAfterWritten(set.textURL().path(), 0.5));
    testsupport::ScopedConsoleCapture console;
    EXPECT_EQ(set.save().status, TextNoteSet::SaveResult::Status::waiting);
    clock.set(testsupport::dateAfterWritten(set.textURL().path(), TextNoteSet::quietSeconds));
    for (int look = 0; look < 3; ++look)
        set.readAgainIfChanged();
    EXPECT_EQ(console.lines(), (Lines{"can't write " + set.textURL().absoluteString() +
                                      ": the file's first line names another file, not this song"}));
    EXPECT_EQ(folder.read("Song.txt"), theirs);
    EXPECT_TRUE(set.altered);
}

// A set about to go (its song left, the program quitting) with a save that waits for an editor: each
// try returns at once, and the tries the caller makes on its loop's turns write the note once the file
// settles, or on top of a file that keeps changing once settlingPatience has passed; a file written
// during every save, or one that cannot be written, is left as it is and what was typed or deleted here
// goes to the log with the file's name, never only dropped.
TEST(TextNoteSet, ASaveBeforeLeavingWaitsForTheFileAndLogsWhatItCannotWrite) {
    enum class Editor { stops, keepsWriting, writesDuringEverySave, writesAnotherSong };
    const std::string more = " 0:50 more\n";
    const struct {
        const char* what;
        Editor editor;
        TextNoteSet::SaveResult::Status status;
        std::string file; // the lines after the path at the end, before the editor's "more" lines
        Lines logged;     // after "not written to <file>: "
    } cases[] = {
        {"an editor that stops",
         Editor::stops,
         TextNoteSet::SaveResult::Status::written,
         " 0:10 mine\n 0:30 editor\n 0:40 added\n",
         {}},
        {"an editor that keeps writing",
         Editor::keepsWriting,
         TextNoteSet::SaveResult::Status::written,
         " 0:10 mine\n 0:30 editor\n 0:40 added\n",
         {}},
        {"an editor that writes while each save is made",
         Editor::writesDuringEverySave,
         TextNoteSet::SaveResult::Status::failed,
         " 0:10 mine\n 0:20 two\n 0:30 editor\n",
         {"deleted  0:20 two", " 0:40 added"}},
        {"another song's notes written there",
         Editor::writesAnotherSong,
         TextNoteSet::SaveResult::Status::failed,
         "",
         {"deleted  0:20 two", " 0:40 added"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NotesFolder folder;
        const std::string header = folder.path + "/Song.mp3\n";
        folder.write("Song.txt", header + " 0:10 mine\n 0:20 two\n");
        const std::string file = folder.path + "/Song.txt";
        testsupport::FakeClock clock;
        TextNoteSet set(folder.audio("Song.mp3"), clock);
        set.notes.erase(set.notes.begin() + 1);
        addUnsavedNote(set);
        const std::string written = c.editor == Editor::writesAnotherSong
                                        ? folder.path + "/Other.mp3\n 0:10 theirs\n"
                                        : header + " 0:10 mine\n 0:20 two\n 0:30 editor\n";
        ASSERT_TRUE(writeInPlace(file, written));
        // A file written at a time ahead of this clock is quiet once it stays as it is for a second.
        const bool writing = c.editor == Editor::keepsWriting || c.editor == Editor::writesDuringEverySave;
        clock.set(writing ? testsupport::dateAfterWritten(file, -100)
                          : testsupport::dateAfterWritten(file, 0.5));
        testsupport::ScopedConsoleCapture console;
        EXPECT_EQ(set.save().status, TextNoteSet::SaveResult::Status::waiting);

        std::size_t appended = 0;
        if (c.editor == Editor::writesDuringEverySave)
            platform::setFileWriteHooks({[&](platform::SaveStep step, const std::string& target) {
                                             if (step != platform::SaveStep::beforeReplacing) return;
                                             appended += testsupport::appendToFile(target, more);
                                         },
                                         {}});
        TextNoteSet::SaveResult saved;
        double waited = 0;
        for (int turn = 0; turn < 100; ++turn) {
            saved = set.saveBeforeLeaving();
            if (saved.status != TextNoteSet::SaveResult::Status::waiting || waited >= 10) break;
            clock.advance(0.1);
            waited += 0.1;
            if (c.editor == Editor::keepsWriting && waited < 8)
                appended += testsupport::appendToFile(file, more);
        }
        platform::setFileWriteHooks();
        EXPECT_EQ(saved.status, c.status);
        EXPECT_LE(waited, TextNoteSet::leavingPatience + 0.05);
        std::string expected = c.file.empty() ? written : header + c.file;
        for (std::size_t i = 0; i < appended; ++i)
            expected += more;
        EXPECT_EQ(folder.read("Song.txt"), expected);
        if (c.editor == Editor::keepsWriting) {
            EXPECT_GE(waited, TextNoteSet::settlingPatience - 0.05) << "written once the wait is long enough";
        }
        Lines logged;
        for (const std::string& line : console.lines())
            if (line.rfind("not written to " + file + ": ", 0) == 0)
                logged.push_back(line.substr(("not written to " + file + ": ").size()));
        EXPECT_EQ(logged, c.logged);
        EXPECT_EQ(set.altered, c.status != TextNoteSet::SaveResult::Status::written);
    }
}
