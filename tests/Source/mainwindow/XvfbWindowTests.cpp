// The main window on a real X server (the CTest entry "MainWindowOnXvfb" runs this program under
// xvfb-run with the xcb platform): after an entry is loaded, the transport panel and the time slider
// are on screen, read back from a grab of the window by their texts and a few pixels; a file dropped
// onto the playlist plays.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "Source/mainwindow/SoundPanel.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/views/TextNotifierView.h"
#include "Source/views/TimeSlider.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/foundation/Console.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/TemporaryFolder.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace vantle::testing {
namespace {

class XvfbWindowTest : public RealPartsTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") {
            // The X server run must not pass by skipping.
            if (std::getenv("VANTLE_REQUIRE_XCB"))
                FAIL() << "platform " << QGuiApplication::platformName().toStdString();
            GTEST_SKIP() << "needs an X server: the MainWindowOnXvfb test runs it";
        }
        RealPartsTest::SetUp();
    }

    // The window's player becomes the one over the node graph, on a null device paced as a sound card;
    // the pointer returned names it once start() has made it.
    PlayerRZ*& useNodeGraphPlayer() {
        configureEnvironment = [parts = configureEnvironment, this](MainViewEnvironment& environment) {
            parts(environment);
            environment.makePlayer = [this] {
                auto made = std::make_unique<PlayerRZ>(std::make_unique<platform::NullAudioDevice>());
                nodeGraphPlayer_ = made.get();
                return made;
            };
        };
        return nodeGraphPlayer_;
    }

    // Runs the Qt loop and the main queue until `done`, under a generous deadline.
    static bool waitFor(const std::function<bool()>& done) {
        return QTest::qWaitFor(
            [&] {
                platform::mainQueue().drain();
                return done();
            },
            10000);
    }

private:
    PlayerRZ* nodeGraphPlayer_ = nullptr;
};

TEST_F(XvfbWindowTest, TheWindowShowsTheTransportPanelAndTheTimeSliderOfTheLoadedEntry) {
    const platform::Url song = audioFile("Tango/song.wav", 95);
    start();
    window->resize(900, 640);
    activate();
    view().insertEntries({song});
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), playlist().allEntries[0]);
    player->setCurrentTime(30.0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();

    const QImage grab = window->grab().toImage();
    ASSERT_FALSE(grab.isNull());

    // The texts of the entry.
    EXPECT_EQ(text(view().entryName().text()), " song.wav ");
    EXPECT_EQ(text(view().timeSinceZeroText().text()), " 0:30");
    EXPECT_EQ(text(view().timeRemainingText().text()), " 1:05");
    EXPECT_GT(pixelsLike(grab, view().timeRemainingText(), QColor(255, 59, 48)), 20);

    // The transport panel: shown inside the window, its play button drawn, the rate at normal speed.
    TransportViewController& transport = panel();
    ASSERT_TRUE(transport.isVisible());
    EXPECT_TRUE(window->rect().contains(QRect(transport.mapTo(window.get(), QPoint()), transport.size())));
    EXPECT_EQ(text(transport.rateText()->text()), "45");
    QAbstractButton* play = transport.button("playPressed");
    ASSERT_TRUE(play && play->isVisible());
    const QColor buttonFace = pixel(grab, *play, QPoint(2, 2));
    EXPECT_GT(play->width() * play->height() - pixelsLike(grab, *play, buttonFace), 20)
        << "the play symbol is drawn";

    // The time slider: the red cursor at the position, the black track further on, nothing but the
    // window's background above the track.
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_TRUE(slider && slider->isVisible());
    EXPECT_TRUE(window->rect().contains(QRect(slider->mapTo(window.get(), QPoint()), slider->size())));
    EXPECT_DOUBLE_EQ(slider->maxValue(), 95.0);
    auto at = [&](double seconds, int y) {
        return pixel(grab, *slider, QPointF(slider->xForTime(seconds), y).toPoint());
    };
    const int middle = slider->height() / 2;
    EXPECT_TRUE(near(at(30.0, middle), QColor(255, 0, 0)));
    EXPECT_TRUE(near(at(70.0, middle), QColor(0, 0, 0)));
    EXPECT_FALSE(near(at(70.0, 1), QColor(0, 0, 0)));
}

