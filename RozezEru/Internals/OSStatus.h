#pragma once
// The status code that platform audio and MIDI calls return.

#include <cstdint>

namespace rozezeru {

using OSStatus = std::int32_t;

// The status of success.
inline constexpr OSStatus noErr = 0;

} // namespace rozezeru
