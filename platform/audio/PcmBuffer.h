#pragma once
// A block of linear-PCM audio in memory: a format, a capacity and a valid length in frames.
// Samples are zero at allocation. Allocate off the render thread; the render thread may read and
// write samples and the frame length of an existing buffer.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class PcmBuffer {
public:
    // Empty when the format is not valid or the capacity cannot be allocated.
    static std::unique_ptr<PcmBuffer> make(const AudioFormat& format, std::uint32_t frameCapacity);

    const AudioFormat& format() const { return format_; }
    std::uint32_t frameCapacity() const { return capacity_; }
    std::uint32_t frameLength() const { return length_; }
    // Clamped to the capacity.
    void setFrameLength(std::uint32_t frames) { length_ = frames < capacity_ ? frames : capacity_; }

    // Per-buffer sample pointers of a float32 format (one per channel when non-interleaved, one
    // otherwise); null for other sample types.
    float* const* floatChannelData() { return format_.commonFormat() == CommonFormat::pcmFloat32 ? floatChannels_.get() : nullptr; }
    const float* const* floatChannelData() const { return format_.commonFormat() == CommonFormat::pcmFloat32 ? floatChannels_.get() : nullptr; }
    float* channel(std::uint32_t index) { return floatChannelData()[index]; }
    const float* channel(std::uint32_t index) const { return floatChannelData()[index]; }
    std::int16_t* const* int16ChannelData() { return format_.commonFormat() == CommonFormat::pcmInt16 ? reinterpret_cast<std::int16_t* const*>(floatChannels_.get()) : nullptr; }
    std::int32_t* const* int32ChannelData() { return format_.commonFormat() == CommonFormat::pcmInt32 ? reinterpret_cast<std::int32_t* const*>(floatChannels_.get()) : nullptr; }

    // Raw bytes of buffer `index` (see AudioFormat::bufferCount).
    void* bufferData(std::uint32_t index) { return bufferPointers_[index]; }
    std::uint32_t stride() const { return format_.isInterleaved() ? format_.channelCount() : 1; }

    // A buffer list over this buffer's memory, sized to the valid length.
    AudioBufferList bufferList() const;
    // The same, sized to `frames` (at most the capacity), for render calls that fill the buffer.
    AudioBufferList bufferList(std::uint32_t frames) const;

    // Sets every sample of the valid length (or of the capacity) to zero.
    void silence(bool wholeCapacity = false);

private:
    PcmBuffer(const AudioFormat& format, std::uint32_t capacity) : format_(format), capacity_(capacity) {}

    AudioFormat format_;
    std::uint32_t capacity_ = 0;
    std::uint32_t length_ = 0;
    std::unique_ptr<std::uint8_t[]> storage_;
    std::unique_ptr<void*[]> bufferPointers_;
    // Typed views of bufferPointers_, for the float (and, reinterpreted, integer) accessors.
    std::unique_ptr<float*[]> floatChannels_;
};

} // namespace platform
