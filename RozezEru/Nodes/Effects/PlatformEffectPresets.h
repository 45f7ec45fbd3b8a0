#pragma once
// What the toolkit adds to the platform's distortion and reverb presets: the list of every preset, each
// preset's display name, and the next and previous preset by raw value, wrapping at the length of that
// list. The lists are process-wide and may be replaced; main thread.

#include "platform/audio/DistortionUnit.h"
#include "platform/audio/ReverbUnit.h"

#include <string>
#include <vector>

namespace rozezeru {

// Every preset in raw-value order until replaced.
template <class Preset> std::vector<Preset>& allValues();
template <> std::vector<platform::DistortionPreset>& allValues();
template <> std::vector<platform::ReverbPreset>& allValues();

// "Drums Bit Brush" ...; "Unknown" for a raw value without a preset.
std::string name(platform::DistortionPreset preset);
// "Small Room" ...; "Unknown " (with a blank) for a raw value without a preset.
std::string name(platform::ReverbPreset preset);

// The preset with the raw value + 1 modulo the number of allValues(); previous: the raw value - 1, brought
// into 0 ... that number - 1 when negative. With an empty list both give the preset itself; the sums are
// taken in 64 bits, so the largest raw value has a next one too.
platform::DistortionPreset next(platform::DistortionPreset preset);
platform::DistortionPreset previous(platform::DistortionPreset preset);
platform::ReverbPreset next(platform::ReverbPreset preset);
platform::ReverbPreset previous(platform::ReverbPreset preset);

} // namespace rozezeru
