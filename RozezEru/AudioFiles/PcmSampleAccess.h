#pragma once
// Reading and writing one 32-bit float sample of a PCM buffer in either layout, for the buffer
// utilities. The buffer must hold 32-bit float samples. Any thread that owns the buffer.

#include "platform/audio/PcmBuffer.h"

#include <cstdint>

namespace rozezeru::pcmsample {

inline float* pointer(platform::PcmBuffer& buffer, std::uint32_t channel, std::uint32_t frame) {
    return buffer.format().isInterleaved()
               ? buffer.floatChannelData()[0] + std::size_t(frame) * buffer.stride() + channel
               : buffer.floatChannelData()[channel] + frame;
}

inline float read(const platform::PcmBuffer& buffer, std::uint32_t channel, std::uint32_t frame) {
    return buffer.format().isInterleaved()
               ? buffer.floatChannelData()[0][std::size_t(frame) * buffer.stride() + channel]
               : buffer.floatChannelData()[channel][frame];
}

} // namespace rozezeru::pcmsample
