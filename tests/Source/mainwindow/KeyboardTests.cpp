// The main window's keys: what each typed key does from the playlist table, which keys are left to
// the focused control, and when Up, Down and Return act.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/views/KeyCharacters.h"
#include "Source/views/Screensaver.h"
#include "Source/views/TimeSlider.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/support/ConsoleCapture.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

const QString keyboardUpText = QString(QChar(upArrowFunctionKey));

class KeyboardTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        first = audioFile("first.wav", 60);
        second = audioFile("second.wav", 40);
        third = audioFile("third.wav", 30);
        // Two transcription lines in the first file.
        ASSERT_TRUE(platform::writeFileAtomically(
            audioFolder.path + "/first.t.txt", std::string_view("WEBVTT\n\n\nOne\n0:10.000 --> 0:12.000\n\n"
                                                                "Two\n0:20.000 --> 0:22.000\n\n")));
        start();
        view().setFirst(false);
        view().insertEntries({first, second, third});
        ASSERT_EQ(playlist().allEntries.size(), 3u);
    }

    QLineEdit& searchField() { return window->searchField(); }

    platform::Url first, second, third;
};

TEST_F(KeyboardTest, TypedKeysDriveThePlayerFromTheTable) {
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), entry(0));
    focus();

    // Space plays and pauses again, arming the break.
    type(Qt::Key_Space, " ");
    EXPECT_TRUE(player->playing());
    tick(125);
    type(Qt::Key_Space, " ");
    EXPECT_FALSE(player->playing());
    ASSERT_EQ(breakTimer->arms.size(), 1u);

    // "z" marks a zero at the position, and the time slider shows it.
    type(Qt::Key_Z, "z");
    EXPECT_THAT(entry(0)->zeros, ElementsAre(::testing::DoubleNear(11.5, 1e-6)));

    // Right and left go to the next and the previous transcription line.
    type(Qt::Key_Right, QString());
    EXPECT_DOUBLE_EQ(player->playbackTime(), 20.0);
    type(Qt::Key_Left, QString());
    EXPECT_DOUBLE_EQ(player->playbackTime(), 10.0);

    // "s" brings the screensaver up at once while the player is stopped in dance mode.
    auto* screensaver = window->findChild<Screensaver*>("screensaver");
    ASSERT_NE(screensaver, nullptr);
    type(Qt::Key_S, "s");
    EXPECT_TRUE(screensaver->isVisible());

    // Escape clears the search and switches to prepare mode (which stops the break: the mode tools' test).
    searchField().setText("fir");
    window->actionSearch();
    ASSERT_EQ(view().tableView().model()->rowCount(), 1);
    type(Qt::Key_Escape, QString(QChar(0x1B)));
    EXPECT_EQ(view().tableView().model()->rowCount(), 3);
    EXPECT_EQ(text(window->modeLabel().text()), "prepare");
}

