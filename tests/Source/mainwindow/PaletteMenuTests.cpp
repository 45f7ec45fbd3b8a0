// The palette menus (Tag and the break lengths) under the pointer, and the menu bar's letters.

#include "Source/views/Clock.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <set>

namespace vantle::testing {
namespace {

class PaletteMenuTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        start();
        activate();
        view().insertEntries({audioFile("a.wav", 5), audioFile("b.wav", 5)});
        view().selectRows({0});
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The menu now open on top, once it is on screen.
    static QMenu* openedMenu() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu && QTest::qWaitForWindowExposed(menu) ? menu : nullptr;
    }

    QMenu* openContextMenu() {
        PlaylistTableView& table = view().tableView();
        const QRect row = table.visualRect(table.model()->index(0, 0));
        QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                                table.viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(table.viewport(), &click);
        return openedMenu();
    }

    QMenu* openBreakMenu() {
        window->clockButton().click();
        return openedMenu();
    }

    // Keys go to the window once it is the active one (at once offscreen, not so on an X server).
    void press(const QKeySequence& keys) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keySequence(window.get(), keys);
    }

    // Rests the pointer on the submenu's item until the submenu is shown. It comes in from the
    // item's edge: a menu opened again where it was would not see a move to where it stopped.
    static bool hoverUntilOpen(QMenu& menu, QMenu& submenu) {
        const QRect item = menu.actionGeometry(submenu.menuAction());
        QTest::mouseMove(&menu, item.topLeft() + QPoint(1, 1));
        QTest::mouseMove(&menu, item.center());
        return QTest::qWaitFor([&] { return submenu.isVisible(); }, 5000);
    }

    static QToolButton* paletteButton(QMenu& palette, const QString& title) {
        for (QToolButton* button : palette.findChildren<QToolButton*>("paletteItem"))
            if (button->toolTip() == title) return button;
        return nullptr;
    }

    // Hovers the palette's item until it opens, moves on to the neighbouring item and at once back
    // into the palette, still open, and clicks `title` there.
    static void pickPastNeighbour(QMenu& menu, QMenu& palette, QMenu& neighbour, const QString& title) {
        ASSERT_TRUE(hoverUntilOpen(menu, palette));
        QTest::mouseMove(&menu, menu.actionGeometry(neighbour.menuAction()).center());
        ASSERT_TRUE(palette.isVisible());
        QToolButton* button = paletteButton(palette, title);
        ASSERT_TRUE(button);
        QTest::mouseMove(button, button->rect().center());
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
};

// Picked this way from each menu that holds a palette (the clock's, a row's and the menu bar's Entry),
// the command runs, every menu closes, and both palettes open again.
TEST_F(PaletteMenuTest, AQuickPickPastTheNextItemClosesTheMenusAndThePalettesOpenAgain) {
    QMenu& tag = view().tagMenu();
    QMenu& thisBreak = view().breakTimeThisSubMenu();
    QMenu& entryMenu = view().entryMenu();
    const struct {
        const char* route;
        std::function<QMenu*()> open;
        QMenu& palette;
        QMenu& neighbour;
        const char* title;
        std::function<bool()> done;
    } picks[] = {
        {"clock menu", [&] { return openBreakMenu(); }, thisBreak, view().breakTimeAllSubMenu(), "5",
         [&] { return breakTimer->arms == std::vector<std::optional<double>>{300.0}; }},
        {"context menu", [&] { return openContextMenu(); }, tag, view().filterTagMenu(), "b",
         [&] { return entry(0)->tags == "b"; }},
        {"Entry menu",
         [&] {
             QMenuBar& bar = *window->menuBar();
             QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.actionGeometry(entryMenu.menuAction()).center());
             return openedMenu();
         },
         tag, view().filterTagMenu(), "x", [&] { return entry(0)->tags == "bx"; }},
    };
    for (const auto& pick : picks) {
        SCOPED_TRACE(pick.route);
        QMenu* menu = pick.open();
        ASSERT_TRUE(menu);
        pickPastNeighbour(*menu, pick.palette, pick.neighbour, pick.title);
        EXPECT_TRUE(pick.done());
        EXPECT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 5000));

        menu = openContextMenu();
        ASSERT_TRUE(menu);
        EXPECT_TRUE(hoverUntilOpen(*menu, tag)) << "the Tag palette opens again";
        menu->close();
        menu = openBreakMenu();
        ASSERT_TRUE(menu);
        EXPECT_TRUE(hoverUntilOpen(*menu, thisBreak)) << "the break palette opens again";
        menu->close();
    }
}

// Every menu in the bar has a letter of its own, so Alt with it opens that menu and no other.
TEST_F(PaletteMenuTest, EachMenuBarTitleHasItsOwnLetter) {
    std::set<QKeySequence> letters;
    for (QAction* title : window->menuBar()->actions()) {
        const QKeySequence letter = QKeySequence::mnemonic(title->text());
        EXPECT_FALSE(letter.isEmpty()) << title->text().toStdString();
        EXPECT_TRUE(letters.insert(letter).second) << title->text().toStdString();
    }
    for (const QKeySequence& letter : letters) {
        SCOPED_TRACE(letter.toString().toStdString());
        press(letter);
        QMenu* opened = openedMenu();
        ASSERT_TRUE(opened);
        EXPECT_EQ(QKeySequence::mnemonic(opened->title()), letter);
        opened->close();
    }
}

} // namespace
} // namespace vantle::testing
