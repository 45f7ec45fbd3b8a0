// On a real X server: a file dropped onto the playlist table plays, and the window with a session,
// the karaoke panel and the sound panel is drawn (written as a picture when VANTLE_SCREENSHOT names
// a file).

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/mainwindow/SoundPanel.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantle::testing {
namespace {

class XvfbDropTest : public RealPartsTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") {
            if (std::getenv("VANTLE_REQUIRE_XCB"))
                FAIL() << "platform " << QGuiApplication::platformName().toStdString();
            GTEST_SKIP() << "needs an X server: the MainWindowOnXvfb test runs it";
        }
        RealPartsTest::SetUp();
        configureEnvironment = [parts = configureEnvironment](MainViewEnvironment& environment) {
            parts(environment);
            environment.parts.soundPanel = [](MainViewController& controller) {
                return std::make_unique<SoundPanel>(controller);
            };
        };
    }
};

TEST_F(XvfbDropTest, AFileDroppedOnThePlaylistPlays) {
    const platform::Url first = audioFile("Waltz.wav", 40), second = audioFile("Polka.wav", 40);
    const platform::Url dropped = audioFile("Tango.wav", 95);
    start();
    activate();
    view().insertEntries({first, second});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.path()))});
    QWidget* viewport = view().tableView().viewport();
    const QPoint between = view().tableView().visualRect(view().tableView().model()->index(1, 0)).topLeft();
    QDragEnterEvent enter(between, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(between), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    ASSERT_TRUE(drop.isAccepted());
    ASSERT_EQ(playlist().allEntries.size(), 3u);
    EXPECT_EQ(playlist().allEntries[1]->_url, dropped);

    window->findChild<QAction*>("toolPlay")->trigger();
    tick(5);
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(player->entry()->_url, dropped);

    window->karaokeTool().click();
    QApplication::processEvents();
    ASSERT_TRUE(view().karaokeView()->isVisible());
    const QImage grab = window->grab().toImage();
    ASSERT_FALSE(grab.isNull());
    if (const char* path = std::getenv("VANTLE_SCREENSHOT")) EXPECT_TRUE(grab.save(path));
}

} // namespace
} // namespace vantle::testing
