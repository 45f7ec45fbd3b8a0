// On a real X server: a file dropped onto the playlist plays, and the window with a session, the
// karaoke panel and the sound panel is drawn (saved as a picture when VANTLE_SCREENSHOT names a file).

#include "Source/mainwindow/SoundPanel.h"
#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include <QAction>
#include <QGuiApplication>
#include <QTest>

#include <cstdlib>

namespace vantle::testing {
namespace {

TEST_F(RealPartsTest, OnXvfbAFileDroppedOnThePlaylistPlays) {
    if (QGuiApplication::platformName() != "xcb") {
        if (std::getenv("VANTLE_REQUIRE_XCB")) FAIL() << QGuiApplication::platformName().toStdString();
        GTEST_SKIP() << "needs an X server: the MainWindowOnXvfb test runs it";
    }
    configureEnvironment = [parts = configureEnvironment](MainViewEnvironment& environment) {
        parts(environment);
        environment.parts.soundPanel = [](MainViewController& view) {
            return std::make_unique<SoundPanel>(view);
        };
    };
    const platform::Url dropped = audioFile("Tango.wav", 95);
    start();
    activate();
    view().insertEntries({audioFile("Waltz.wav", 40), audioFile("Polka.wav", 40)});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    QMimeData data;
    setFiles(data, {dropped});
    ASSERT_TRUE(dropOnTable(data, 1));
    EXPECT_EQ(playlist().allEntries.at(1)->_url, dropped);
    window->findChild<QAction*>("toolPlay")->trigger();
    tick(5);
    EXPECT_TRUE(player->playing() && player->entry()->_url == dropped);

    window->karaokeTool().click();
    QApplication::processEvents();
    const QImage grab = window->grab().toImage();
    EXPECT_FALSE(grab.isNull());
    if (const char* path = std::getenv("VANTLE_SCREENSHOT")) {
        EXPECT_TRUE(grab.save(path));
    }
}

} // namespace
} // namespace vantle::testing
