#include "platform/foundation/HostTime.h"

#include <gtest/gtest.h>
#include <time.h>

TEST(HostTime, CountsMonotonicNanoseconds) {
    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    auto first = platform::hostTimeNow();
    auto second = platform::hostTimeNow();
    timespec after{};
    clock_gettime(CLOCK_MONOTONIC, &after);

    auto nanoseconds = [](const timespec& t) { return std::uint64_t(t.tv_sec) * 1000000000u + t.tv_nsec; };
    EXPECT_LE(nanoseconds(before), first);
    EXPECT_LE(first, second);
    EXPECT_LE(second, nanoseconds(after));
}
