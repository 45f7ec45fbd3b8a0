#pragma once
// Identifies an audio-unit component: its type, subtype and manufacturer as four-character codes,
// with flags and a flags mask. A plain value; any thread.

#include <cstdint>

namespace platform {

struct AudioComponentDescription {
    std::uint32_t componentType = 0;
    std::uint32_t componentSubType = 0;
    std::uint32_t componentManufacturer = 0;
    std::uint32_t componentFlags = 0;
    std::uint32_t componentFlagsMask = 0;

    friend bool operator==(const AudioComponentDescription&, const AudioComponentDescription&) = default;
};

// The component flag of units that may be loaded into a sandboxed process.
inline constexpr std::uint32_t audioComponentFlagSandboxSafe = 2;

} // namespace platform
