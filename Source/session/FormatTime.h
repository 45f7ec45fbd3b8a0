#pragma once
// The minutes-and-seconds text of the time labels, the playlist's durations and the notes file.
// Any thread.

#include <string>

namespace vantle {

// Whole minutes right-aligned in a field of `minuteWidth` characters (not wrapped into hours),
// ":", two-digit seconds and, with `fractionDigits` above 0, "." and that many fraction digits;
// every field truncated toward zero: 75.9 with (0, 2) gives " 1:15", with (3, 2) " 1:15.900".
// A negative time carries one minus sign before the minutes ("-1:15"). A time that is not finite,
// or too large for the requested precision, gives "--:--". `fractionDigits` is kept within 0…17
// and `minuteWidth` within 0…64.
std::string formatTime(double seconds, int fractionDigits = 0, int minuteWidth = 2);

} // namespace vantle
