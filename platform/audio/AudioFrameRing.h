#pragma once
// A first-in first-out store of non-interleaved float frames with a fixed capacity, for the render
// state of units that produce audio at another pace than they take it in. Sized on the configuring
// thread (reset allocates); written and read by one thread at a time, the render thread, without
// allocating. Its positioned copies also serve as the storage of CaptureRing, which keeps its own
// positions across threads.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace platform {

class AudioFrameRing {
public:
    // Allocates; drops what was stored.
    void reset(std::size_t channels, std::size_t capacity) {
        data_.assign(channels, std::vector<float>(capacity, 0.0f));
        capacity_ = capacity;
        clear();
    }
    void clear() { read_ = size_ = 0; }

    std::size_t channels() const { return data_.size(); }
    std::size_t capacity() const { return capacity_; }
    std::size_t size() const { return size_; }
    std::size_t space() const { return capacity_ - size_; }

    // Appends up to `frames` frames of `channels` (one pointer per channel; null or missing channels
    // add silence); returns the frames appended.
    std::size_t write(const float* const* channels, std::size_t channelCount, std::size_t frames) {
        frames = std::min(frames, space());
        if (frames == 0) return 0;
        store((read_ + size_) % capacity_, channels, channelCount, frames);
        size_ += frames;
        return frames;
    }

    // Moves up to `frames` frames into `channels` at `offset`; returns the frames moved.
    std::size_t read(float* const* channels, std::size_t offset, std::size_t frames) {
        return skip(peek(channels, offset, frames));
    }

    // Copies up to `frames` of the oldest frames into `channels` at `offset` and keeps them; returns
    // the frames copied.
    std::size_t peek(float* const* channels, std::size_t offset, std::size_t frames) const {
        frames = std::min(frames, size_);
        if (frames > 0) load(read_, channels, offset, frames);
        return frames;
    }

    // Copies from and to ring position `at` (wrapping), leaving what is stored as it was: for a ring
    // whose fill is tracked elsewhere, such as one shared by two threads. Null channels are skipped.
    void store(std::size_t at, const float* const* channels, std::size_t channelCount, std::size_t frames) {
        for (std::size_t done = 0; done < frames;) {
            const std::size_t run = std::min(frames - done, capacity_ - at);
            for (std::size_t c = 0; c < data_.size(); ++c) {
                float* to = data_[c].data() + at;
                if (c < channelCount && channels[c])
                    std::memcpy(to, channels[c] + done, run * sizeof(float));
                else
                    std::memset(to, 0, run * sizeof(float));
            }
            done += run;
            at = (at + run) % capacity_;
        }
    }
    void load(std::size_t at, float* const* channels, std::size_t offset, std::size_t frames) const {
        for (std::size_t done = 0; done < frames;) {
            const std::size_t run = std::min(frames - done, capacity_ - at);
            for (std::size_t c = 0; c < data_.size(); ++c)
                if (channels[c])
                    std::memcpy(channels[c] + offset + done, data_[c].data() + at, run * sizeof(float));
            done += run;
            at = (at + run) % capacity_;
        }
    }

    // Drops up to `frames` of the oldest frames; returns the frames dropped.
    std::size_t skip(std::size_t frames) {
        frames = std::min(frames, size_);
        read_ = capacity_ ? (read_ + frames) % capacity_ : 0;
        size_ -= frames;
        return frames;
    }

private:
    std::vector<std::vector<float>> data_;
    std::size_t capacity_ = 0;
    std::size_t read_ = 0;
    std::size_t size_ = 0;
};

} // namespace platform
