// The finished parts in the main window: the transport panel and the time slider after an entry is
// loaded, the remote, the notices, the break the clocks draw, the screensaver, the video window and
// Do Not Disturb; a file copied over while it plays.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/session/Attachment.h"
#include "Source/views/Clock.h"
#include "Source/views/ImageNotifierView.h"
#include "Source/views/Mp4ViewController.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/Screensaver.h"
#include "Source/views/Scrubber.h"
#include "Source/views/TextNotifierView.h"
#include "Source/views/TimeSlider.h"
#include "tests/support/PaintCounter.h"
#include "tests/support/TestDevices.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

class PartsTest : public RealPartsTest {
protected:
    TimeSlider& slider() {
        auto* found = window->findChild<TimeSlider*>("timeSlider");
        EXPECT_NE(found, nullptr);
        return *found;
    }
    void click(QAbstractButton* button) {
        ASSERT_NE(button, nullptr);
        button->click();
    }
    // The window started on one 80 s file, shown as the current entry.
    void startOnASong(bool restore) {
        const platform::Url song = audioFile("song.wav", 80);
        start();
        if (restore) activate();
        view().insertEntries({song});
        view().tableView().selectRows({0});
    }
    void mouseOnSlider(QEvent::Type type, double seconds, Qt::MouseButtons buttons) {
        const QPointF at(slider().xForTime(seconds), slider().height() / 2.0);
        QMouseEvent event(type, at, slider().mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&slider(), &event);
    }
};

TEST_F(PartsTest, LoadingAnEntryConnectsTheTransportPanelAndTheTimeSlider) {
    startOnASong(true);
    ASSERT_EQ(player->entry(), entry(0));

    // How both are laid out and drawn is the X server test's; here how they work with the main view.
    TransportViewController& transport = panel();
    player->setCurrentTime(30.0);

    // The panel works on the main view: a zero mark at the position shows on the slider.
    click(transport.button("markZeroPressed"));
    ASSERT_EQ(slider().zeroMarks().size(), 1u);
    EXPECT_DOUBLE_EQ(slider().zeroMarks()[0].time, 30.0);

    // The volume: the main view's follows the panel's buttons, the panel's slider the main view's.
    view().setVolume(0.8f);
    EXPECT_EQ(transport.volumeSlider()->value(), 16);
    click(transport.button("volumeUpPressed"));
    EXPECT_FLOAT_EQ(player->volume(), 0.85f);
    EXPECT_EQ(transport.volumeSlider()->value(), 17);

    // Held, the slider seeks and the position shows in green; dragged, it scrubs (silently here).
    ASSERT_NE(view().scrubber(), nullptr);
    mouseOnSlider(QEvent::MouseButtonPress, 40.0, Qt::LeftButton);
    EXPECT_EQ(text(view().timeRemainingText().text()), " 0:40");
    mouseOnSlider(QEvent::MouseMove, 50.0, Qt::LeftButton);
    EXPECT_NEAR(player->playbackTime(), 50.0, 0.01);
    EXPECT_TRUE(view().scrubber()->scrubbing());
    mouseOnSlider(QEvent::MouseButtonRelease, 50.0, Qt::NoButton);
    EXPECT_FALSE(view().scrubber()->scrubbing());
    EXPECT_EQ(text(view().timeRemainingText().text()), " 0:30");

    // Another entry gets a scrubber of its own; none leaves none.
    const std::shared_ptr<Scrubber> before = view().scrubber();
    view().loadEntry(nullptr);
    EXPECT_EQ(view().scrubber(), nullptr);
    view().loadEntry(entry(0));
    EXPECT_NE(view().scrubber(), nullptr);
    EXPECT_NE(view().scrubber(), before);
}

