#pragma once
// The flag set of an audio-unit parameter: whether hosts may read, write and ramp it. Plain
// constants; any thread.

#include <cstdint>

namespace rozezeru {

struct AudioUnitParameterOptions {
    using RawValue = std::uint32_t;

    static constexpr RawValue canRamp = 0x02000000;
    static constexpr RawValue isReadable = 0x40000000;
    static constexpr RawValue isWritable = 0x80000000;

    // The flags of every node parameter definition unless it says otherwise (`default` is a
    // keyword here, hence `default_`).
    static constexpr RawValue default_ = isReadable | isWritable | canRamp;
};

} // namespace rozezeru
