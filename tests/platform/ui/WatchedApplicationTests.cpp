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

TEST(WatchedApplicationTest, ADeliveryThatKeepsTheThreadFromItsLoopIsAStallUnlessALoopTurnsInside) {
    platform::WatchedApplication* application = platform::WatchedApplication::instance();
    ASSERT_NE(application, nullptr);
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
        // The test's own watch, on a clock the delivery moves and sampled by the delivery itself.
        std::atomic<std::chrono::nanoseconds> clock{0ns};
        std::vector<platform::StallWatchdog::Stall> stalls;
        platform::StallWatchdog::Options options;
        options.threshold = 100ms;
        options.clock = [&clock] { return clock.load(); };
        options.report = [&stalls](const platform::StallWatchdog::Stall& stall) { stalls.push_back(stall); };
        options.ownSampler = false;
        application->watch(std::move(options));

        watchedapplicationtest::StretchingReceiver receiver;
        receiver.stretch = [&] {
            platform::StallWatchdog& watchdog = *application->watchdog();
            watchdog.sample();
            clock.store(clock.load() + c.beforeNestedLoop);
            if (c.nestedLoop) {
                QEventLoop loop;
                QTimer::singleShot(0, &loop, &QEventLoop::quit);
                loop.exec();
            }
            watchdog.sample();
            clock.store(clock.load() + c.after);
            watchdog.sample();
        };
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&receiver);
        testsupport::watchForStalls(*application);

        ASSERT_EQ(stalls.size(), c.stalled ? 1u : 0u);
        if (!c.stalled) continue;
        EXPECT_EQ(stalls.front().activity, "event User to QObject");
        EXPECT_TRUE(std::any_of(
            stalls.front().stack.begin(), stalls.front().stack.end(),
            [](const std::string& f) {
                return f.find("watchedapplicationtest::StretchingReceiver::customEvent") != std::string::npos;
            }))
            << stalls.front().text();
    }
}

} // namespace