TEST_F(PartsTest, TheRemoteDrivesThePanelOnceTheControlsAreSetUp) {
    const platform::Url song = audioFile("song.wav", 80);
    start();
    const platform::GameControllerId pad = controllers->connect();
    view().insertEntries({song});
    view().tableView().selectRows({0});
    // Nothing listens before the restore sets the panel up.
    controllers->press(pad, platform::GamepadButton::buttonA);
    controllers->release(pad, platform::GamepadButton::buttonA);
    platform::mainQueue().drain();
    EXPECT_FALSE(player->playing());

    // Then A plays and R pauses, each first putting the window in dance mode. What every button does,
    // and the pictures of the remote's state, are the panel's tests'.
    activate();
    player->setMode(PlayerMode::prepare);
    controllers->press(pad, platform::GamepadButton::buttonA);
    platform::mainQueue().drain();
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(text(window->modeLabel().text()), "dance");
    controllers->press(pad, platform::GamepadButton::rightShoulder);
    platform::mainQueue().drain();
    EXPECT_FALSE(player->playing());
}

TEST_F(PartsTest, NoticesAppearOverTheirBand) {
    startOnASong(false);
    auto* area = window->findChild<QWidget*>("noticeArea");
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(area->testAttribute(Qt::WA_TransparentForMouseEvents));

    view().transport().playPressed();
    std::vector<ImageNotifierView*> images;
    for (ImageNotifierView* notice : area->findChildren<ImageNotifierView*>())
        if (notice->isVisible()) images.push_back(notice);
    EXPECT_EQ(images.size(), 1u);

    tick(655);
    view().transport().pausePressed();
    std::vector<TextNotifierView*> texts;
    for (TextNotifierView* notice : area->findChildren<TextNotifierView*>())
        if (notice->isVisible()) texts.push_back(notice);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(text(texts[0]->text()), " 1:04");
}

TEST_F(PartsTest, TheClocksDrawTheBreakWithTheLengthItWasArmedWith) {
    start();
    platform::UserDefaults::standard().setDouble("timerDuration", 15);
    const RestTimerState& state = view().restTimerState();
    EXPECT_EQ(state.timeArmed(), std::nullopt);

    const platform::Date armedAt = clock.now();
    view().breakTimer().arm(300.0);
    EXPECT_EQ(state.timeArmed(), armedAt);
    EXPECT_THAT(breakTimer->arms, ElementsAre(std::optional<double>(300.0)));
    // The default length as it is when the break starts; a later change does not move the arc.
    clock.set(armedAt.addingTimeInterval(10));
    view().breakTimer().arm(std::nullopt);
    EXPECT_EQ(state.timeArmed(), clock.now());
    EXPECT_DOUBLE_EQ(state.armedLength(), 900.0);
    platform::UserDefaults::standard().setDouble("timerDuration", 0.5);
    EXPECT_DOUBLE_EQ(state.armedLength(), 900.0);

    view().breakTimer().cancel();
    EXPECT_EQ(state.timeArmed(), std::nullopt);
    view().breakTimer().toggle();
    EXPECT_EQ(state.timeArmed(), clock.now());
    view().breakTimer().toggle();
    EXPECT_EQ(state.timeArmed(), std::nullopt);

    // The toolbar's clock draws that state, on the main view's clock, from the start.
    Clock& titleClock = window->clockButton();
    EXPECT_EQ(titleClock.restTimer(), &state);
    EXPECT_TRUE(titleClock.hasDisplayTimer());
    EXPECT_EQ(&titleClock.dateSource(), &clock);
}

TEST_F(PartsTest, TheScreensaverComesUpAfterTwoIdleMinutesOverTheMainView) {
    start();
    auto* screensaver = window->findChild<Screensaver*>("screensaver");
    ASSERT_NE(screensaver, nullptr);
    // When exactly is the screensaver's own rule; here that the main view's idle time brings it up.
    platform::mainQueue().drain();
    EXPECT_FALSE(screensaver->isVisible());
    scheduler.advance(120.5);
    platform::mainQueue().drain();
    ASSERT_TRUE(screensaver->isVisible());
    EXPECT_EQ(screensaver->restTimer(), &view().restTimerState());
}

