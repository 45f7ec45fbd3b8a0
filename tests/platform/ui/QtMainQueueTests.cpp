#include "platform/ui/QtMainQueue.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LogSink.h"
#include "tests/support/LogCapture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

// The main queue bound to the Qt loop, a loop that work can quit and a count of the queued calls the loop
// delivered.
class QtMainQueueLoop : public ::testing::Test, public QObject {
protected:
    void SetUp() override {
        bindMainQueueToQtLoop(*QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(this);
        QTimer::singleShot(5000, &loop, [this] {
            timedOut = true;
            loop.quit();
        });
    }
    void TearDown() override {
        QCoreApplication::instance()->removeEventFilter(this);
        unbindMainQueueFromQtLoop();
        mainQueue().drain();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++loopCalls;
        return QObject::eventFilter(watched, event);
    }

    // Runs the loop until some work quits it; false when it had to give up.
    bool runLoop() {
        loop.exec();
        return !timedOut;
    }

    QEventLoop loop;
    bool timedOut = false;
    int loopCalls = 0;
};

TEST_F(QtMainQueueLoop, WorkFromAnotherThreadRunsOnTheMainThreadInsideTheLoop) {
    const auto mainThread = std::this_thread::get_id();
    bool ranOnMainThreadInsideLoop = false;
    std::thread poster([&] {
        mainQueue().async([&] {
            ranOnMainThreadInsideLoop = std::this_thread::get_id() == mainThread && isMainThread() &&
                                        QThread::currentThread() == QCoreApplication::instance()->thread() &&
                                        loop.isRunning();
            loop.quit();
        });
    });
    ASSERT_TRUE(runLoop());
    poster.join();
    EXPECT_TRUE(ranOnMainThreadInsideLoop);
}

TEST_F(QtMainQueueLoop, ABurstOfWorkCostsOneCallIntoTheLoopAndKeepsItsOrder) {
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
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(loopCalls, 1);
}

// What a round of work posts waits for the next turn of the loop: a worker handing over one batch after
// another must leave the loop turns for input and painting in between.
TEST_F(QtMainQueueLoop, WorkPostedByWorkWaitsForTheNextTurnOfTheLoop) {
    int turnOfSecond = 0;
    mainQueue().async([&] {
        mainQueue().async([&] {
            turnOfSecond = loopCalls;
            loop.quit();
        });
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(turnOfSecond, 2);
}

TEST_F(QtMainQueueLoop, WorkThatThrowsIsLoggedAndTheRestStillRuns) {
    testsupport::CaptureLogSink sink;
    ScopedLogSink capture(sink);
    mainQueue().async([] { throw std::runtime_error("disk vanished"); });
    mainQueue().async([&] { loop.quit(); });
    ASSERT_TRUE(runLoop());
    const auto records = sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, LogType::error);
    EXPECT_NE(records[0].text.find("disk vanished"), std::string::npos);
}

TEST_F(QtMainQueueLoop, UnboundWorkWaitsAndRunsOnceBoundAgain) {
    unbindMainQueueFromQtLoop();
    unbindMainQueueFromQtLoop();
    std::atomic<int> ran = 0;
    std::thread([&] { mainQueue().async([&] { ++ran; }); }).join();
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
    loopCalls = 0;
    mainQueue().async([&] { loop.quit(); });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(loopCalls, 1);
}

TEST_F(QtMainQueueLoop, BindingFromAnotherThreadIsRefused) {
    std::thread([] {
        EXPECT_THROW(bindMainQueueToQtLoop(*QCoreApplication::instance()), std::logic_error);
    }).join();
    EXPECT_TRUE(isMainThread());
}
