#pragma once
// The Qt test programs' watch of the application's thread: a stall fails the test it happens in.
// Application thread (reports may come from any thread).

#include "platform/ui/WatchedApplication.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace testsupport {

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
        ADD_FAILURE() << "The application's thread stalled: " << stall.text();
    };
    application.watch(std::move(watch));
}

} // namespace testsupport
