#pragma once
// Dates as text in a locale's own styles. Any thread.

#include "platform/foundation/Date.h"

#include <string>
#include <string_view>

namespace platform {

// The platform date formatter's styles; `none` leaves that half out.
enum class DateFormatStyle { none, shortStyle, medium, longStyle, full };

// The date, the time or both in the styles of the locale (an ICU locale identifier such as
// "en_US"; empty: the user's locale, from LC_ALL, LC_TIME or LANG), in the process's time zone.
// Both styles `none` give "".
std::string formatDate(Date date, DateFormatStyle dateStyle, DateFormatStyle timeStyle,
                       std::string_view locale = {});

} // namespace platform
