#include "platform/foundation/Clock.h"
#include "platform/foundation/HostTime.h"
#include "tests/support/Clocks.h"

#include <cmath>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;
using testsupport::ScopedTimeZone;
using testsupport::utcDate;

namespace {

double hours(Date from, Date to) {
    return to.timeIntervalSince(from) / 3600.0;
}

} // namespace

TEST(Clock, FakeAndSystemClocks) {
    testsupport::FakeClock fake(Date{1000.0});
    const Clock& clock = fake;
    EXPECT_EQ(clock.now(), Date{1000.0});
    fake.advance(59.5);
    EXPECT_EQ(clock.now(), Date{1059.5});
    fake.set(Date{-5.0});
    EXPECT_EQ(clock.now(), Date{-5.0});

    double unixNow = static_cast<double>(std::time(nullptr));
    EXPECT_NEAR(Clock::system().now().timeIntervalSince1970(), unixNow, 2.0);
}

TEST(Clock, StartOfDayInUtc) {
    ScopedTimeZone zone("UTC");
    SystemClock clock;
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 5, 17, 13, 45, 12)), utcDate(2026, 5, 17, 0));
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 5, 17, 0)), utcDate(2026, 5, 17, 0));
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 5, 17, 0).addingTimeInterval(-0.25)), utcDate(2026, 5, 16, 0));
    EXPECT_EQ(clock.startOfDay(utcDate(1999, 12, 31, 23, 59, 59)), utcDate(1999, 12, 31, 0));

    // Played at 23:59 yesterday, read at 00:01 today: one whole day apart, 120 s apart.
    Date played = utcDate(2026, 5, 16, 23, 59), now = utcDate(2026, 5, 17, 0, 1);
    EXPECT_EQ(std::trunc(clock.startOfDay(now).timeIntervalSince(clock.startOfDay(played)) / 86400), 1.0);
    EXPECT_EQ(now.timeIntervalSince(played), 120.0);

    Date nan{std::numeric_limits<double>::quiet_NaN()};
    EXPECT_TRUE(std::isnan(clock.startOfDay(nan).timeIntervalSinceReferenceDate));
}

TEST(Clock, StartOfDayAcrossDaylightSavingChanges) {
    ScopedTimeZone zone("Europe/Berlin");
    testsupport::FakeClock clock;

    // Spring forward on 2026-03-29 (02:00 CET → 03:00 CEST): a 23-hour day.
    Date springStart = clock.startOfDay(utcDate(2026, 3, 29, 10));         // 12:00 local
    EXPECT_EQ(springStart, utcDate(2026, 3, 28, 23));                      // 00:00 CET
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 3, 29, 1, 30)), springStart); // 03:30 CEST
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 3, 28, 23)), springStart);
    Date springNext = clock.startOfDay(utcDate(2026, 3, 30, 10));
    EXPECT_EQ(springNext, utcDate(2026, 3, 29, 22)); // 00:00 CEST
    EXPECT_EQ(hours(springStart, springNext), 23.0);
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 3, 29, 21, 59, 59)), springStart); // 23:59:59 CEST

    // Fall back on 2026-10-25 (03:00 CEST → 02:00 CET): a 25-hour day, also from the repeated hour.
    Date fallStart = clock.startOfDay(utcDate(2026, 10, 25, 12));
    EXPECT_EQ(fallStart, utcDate(2026, 10, 24, 22));                      // 00:00 CEST
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 10, 25, 0, 30)), fallStart); // 02:30 CEST
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 10, 25, 1, 30)), fallStart); // 02:30 CET
    Date fallNext = clock.startOfDay(utcDate(2026, 10, 26, 12));
    EXPECT_EQ(fallNext, utcDate(2026, 10, 25, 23)); // 00:00 CET
    EXPECT_EQ(hours(fallStart, fallNext), 25.0);
}

TEST(Clock, StartOfDayWhenMidnightIsSkipped) {
    // Santiago springs forward at midnight: 2026-09-06 begins at 01:00 local (04:00 UTC).
    ScopedTimeZone zone("America/Santiago");
    testsupport::FakeClock clock;
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 9, 6, 15)), utcDate(2026, 9, 6, 4));
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 9, 6, 4)), utcDate(2026, 9, 6, 4));
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 9, 6, 3, 59, 59)),
              utcDate(2026, 9, 5, 4)); // 23:59:59 the day before
    // It falls back at midnight too: 2026-04-04 has 25 hours, its last hour repeated.
    EXPECT_EQ(hours(clock.startOfDay(utcDate(2026, 4, 4, 12)), clock.startOfDay(utcDate(2026, 4, 5, 12))),
              25.0);
    EXPECT_EQ(clock.startOfDay(utcDate(2026, 4, 5, 3, 30)),
              utcDate(2026, 4, 4, 3)); // 23:30 (-04), still the 4th
}

TEST(HostTime, MonotonicNanoseconds) {
    EXPECT_EQ(std::pair(hostTimebase().numer, hostTimebase().denom), std::pair(1u, 1u));
    const std::uint64_t first = hostTime(), second = hostTime();
    EXPECT_GT(first, 0u);
    EXPECT_GE(second, first);

    EXPECT_EQ(hostTimeToSeconds(1'500'000'000), 1.5);
    EXPECT_EQ(secondsToHostTime(1.5), 1'500'000'000u);
    EXPECT_EQ(secondsToHostTime(0.3), 300'000'000u);
    EXPECT_EQ(secondsToHostTime(hostTimeToSeconds(20'833'333)), 20'833'333u);
    EXPECT_EQ(secondsToHostTime(-1.0), 0u);
    EXPECT_EQ(secondsToHostTime(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(secondsToHostTime(1e30), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(secondsToHostTime(std::numeric_limits<double>::infinity()),
              std::numeric_limits<std::uint64_t>::max());
}
