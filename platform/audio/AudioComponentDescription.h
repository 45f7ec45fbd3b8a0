#pragma once
// Identifies an audio component: type, subtype and manufacturer as 32-bit four-character codes (first
// character in the highest byte), plus flags and a flags mask. A plain value; any thread.

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

} // namespace platform
