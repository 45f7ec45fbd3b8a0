// The toolbar's mode tools, the karaoke panel they show, and the window's frame kept across runs.

#include "Source/mainwindow/KaraokeView.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QAction>
#include <QTest>
#include <QToolButton>

namespace vantle::testing {
namespace {

TEST_F(MainWindowTest, TheModeToolsSetTheModeAndShowIt) {
    const struct {
        QToolButton& (MainWindowController::*tool)() const;
        PlayerMode mode;
        QString images;
        bool breakGoesOn;
    } cases[] = {
        {&MainWindowController::prepareTool, PlayerMode::prepare,
         "dance-inactive prepare-active karaoke-inactive", false},
        {&MainWindowController::danceTool, PlayerMode::dance,
         "dance-active prepare-inactive karaoke-inactive", true},
        {&MainWindowController::karaokeTool, PlayerMode::karaoke,
         "dance-inactive prepare-inactive karaoke-active", false},
    };
    start();
    auto shown = [&] {
        QStringList images;
        for (QToolButton* tool : {&window->danceTool(), &window->prepareTool(), &window->karaokeTool()})
            images << tool->property("imageName").toString();
        return images.join(' ');
    };
    for (const auto& c : cases) {
        breakTimer->armed = true;
        (window.get()->*c.tool)().click();
        EXPECT_EQ(player->mode(), c.mode);
        EXPECT_EQ(shown(), c.images);
        EXPECT_EQ(breakTimer->armed, c.breakGoesOn);
    }
    QTest::keyClick(&view().tableView(), Qt::Key_X);
    EXPECT_EQ(shown(), "dance-inactive prepare-inactive karaoke-editing");
}

TEST_F(MainWindowTest, TheWindowReopensWithItsFrame) {
    start();
    window->resize(700, 480);
    // Saved once the resizing has settled, without waiting for the quit.
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return platform::UserDefaults::standard().data("VantleDefaultWindow").has_value(); }, 10000));
    stop();
    keepSavedFrame = true;
    start();
    EXPECT_EQ(window->size(), QSize(700, 480));
}

TEST_F(MainWindowTest, TheLineJumpsDoNotLookLikeTheZeroMarks) {
    start();
    const struct {
        const char* action;
        const char* picture;
        const char* zeroMarkPicture;
    } tools[] = {{"toolPrevSegment", "text.line.previous", "backward.end.fill"},
                 {"toolNextSegment", "text.line.next", "forward.end.fill"}};
    for (const auto& tool : tools) {
        QAction* action = window->findChild<QAction*>(tool.action);
        ASSERT_NE(action, nullptr) << tool.action;
        EXPECT_EQ(action->icon().name(), tool.picture);
        EXPECT_NE(action->icon().name(), tool.zeroMarkPicture);
    }
}

TEST_F(MainWindowTest, TheKaraokePanelShowsBesideThePlaylistInTheKaraokeModes) {
    start();
    auto* panel = qobject_cast<KaraokeView*>(view().karaokeView());
    ASSERT_NE(panel, nullptr);
    for (PlayerMode mode :
         {PlayerMode::karaoke, PlayerMode::dance, PlayerMode::karaokePrepare, PlayerMode::karaoke}) {
        player->setMode(mode);
        view().updateForMode();
        ASSERT_EQ(panel->isVisible(), mode != PlayerMode::dance);
    }
    EXPECT_TRUE(view().tableView().isVisible());
    EXPECT_FALSE(panel->geometry().intersects(view().tableView().geometry()));
    // Without a song it says so: no sample text stands in for lyrics.
    EXPECT_EQ(panel->shownMessage(), QStringList{"No song loaded"});
}

} // namespace
} // namespace vantle::testing
