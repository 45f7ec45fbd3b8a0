#pragma once
// The Qt test programs' watch of the application's thread: a stall fails the test it happens in, unless
// an allowance names it as known. Application thread (reports may come from any thread).

#include "platform/ui/WatchedApplication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A stall that is known and left to a change of its own: while the allowance lives, a stall whose stack
// holds `frame` is printed with the reason instead of failing the test.
class StallAllowance {
public:
    StallAllowance(std::string frame, std::string reason) {
        std::lock_guard lock(mutex());
        allowed().push_back({std::move(frame), std::move(reason)});
    }
    ~StallAllowance() {
        std::lock_guard lock(mutex());
        allowed().pop_back();
    }
    StallAllowance(const StallAllowance&) = delete;
    StallAllowance& operator=(const StallAllowance&) = delete;

    // The reason of the allowance the stall falls under, if any.
    static std::optional<std::string> reasonFor(const platform::StallWatchdog::Stall& stall) {
        std::lock_guard lock(mutex());
        for (const auto& [frame, reason] : allowed())
            if (std::any_of(stall.stack.begin(), stall.stack.end(),
                            [&](const std::string& line) { return line.find(frame) != std::string::npos; }))
                return reason;
        return std::nullopt;
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::vector<std::pair<std::string, std::string>>& allowed() {
        static std::vector<std::pair<std::string, std::string>> instance;
        return instance;
    }
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
        if (const std::optional<std::string> known = StallAllowance::reasonFor(stall))
            std::cout << "A known stall (" << *known << "): " << stall.text() << std::endl;
        else
            ADD_FAILURE() << "The application's thread stalled: " << stall.text();
    };
    application.watch(std::move(watch));
}

} // namespace testsupport
