#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/FileSystemWatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Wait.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {
// Readable event sets in failure messages.
void PrintTo(FileSystemEvent events, std::ostream* out) {
    *out << describe(events);
}
} // namespace platform

using namespace platform;

namespace {

constexpr double kWatchTimeout = 10.0;
const auto kWriteExtend = FileSystemEvent::write | FileSystemEvent::extend;

void writeWholeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The runs of a watch's handler, from any thread.
class EventLog {
public:
    FileSystemWatch::Handler handler() {
        return [this](FileSystemEvent events) {
            std::lock_guard lock(mutex_);
            runs_.push_back(events);
        };
    }
    std::vector<FileSystemEvent> runs() const {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    // Waits for `count` runs in all, draining the main queue meanwhile.
    bool waitFor(std::size_t count) {
        auto enough = [&] {
            std::lock_guard lock(mutex_);
            return runs_.size() >= count;
        };
        return mainQueue().drainUntil(enough, kWatchTimeout);
    }

private:
    mutable std::mutex mutex_;
    std::vector<FileSystemEvent> runs_;
};

class FileSystemWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
        path = folder + "/song.wav";
        writeWholeFile(path, "RIFF");
    }
    void TearDown() override { mainQueue().drain(); }

    FileSystemWatch watchOnMain(EventLog& log, FileSystemEvent mask = FileSystemEvent::all) {
        auto watch = FileSystemWatch::watch(path, mask, log.handler(), mainQueue());
        EXPECT_TRUE(watch.ok()) << (watch.ok() ? "" : watch.error().message);
        return watch.ok() ? std::move(watch.value()) : FileSystemWatch();
    }

    // A change that is reported as `attrib` alone; what a test saw before it has all been delivered by the
    // time it arrives, since the kernel reports in order.
    void touchMode() { ASSERT_EQ(::chmod(path.c_str(), 0600), 0); }

    testsupport::TemporaryFolder temporary;
    std::string folder = temporary.path;
    std::string path;
    EventLog log; // outlives the test's watches and the drain after them
};

TEST_F(FileSystemWatchTest, EachSaveIsOneWriteOnceTheWriterIsDone) {
    auto watch = watchOnMain(log);
    ASSERT_TRUE(watch.isWatching());
    EXPECT_GE(watch.fileDescriptor(), 0);

    // Truncation and several separate writes of one save make one run, after the close.
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 5; ++i) {
        std::fputs("chunk of audio ", file);
        std::fflush(file);
    }
    std::fclose(file);
    ASSERT_TRUE(log.waitFor(1));
    touchMode();
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.runs(), (std::vector{kWriteExtend, FileSystemEvent::attrib}));

    // A shorter file is written but does not extend.
    writeWholeFile(path, "short");
    ASSERT_TRUE(log.waitFor(3));
    touchMode();
    ASSERT_TRUE(log.waitFor(4));
    EXPECT_EQ(log.runs()[2], FileSystemEvent::write);
    EXPECT_EQ(log.runs().size(), 4u);
}

TEST_F(FileSystemWatchTest, ReadingTheFileIsNeverReported) {
    auto watch = watchOnMain(log);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(readFile(path).ok());
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "RIFF");
    }
    touchMode();
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.runs(), (std::vector{FileSystemEvent::attrib}));
}

TEST_F(FileSystemWatchTest, ReplacementByRenameIsOneDeletionOfTheWatchedFile) {
    EventLog oldLog;
    auto oldWatch = watchOnMain(oldLog);
    ASSERT_TRUE(writeFileAtomically(path, std::string_view("RIFF and more")).ok());
    ASSERT_TRUE(oldLog.waitFor(1));
    EXPECT_EQ(oldLog.runs(), (std::vector{FileSystemEvent::deleted}));

    // The new file needs a watch of its own; the old one hears nothing of it.
    EventLog newLog;
    auto newWatch = watchOnMain(newLog);
    writeWholeFile(path, "RIFF, longer than before");
    ASSERT_TRUE(newLog.waitFor(1));
    ASSERT_TRUE(writeFileAtomically(path, std::string_view("RIFF")).ok());
    ASSERT_TRUE(newLog.waitFor(2));
    EXPECT_EQ(newLog.runs(), (std::vector{kWriteExtend, FileSystemEvent::deleted}));
    EXPECT_EQ(oldLog.runs().size(), 1u);
}

