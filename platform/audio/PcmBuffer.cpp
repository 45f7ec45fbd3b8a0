#include "platform/audio/PcmBuffer.h"

#include <cstring>
#include <new>

namespace platform {

std::unique_ptr<PcmBuffer> PcmBuffer::make(const AudioFormat& format, std::uint32_t frameCapacity) {
    if (!format.isValid()) return nullptr;
    std::unique_ptr<PcmBuffer> buffer(new PcmBuffer(format, frameCapacity));
    const std::uint32_t count = format.bufferCount();
    // Each buffer starts on a 64-byte boundary so SIMD loops and cache lines stay aligned.
    const std::size_t bytesPerBuffer = (std::size_t(format.bytesPerFrame()) * frameCapacity + 63) & ~std::size_t(63);
    const std::size_t total = bytesPerBuffer * count + 64;
    buffer->storage_.reset(new (std::nothrow) std::uint8_t[total]());
    buffer->bufferPointers_.reset(new (std::nothrow) void*[count]);
    buffer->floatChannels_.reset(new (std::nothrow) float*[count]);
    if (!buffer->storage_ || !buffer->bufferPointers_ || !buffer->floatChannels_) return nullptr;
    auto base = reinterpret_cast<std::uintptr_t>(buffer->storage_.get());
    base = (base + 63) & ~std::uintptr_t(63);
    for (std::uint32_t i = 0; i < count; ++i) {
        void* p = reinterpret_cast<void*>(base + i * bytesPerBuffer);
        buffer->bufferPointers_[i] = p;
        buffer->floatChannels_[i] = static_cast<float*>(p);
    }
    return buffer;
}

AudioBufferList PcmBuffer::bufferList() const { return bufferList(length_); }

AudioBufferList PcmBuffer::bufferList(std::uint32_t frames) const {
    if (frames > capacity_) frames = capacity_;
    AudioBufferList list;
    list.numberBuffers = format_.bufferCount();
    const std::uint32_t channelsPerBuffer = format_.isInterleaved() ? format_.channelCount() : 1;
    for (std::uint32_t i = 0; i < list.numberBuffers; ++i) {
        list.buffers[i].numberChannels = channelsPerBuffer;
        list.buffers[i].dataByteSize = frames * format_.bytesPerFrame();
        list.buffers[i].data = bufferPointers_[i];
    }
    return list;
}

void PcmBuffer::silence(bool wholeCapacity) {
    const std::uint32_t frames = wholeCapacity ? capacity_ : length_;
    for (std::uint32_t i = 0; i < format_.bufferCount(); ++i)
        std::memset(bufferPointers_[i], 0, std::size_t(frames) * format_.bytesPerFrame());
}

} // namespace platform
