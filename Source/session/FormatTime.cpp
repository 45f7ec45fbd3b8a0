#include "Source/session/FormatTime.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vantle {

std::string formatTime(double seconds, int fractionDigits, int minuteWidth) {
    static constexpr const char* unknownTime = "--:--";
    if (!std::isfinite(seconds)) return unknownTime;
    // 60 × 10^n must fit a signed 64-bit count: n ≤ 17.
    const int digits = std::clamp(fractionDigits, 0, 17);
    const std::size_t width = static_cast<std::size_t>(std::clamp(minuteWidth, 0, 64));
    std::int64_t scale = 1;
    for (int i = 0; i < digits; ++i)
        scale *= 10;

    const double scaled = seconds * static_cast<double>(scale);
    if (!(scaled > -0x1p63 && scaled < 0x1p63)) return unknownTime;
    const std::int64_t units = static_cast<std::int64_t>(scaled); // truncates toward zero
    const bool negative = units < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(units) : units;
    const std::uint64_t unitsPerMinute = 60 * static_cast<std::uint64_t>(scale);
    const std::uint64_t minutes = magnitude / unitsPerMinute;
    const std::uint64_t rest = magnitude - minutes * unitsPerMinute;
    const std::uint64_t secs = rest / static_cast<std::uint64_t>(scale);

    const std::string minuteDigits = std::to_string(minutes);
    const std::size_t minuteLength = minuteDigits.size() + (negative ? 1 : 0);
    std::string text;
    if (minuteLength < width) text.assign(width - minuteLength, ' ');
    if (negative) text += '-';
    text += minuteDigits;
    text += ':';
    if (secs < 10) text += '0';
    text += std::to_string(secs);
    if (digits > 0) {
        std::string fraction = std::to_string(magnitude % static_cast<std::uint64_t>(scale));
        text += '.';
        text.append(static_cast<std::size_t>(digits) - fraction.size(), '0');
        text += fraction;
    }
    return text;
}

} // namespace vantle