TEST_F(XvfbWindowTest, ASessionMadeWithTheCommandsIsThereAgainAfterAQuit) {
    const platform::Url one = audioFile("one.wav", 30), two = audioFile("two.wav", 30);
    start();
    activate();
    focus();
    auto keys = [](QKeySequence keys) { QTest::keySequence(QApplication::focusWidget(), keys); };
    keys(QKeySequence("Ctrl+Shift+A"));
    ASSERT_TRUE(panels.answerOpenPanel({one, two}));
    keys(QKeySequence(Qt::Key_Space));
    tick(20);
    view().tableView().selectRows({1});
    keys(QKeySequence(Qt::Key_Backspace));
    ASSERT_EQ(playlist().allEntries.size(), 1u);
    keys(QKeySequence::Undo);
    keys(QKeySequence("Ctrl+S"));
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Evening.vantle")));
    tick(10);
    keys(QKeySequence("Ctrl+Q"));
    ASSERT_EQ(quits, 1);

    stop();
    start();
    activate();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(text(window->windowTitle()), "Evening");
    ASSERT_EQ(view().tableView().model()->rowCount(), 2);
    EXPECT_TRUE(playlist().allEntries[0]->_url == one && playlist().allEntries[1]->_url == two);
    EXPECT_EQ(player->entry(), playlist().allEntries[0]);
    EXPECT_NEAR(player->playbackTime(), 3.0, 1e-6) << "played for 3 s in all";
}

// Clear All from the playlist's context menu on a prepared entry, and Ctrl+Z brings its zero marks,
// played spans and dates back, on screen and in the state file.
TEST_F(XvfbWindowTest, ClearAllFromTheContextMenuIsTakenBackWithUndo) {
    start();
    window->resize(900, 640);
    activate();
    view().insertEntries({audioFile("Prepared.wav", 60)});
    view().saveSessionAction();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Class.vantle")));
    view().loadEntry(playlist().allEntries[0]);
    PlaylistEntry& entry = *playlist().allEntries[0];
    entry.zeros = {10.0, 20.0, 40.0};
    entry.currentTimeRangeSet->ranges = {{0, 12}};
    entry.playedDates = {clock.now().addingTimeInterval(-600)};
    view().loadTimeSliderEntry(playlist().allEntries[0]);
    view().saveAppState();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_TRUE(slider);
    ASSERT_EQ(slider->zeroMarks().size(), 3u);

    PlaylistTableView& table = view().tableView();
    table.selectRows({0});
    table.setFocus();
    const QRect row = table.visualRect(table.model()->index(0, 0));
    QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                            table.viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(table.viewport(), &click);
    QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu) << "no context menu";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    for (QAction* item : menu->actions())
        if (item->objectName() == "entryClearAll") menu->setActiveAction(item);
    ASSERT_TRUE(menu->activeAction() && menu->activeAction()->objectName() == "entryClearAll");
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(entry.zeros.empty() && entry.currentTimeRangeSet->ranges.empty() &&
                entry.playedDates.empty());
    EXPECT_TRUE(slider->zeroMarks().empty());
    EXPECT_TRUE(writtenAppState()->zeros->empty());

    activate();
    focus();
    QTest::keySequence(QApplication::focusWidget(), QKeySequence::Undo);
    EXPECT_EQ(entry.zeros, (std::vector<double>{10.0, 20.0, 40.0}));
    EXPECT_EQ(entry.currentTimeRangeSet->ranges, (std::vector<TimeRange>{{0, 12}}));
    EXPECT_EQ(entry.playedDates.size(), 1u);
    EXPECT_EQ(slider->zeroMarks().size(), 3u);
    EXPECT_EQ(writtenAppState()->zeros, (std::vector<double>{10.0, 20.0, 40.0}));
}

// The window with a session, the karaoke panel and the sound panel is saved as a picture when
// VANTLE_SCREENSHOT names a file.
TEST_F(XvfbWindowTest, AFileDroppedOnThePlaylistPlays) {
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

// With the player over the node graph, on a null device paced as a sound card: the playing song's row
// removed with Del, then its file touched as sync tools do; the music goes on where it was.
TEST_F(XvfbWindowTest, ThePlayingSongPlaysOnWhenItsRowIsRemovedAndItsFileTouched) {
    PlayerRZ*& real = useNodeGraphPlayer();
    const platform::Url one = audioFile("one.wav", 30);
    start();
    activate();
    view().insertEntries({one, audioFile("two.wav", 30), audioFile("three.wav", 30)});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    view().tableView().selectRows({0});
    const std::shared_ptr<PlaylistEntry> playing = entry(0);
    ASSERT_TRUE(real && real->entry() == playing);
    focus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return real->isPlaying() && real->playbackTime() > 0.3; }));

    view().tableView().selectRows({0});
    focus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    ASSERT_EQ(names(), (std::vector<std::string>{"two.wav", "three.wav"}));
    EXPECT_TRUE(real->isPlaying() && real->entry() == playing && playlist().assignedEntry == playing);
    const double removedAt = real->playbackTime();
    EXPECT_TRUE(waitFor([&] { return real->playbackTime() > removedAt + 0.2; })) << "the music goes on";

    testsupport::ScopedConsoleCapture console;
    const double touchedAt = real->playbackTime();
    const double startedAt = real->rzplayer()->editStartTime();
    ASSERT_TRUE(testsupport::touchFile(one.path()));
    ASSERT_TRUE(waitFor([&] { return testsupport::consoleHas(console, "=== in eventHandler"); }));
    // The event's handling is posted to the main queue, which each look drains: watched until the song
    // has played on well past the touch, the position never went back and no play began anew.
    double lowest = real->playbackTime();
    EXPECT_TRUE(waitFor([&] {
        lowest = std::min(lowest, real->playbackTime());
        return real->playbackTime() > touchedAt + 0.3;
    })) << "the music goes on";
    EXPECT_GE(lowest, touchedAt) << "not back at 0:00";
    EXPECT_EQ(real->rzplayer()->editStartTime(), startedAt) << "never restarted";
    EXPECT_TRUE(real->isPlaying() && real->entry() == playing);
}

