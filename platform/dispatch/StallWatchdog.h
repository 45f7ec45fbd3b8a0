#pragma once
// Watching a thread that works in stretches between returns to its loop (the window's thread): a stretch
// longer than a threshold is a stall, reported with what the thread was given to do and its stack.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// The watched thread marks each stretch with stretchBegins() and stretchEnds() (two atomic stores); a
// sampler thread of the watchdog's own looks at the open stretch every few milliseconds and, once it has
// lasted longer than the threshold, takes the watched thread's stack there and then (a signal to that
// thread; the frames are named on the sampler's thread). The stall is reported when the stretch ends, on
// the watched thread. Lengths are working time (see Clock), so a busy machine that keeps the thread, or a
// thread it waits for, from a processor does not make a stall of an ordinary stretch. Construct, destroy
// and mark stretches on the watched thread.
class StallWatchdog {
public:
    struct Stall {
        std::chrono::milliseconds length{0};
        // What the thread was doing, as the owner describes it.
        std::string activity;
        // The watched thread's frames when the stall was seen, innermost first.
        std::vector<std::string> stack;
        // The three, for a log or a test's failure.
        std::string text() const;
    };
    // Working time, read on the sampler's thread and at a stall's end on the watched one.
    using Clock = std::function<std::chrono::nanoseconds()>;

    struct Options {
        std::chrono::milliseconds threshold{100};
        // Called with each stall, normally on the watched thread as the stretch ends; on the sampler's
        // thread when the stretch ended just as the stall was seen.
        std::function<void(const Stall&)> report;
        // Describes the open stretch's work; called on the sampler's thread, so it may read only what is
        // safe to read from there.
        std::function<std::string()> activity;
        // Empty: workingTimeOfProcess().
        Clock clock;
        // False: no sampler thread; the owner calls sample() (tests, with their own clock).
        bool ownSampler = true;
    };

    explicit StallWatchdog(Options options);
    ~StallWatchdog();
    StallWatchdog(const StallWatchdog&) = delete;
    StallWatchdog& operator=(const StallWatchdog&) = delete;

    void stretchBegins();
    void stretchEnds();

    // Looks at the open stretch once: a stretch first seen here is timed from now (so a stretch is never
    // taken for longer than it is), one that has lasted longer than the threshold is a stall and has its
    // stack taken. The sampler thread calls it; any thread but the watched one may.
    void sample();

    // The threshold the environment asks for: VANTLE_STALL_MS milliseconds (100 when unset or not a
    // number; 0 turns the watch off), scaled by ten in a build under a sanitizer; none under valgrind,
    // whose slowdown no threshold can allow for.
    static std::optional<std::chrono::milliseconds> thresholdFromEnvironment();
    // That factor: 10 in a sanitizer's build, otherwise 1.
    static const int sanitizerSlowdown;

    // The monotonic clock, slowed in each interval between two reads by the longest time any thread of
    // the process, or of a process it waits on (`waitedOn`: the display server), waited for a processor
    // in it: the window's thread may be waiting for that thread.
    static Clock workingTimeOfProcess(const std::vector<int>& waitedOn = {});
    // The run-queue wait in nanoseconds from a thread's schedstat line ("running waiting slices").
    static std::optional<std::uint64_t> runQueueWait(std::string_view schedstat);

    // The working clock's arithmetic: readings of the monotonic clock, each with the longest time any
    // thread waited for a processor since the reading before. A wait shows only once its thread runs
    // again, whole: one longer than the interval it shows in began before that interval, and the clock
    // goes back to what it read when the wait began, so that a stretch it fell in is not counted longer
    // for it. One reader at a time.
    class WorkingTime {
    public:
        std::chrono::nanoseconds read(std::chrono::nanoseconds now, std::chrono::nanoseconds longestWait);

    private:
        // (monotonic, working) of the readings of the last minute.
        std::deque<std::pair<std::chrono::nanoseconds, std::chrono::nanoseconds>> readings_;
        std::chrono::nanoseconds total_{0};
    };

private:
    void runSampler();
    void takeStall(std::uint64_t stretch);
    // Hands the pending stall to the report, outside the lock (held, pending_ set), unless waits for a
    // processor that came to light meanwhile leave it no longer than the threshold.
    void reportPending(std::unique_lock<std::mutex>& lock);

    Options options_;
    int watchedThreadId_;
    std::uint64_t count_ = 0; // watched thread only
    // (count << 1) | open: written by the watched thread only.
    std::atomic<std::uint64_t> stretch_{0};
    // The stretch whose stall waits for its end to be reported; written under mutex_.
    std::atomic<std::uint64_t> stalled_{0};
    std::atomic<bool> samplerAsleep_{false};
    std::atomic<bool> stopping_{false};

    // Sampler's own view of the open stretch.
    std::uint64_t seenStretch_ = 0;
    std::chrono::nanoseconds seenSince_{0};

    std::mutex mutex_;
    std::condition_variable stop_;
    std::optional<Stall> pending_;
    std::chrono::nanoseconds pendingSince_{0};
    std::thread sampler_;
};

} // namespace platform
