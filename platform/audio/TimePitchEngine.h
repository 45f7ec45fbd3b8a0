#pragma once
// The Rubber Band engines the time-pitch unit can stretch with. Any thread.

#include <cstdint>

namespace platform {

// As the unit's overlap chooses them: the faster one (R2); the finer one (R3) with its short window,
// about half the finer one's work and the same ratio range; the finer one.
enum class TimePitchEngine : std::uint8_t { faster, finerShortWindow, finer };

} // namespace platform
