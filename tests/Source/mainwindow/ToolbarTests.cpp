// The toolbar's mode tools and the window's frame kept across runs.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QTest>
#include <QToolButton>

namespace vantle::testing {
namespace {

TEST_F(MainWindowTest, TheModeToolsSetTheModeAndShowIt) {
    struct Case {
        QToolButton& (MainWindowController::*tool)() const;
        PlayerMode mode;
        const char* images[3];
        bool stopsTheBreak;
    };
    const Case cases[] = {
        {&MainWindowController::prepareTool,
         PlayerMode::prepare,
         {"dance-inactive", "prepare-active", "karaoke-inactive"},
         true},
        {&MainWindowController::danceTool,
         PlayerMode::dance,
         {"dance-active", "prepare-inactive", "karaoke-inactive"},
         false},
        {&MainWindowController::karaokeTool,
         PlayerMode::karaoke,
         {"dance-inactive", "prepare-inactive", "karaoke-active"},
         true},
    };
    start();
    for (const Case& c : cases) {
        breakTimer->armed = true;
        (window.get()->*c.tool)().click();
        EXPECT_EQ(player->mode(), c.mode);
        QToolButton* tools[] = {&window->danceTool(), &window->prepareTool(), &window->karaokeTool()};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(tools[i]->property("imageName").toString().toStdString(), c.images[i]);
            EXPECT_EQ(tools[i]->isChecked(), QByteArray(c.images[i]).endsWith("-active"));
        }
        EXPECT_EQ(breakTimer->armed, !c.stopsTheBreak);
    }
    // "x" switches to karaoke editing, and the karaoke tool follows.
    QTest::keyClick(&view().tableView(), Qt::Key_X);
    EXPECT_EQ(player->mode(), PlayerMode::karaokePrepare);
    EXPECT_EQ(window->karaokeTool().property("imageName").toString(), "karaoke-editing");
}

TEST_F(MainWindowTest, TheWindowReopensWithItsFrame) {
    start();
    window->resize(700, 480);
    // Saved once the resizing has settled, without waiting for the quit.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return platform::UserDefaults::standard()
                .data(MainWindowController::frameAutosaveName)
                .has_value();
        },
        10000));
    stop();
    keepSavedFrame = true;
    start();
    EXPECT_EQ(window->size(), QSize(700, 480));
}

} // namespace
} // namespace vantle::testing