TEST_F(FileSystemWatchTest, RemovalRenamingLinksAndModesAreTold) {
    auto watch = watchOnMain(log);
    std::string other = folder + "/other name.wav";
    std::string moved = folder + "/moved.wav";
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    ASSERT_TRUE(log.waitFor(1));
    ASSERT_EQ(::rename(path.c_str(), moved.c_str()), 0);
    ASSERT_TRUE(log.waitFor(2));
    ASSERT_EQ(::chmod(moved.c_str(), 0600), 0);
    ASSERT_TRUE(log.waitFor(3));
    ASSERT_EQ(::unlink(other.c_str()), 0); // one name left
    ASSERT_TRUE(log.waitFor(4));
    ASSERT_EQ(::unlink(moved.c_str()), 0); // none left
    ASSERT_TRUE(log.waitFor(5));
    EXPECT_EQ(log.runs(),
              (std::vector{FileSystemEvent::link, FileSystemEvent::rename, FileSystemEvent::attrib,
                           FileSystemEvent::link, FileSystemEvent::deleted}));
    // The removed file's watch stays harmless until it is cancelled.
    EXPECT_TRUE(watch.isWatching());
    watch.cancel();
    EXPECT_FALSE(watch.isWatching());
}

TEST_F(FileSystemWatchTest, AFolderHearsNamesMadeRemovedAndMovedInOrOut) {
    const std::string songs = folder + "/songs";
    ASSERT_EQ(::mkdir(songs.c_str(), 0700), 0);
    auto watch = FileSystemWatch::watch(songs, FileSystemEvent::write, log.handler(), mainQueue());
    ASSERT_TRUE(watch.ok());
    std::size_t seen = 0;
    // Each change of the folder's names is heard, whichever way it came.
    const std::vector<std::function<int()>> changes{
        [&] { return ::rename(path.c_str(), (songs + "/in.wav").c_str()); },
        [&] { return ::rename((songs + "/in.wav").c_str(), (songs + "/renamed.wav").c_str()); },
        [&] { return ::rename((songs + "/renamed.wav").c_str(), path.c_str()); },
        [&] { return ::mkdir((songs + "/disc 2").c_str(), 0700); },
        [&] { return ::rmdir((songs + "/disc 2").c_str()); },
    };
    for (const auto& change : changes) {
        ASSERT_EQ(change(), 0);
        ASSERT_TRUE(log.waitFor(++seen)) << seen;
        EXPECT_EQ(log.runs().back(), FileSystemEvent::write);
    }
}

TEST_F(FileSystemWatchTest, OnlyTheEventsOfTheMaskAreReported) {
    auto watch = watchOnMain(log, FileSystemEvent::write | FileSystemEvent::deleted);
    touchMode();
    writeWholeFile(path, "RIFF data");
    ASSERT_TRUE(log.waitFor(1));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.runs(), (std::vector{FileSystemEvent::write, FileSystemEvent::deleted}));
}

TEST_F(FileSystemWatchTest, WritesWithoutACloseAreReportedOnceTheWriterPauses) {
    auto watch = watchOnMain(log);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    ASSERT_TRUE(log.waitFor(1));

    // A writer that keeps the file open is reported while it is still open, and its close adds nothing.
    FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fputs("recorded so far", file);
    std::fflush(file);
    ASSERT_TRUE(log.waitFor(2));
    std::fclose(file);
    touchMode();
    ASSERT_TRUE(log.waitFor(3));
    EXPECT_EQ(log.runs(), (std::vector{FileSystemEvent::write, kWriteExtend, FileSystemEvent::attrib}));
}

