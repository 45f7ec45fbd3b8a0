#pragma once
// MIDI note numbers and frequencies, in equal temperament around note 69 at a reference
// frequency. Stateless; any thread, the render thread included.

#include <cstdint>

namespace rozezeru {

inline constexpr std::uint8_t noteOnStatusByte = 0x90;
inline constexpr std::uint8_t noteOffStatusByte = 0x80;

// reference × 2^((note − 69) / 12), in 32-bit float. Integer note numbers (0 to 255 for a byte)
// convert as they are.
float noteToFrequency(float note, float reference);

// 12 × log2(frequency / reference) + 69, in 32-bit float, not rounded.
float frequencyToNote(float frequency, float reference);

} // namespace rozezeru
