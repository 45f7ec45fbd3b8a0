#pragma once
// The main window with its finished parts (time slider, transport panel, notices, screensaver), a
// hand-driven game-controller back end, a counting Do Not Disturb, a video player that only records,
// and a clock the test sets.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/RealParts.h"
#include "Source/views/TransportViewController.h"
#include "Source/views/VideoPlayer.h"
#include "platform/foundation/Clock.h"
#include "platform/system/DoNotDisturb.h"
#include "platform/system/FakeGameControllerBackend.h"
#include "platform/system/GameControllerCenter.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vantle::testing {

// Plays nothing; remembers what it was told.
class RecordingVideoPlayer final : public VideoPlayer {
public:
    RecordingVideoPlayer(std::string path, int& releases) : path(std::move(path)), releases_(releases) {}
    ~RecordingVideoPlayer() override { ++releases_; }
    float rate() const override { return rate_; }
    void setRate(float rate) override { rate_ = rate; }
    void play() override { rate_ = 1.0f; }
    void pause() override {
        rate_ = 0.0f;
        ++pauses;
    }
    double currentTime() const override { return time; }
    void seek(double seconds) override { time = seconds < 0 ? 0 : seconds; }
    void setVolume(float volume) override { this->volume = volume; }
    void setVideoOutput(QVideoWidget*) override {}

    std::string path;
    double time = 0;
    float volume = -1;
    int pauses = 0;

private:
    float rate_ = 0;
    int& releases_;
};

class RealPartsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        auto backend = std::make_unique<platform::FakeGameControllerBackend>();
        controllers = backend.get();
        center = std::make_unique<platform::GameControllerCenter>(std::move(backend));
        configureEnvironment = [this](MainViewEnvironment& environment) {
            MainViewParts parts = realMainViewParts({center.get()});
            environment.parts.timeSlider = std::move(parts.timeSlider);
            environment.parts.transport = std::move(parts.transport);
            environment.parts.notices = std::move(parts.notices);
            environment.parts.screensaver = std::move(parts.screensaver);
            environment.doNotDisturb = &doNotDisturb;
            environment.clock = &clock;
            environment.makeVideoPlayer = [this](const platform::Url& url) {
                auto made = std::make_unique<RecordingVideoPlayer>(url.path(), videoPlayersReleased);
                videoPlayers.push_back(made.get());
                return made;
            };
        };
    }

    void TearDown() override {
        MainWindowTest::TearDown();
        center.reset();
    }

    // The main window active, with the keyboard focus on `widget` (the playlist table when none).
    void focus(QWidget* widget = nullptr) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QWidget* target = widget ? widget : static_cast<QWidget*>(&view().tableView());
        target->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), target);
    }

    // A key press typing `text`, delivered as the window system delivers it: to the window that has
    // the focus, which hands it to its focus widget unless a modal window blocks it.
    void type(int key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWindow* target = QGuiApplication::focusWindow();
        ASSERT_NE(target, nullptr);
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(target, &press);
    }

    TransportViewController& panel() {
        auto* found = window->findChild<TransportViewController*>("transportPanel");
        EXPECT_NE(found, nullptr);
        return *found;
    }

    platform::FakeDoNotDisturb doNotDisturb;
    platform::FakeClock clock{platform::Date::fromUnix(1'700'000'000)};
    platform::FakeGameControllerBackend* controllers = nullptr;
    std::unique_ptr<platform::GameControllerCenter> center;
    // Valid until released.
    std::vector<RecordingVideoPlayer*> videoPlayers;
    int videoPlayersReleased = 0;
};

} // namespace vantle::testing
