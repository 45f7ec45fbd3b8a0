#pragma once
// Processing the 32-bit float samples of PCM buffers: the loudest stretch, fades at both ends,
// scaling to full level and reversal. Apart from peak() each makes a new buffer and leaves the given
// one untouched. Stateless; any thread that owns the buffers, not the render thread (they allocate
// and may log).

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
class PcmBuffer;
} // namespace platform

namespace rozezeru {

// The loudest block of 512 frames of a buffer.
struct Peak {
    // Seconds from the buffer's first frame to the start of the block.
    double time = 0.0;
    // The frame where the block starts.
    std::int64_t framePosition = 0;
    // The largest absolute sample value found.
    float amplitude = 1.0f;
};

// Scans blocks of 512 frames, every channel of each; the first block with the highest level wins
// (not-a-number samples never count). None for an empty buffer or one without float samples.
std::optional<Peak> peak(const platform::PcmBuffer& buffer);

// A copy whose first `inTime` seconds fade in and last `outTime` seconds fade out, along a linear or
// an exponential curve. The buffer itself (with an info record) when it has no float samples or no
// fade is longer than a frame. Fades that together are longer than the buffer are shortened in
// proportion, so that they meet.
std::shared_ptr<const platform::PcmBuffer> fade(const std::shared_ptr<const platform::PcmBuffer>& buffer,
                                                double inTime, double outTime, bool linearRamp = false);

// A copy scaled so that its peak is 1. The buffer itself without float samples, or (with an info
// record) when it is empty; an unchanged copy when it is silent. Nothing when no copy can be made.
std::shared_ptr<const platform::PcmBuffer>
normalize(const std::shared_ptr<const platform::PcmBuffer>& buffer);

// A copy with the frames in reverse order (silent without float samples), of the same capacity.
// Nothing when no copy can be made.
std::unique_ptr<platform::PcmBuffer> reverse(const platform::PcmBuffer& buffer);

} // namespace rozezeru
