#pragma once
// The Qt test programs' watch of the application's thread: a stall fails the test it happens in, unless
// a named allowance of a known stall is in force. Application thread (reports may come from any thread).

#include "platform/ui/WatchedApplication.h"

#include <gtest/gtest.h>

#include <iostream>
#include <mutex>
#include <string>
#include <utility>

namespace testsupport {

// While one lives, a stall is printed with the allowance's reason instead of failing the test: only for a
// stall that is known and left to a change of its own, named in the reason.
class StallAllowance {
public:
    explicit StallAllowance(std::string reason) {
        std::lock_guard lock(mutex());
        previous_ = std::exchange(current(), std::move(reason));
    }
    ~StallAllowance() {
        std::lock_guard lock(mutex());
        current() = std::move(previous_);
    }
    StallAllowance(const StallAllowance&) = delete;
    StallAllowance& operator=(const StallAllowance&) = delete;

    // The reason in force, empty when none.
    static std::string reason() {
        std::lock_guard lock(mutex());
        return current();
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::string& current() {
        static std::string instance;
        return instance;
    }
    std::string previous_;
};

// Watches the application's thread with the environment's threshold (none under valgrind or with
// VANTLE_STALL_MS=0).
inline void watchForStalls(platform::WatchedApplication& application) {
    const auto threshold = platform::StallWatchdog::thresholdFromEnvironment();
    if (!threshold) {
        application.watch(std::nullopt);
        return;
    }
    platform::StallWatchdog::Options watch;
    watch.threshold = *threshold;
    watch.report = [](const platform::StallWatchdog::Stall& stall) {
        if (const std::string allowed = StallAllowance::reason(); !allowed.empty())
            std::cout << "A known stall (" << allowed << "): " << stall.text() << std::endl;
        else
            ADD_FAILURE() << "The application's thread stalled: " << stall.text();
    };
    application.watch(std::move(watch));
}

} // namespace testsupport
