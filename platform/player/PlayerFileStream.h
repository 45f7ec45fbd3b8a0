#pragma once
// A file segment on its way to the render thread: the player node's own reader of the file and a
// ring of decoded frames ahead of the render position. Producers (the streaming thread, prepare() on
// the control thread, an offline render) take turns through the claim; the render thread consumes
// without waiting. When the render thread runs ahead of the data (an underrun) it skips the missing
// frames and the next producer moves the reader past them, so the segment keeps its place in time.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class AudioFile;
class PcmBuffer;

class PlayerFileStream {
public:
    // Opens a reader of its own of the file `file` reads (even when its path no longer names it) for
    // the frames [start, start + frames) and a ring of `ringFrames` frames (fewer for a shorter
    // segment). Control thread.
    static Result<std::unique_ptr<PlayerFileStream>> open(const AudioFile& file, std::int64_t start,
                                                          std::int64_t frames, std::uint32_t ringFrames);
    ~PlayerFileStream();
    PlayerFileStream(const PlayerFileStream&) = delete;
    PlayerFileStream& operator=(const PlayerFileStream&) = delete;

    const AudioFormat& format() const { return format_; }
    std::int64_t frames() const { return frames_; }
    std::uint32_t ringFrames() const { return capacity_; }

    // Producers. claim() spins (yielding) while another producer fills; fills are short.
    void claim();
    void release() { claimed_.store(false, std::memory_order_release); }

    struct Fill {
        std::uint32_t frames = 0;
        // This fill reached the end of the segment.
        bool completed = false;
    };
    // Holding the claim: reads up to `maxFrames` frames into the ring, fewer when the ring is full.
    // A file that cannot be read to the end (damaged, truncated since it was opened) gives silence
    // for the rest of the segment.
    Fill fill(std::uint32_t maxFrames);
    // Holding the claim: whether the next fill first walks a long way through the file (a far place in
    // an MP3 not yet counted), which the control thread leaves to the streaming thread.
    bool fillWalks() const;
    // Holding the claim: whether every frame of the segment is in the ring or already skipped.
    bool isFullyRead() const { return fullyRead_; }
    // Frames in the ring that the render thread has not consumed yet.
    std::int64_t bufferedFrames() const;
    std::int64_t readPosition() const { return read_.load(std::memory_order_acquire); }

    // Render thread: frames ready to consume.
    std::int64_t readable() const;
    // Copies the next `frames` frames (at most readable()) into `out` from frame `offset` on: the
    // same channel of the source, or its only channel for every output channel of a mono source.
    void copyTo(AudioBufferList& out, std::uint32_t offset, std::uint32_t frames) const;
    // Consumes `frames` frames, readable or not (the unreadable ones are skipped).
    void advance(std::uint32_t frames);

private:
    PlayerFileStream() = default;

    std::unique_ptr<AudioFile> reader_;
    std::unique_ptr<PcmBuffer> chunk_;
    std::unique_ptr<float[]> ring_; // channel after channel, capacity_ frames each
    AudioFormat format_;
    std::int64_t start_ = 0;
    std::int64_t frames_ = 0;
    std::uint32_t capacity_ = 0;
    std::uint32_t channels_ = 0;

    // Producer side (under the claim).
    bool fullyRead_ = false;
    bool readerFailed_ = false;

    // Frames of the segment written into the ring and consumed from it.
    std::atomic<std::int64_t> write_{0};
    std::atomic<std::int64_t> read_{0};
    std::atomic<bool> claimed_{false};
};

} // namespace platform