TEST_F(PartsTest, AVideoAttachmentOpensTheVideoWindowWhichTheNextEntryCloses) {
    const platform::Url song = audioFile("song.wav", 80);
    const platform::Url other = audioFile("other.wav", 60);
    start();
    activate();
    view().insertEntries({song, other});
    entry(0)->attachments = {std::make_shared<Attachment>(audioFolder.url("Clip (video).MP4"), "mp4"),
                             std::make_shared<Attachment>(audioFolder.url("steps.pdf"), "pdf")};
    view().tableView().selectRows({0});
    QPushButton* videoButton = nullptr;
    QPushButton* pdfButton = nullptr;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == "video") videoButton = button;
        if (button->text() == "pdf") pdfButton = button;
    }
    ASSERT_TRUE(videoButton && pdfButton);

    videoButton->click();
    EXPECT_EQ(videoPaths, std::vector<std::string>{audioFolder.path + "/Clip (video).MP4"});
    ASSERT_EQ(videos.size(), 1u);
    Mp4ViewController* video = view().mp4ViewController();
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->videoPlayer(), videos[0]->player);

    // While it is the active window the keys are the video's (what the remote and the typed keys do
    // there is the transport's and the video window's tests').
    video->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(video->window()));
    EXPECT_EQ(view().keyVideoWindow(), video);
    view().handleKey(" ");
    EXPECT_EQ(videos[0]->rate, 1.0f);
    EXPECT_FALSE(player->playing());

    // Another entry closes it, which stops and releases the video.
    QPointer<QWidget> videoWindow = video->window();
    view().tableView().selectRows({1});
    EXPECT_TRUE(videos[0]->released);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(videoWindow.isNull());
    EXPECT_EQ(view().mp4ViewController(), nullptr);
    EXPECT_EQ(view().keyVideoWindow(), nullptr);
}

TEST_F(PartsTest, DoNotDisturbLastsWhileTheMusicPlays) {
    startOnASong(false);
    view().transport().playPressed();
    EXPECT_TRUE(doNotDisturb.isOn);
    view().transport().pausePressed();
    EXPECT_FALSE(doNotDisturb.isOn);
    view().transport().playPressed();
    view().transport().playPressed(); // pressed again while playing: applied again, still on
    EXPECT_EQ(doNotDisturb.enableCount, 3);
    EXPECT_TRUE(doNotDisturb.isOn);
    // Quitting puts it back.
    view().prepareToQuit();
    EXPECT_FALSE(doNotDisturb.isOn);
    EXPECT_EQ(doNotDisturb.restoreCount, 2);
}

// Play with nothing to play (the song's file gone) leaves the notifications as they were; once the file
// is back the next Play plays it.
TEST_F(PartsTest, PlayWithNothingToPlayLeavesDoNotDisturbOffAndPlaysTheFileOnceItIsBack) {
    startOnASong(false);
    view().insertEntries({audioFile("other.wav", 30)});
    const std::string path = entry(0)->_url.path();
    const std::string aside = path + ".aside";
    view().tableView().selectRows({1});
    std::filesystem::rename(path, aside);
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), nullptr);
    view().transport().playPressed();
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(doNotDisturb.isOn);
    EXPECT_EQ(doNotDisturb.enableCount, 0);

    const std::string says = "File not found: " + path + " — Entry › File Moved… can relocate it";
    EXPECT_EQ(view().unplayableEntryText().toStdString(), says);

    // Back: the same Play plays it, says no more that it is not found, and only now are notifications
    // silenced.
    std::filesystem::rename(aside, path);
    QSignalSpy redrawn(view().tableView().model(), &QAbstractItemModel::dataChanged);
    view().transport().playPressed();
    EXPECT_TRUE(player->playing());
    EXPECT_TRUE(std::any_of(redrawn.begin(), redrawn.end(), [](const QList<QVariant>& cells) {
        return cells[0].toModelIndex().row() == 0;
    })) << "its row is drawn again, with its length";
    EXPECT_EQ(player->entry(), entry(0));
    EXPECT_FALSE(entry(0)->fileMissing);
    EXPECT_EQ(view().unplayableEntryText(), QString());
    EXPECT_TRUE(doNotDisturb.isOn);
}

