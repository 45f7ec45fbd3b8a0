#pragma once
// Joining PCM buffers: frames of one buffer appended behind the frames of another. Any thread that
// owns both buffers; not for the render thread (a refusal is logged).

#include <cstdint>

namespace platform {
class PcmBuffer;
} // namespace platform

namespace rozezeru {

// Copies `frameCount` frames of `source`, from its frame `startingFrame` on, behind the valid frames
// of `buffer`, in every channel, and advances `buffer`'s frame length by `frameCount`. Refused, with
// an error record and nothing changed, when the formats differ or are not 32-bit float, the range
// does not lie within the source's valid frames, or `buffer` has no room for them.
bool append(platform::PcmBuffer& buffer, const platform::PcmBuffer& source, std::int64_t startingFrame,
            std::uint32_t frameCount);

// All of the source's valid frames.
bool append(platform::PcmBuffer& buffer, const platform::PcmBuffer& source);

} // namespace rozezeru
