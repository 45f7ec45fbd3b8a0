#include "platform/ui/QtMainQueue.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LogSink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

namespace {

// Counts the queued calls delivered through the application's event loop.
class QueuedCallCounter final : public QObject {
public:
    QueuedCallCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~QueuedCallCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

} // namespace

class QtMainQueueLoop : public ::testing::Test {
protected:
    void SetUp() override {
        bindMainQueueToQtLoop(*QCoreApplication::instance());
        QTimer::singleShot(5000, &loop, [this] {
            timedOut = true;
            loop.quit();
        });
    }
    void TearDown() override {
        unbindMainQueueFromQtLoop();
        mainQueue().drain();
    }

    // Runs the loop until some work quits it; false when it had to give up.
    bool runLoop() {
        loop.exec();
        return !timedOut;
    }

    QEventLoop loop;
    bool timedOut = false;
};

TEST_F(QtMainQueueLoop, WorkFromAnotherThreadRunsOnTheMainThreadInsideTheLoop) {
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool ranInsideLoop = false;
    bool sawMainThread = false;
    std::thread poster([&] {
        mainQueue().async([&] {
            ranOn = std::this_thread::get_id();
            ranInsideLoop = loop.isRunning();
            sawMainThread =
                isMainThread() && QThread::currentThread() == QCoreApplication::instance()->thread();
            loop.quit();
        });
    });
    ASSERT_TRUE(runLoop());
    poster.join();
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_TRUE(ranInsideLoop);
    EXPECT_TRUE(sawMainThread);
}

TEST_F(QtMainQueueLoop, ABurstOfWorkCostsOneCallIntoTheLoopAndKeepsItsOrder) {
    QueuedCallCounter calls;
    std::vector<int> ran;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            mainQueue().async([&, i] {
                ran.push_back(i);
                if (i == 99) loop.quit();
            });
    });
    poster.join();
    ASSERT_TRUE(runLoop());
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ran[std::size_t(i)], i);
    EXPECT_EQ(calls.count, 1);

    // Work posted by drained work gets its turn in the same call.
    ran.clear();
    mainQueue().async([&] {
        ran.push_back(1);
        mainQueue().async([&] {
            ran.push_back(2);
            loop.quit();
        });
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(calls.count, 2);
}

TEST_F(QtMainQueueLoop, WorkThatThrowsIsLoggedAndTheRestStillRuns) {
    CaptureLogSink sink;
    ScopedLogSink capture(sink);
    bool afterRan = false;
    mainQueue().async([] { throw std::runtime_error("disk vanished"); });
    mainQueue().async([&] {
        afterRan = true;
        loop.quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_TRUE(afterRan);
    auto records = sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, LogType::error);
    EXPECT_NE(records[0].text.find("disk vanished"), std::string::npos);
}

TEST_F(QtMainQueueLoop, UnboundWorkWaitsAndRunsOnceBoundAgain) {
    unbindMainQueueFromQtLoop();
    unbindMainQueueFromQtLoop();
    std::atomic<int> ran = 0;
    std::thread poster([&] { mainQueue().async([&] { ++ran; }); });
    poster.join();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(mainQueue().pendingCount(), 1u);

    bindMainQueueToQtLoop(*QCoreApplication::instance());
    mainQueue().async([&] { loop.quit(); });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(ran, 1);

    // Binding again replaces the binding instead of adding a second drain call per wake.
    bindMainQueueToQtLoop(*QCoreApplication::instance());
    QueuedCallCounter calls;
    mainQueue().async([&] { loop.quit(); });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(calls.count, 1);
}

TEST_F(QtMainQueueLoop, BindingFromAnotherThreadIsRefused) {
    bool refused = false;
    std::thread other([&] {
        try {
            bindMainQueueToQtLoop(*QCoreApplication::instance());
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(isMainThread());
}