// A recorder, or a copy of a large file, keeps writing without pause: that the file grows is reported
// meanwhile (to a watch of `extend` alone), and its write once the writer is done.
TEST_F(FileSystemWatchTest, AFileAWriterKeepsExtendingIsReportedToGrow) {
    EventLog growth;
    auto watch = watchOnMain(log);
    auto writesOnly = watchOnMain(growth, FileSystemEvent::write);
    auto grew = [&] {
        const auto runs = log.runs();
        return std::find(runs.begin(), runs.end(), FileSystemEvent::extend) != runs.end();
    };
    std::atomic<bool> seen{false};
    std::thread writer([&] {
        FILE* file = std::fopen(path.c_str(), "ab");
        if (!file) return;
        // Never quiet for as long as a pause takes, until the growth was heard (or a broken run ends).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!seen && std::chrono::steady_clock::now() < end) {
            std::fputs("more of the recording ", file);
            std::fflush(file);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::fclose(file);
    });
    const bool heard = mainQueue().drainUntil(grew, 30.0);
    seen = true;
    writer.join();
    EXPECT_TRUE(heard);
    ASSERT_TRUE(mainQueue().drainUntil([&] { return log.runs().back() == kWriteExtend; }, kWatchTimeout));
    ASSERT_TRUE(growth.waitFor(1));
    EXPECT_EQ(growth.runs().back(), FileSystemEvent::write) << "a watch of writes hears the write alone";
    for (FileSystemEvent run : growth.runs())
        EXPECT_EQ(run, FileSystemEvent::write);
}

TEST_F(FileSystemWatchTest, CancelStopsDeliveriesAndClosesTheDescriptor) {
    // Two watches of one file share the kernel's watch; cancelling one leaves the other working.
    EventLog kept, cancelled;
    auto keptWatch = watchOnMain(kept);
    auto cancelledWatch = watchOnMain(cancelled);
    int descriptor = cancelledWatch.fileDescriptor();
    ASSERT_GE(descriptor, 0);

    // A run already posted to the queue does not start once cancel() has returned.
    writeWholeFile(path, "RIFF 1");
    ASSERT_TRUE(testsupport::waitUntil([] { return mainQueue().pendingCount() >= 2; }));
    ASSERT_EQ(mainQueue().pendingCount(), 2u);
    cancelledWatch.cancel();
    cancelledWatch.cancel(); // idempotent
    EXPECT_FALSE(cancelledWatch.isWatching());
    EXPECT_EQ(cancelledWatch.fileDescriptor(), -1);
    EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1) << "the watch's descriptor is closed";

    ASSERT_TRUE(kept.waitFor(1));
    writeWholeFile(path, "RIFF 2");
    ASSERT_TRUE(kept.waitFor(2));
    EXPECT_EQ(kept.runs(), (std::vector{kWriteExtend, FileSystemEvent::write}));
    EXPECT_TRUE(cancelled.runs().empty());

    // Assigning over a watch cancels it; destroying one does too.
    EventLog later;
    keptWatch = watchOnMain(later);
    {
        EventLog scoped;
        auto scopedWatch = watchOnMain(scoped);
    }
    touchMode();
    ASSERT_TRUE(later.waitFor(1));
    EXPECT_EQ(kept.runs().size(), 2u);
    EXPECT_EQ(later.runs(), (std::vector{FileSystemEvent::attrib}));
}

