// The video window's keys, remote buttons, relative seeks and life cycle, over a fake player.

#include "Source/views/Mp4ViewController.h"
#include "Source/views/Mp4WindowController.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "tests/Source/views/FakeVideoPlayer.h"
#include "tests/support/Clocks.h"
#include "tests/support/ConsoleCapture.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QVideoWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vantle {
namespace {

using testing::FakeVideoPlayer;
using testing::FakeVideoRecord;

class Mp4ViewTest : public ::testing::Test {
protected:
    Mp4ViewEnvironment environment() {
        Mp4ViewEnvironment e;
        e.clock = &clock;
        e.setOutputVolume = [this](float volume) { outputVolumes.push_back(volume); };
        e.mainScreenFrame = [this] { return screenFrame; };
        return e;
    }

    // A video window with a fake player, not shown; deletes itself when closed.
    Mp4WindowController* makeWindow() {
        Mp4WindowEnvironment e;
        e.view = environment();
        e.makePlayer = [this](const platform::Url& url) -> std::unique_ptr<VideoPlayer> {
            opened.push_back(url.path());
            records.push_back(std::make_shared<FakeVideoRecord>());
            return std::make_unique<FakeVideoPlayer>(records.back());
        };
        auto* window = new Mp4WindowController(std::move(e));
        windows.emplace_back(window);
        return window;
    }

    void TearDown() override {
        for (const QPointer<Mp4WindowController>& window : windows)
            delete window.data();
        setApplicationWindowMenu(nullptr);
    }

    static void deleteClosedWindows() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    testsupport::FakeClock clock{platform::Date{1000.0}};
    std::optional<QRect> screenFrame = QRect(10, 20, 640, 360);
    std::vector<float> outputVolumes;
    std::vector<std::string> opened;
    std::vector<std::shared_ptr<FakeVideoRecord>> records;
    std::vector<QPointer<Mp4WindowController>> windows;
};

TEST_F(Mp4ViewTest, TypedCharactersSetRatesPlayPauseAndLogTheRest) {
    Mp4ViewController view(environment());
    auto record = std::make_shared<FakeVideoRecord>();
    view.setVideoPlayer(std::make_unique<FakeVideoPlayer>(record));
    testsupport::ScopedConsoleCapture console;

    view.handleKey(" ");
    EXPECT_EQ(record->rate, 1.0f);
    view.handleKey(" ");
    EXPECT_EQ(record->rate, 0.0f);
    EXPECT_EQ(record->pauses, 1);

    const std::vector<std::pair<QString, float>> rates = {{"h", 0.5f}, {"N", 1.0f}, {"d", 2.0f}, {"S", 1.5f}};
    for (const auto& [key, rate] : rates) {
        record->rate = 0.0f;
        view.handleKey(key);
        EXPECT_EQ(record->rate, rate) << key.toStdString();
    }
    // Space pauses whatever the rate.
    view.handleKey(" ");
    EXPECT_EQ(record->rate, 0.0f);

    // Zero marks and the side arrows are not the video's business, and not logged.
    for (const QString& key : {QString("z"), QString("Z"), QString(QChar(0xF702)), QString(QChar(0xF703))})
        view.handleKey(key);
    EXPECT_EQ(record->rate, 0.0f);
    EXPECT_TRUE(record->seeks.empty());
    EXPECT_TRUE(console.lines().empty());

    view.handleKey(QString(QChar(0xF701)));
    view.handleKey(QString(QChar(0xF700)));
    view.handleKey("dd");
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"downarrow", "uparrow", "Mp4ViewController: dd"}));
    EXPECT_EQ(record->rate, 0.0f);

    // Escape closes the window, here the controller itself, and that releases the player.
    view.handleKey("\x1b");
    EXPECT_TRUE(record->released);
    EXPECT_EQ(view.videoPlayer(), nullptr);
}

TEST_F(Mp4ViewTest, WithoutAPlayerKeysAndButtonsDoNothing) {
    Mp4ViewController view(environment());
    testsupport::ScopedConsoleCapture console;
    for (const QString& key : {QString(" "), QString("q"), QString(QChar(0xF700))})
        view.handleKey(key);
    view.seekBack(3.0f);
    view.pressed(RemoteControlButton::dpadUp);
    view.pressed(RemoteControlButton::B);
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(view.volume(), 0.5f);
    EXPECT_TRUE(outputVolumes.empty());

    // Stopping twice is harmless; the player is gone after the first.
    auto record = std::make_shared<FakeVideoRecord>();
    view.setVideoPlayer(std::make_unique<FakeVideoPlayer>(record));
    view.stopVideo();
    view.stopVideo();
    EXPECT_EQ(record->pauses, 1);
    EXPECT_TRUE(record->released);
    EXPECT_EQ(view.videoPlayer(), nullptr);
}

TEST_F(Mp4ViewTest, QuickSeekPressesAddUpAndSlowOnesStartFromThePosition) {
    Mp4ViewController view(environment());
    auto record = std::make_shared<FakeVideoRecord>();
    view.setVideoPlayer(std::make_unique<FakeVideoPlayer>(record));
    record->time = 20.0;

    view.pressed(RemoteControlButton::B);
    clock.advance(0.3);
    record->time = 19.0; // still on its way back
    view.pressed(RemoteControlButton::B);
    clock.advance(0.4);
    view.pressed(RemoteControlButton::B);
    // A second later the position counts again.
    clock.advance(1.0);
    record->time = 12.5;
    view.pressed(RemoteControlButton::B);
    // Exactly half a second is no longer quick.
    clock.advance(0.5);
    record->time = 9.0;
    view.seekBack(1.0f);
    // Targets before the start become the start, also when quick presses add up.
    clock.advance(1.0);
    record->time = 0.5;
    view.seekBack(3.0f);
    clock.advance(0.1);
    view.seekBack(3.0f);
    EXPECT_EQ(record->seeks, (std::vector<double>{17.0, 14.0, 11.0, 9.5, 8.0, 0.0, 0.0}));
}

