#include "Source/playback/FileMonitor.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Wait.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace vantle;
using platform::FileSystemEvent;
using platform::mainQueue;
using platform::Url;

namespace {

constexpr double kMonitorTimeout = 10.0;
const std::string kEventLine = "=== in eventHandler";

void writeSong(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace

class FileMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
        path = folder + "/dance.mp3";
        writeSong(path, "ID3");
    }
    void TearDown() override {
        monitor.reset();
        mainQueue().drain();
    }

    // A completion that counts its calls and checks that it runs on the main thread.
    std::function<void()> counting() {
        return [this] {
            EXPECT_TRUE(platform::isMainThread());
            ++calls;
        };
    }
    std::unique_ptr<FileMonitor> watch(const std::string& file, std::function<void()> completion) {
        FileMonitor::Completion withEvents;
        if (completion) withEvents = [completion = std::move(completion)](FileSystemEvent) { completion(); };
        return std::make_unique<FileMonitor>(Url::fileURLWithPath(file), FileSystemEvent::all,
                                             std::move(withEvents));
    }
    // As the player does: each call reloads the entry and puts a new monitor on the new file.
    void watchReloading() {
        reload = [this] {
            ++calls;
            monitor = watch(path, reload);
        };
        monitor = watch(path, reload);
    }
    bool waitForCalls(int count) {
        return mainQueue().drainUntil([&] { return calls >= count; }, kMonitorTimeout);
    }
    // Drains for a short while and tells whether any further call came.
    bool anotherCallWithin(double seconds) {
        int now = calls;
        return mainQueue().drainUntil([&] { return calls > now; }, seconds);
    }

    testsupport::ScopedConsoleCapture console;
    testsupport::TemporaryFolder temporary;
    std::string folder = temporary.path;
    std::string path;
    int calls = 0;
    std::unique_ptr<FileMonitor> monitor;
    std::function<void()> reload;
};

TEST_F(FileMonitorTest, EachRewriteCallsTheCompletionOnceOnTheMainQueue) {
    monitor = watch(path, counting());
    ASSERT_TRUE(monitor->isWatching());
    EXPECT_GE(monitor->monitoredFileDescriptor(), 0);
    EXPECT_EQ(monitor->url().path(), path);
    EXPECT_FALSE(monitor->error());

    writeSong(path, "ID3 first take");
    ASSERT_TRUE(waitForCalls(1));
    writeSong(path, "ID3 second take, longer");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_FALSE(anotherCallWithin(0.2));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(console.lines(), (std::vector{kEventLine, kEventLine}));
}

TEST_F(FileMonitorTest, TheCompletionIsToldWhatChanged) {
    std::vector<FileSystemEvent> told;
    monitor = std::make_unique<FileMonitor>(Url::fileURLWithPath(path), FileSystemEvent::all,
                                            [&](FileSystemEvent events) { told.push_back(events); });
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(mainQueue().drainUntil([&] { return told.size() == 1; }, kMonitorTimeout));
    EXPECT_EQ(told[0], FileSystemEvent::attrib);
    writeSong(path, "ID3 edited, longer");
    ASSERT_TRUE(mainQueue().drainUntil([&] { return told.size() == 2; }, kMonitorTimeout));
    EXPECT_EQ(told[1], FileSystemEvent::write | FileSystemEvent::extend);
}

TEST_F(FileMonitorTest, AtomicReplaceCallsOnceAndTheCompletionMayReplaceItsMonitor) {
    watchReloading();
    for (int take = 1; take <= 3; ++take) {
        ASSERT_TRUE(platform::writeFileAtomically(path, "ID3 take " + std::to_string(take)).ok());
        ASSERT_TRUE(waitForCalls(take));
        ASSERT_TRUE(monitor->isWatching());
    }
    EXPECT_FALSE(anotherCallWithin(0.2));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(console.lines(), (std::vector{kEventLine, kEventLine, kEventLine}));
}

TEST_F(FileMonitorTest, ReadingTheFileCallsNothing) {
    monitor = watch(path, counting());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(platform::readFile(path).ok());
    EXPECT_FALSE(anotherCallWithin(0.3));
    // The monitor is live: a change right after the reads is the first and only call.
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_FALSE(anotherCallWithin(0.1));
    EXPECT_EQ(calls, 1);
}

TEST_F(FileMonitorTest, DeletingTheFileCallsOnceAndAReloadThenFindsNothingToWatch) {
    watchReloading();
    ASSERT_TRUE(platform::removeItem(path).ok());
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(console.lines(), (std::vector{kEventLine}));
    ASSERT_NE(monitor, nullptr);
    EXPECT_FALSE(monitor->isWatching());
    EXPECT_EQ(monitor->monitoredFileDescriptor(), -1);
    ASSERT_TRUE(monitor->error());
    EXPECT_NE(monitor->error()->message.find("dance.mp3"), std::string::npos);

    // A file that appears later at the path is not watched by the failed monitor.
    writeSong(path, "ID3 back again");
    EXPECT_FALSE(anotherCallWithin(0.2));
    EXPECT_EQ(calls, 1);
}

TEST_F(FileMonitorTest, DestroyedMonitorsCallNothingMoreEvenWhenACallWasPosted) {
    monitor = watch(path, counting());
    writeSong(path, "ID3 edited");
    testsupport::waitUntil([] { return mainQueue().pendingCount() > 0; }, std::chrono::seconds(10));
    ASSERT_EQ(mainQueue().pendingCount(), 1u);
    monitor.reset();
    mainQueue().drain();
    EXPECT_EQ(calls, 0);

    // Replacing a monitor retires the previous one: a change of the earlier file no longer calls back.
    std::string other = folder + "/karaoke.m4a";
    writeSong(other, "ftyp");
    int otherCalls = 0;
    monitor = watch(path, counting());
    monitor = watch(other, [&] { ++otherCalls; });
    writeSong(path, "ID3 edited again");
    writeSong(other, "ftyp edited");
    ASSERT_TRUE(mainQueue().drainUntil([&] { return otherCalls == 1; }, kMonitorTimeout));
    EXPECT_EQ(calls, 0);
}

TEST_F(FileMonitorTest, AMonitorWithoutCompletionOnlyPrints) {
    monitor = watch(path, nullptr);
    writeSong(path, "ID3 edited");
    ASSERT_TRUE(mainQueue().drainUntil([&] { return !console.lines().empty(); }, kMonitorTimeout));
    mainQueue().drain();
    EXPECT_EQ(console.lines(), (std::vector{kEventLine}));
}

TEST_F(FileMonitorTest, ManyMonitorsLeaveNoDescriptorBehind) {
    watch(path, nullptr);
    int before = openDescriptors();
    std::unique_ptr<FileMonitor> current;
    for (int i = 0; i < 100; ++i) {
        current = watch(path, counting());
        watch(folder + "/gone.mp3", counting());
    }
    EXPECT_EQ(openDescriptors(), before + 1);
    current.reset();
    EXPECT_EQ(openDescriptors(), before);
}