TEST_F(FileSystemWatchTest, CancelWaitsForARunningHandlerAndAHandlerMayCancelItself) {
    std::atomic<bool> running{false}, release{false}, finished{false};
    auto blocking = FileSystemWatch::watch(
        path, FileSystemEvent::all,
        [&](FileSystemEvent) {
            running = true;
            while (!release)
                std::this_thread::yield();
            finished = true;
        },
        globalQueue());
    ASSERT_TRUE(blocking.ok());
    touchMode();
    while (!running)
        std::this_thread::yield();
    std::atomic<bool> finishedWhenCancelReturned{false};
    std::thread canceller([&] {
        blocking.value().cancel();
        finishedWhenCancelReturned = finished.load();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let cancel() reach the running handler
    release = true;
    canceller.join();
    EXPECT_TRUE(finishedWhenCancelReturned.load());

    // A handler that cancels its own watch runs once and does not deadlock.
    FileSystemWatch self;
    std::atomic<int> runs{0};
    std::mutex selfMutex;
    {
        std::lock_guard lock(selfMutex);
        auto watch = FileSystemWatch::watch(
            path, FileSystemEvent::all,
            [&](FileSystemEvent) {
                std::lock_guard lock(selfMutex);
                ++runs;
                self.cancel();
            },
            globalQueue());
        ASSERT_TRUE(watch.ok());
        self = std::move(watch.value());
    }
    touchMode();
    ASSERT_TRUE(mainQueue().drainUntil([&] { return runs > 0; }, kWatchTimeout));
    std::lock_guard lock(selfMutex);
    EXPECT_FALSE(self.isWatching());
    EXPECT_EQ(runs.load(), 1);
}

TEST_F(FileSystemWatchTest, AFileThatCannotBeOpenedGivesAnError) {
    int called = 0;
    auto missing = FileSystemWatch::watch(
        folder + "/missing.wav", FileSystemEvent::all, [&](FileSystemEvent) { ++called; }, mainQueue());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_NE(missing.error().message.find("missing.wav"), std::string::npos);

    auto belowAFile = FileSystemWatch::watch(path + "/inside", FileSystemEvent::all, nullptr, mainQueue());
    ASSERT_FALSE(belowAFile.ok());
    EXPECT_EQ(belowAFile.error().code, ENOTDIR);
    EXPECT_EQ(called, 0);
}

TEST_F(FileSystemWatchTest, ManyWatchesLeaveNoDescriptorBehind) {
    auto warmUp = watchOnMain(log); // the shared inotify descriptor stays open for good
    int before = openDescriptorCount();
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(folder + "/file" + std::to_string(i));
        writeWholeFile(paths.back(), "x");
    }
    for (int round = 0; round < 25; ++round) {
        std::vector<FileSystemWatch> watches;
        for (const auto& each : paths) {
            auto watch = FileSystemWatch::watch(each, FileSystemEvent::all, log.handler(), mainQueue());
            ASSERT_TRUE(watch.ok());
            watches.push_back(std::move(watch.value()));
        }
        EXPECT_FALSE(FileSystemWatch::watch(folder + "/none", FileSystemEvent::all, nullptr).ok());
        EXPECT_EQ(openDescriptorCount(), before + 8);
        if (round % 2) watches.front().cancel();
    }
    EXPECT_EQ(openDescriptorCount(), before);

    // The shared watch of the file survives the others coming and going.
    touchMode();
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.runs(), (std::vector{FileSystemEvent::attrib}));
}

TEST_F(FileSystemWatchTest, WatchesComeAndGoWhileTheFileChanges) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i)
            writeWholeFile(path, "RIFF " + std::to_string(i));
    });
    std::vector<std::thread> watchers;
    std::atomic<int> runs{0};
    for (int t = 0; t < 3; ++t)
        watchers.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                auto watch = FileSystemWatch::watch(
                    path, FileSystemEvent::all, [&](FileSystemEvent) { ++runs; }, globalQueue());
                ASSERT_TRUE(watch.ok());
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    for (auto& each : watchers)
        each.join();
    stop = true;
    writer.join();

    auto watch = watchOnMain(log);
    touchMode();
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.runs(), (std::vector{FileSystemEvent::attrib}));
}

} // namespace
