#pragma once
// The main window with its finished parts (time slider, transport panel, notices, screensaver), a
// hand-driven game-controller back end, a counting Do Not Disturb, a video player that only records,
// and a clock the test sets.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/RealParts.h"
#include "Source/views/TransportViewController.h"
#include "platform/foundation/Clock.h"
#include "platform/system/GameControllerCenter.h"
#include "tests/Source/views/FakeVideoPlayer.h"
#include "tests/support/Clocks.h"
#include "tests/support/FakeDoNotDisturb.h"
#include "tests/support/FakeGameControllerBackend.h"

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

class RealPartsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        auto backend = std::make_unique<testsupport::FakeGameControllerBackend>();
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
                videoPaths.push_back(url.path());
                videos.push_back(std::make_shared<FakeVideoRecord>());
                return std::make_unique<FakeVideoPlayer>(videos.back());
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

    testsupport::FakeDoNotDisturb doNotDisturb;
    testsupport::FakeClock clock{platform::Date::fromUnix(1'700'000'000)};
    testsupport::FakeGameControllerBackend* controllers = nullptr;
    std::unique_ptr<platform::GameControllerCenter> center;
    std::vector<std::string> videoPaths;
    std::vector<std::shared_ptr<FakeVideoRecord>> videos;
};

} // namespace vantle::testing
