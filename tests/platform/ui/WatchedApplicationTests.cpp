#include "platform/ui/WatchedApplication.h"
#include "tests/support/StallWatch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

// Outside any unnamed namespace, so that the stack the watchdog takes can name it.
namespace watchedapplicationtest {

// Receives the test's event and runs the test's stretch in its delivery.
class StretchingReceiver final : public QObject {
public:
    std::function<void()> stretch;
    [[gnu::noinline]] void customEvent(QEvent*) override { stretch(); }
};

} // namespace watchedapplicationtest

namespace {

// The application watched on a clock the test moves and sampled by the test itself, on the application's
// thread; the environment's watch comes back afterwards.
class WatchedApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(application, nullptr);
        platform::StallWatchdog::Options options;
        options.threshold = 100ms;
        options.clock = [this] { return clock.load(); };
        options.report = [this](const platform::StallWatchdog::Stall& stall) { stalls.push_back(stall); };
        options.ownSampler = false;
        application->watch(std::move(options));
    }
    void TearDown() override { testsupport::watchForStalls(*application); }

    // Looks at the open stretch, then again after `by`.
    void sampleAcross(std::chrono::milliseconds by) {
        application->watchdog()->sample();
        clock.store(clock.load() + by);
        application->watchdog()->sample();
    }
    bool stackHas(const std::string& function) const {
        return std::any_of(
            stalls.front().stack.begin(), stalls.front().stack.end(),
            [&](const std::string& frame) { return frame.find(function) != std::string::npos; });
    }

    platform::WatchedApplication* const application = platform::WatchedApplication::instance();
    std::atomic<std::chrono::nanoseconds> clock{0ns};
    std::vector<platform::StallWatchdog::Stall> stalls;
};

TEST_F(WatchedApplicationTest, ADeliveryThatKeepsTheThreadFromItsLoopIsAStallUnlessALoopTurnsInside) {
    struct Case {
        std::chrono::milliseconds beforeNestedLoop;
        bool nestedLoop;
        std::chrono::milliseconds after;
        bool stalled;
    };
    for (const Case& c : {Case{60ms, false, 60ms, true}, Case{60ms, true, 60ms, false},
                          Case{60ms, true, 120ms, true}, Case{90ms, false, 0ms, false}}) {
        SCOPED_TRACE(testing::Message()
                     << c.beforeNestedLoop.count() << " " << c.nestedLoop << " " << c.after.count());
        stalls.clear();
        watchedapplicationtest::StretchingReceiver receiver;
        receiver.stretch = [&] {
            sampleAcross(c.beforeNestedLoop);
            if (c.nestedLoop) {
                QEventLoop loop;
                QTimer::singleShot(0, &loop, &QEventLoop::quit);
                loop.exec();
            }
            sampleAcross(c.after);
        };
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&receiver);

        ASSERT_EQ(stalls.size(), c.stalled ? 1u : 0u);
        if (!c.stalled) continue;
        EXPECT_EQ(stalls.front().activity, "delivering event User to QObject");
        EXPECT_TRUE(stackHas("watchedapplicationtest::StretchingReceiver::customEvent"))
            << stalls.front().text();
    }
}

// The window's teardown after its loop ended is watched under its own name.
TEST_F(WatchedApplicationTest, WorkOutsideAnyDeliveryIsWatchedWhileAStretchLasts) {
    {
        platform::WatchedApplication::Stretch closing("closing the window");
        sampleAcross(150ms);
    }
    ASSERT_EQ(stalls.size(), 1u);
    EXPECT_EQ(stalls.front().activity, "closing the window");
    EXPECT_EQ(stalls.front().length, 150ms);
    sampleAcross(150ms);
    EXPECT_EQ(stalls.size(), 1u) << "nothing is watched once it ended";
}

} // namespace
