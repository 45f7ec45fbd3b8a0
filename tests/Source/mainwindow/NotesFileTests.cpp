// The notes file opened in an editor while the window shows its notes: what is written there shows
// in the note line and on the slider, and a note typed or deleted in the window goes on top of it.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/session/TextNoteSet.h"
#include "Source/views/TimeSlider.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/NotesFiles.h"

#include <QTest>

namespace vantle::testing {
namespace {

class NotesFileTest : public RealPartsTest {
protected:
    // Typed into the note line at `seconds` and ended with Return; an empty text deletes the note.
    void typeNote(double seconds, const QString& text) {
        player->setCurrentTime(seconds);
        tick();
        InterceptingTextField& field = view().noteTextField();
        QTest::mouseClick(&field, Qt::LeftButton);
        ASSERT_TRUE(field.editing());
        field.setText(text);
        QTest::keyClick(&field, Qt::Key_Return);
    }
    std::vector<std::string> shown() {
        std::vector<std::string> texts;
        for (const TimeSliderMark& mark : window->findChild<TimeSlider*>("timeSlider")->noteMarks())
            texts.push_back(mark.note->text());
        return texts;
    }
    std::string noteLine(double seconds) {
        player->setCurrentTime(seconds);
        tick();
        return view().noteTextField().text().toStdString();
    }
};

TEST_F(NotesFileTest, WhatAnEditorWritesIsShownAndKeptByTheNotesTypedOrDeletedInTheWindow) {
    start();
    activate();
    const platform::Url song = audioFile("song.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    auto fileText = [&] { return platform::readTextFile(notesFile).valueOr(std::string("<missing>")); };
    view().insertEntries({song});
    view().selectRows({0});

    typeNote(10, "mine");
    ASSERT_TRUE(testsupport::appendToFile(notesFile, " 0:40 editor\n"));
    tick();
    EXPECT_EQ(shown(), (std::vector<std::string>{"mine", "editor"}));
    EXPECT_EQ(noteLine(40), "editor");
    typeNote(60, "second");
    EXPECT_EQ(fileText(), song.path() + "\n 0:10 mine\n 0:40 editor\n 1:00 second\n");

    // Written while a note is being typed: the typed note's save takes it up.
    player->setCurrentTime(20);
    tick();
    QTest::mouseClick(&view().noteTextField(), Qt::LeftButton);
    ASSERT_TRUE(testsupport::appendToFile(notesFile, " 1:10 late\n"));
    tick();
    QTest::keyClicks(&view().noteTextField(), "third");
    QTest::keyClick(&view().noteTextField(), Qt::Key_Return);
    EXPECT_EQ(fileText(),
              song.path() + "\n 0:10 mine\n 0:20 third\n 0:40 editor\n 1:00 second\n 1:10 late\n");

    // Every note typed here deleted: the file keeps what the editor wrote.
    for (double at : {10, 20, 60})
        typeNote(at, "");
    EXPECT_EQ(fileText(), song.path() + "\n 0:40 editor\n 1:10 late\n");
    EXPECT_EQ(shown(), (std::vector<std::string>{"editor", "late"}));
    EXPECT_EQ(noteLine(70), "late");
}

// A large notes file that a writer keeps changing is not read and laid out again at every tick of the
// display, which would hold up the window for as long as the writer goes on: it shows once it stays as
// it is for a tick. A note typed meanwhile still goes on top of it as it is then.
TEST_F(NotesFileTest, ALargeNotesFileIsReadAgainOnceItStopsChanging) {
    start();
    activate();
    const platform::Url song = audioFile("song.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    ASSERT_TRUE(platform::writeFileAtomically(notesFile, testsupport::notesFileText(song.path(), 4000, 30)));
    view().insertEntries({song});
    view().selectRows({0});
    ASSERT_EQ(shown().size(), 4000u);
    for (int line = 0; line < 3; ++line) {
        ASSERT_TRUE(testsupport::appendToFile(notesFile, " 1:2" + std::to_string(line) + " growing\n"));
        tick();
        EXPECT_EQ(shown().size(), 4000u) << "read while still being written";
    }
    tick();
    EXPECT_EQ(shown().size(), 4003u);

    // Typed at once after the last change: the edit starts from the file as it is then.
    ASSERT_TRUE(testsupport::appendToFile(notesFile, " 1:19 last\n"));
    typeNote(79, "typed");
    EXPECT_EQ(shown().size(), 4004u);
    const std::string text = platform::readTextFile(notesFile).valueOr("");
    EXPECT_TRUE(text.find(" typed\n") != std::string::npos && text.find(" 1:19 last\n") != std::string::npos);
}

} // namespace
} // namespace vantle::testing