TEST_F(Mp4ViewTest, RemoteButtonsControlVolumeTransportAndPosition) {
    Mp4ViewController view(environment());
    auto record = std::make_shared<FakeVideoRecord>();
    view.setVideoPlayer(std::make_unique<FakeVideoPlayer>(record));
    // The video's volume starts at its own 0.5.
    EXPECT_EQ(record->volume, 0.5f);

    view.pressed(RemoteControlButton::dpadUp);
    EXPECT_EQ(outputVolumes, std::vector<float>{0.55f});
    for (int i = 0; i < 12; ++i)
        view.pressed(RemoteControlButton::dpadUp);
    EXPECT_EQ(record->volume, 1.0f);
    for (int i = 0; i < 25; ++i)
        view.pressed(RemoteControlButton::dpadDown);
    EXPECT_EQ(view.volume(), 0.0f);
    EXPECT_EQ(record->volume, 0.0f);
    EXPECT_EQ(outputVolumes.size(), 38u);

    view.pressed(RemoteControlButton::A);
    EXPECT_EQ(record->rate, 1.0f);
    record->time = 30.0;
    view.pressed(RemoteControlButton::X);
    view.pressed(RemoteControlButton::B);
    EXPECT_EQ(record->seeks, (std::vector<double>{0.0, 27.0}));
    view.pressed(RemoteControlButton::R);
    EXPECT_EQ(record->rate, 0.0f);

    for (RemoteControlButton button :
         {RemoteControlButton::dpadLeft, RemoteControlButton::dpadRight, RemoteControlButton::Y,
          RemoteControlButton::L, RemoteControlButton::L2, RemoteControlButton::R2, RemoteControlButton::plus,
          RemoteControlButton::minus, RemoteControlButton::home, RemoteControlButton::star}) {
        view.pressed(button);
        view.released(button);
    }
    view.released(RemoteControlButton::A);
    view.connected(2);
    EXPECT_EQ(record->seeks.size(), 2u);
    EXPECT_EQ(record->pauses, 1);

    // A later player takes the controller's volume.
    auto next = std::make_shared<FakeVideoRecord>();
    view.setVideoPlayer(std::make_unique<FakeVideoPlayer>(next));
    EXPECT_TRUE(record->released);
    EXPECT_EQ(next->volume, 0.0f);
}

TEST_F(Mp4ViewTest, TheWindowOpensAFileFillsTheScreenAndStopsWhenClosed) {
    QMenu windowMenu;
    setApplicationWindowMenu(&windowMenu);
    Mp4WindowController* window = makeWindow();
    QAction* item = windowMenu.addAction("clip");
    setWindowMenuItemWindow(*item, window);
    Mp4ViewController& view = window->mp4ViewController();
    EXPECT_EQ(view.keyEquivalent(), "3");

    window->loadVideo(platform::Url::fileURLWithPath("/videos/Warm-up (slow).mp4"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(opened, (std::vector<std::string>{"/videos/Warm-up (slow).mp4"}));
    EXPECT_EQ(window->windowTitle(), "Warm-up (slow).mp4");
    EXPECT_EQ(records[0]->volume, 0.5f);
    // Loading does not show the window, nor give the picture a player.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(records[0]->output, nullptr);
    EXPECT_TRUE(item->shortcut().isEmpty());

    window->show();
    // The whole window, frame included, covers the screen's visible area.
    EXPECT_EQ(window->frameGeometry(), QRect(10, 20, 640, 360));
    EXPECT_EQ(records[0]->output, &view.mp4aview());
    EXPECT_EQ(item->shortcut(), QKeySequence("Ctrl+3"));

    // Keys typed in the window reach the controller, arrows as their function-key characters.
    testsupport::ScopedConsoleCapture console;
    QTest::keyClicks(&view, "D");
    EXPECT_EQ(records[0]->rate, 2.0f);
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Left);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"uparrow"}));

    // Escape closes the window, which stops the video and goes away.
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(records[0]->pauses, 1);
    EXPECT_TRUE(records[0]->released);
    deleteClosedWindows();
    EXPECT_TRUE(windows[0].isNull());
}

TEST_F(Mp4ViewTest, ClosingTheWindowStopsTheVideoAndWithoutAScreenItKeepsItsFrame) {
    screenFrame.reset();
    Mp4WindowController* window = makeWindow();
    window->setGeometry(50, 60, 300, 200);
    window->loadVideo(platform::Url::fileURLWithPath("/videos/one.mp4"));
    window->show();
    EXPECT_EQ(window->geometry(), QRect(50, 60, 300, 200));
    EXPECT_EQ(records[0]->output, nullptr);
    window->mp4ViewController().handleKey("s");
    EXPECT_EQ(records[0]->rate, 1.5f);

    // Another entry loaded in the main window closes the video window.
    window->close();
    EXPECT_EQ(records[0]->rate, 0.0f);
    EXPECT_TRUE(records[0]->released);
    deleteClosedWindows();
    EXPECT_TRUE(windows[0].isNull());

    // A window without a player only watches its closing when shown.
    screenFrame = QRect(0, 0, 800, 600);
    Mp4WindowController* empty = makeWindow();
    empty->setGeometry(5, 5, 200, 100);
    empty->show();
    EXPECT_EQ(empty->geometry(), QRect(5, 5, 200, 100));
    empty->close();
    deleteClosedWindows();
    EXPECT_TRUE(windows[1].isNull());
}

} // namespace
} // namespace vantle
