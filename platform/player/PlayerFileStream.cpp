#include "platform/player/PlayerFileStream.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace platform {

namespace {

// Frames one read asks the decoder for.
constexpr std::uint32_t fileStreamChunkFrames = 4096;

} // namespace

Result<std::unique_ptr<PlayerFileStream>> PlayerFileStream::open(const AudioFile& file, std::int64_t start,
                                                                 std::int64_t frames,
                                                                 std::uint32_t ringFrames) {
    auto reader = file.openAgain();
    if (!reader) return reader.error();
    std::unique_ptr<PlayerFileStream> stream(new PlayerFileStream);
    stream->reader_ = std::move(reader.value());
    stream->format_ = stream->reader_->processingFormat();
    stream->channels_ = stream->format_.channelCount();
    stream->start_ = start;
    stream->frames_ = frames;
    stream->capacity_ =
        std::uint32_t(std::clamp<std::int64_t>(frames, 1, std::max<std::uint32_t>(ringFrames, 1)));
    stream->chunk_ = PcmBuffer::make(stream->format_, std::min(fileStreamChunkFrames, stream->capacity_));
    stream->ring_.reset(new (std::nothrow) float[std::size_t(stream->capacity_) * stream->channels_]());
    if (!stream->chunk_ || !stream->ring_)
        return Error::make("AudioPlayerNode", "Not enough memory to stream \"" + file.path() + "\"");
    stream->reader_->setFramePosition(start);
    return stream;
}

PlayerFileStream::~PlayerFileStream() = default;

void PlayerFileStream::claim() {
    while (claimed_.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
}

std::int64_t PlayerFileStream::bufferedFrames() const {
    return std::max<std::int64_t>(0, write_.load(std::memory_order_relaxed) -
                                         read_.load(std::memory_order_acquire));
}

bool PlayerFileStream::fillWalks() const {
    return !fullyRead_ && !readerFailed_ && reader_->nextReadWalks();
}

PlayerFileStream::Fill PlayerFileStream::fill(std::uint32_t maxFrames) {
    Fill result;
    if (fullyRead_) return result;
    std::int64_t written = write_.load(std::memory_order_relaxed);
    const std::int64_t consumed = read_.load(std::memory_order_acquire);
    if (consumed > written) {
        // The render thread skipped frames that were late: continue where it is.
        written = std::min(consumed, frames_);
        if (!readerFailed_) reader_->setFramePosition(start_ + written);
        write_.store(written, std::memory_order_release);
    }
    std::int64_t wanted =
        std::min<std::int64_t>(std::min(frames_, consumed + capacity_) - written, maxFrames);
    while (wanted > 0) {
        const auto asked = std::uint32_t(std::min<std::int64_t>(wanted, chunk_->frameCapacity()));
        std::uint32_t got = 0;
        if (!readerFailed_) {
            auto read = reader_->read(*chunk_, asked);
            if (read && chunk_->frameLength() > 0)
                got = chunk_->frameLength();
            else
                readerFailed_ = true;
        }
        const std::uint32_t count = got ? got : asked;
        const auto at = std::uint32_t(written % capacity_);
        const std::uint32_t first = std::min(count, capacity_ - at);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            float* ring = ring_.get() + std::size_t(c) * capacity_;
            if (got) {
                const float* source = chunk_->channel(c);
                std::memcpy(ring + at, source, first * sizeof(float));
                std::memcpy(ring, source + first, (count - first) * sizeof(float));
            } else {
                std::memset(ring + at, 0, first * sizeof(float));
                std::memset(ring, 0, (count - first) * sizeof(float));
            }
        }
        written += count;
        wanted -= count;
        result.frames += count;
        write_.store(written, std::memory_order_release);
    }
    if (written >= frames_) {
        fullyRead_ = true;
        result.completed = true;
    }
    return result;
}

std::int64_t PlayerFileStream::readable() const {
    return std::max<std::int64_t>(0, write_.load(std::memory_order_acquire) -
                                         read_.load(std::memory_order_relaxed));
}

void PlayerFileStream::copyTo(AudioBufferList& out, std::uint32_t offset, std::uint32_t frames) const {
    const std::int64_t from = read_.load(std::memory_order_relaxed);
    const auto at = std::uint32_t(from % capacity_);
    const std::uint32_t first = std::min(frames, capacity_ - at);
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
        const std::uint32_t source = channels_ == 1 ? 0 : c;
        if (source >= channels_) continue;
        const float* ring = ring_.get() + std::size_t(source) * capacity_;
        float* target = out.floatData(c) + offset;
        std::memcpy(target, ring + at, first * sizeof(float));
        std::memcpy(target + first, ring, (frames - first) * sizeof(float));
    }
}

void PlayerFileStream::advance(std::uint32_t frames) {
    read_.store(read_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
}

} // namespace platform
