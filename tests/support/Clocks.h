#pragma once
// Time for tests: a wall clock that stands still until the test moves it, dates given as wall-clock
// times in UTC or in the process's time zone, and a time zone set for a scope. Test thread, with no
// other thread reading local time meanwhile (the fake clock itself may be read and moved from any
// thread).

#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"

#include <time.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace testsupport {

// A clock that stands still until a test sets or advances it.
class FakeClock final : public platform::Clock {
public:
    explicit FakeClock(platform::Date start = platform::Date{})
        : seconds_(start.timeIntervalSinceReferenceDate) {}
    platform::Date now() const override { return platform::Date{seconds_.load()}; }
    void set(platform::Date date) { seconds_.store(date.timeIntervalSinceReferenceDate); }
    void advance(double seconds) {
        double current = seconds_.load();
        while (!seconds_.compare_exchange_weak(current, current + seconds)) {
        }
    }

private:
    std::atomic<double> seconds_;
};

// The system's clock moved a fixed number of seconds ahead: what was just written looks that old.
class ClockAhead final : public platform::Clock {
public:
    explicit ClockAhead(double seconds) : seconds_(seconds) {}
    platform::Date now() const override {
        return platform::Clock::system().now().addingTimeInterval(seconds_);
    }

private:
    double seconds_;
};

// The parts of a wall-clock time, daylight saving time as the zone has it on that day.
inline std::tm wallClock(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return parts;
}

inline platform::Date utcDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm parts = wallClock(year, month, day, hour, minute, second);
    return platform::Date::fromUnix(static_cast<double>(::timegm(&parts)));
}

inline platform::Date localDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm parts = wallClock(year, month, day, hour, minute, second);
    return platform::Date::fromUnix(static_cast<double>(std::mktime(&parts)));
}

// Sets TZ for a scope and puts the previous value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

} // namespace testsupport
