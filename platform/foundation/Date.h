#pragma once
// A point in time as the property-list format stores it: seconds since 2001-01-01 00:00:00 UTC.

#include <compare>

namespace platform {

struct Date {
    // Seconds between the Unix epoch and the reference date.
    static constexpr double unixEpochOffset = 978307200.0;

    double timeIntervalSinceReferenceDate = 0.0;

    static constexpr Date fromUnix(double secondsSince1970) { return Date{secondsSince1970 - unixEpochOffset}; }
    constexpr double timeIntervalSince1970() const { return timeIntervalSinceReferenceDate + unixEpochOffset; }
    constexpr double timeIntervalSince(Date other) const {
        return timeIntervalSinceReferenceDate - other.timeIntervalSinceReferenceDate;
    }
    constexpr Date addingTimeInterval(double seconds) const { return Date{timeIntervalSinceReferenceDate + seconds}; }

    friend constexpr auto operator<=>(const Date&, const Date&) = default;
};

} // namespace platform
