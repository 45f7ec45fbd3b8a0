#pragma once
// Note values from a thirty-second note to a dotted whole note, with their length as a fraction
// of a whole note and their short display text. Plain values; any thread.

#include <array>
#include <optional>
#include <string_view>

namespace rozezeru {

enum class MusicalDuration : int {
    thirtysecond = 0,
    thirtysecondDotted = 1,
    sixteenth = 2,
    sixteenthDotted = 3,
    eighth = 4,
    eighthDotted = 5,
    quarter = 6,
    quarterDotted = 7,
    half = 8,
    halfDotted = 9,
    whole = 10,
    wholeDotted = 11,
};

// In raw-value order.
inline constexpr std::array<MusicalDuration, 12> allMusicalDurations = {
    MusicalDuration::thirtysecond, MusicalDuration::thirtysecondDotted,
    MusicalDuration::sixteenth,    MusicalDuration::sixteenthDotted,
    MusicalDuration::eighth,       MusicalDuration::eighthDotted,
    MusicalDuration::quarter,      MusicalDuration::quarterDotted,
    MusicalDuration::half,         MusicalDuration::halfDotted,
    MusicalDuration::whole,        MusicalDuration::wholeDotted,
};

constexpr int rawValue(MusicalDuration duration) {
    return static_cast<int>(duration);
}

// 0 to 11; nothing for any other value.
std::optional<MusicalDuration> musicalDurationFromRawValue(int rawValue);

// 0.03125 for a thirty-second note up to 1.5 for a dotted whole note.
double wholeNoteFraction(MusicalDuration duration);

// "1/32", "1/32 D", …, "1", "1 D".
std::string_view displayText(MusicalDuration duration);

// The next longer value; a dotted whole note is followed by a thirty-second note.
MusicalDuration next(MusicalDuration duration);

// The next shorter value; a thirty-second note is preceded by a dotted whole note.
MusicalDuration previous(MusicalDuration duration);

} // namespace rozezeru
