#pragma once
// The buffers a render call fills: one per channel (non-interleaved) or one for all channels.
// Fixed capacity so that render code can keep one on the stack without allocating.

#include "platform/audio/AudioFormat.h"

#include <array>
#include <cstdint>

namespace platform {

struct AudioBuffer {
    std::uint32_t numberChannels = 0;
    std::uint32_t dataByteSize = 0;
    void* data = nullptr;
};

struct AudioBufferList {
    std::uint32_t numberBuffers = 0;
    std::array<AudioBuffer, AudioFormat::maxChannels> buffers{};

    float* floatData(std::uint32_t buffer) const { return static_cast<float*>(buffers[buffer].data); }
};

// Makes `to` describe the buffers of `from`, copying only the descriptions in use: a view, sized to the
// real channel count rather than the list's capacity.
inline void assignBufferList(AudioBufferList& to, const AudioBufferList& from) {
    to.numberBuffers = from.numberBuffers;
    for (std::uint32_t b = 0; b < from.numberBuffers; ++b)
        to.buffers[b] = from.buffers[b];
}

} // namespace platform
