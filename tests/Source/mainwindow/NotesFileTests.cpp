// The notes file opened in an editor while the window shows its notes: what is written there shows
// in the note line and on the slider, and a note typed or deleted in the window goes on top of it.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "Source/views/TimeSlider.h"
#include "platform/foundation/TextFile.h"

#include <QTest>

#include <fstream>

namespace vantle::testing {
namespace {

class NotesFileTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        start();
        activate();
        song = audioFile("song.wav", 80);
        notesFile = companionTextURL(song, ".txt").path();
        view().insertEntries({song});
        view().selectRows({0});
    }

    // Typed into the note line at `seconds` and ended with Return; an empty text deletes the note.
    void typeNote(double seconds, const char* text) {
        player->setCurrentTime(seconds);
        tick();
        InterceptingTextField& field = view().noteTextField();
        QTest::mouseClick(&field, Qt::LeftButton);
        ASSERT_TRUE(field.editing());
        field.selectAll();
        if (*text)
            QTest::keyClicks(&field, text);
        else
            QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClick(&field, Qt::Key_Return);
        ASSERT_FALSE(field.editing());
    }
    // As a shell's ">>" does.
    void appendElsewhere(const std::string& line) {
        std::ofstream file(notesFile, std::ios::app | std::ios::binary);
        file << line << '\n';
        ASSERT_TRUE(file.flush());
    }
    std::string fileText() { return platform::readTextFile(notesFile).valueOr(std::string("<missing>")); }
    std::vector<std::string> sliderNotes() {
        std::vector<std::string> texts;
        auto* slider = window->findChild<TimeSlider*>("timeSlider");
        EXPECT_NE(slider, nullptr);
        for (const TimeSliderMark& mark : slider ? slider->noteMarks() : std::vector<TimeSliderMark>())
            texts.push_back(mark.note->text());
        return texts;
    }
    std::string noteLine(double seconds) {
        player->setCurrentTime(seconds);
        tick();
        return view().noteTextField().text().toStdString();
    }

    platform::Url song;
    std::string notesFile;
};

TEST_F(NotesFileTest, ALineAddedInAnEditorIsShownAndKeptByTheNextNoteTyped) {
    typeNote(10, "mine");
    appendElsewhere(" 0:40 from the editor");
    tick();
    EXPECT_EQ(sliderNotes(), (std::vector<std::string>{"mine", "from the editor"}));
    EXPECT_EQ(noteLine(40), "from the editor");

    typeNote(60, "second");
    EXPECT_EQ(fileText(), song.path() + "\n 0:10 mine\n 0:40 from the editor\n 1:00 second\n");
    EXPECT_EQ(sliderNotes(), (std::vector<std::string>{"mine", "from the editor", "second"}));
}

TEST_F(NotesFileTest, DeletingTheNotesShownKeepsTheFileWithTheLineAddedInAnEditor) {
    typeNote(10, "mine");
    // Written while the note is being typed: the typed note's save takes it up.
    player->setCurrentTime(60);
    tick();
    InterceptingTextField& field = view().noteTextField();
    QTest::mouseClick(&field, Qt::LeftButton);
    appendElsewhere(" 1:10 from the editor");
    tick();
    QTest::keyClicks(&field, "second");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(fileText(), song.path() + "\n 0:10 mine\n 1:00 second\n 1:10 from the editor\n");

    typeNote(10, "");
    typeNote(60, "");
    EXPECT_EQ(fileText(), song.path() + "\n 1:10 from the editor\n");
    EXPECT_EQ(sliderNotes(), std::vector<std::string>{"from the editor"});
    EXPECT_EQ(noteLine(70), "from the editor");
}

} // namespace
} // namespace vantle::testing
