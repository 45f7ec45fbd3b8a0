#include "platform/foundation/Clock.h"

#include <cmath>
#include <ctime>
#include <tuple>

namespace platform {

namespace {

using ClockLocalDay = std::tuple<int, int, int>;

bool clockLocalDay(std::time_t t, ClockLocalDay& day) {
    std::tm parts{};
    if (!::localtime_r(&t, &parts)) return false;
    day = {parts.tm_year, parts.tm_mon, parts.tm_mday};
    return true;
}

} // namespace

Date Clock::startOfDay(Date date) const {
    double unixSeconds = date.timeIntervalSince1970();
    // Far outside any calendar the C library handles; leave such dates alone.
    if (!std::isfinite(unixSeconds) || std::fabs(unixSeconds) > 1e15) return date;
    auto t = static_cast<std::time_t>(std::floor(unixSeconds));
    std::tm parts{};
    if (!::localtime_r(&t, &parts)) return date;
    ClockLocalDay day{parts.tm_year, parts.tm_mon, parts.tm_mday};
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_isdst = -1;
    std::time_t midnight = std::mktime(&parts);
    ClockLocalDay midnightDay;
    if (midnight != static_cast<std::time_t>(-1) && midnight <= t && clockLocalDay(midnight, midnightDay) &&
        midnightDay == day && parts.tm_hour == 0 && parts.tm_min == 0 && parts.tm_sec == 0)
        return Date::fromUnix(static_cast<double>(midnight));

    // Midnight does not exist on this day (a daylight-saving jump at 00:00): the day starts at
    // the first second that belongs to it. No day is longer than 27 hours.
    std::time_t low = t - 27 * 3600, high = t;
    while (low < high) {
        std::time_t mid = low + (high - low) / 2;
        ClockLocalDay midDay;
        if (!clockLocalDay(mid, midDay)) return date;
        if (midDay < day)
            low = mid + 1;
        else
            high = mid;
    }
    return Date::fromUnix(static_cast<double>(low));
}

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Date SystemClock::now() const {
    std::timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Date::fromUnix(static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9);
}

} // namespace platform