// With the player over the node graph, on a null device paced as a sound card: the playing song's folder
// renamed (as a USB stick pulled out) while it plays, while it is paused and while it is only loaded. The
// music goes on from the file open, with the skip buttons, pause and play; back at its path, the song is
// played from there. When the file open no longer reads either, the music stops and the window says so,
// naming the file, until the song is back.
TEST_F(XvfbWindowTest, ASongWhoseFolderIsRenamedPlaysOnAndIsFoundAgainWhenTheFolderIsBack) {
    PlayerRZ*& real = useNodeGraphPlayer();
    const platform::Url song = audioFile("Class/song.wav", 30);
    const std::string home = audioFolder.file("Class"), away = audioFolder.file("Class moved");
    start();
    activate();
    view().insertEntries({song, audioFile("Other/two.wav", 30)});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    view().tableView().selectRows({0});
    const std::shared_ptr<PlaylistEntry> current = entry(0);
    ASSERT_TRUE(real && real->entry() == current);
    // Playing, and heard past `seconds`.
    auto playsPast = [&](double seconds) {
        return waitFor([&] { return real->isPlaying() && real->playbackTime() > seconds; });
    };
    auto space = [&] {
        focus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    };
    // The clock under the song's name, as the display tick shows it.
    auto clock = [&] {
        tick();
        return text(view().timeSinceZeroText().text());
    };
    const std::string says = "File not found: " + song.path() + " — Entry › File Moved… can relocate it";

    // Playing, then paused, then only loaded when the folder goes; each time the skip button, a pause
    // and a play go on from the file open.
    const struct {
        const char* state;
        std::function<void()> before;
    } cases[] = {
        {"playing", [&] { space(); }},
        {"paused", [&] { space(), space(); }},
        {"loaded", [&] { view().tableView().selectRows({1}), view().tableView().selectRows({0}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        c.before();
        ASSERT_EQ(real->entry(), current);
        std::filesystem::rename(home, away);
        if (!real->playing()) space();
        ASSERT_TRUE(playsPast(real->desiredTime() + 0.2)) << "played from the file open";
        const double at = real->playbackTime();
        panel().button("fwd1Pressed")->click();
        EXPECT_TRUE(playsPast(at + 1.0)) << "the skip button went on, not back to 0:00";
        EXPECT_NE(clock(), " 0:00");
        space();
        EXPECT_FALSE(real->playing());
        const double paused = real->playbackTime();
        space();
        EXPECT_TRUE(playsPast(paused + 0.2)) << "played on after the pause";
        EXPECT_EQ(view().unplayableEntryText(), QString());
        EXPECT_EQ(real->entry(), current);

        // Back: the next play takes the song from its path again.
        std::filesystem::rename(away, home);
        space();
        space();
        EXPECT_TRUE(playsPast(real->desiredTime() + 0.2));
        EXPECT_FALSE(current->fileMissing);
        space();
    }

    // Gone, and the file open no longer reads: a skip stops the music, and the window says why.
    space();
    ASSERT_TRUE(playsPast(real->desiredTime() + 0.2));
    std::filesystem::rename(home, away);
    ASSERT_TRUE(testsupport::spoilInPlace(away + "/song.wav"));
    panel().button("fwd1Pressed")->click();
    EXPECT_FALSE(real->playing());
    EXPECT_EQ(text(view().noteTextField().text()), says);
    std::vector<std::string> notices;
    for (TextNotifierView* notice : window->findChildren<TextNotifierView*>())
        if (notice->isVisible()) notices.push_back(text(notice->text()));
    EXPECT_NE(std::find(notices.begin(), notices.end(), says), notices.end()) << "a notice names the file";

    // Put back whole: Play plays it, and the window no longer says it is not found.
    std::filesystem::remove_all(away);
    std::filesystem::create_directories(home);
    writeSilentWav(song, 30);
    space();
    EXPECT_TRUE(playsPast(real->desiredTime() + 0.2));
    tick();
    EXPECT_NE(text(view().noteTextField().text()), says);
    EXPECT_FALSE(current->fileMissing);
}

} // namespace
} // namespace vantle::testing
