#pragma once
// A first-in first-out store of non-interleaved float frames with a fixed capacity, for the render
// state of units that produce audio at another pace than they take it in. Sized on the configuring
// thread (reset allocates); written and read by one thread at a time, the render thread, without
// allocating.

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
        std::size_t at = (read_ + size_) % capacity_;
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
        size_ += frames;
        return frames;
    }

    // Moves up to `frames` frames into `channels` at `offset`; returns the frames moved.
    std::size_t read(float* const* channels, std::size_t offset, std::size_t frames) {
        frames = std::min(frames, size_);
        if (frames == 0) return 0;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t run = std::min(frames - done, capacity_ - read_);
            for (std::size_t c = 0; c < data_.size(); ++c)
                std::memcpy(channels[c] + offset + done, data_[c].data() + read_, run * sizeof(float));
            done += run;
            read_ = (read_ + run) % capacity_;
        }
        size_ -= frames;
        return frames;
    }

    // Copies up to `frames` of the oldest frames into `channels` at `offset` and keeps them; returns
    // the frames copied.
    std::size_t peek(float* const* channels, std::size_t offset, std::size_t frames) const {
        frames = std::min(frames, size_);
        for (std::size_t done = 0, at = read_; done < frames;) {
            const std::size_t run = std::min(frames - done, capacity_ - at);
            for (std::size_t c = 0; c < data_.size(); ++c)
                std::memcpy(channels[c] + offset + done, data_[c].data() + at, run * sizeof(float));
            done += run;
            at = (at + run) % capacity_;
        }
        return frames;
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
