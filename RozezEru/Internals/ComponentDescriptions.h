#pragma once
// Descriptions of the toolkit's own audio-unit components (manufacturer 'RoRo', sandbox-safe) and
// of the platform's effects. Plain values; any thread.
//
//   componentDescription::effect("bpas")      → 'aumf' 'bpas' 'RoRo', flags 2
//   componentDescription::appleEffect('dely') → 'aufx' 'dely' 'appl'
//
// A subtype given as text must be four bytes long: anything else stops the program (fourCC).

#include "RozezEru/Internals/FourCC.h"
#include "platform/audio/AudioComponentDescription.h"

#include <cstdint>
#include <string_view>

namespace rozezeru {

using platform::AudioComponentDescription;

namespace componentDescription {

inline constexpr std::uint32_t rozezeruManufacturer = fourCC("RoRo");
inline constexpr std::uint32_t appleManufacturer = fourCC("appl");

// The toolkit's component of any type.
constexpr AudioComponentDescription make(std::uint32_t type, std::uint32_t subType) {
    return {type, subType, rozezeruManufacturer, platform::audioComponentFlagSandboxSafe, 0};
}

// One of the platform's own effects.
constexpr AudioComponentDescription appleEffect(std::uint32_t subType) {
    return {fourCC("aufx"), subType, appleManufacturer, 0, 0};
}

constexpr AudioComponentDescription effect(std::uint32_t subType) {
    return make(fourCC("aumf"), subType);
}
constexpr AudioComponentDescription effect(std::string_view subType) {
    return effect(fourCC(subType));
}

constexpr AudioComponentDescription converter(std::uint32_t subType) {
    return make(fourCC("aufc"), subType);
}
constexpr AudioComponentDescription converter(std::string_view subType) {
    return converter(fourCC(subType));
}

constexpr AudioComponentDescription mixer(std::string_view subType) {
    return make(fourCC("aumx"), fourCC(subType));
}

constexpr AudioComponentDescription generator(std::string_view subType) {
    return make(fourCC("augn"), fourCC(subType));
}

constexpr AudioComponentDescription instrument(std::string_view subType) {
    return make(fourCC("aumu"), fourCC(subType));
}

} // namespace componentDescription

} // namespace rozezeru