TEST_F(KeyboardTest, AnyOtherKeyIsPrintedOnceForEachOfItsScalars) {
    focus();
    testsupport::ScopedConsoleCapture console;
    type(Qt::Key_Eacute, QStringLiteral("é"));
    type(Qt::Key_unknown, QStringLiteral("ab"));
    type(Qt::Key_unknown, QString::fromUtf8("\xF0\x9F\x8E\xB5")); // one scalar, two UTF-16 units
    type(Qt::Key_S, "S");                                         // only the lower-case "s" is a key
    EXPECT_THAT(console.lines(),
                ElementsAre("unhandled key: é, e9", "unhandled key: ab, 61", "unhandled key: ab, 62",
                            "unhandled key: 🎵, 1f3b5", "unhandled key: S, 53"));
    EXPECT_EQ(playlist().allEntries.size(), 3u);

    // In the karaoke modes "x" switches to editing and back, and is still printed.
    console.clear();
    player->setMode(PlayerMode::karaoke);
    type(Qt::Key_X, "x");
    EXPECT_EQ(text(window->modeLabel().text()), "karaoke editing");
    type(Qt::Key_X, "x");
    EXPECT_EQ(player->mode(), PlayerMode::karaoke);
    EXPECT_THAT(console.lines(), ElementsAre("unhandled key: x, 78", "unhandled key: x, 78"));

    // Keys without characters (a lone modifier, a function key) are not the filter's.
    console.clear();
    type(Qt::Key_F5, QString());
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(KeyboardTest, KeysWithModifiersOrAnotherFocusAreLeftToTheControl) {
    view().tableView().selectRows({0});
    focus();
    type(Qt::Key_Space, " ", Qt::ShiftModifier);
    EXPECT_FALSE(player->playing());

    // With the search field focused, space and "z" are typed into it.
    focus(&searchField());
    type(Qt::Key_Space, " ");
    type(Qt::Key_Z, "z");
    EXPECT_EQ(text(searchField().text()), " z");
    EXPECT_FALSE(player->playing());
    EXPECT_TRUE(entry(0)->zeros.empty());

    // Control-Z from the table reaches the Edit menu: the files added go again.
    focus();
    type(Qt::Key_Z, "z", Qt::ControlModifier);
    EXPECT_TRUE(playlist().allEntries.empty());
}

TEST_F(KeyboardTest, EscapeInTheSearchFieldEmptiesTheSearch) {
    focus(&searchField());
    for (const char* letter : {"f", "i", "r"})
        type(letter[0] - 'a' + Qt::Key_A, letter);
    ASSERT_EQ(view().tableView().model()->rowCount(), 1);
    QTest::keyClick(&searchField(), Qt::Key_Escape);
    EXPECT_TRUE(searchField().text().isEmpty());
    EXPECT_TRUE(playlist().filterText.empty());
    EXPECT_EQ(view().tableView().model()->rowCount(), 3);
    EXPECT_EQ(QApplication::focusWidget(), &searchField()) << "the field keeps the focus for a new search";
}

TEST_F(KeyboardTest, DownUpAndReturnActOnlyInTheActiveMainWindowWithoutADialog) {
    // Down without a current entry goes to the first row, also from the search field.
    focus(&searchField());
    type(Qt::Key_Down, QString());
    EXPECT_EQ(player->entry(), entry(0));

    // Down and Up move from the current entry and stop the music first.
    focus();
    type(Qt::Key_Space, " ");
    ASSERT_TRUE(player->playing());
    type(Qt::Key_Down, QString());
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(player->entry(), entry(1));
    type(Qt::Key_Down, QString());
    type(Qt::Key_Up, keyboardUpText);
    EXPECT_EQ(player->entry(), entry(1));
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));

    // A modal dialog takes the keys, and so does another window that is active.
    QDialog dialog(window.get());
    auto* answer = new QLineEdit(&dialog);
    dialog.setModal(true);
    QWidget other;
    for (QWidget* taker : std::initializer_list<QWidget*>{&dialog, &other}) {
        taker->show();
        taker->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == taker->windowHandle(); }));
        if (taker == &dialog) answer->setFocus();
        type(Qt::Key_Down, QString());
        type(Qt::Key_Return, "\r");
        EXPECT_EQ(player->entry(), entry(1));
        EXPECT_FALSE(entry(1)->isCheckmarked);
        taker->hide();
    }

    // Back in the main window, Return checks the selected rows and moves them to the front.
    focus();
    view().tableView().selectRows({2});
    type(Qt::Key_Return, "\r");
    EXPECT_TRUE(entry(0)->isCheckmarked);
    EXPECT_EQ(entry(0)->_url, third);
    EXPECT_EQ(player->entry(), entry(0));
}

// A stray Return in class: the song playing plays on, the checked rows come first with the first row only
// selected, and one Undo takes it all back. In the search field Return only ends the search: the list
// takes the keys, and the next Return promotes.
TEST_F(KeyboardTest, ReturnWhileMusicPlaysPromotesWithoutStoppingItAndIsOneUndoStep) {
    view().tableView().selectRows({1});
    ASSERT_EQ(player->entry(), entry(1));
    view().transport().playPressed();
    ASSERT_TRUE(player->playing());
    tick(20);
    const std::shared_ptr<PlaylistEntry> playing = entry(1);
    view().tableView().selectRows({2});
    ASSERT_EQ(player->entry(), playing);
    focus(&searchField());
    type(Qt::Key_Return, "\r");
    EXPECT_EQ(entry(0)->_url, first);
    EXPECT_FALSE(entry(2)->isCheckmarked);
    EXPECT_EQ(QApplication::focusWidget(), &view().tableView());
    type(Qt::Key_Return, "\r");

    EXPECT_TRUE(player->playing());
    EXPECT_EQ(player->entry(), playing);
    EXPECT_EQ(playlist().assignedEntry, playing);
    EXPECT_TRUE(entry(0)->isCheckmarked);
    EXPECT_EQ(entry(0)->_url, third);
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(0u));
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo check and promote");

    delegate->actionUndo();
    EXPECT_EQ(fileNames(playlist().allEntries),
              (std::vector<std::string>{"first.wav", "second.wav", "third.wav"}));
    EXPECT_FALSE(entry(2)->isCheckmarked);
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(player->entry(), playing);
}

} // namespace
} // namespace vantle::testing