// A file copied over while it plays: the main window, on the real player, shows its new length.
class ReloadedFileTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        configureEnvironment = [parts = configureEnvironment](MainViewEnvironment& environment) {
            parts(environment);
            // Playing on a device that renders nothing, the position holds still: the texts show the
            // new length whatever the time the reload took.
            environment.makePlayer = [] {
                return std::make_unique<PlayerRZ>(std::make_unique<testsupport::StuckDevice>());
            };
        };
    }

    std::string cell(PlaylistColumn column) {
        const PlaylistTableModel& model = view().tableView().playlistModel();
        return model.index(0, PlaylistTableModel::columnIndex(column)).data().toString().toStdString();
    }
};

TEST_F(ReloadedFileTest, TheNewLengthReachesTheTextsTheSliderItsMarksAndTheTable) {
    start();
    activate();
    const platform::Url song = audioFile("song.wav", 178.0);
    const platform::Url shorter = audioFile("shorter.wav", 62.0);
    view().insertEntries({song});
    playlist().allEntries[0]->zeros = {30.0};
    view().loadEntryAtRow(0);
    playlist().dirty = false;
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_NE(slider, nullptr);
    ASSERT_EQ(slider->zeroMarks().size(), 1u);
    const double zeroXBefore = slider->xForTime(slider->zeroMarks()[0].time);
    EXPECT_EQ(slider->maxValue(), 178.0);
    EXPECT_EQ(text(view().timeRemainingText().text()), " 2:58");
    EXPECT_EQ(cell(PlaylistColumn::Duration), " 2:58");

    view().transport().playPressed();
    ASSERT_TRUE(view().player().isPlaying());
    std::filesystem::copy_file(shorter.path(), song.path(),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return slider->maxValue() != 178.0; }, 10.0));

    EXPECT_EQ(slider->maxValue(), 62.0);
    ASSERT_EQ(slider->zeroMarks().size(), 1u);
    EXPECT_GT(slider->xForTime(slider->zeroMarks()[0].time), zeroXBefore) << "30 s of 62, not of 178";
    EXPECT_EQ(text(view().timeRemainingText().text()), " 1:02");
    EXPECT_EQ(cell(PlaylistColumn::Duration), " 1:02");
    EXPECT_TRUE(playlist().dirty) << "the session stores the length";
}

// The display tick and the clock's timer repaint only the views whose content changed.
class IdleRepaintTest : public RealPartsTest {
protected:
    // Ticks with the events they cause handled; the clock's date stands still.
    void ticks(int count) {
        for (int i = 0; i < count; ++i) {
            tick();
            QApplication::processEvents();
        }
    }
};

TEST_F(IdleRepaintTest, StoppedNothingIsRepaintedAndASeekRepaintsOnlyWhatMoved) {
    start();
    activate();
    view().insertEntries({audioFile("song.wav", 178.0)});
    view().loadEntryAtRow(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ticks(10);
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_NE(slider, nullptr);

    {
        testsupport::PaintCounter counter;
        ticks(100);
        EXPECT_EQ(counter.total(), 0) << counter.painted();
    }
    {
        testsupport::PaintCounter counter;
        view().player().setCurrentTime(61.0);
        ticks(10);
        EXPECT_EQ(counter.paints(slider), 1);
        EXPECT_EQ(counter.paints(&view().timeSinceZeroText()), 1);
        EXPECT_EQ(counter.paints(&view().timeRemainingText()), 1);
        EXPECT_EQ(counter.paints(&view().entryName()), 0);
        EXPECT_EQ(counter.paints(&view().noteTextField()), 0);
        EXPECT_EQ(counter.paints(view().tableView().viewport()), 0) << "the played share did not move";
    }
}

} // namespace
} // namespace vantle::testing
