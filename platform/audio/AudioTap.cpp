#include "platform/audio/AudioTap.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

namespace platform {

struct AudioNodeTaps::Stream {
    struct Mark {
        std::uint64_t position = 0;
        AudioTime when;
    };

    AudioFormat format;
    std::uint32_t bufferSize = 0;
    std::uint64_t capacity = 0;
    std::vector<std::unique_ptr<float[]>> frames;
    std::vector<Mark> marks;
    // Single producer (render thread), single consumer (tap thread); positions only grow.
    std::atomic<std::uint64_t> written{0}, read{0};
    std::atomic<std::uint64_t> marksWritten{0}, marksRead{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> delivered{0};

    AudioTapBlock block;
    std::atomic<bool> removed{false};
    // Held around each call of the block so that remove() can wait for the one in hand.
    std::mutex delivery;

    void write(const AudioBufferList& list, std::uint32_t count, const AudioTime& when) noexcept {
        const std::uint64_t w = written.load(std::memory_order_relaxed);
        const std::uint64_t mw = marksWritten.load(std::memory_order_relaxed);
        if (w + count - read.load(std::memory_order_acquire) > capacity ||
            mw - marksRead.load(std::memory_order_acquire) >= marks.size()) {
            dropped.fetch_add(count, std::memory_order_relaxed);
            return;
        }
        const bool interleaved = list.numberBuffers == 1 && list.buffers[0].numberChannels > 1;
        const std::uint32_t listChannels = interleaved ? list.buffers[0].numberChannels : list.numberBuffers;
        for (std::size_t c = 0; c < frames.size(); ++c) {
            float* ring = frames[c].get();
            const float* from =
                c < listChannels ? list.floatData(interleaved ? 0 : std::uint32_t(c)) : nullptr;
            for (std::uint32_t i = 0; i < count; ++i) {
                const float sample =
                    from ? (interleaved ? from[std::size_t(i) * listChannels + c] : from[i]) : 0.0f;
                ring[(w + i) % capacity] = sample;
            }
        }
        marks[mw % marks.size()] = Mark{w, when};
        marksWritten.store(mw + 1, std::memory_order_release);
        written.store(w + count, std::memory_order_release);
    }

    // Tap thread: the time of the frame at `position`, from the last cycle mark at or before it.
    AudioTime timeAt(std::uint64_t position) {
        Mark current{};
        bool found = false;
        for (std::uint64_t m = marksRead.load(std::memory_order_relaxed);
             m < marksWritten.load(std::memory_order_acquire); ++m) {
            const Mark& mark = marks[m % marks.size()];
            if (mark.position > position) break;
            current = mark;
            found = true;
            // Keep this mark readable for the next buffer that starts inside its cycle.
            if (m > marksRead.load(std::memory_order_relaxed)) marksRead.store(m, std::memory_order_release);
        }
        if (!found) return {};
        const std::int64_t offset = std::int64_t(position - current.position);
        const AudioTime& t = current.when;
        const double rate = t.sampleRate() > 0 ? t.sampleRate() : format.sampleRate();
        const std::uint64_t host =
            t.isHostTimeValid() ? t.hostTime() + AudioTime::hostTimeForSeconds(double(offset) / rate) : 0;
        if (t.isSampleTimeValid() && t.isHostTimeValid())
            return AudioTime::withBoth(host, t.sampleTime() + offset, t.sampleRate());
        if (t.isSampleTimeValid()) return AudioTime::withSampleTime(t.sampleTime() + offset, t.sampleRate());
        if (t.isHostTimeValid()) return AudioTime::withHostTime(host);
        return {};
    }

    // Tap thread: hands on every complete buffer; whether there was one.
    bool deliverReady() {
        bool any = false;
        while (!removed.load(std::memory_order_acquire)) {
            const std::uint64_t r = read.load(std::memory_order_relaxed);
            if (written.load(std::memory_order_acquire) - r < bufferSize) break;
            any = true;
            std::shared_ptr<PcmBuffer> buffer = PcmBuffer::make(format, bufferSize);
            const AudioTime when = timeAt(r);
            if (buffer) {
                for (std::size_t c = 0; c < frames.size(); ++c)
                    for (std::uint32_t i = 0; i < bufferSize; ++i)
                        buffer->channel(std::uint32_t(c))[i] = frames[c][(r + i) % capacity];
                buffer->setFrameLength(bufferSize);
            }
            read.store(r + bufferSize, std::memory_order_release);
            if (!buffer) continue;
            std::lock_guard lock(delivery);
            if (!removed.load(std::memory_order_acquire)) block(std::move(buffer), when);
            delivered.fetch_add(1, std::memory_order_release);
        }
        return any;
    }
};

namespace {

// The one tap thread of the process: installing a tap starts no thread, so taps can come and go
// as often as their owners like. Blocks run without its lock held, so they may install and remove.
class TapThread {
public:
    static TapThread& shared() {
        static TapThread thread;
        return thread;
    }
    ~TapThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void add(std::shared_ptr<AudioNodeTaps::Stream> stream) {
        {
            std::lock_guard lock(mutex_);
            streams_.push_back(std::move(stream));
        }
        wake_.notify_all();
    }
    void drop(const AudioNodeTaps::Stream* stream) {
        std::lock_guard lock(mutex_);
        std::erase_if(streams_, [stream](const auto& s) { return s.get() == stream; });
    }
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run() {
        std::vector<std::shared_ptr<AudioNodeTaps::Stream>> batch;
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            batch = streams_;
            lock.unlock();
            bool any = false;
            for (const auto& stream : batch)
                any = stream->deliverReady() || any;
            // A removed stream may end here, with its block, outside the lock.
            batch.clear();
            lock.lock();
            if (!any) wake_.wait_for(lock, std::chrono::milliseconds(1));
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<AudioNodeTaps::Stream>> streams_;
    bool stopping_ = false;
    std::thread thread_{[this] { run(); }};
};

} // namespace

AudioNodeTaps::~AudioNodeTaps() {
    for (std::uint32_t bus = 0; bus < maxBusses; ++bus)
        remove(bus);
}

bool AudioNodeTaps::install(std::uint32_t bus, std::uint32_t bufferSize, const AudioFormat& format,
                            AudioTapBlock block) {
    if (bus >= maxBusses || bufferSize == 0 || !block || !format.isValid()) return false;
    const auto standard = AudioFormat::standard(format.sampleRate(), format.channelCount());
    if (!standard) return false;
    std::lock_guard lock(mutex_);
    if (owners_[bus]) return false;
    auto stream = std::make_shared<Stream>();
    stream->format = *standard;
    stream->bufferSize = bufferSize;
    // Eight buffers and at least a third of a second at 44.1 kHz: the tap thread looks in every
    // millisecond, so only a stalled machine makes the render thread drop frames. The ring is
    // written before it is read, so it needs no clearing.
    stream->capacity = std::max<std::uint64_t>(std::uint64_t(bufferSize) * 8, 16384);
    for (std::uint32_t c = 0; c < standard->channelCount(); ++c)
        stream->frames.push_back(std::make_unique_for_overwrite<float[]>(stream->capacity));
    stream->marks.resize(1024);
    stream->block = std::move(block);
    owners_[bus] = stream;
    live_[bus].store(stream.get(), std::memory_order_seq_cst);
    TapThread::shared().add(stream);
    return true;
}

void AudioNodeTaps::remove(std::uint32_t bus) {
    if (bus >= maxBusses) return;
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard lock(mutex_);
        stream = std::move(owners_[bus]);
        owners_[bus].reset();
        if (!stream) return;
        live_[bus].store(nullptr, std::memory_order_seq_cst);
    }
    // A render cycle that picked the stream up before the swap finishes within microseconds.
    while (feeding_.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
    stream->removed.store(true, std::memory_order_release);
    // From a block (this tap's own or another's) no other block is in hand; elsewhere wait for the
    // one that may be.
    if (!TapThread::shared().isCurrent()) {
        std::lock_guard wait(stream->delivery);
    }
    TapThread::shared().drop(stream.get());
}

bool AudioNodeTaps::isInstalled(std::uint32_t bus) const {
    std::lock_guard lock(mutex_);
    return bus < maxBusses && owners_[bus] != nullptr;
}

std::uint64_t AudioNodeTaps::droppedFrames(std::uint32_t bus) const {
    std::lock_guard lock(mutex_);
    return bus < maxBusses && owners_[bus] ? owners_[bus]->dropped.load(std::memory_order_relaxed) : 0;
}

std::uint64_t AudioNodeTaps::deliveredBuffers(std::uint32_t bus) const {
    std::lock_guard lock(mutex_);
    return bus < maxBusses && owners_[bus] ? owners_[bus]->delivered.load(std::memory_order_acquire) : 0;
}

void AudioNodeTaps::feed(std::uint32_t bus, const AudioBufferList& list, std::uint32_t frames,
                         const AudioTime& when) noexcept {
    if (bus >= maxBusses || frames == 0 || !live_[bus].load(std::memory_order_relaxed)) return;
    feeding_.fetch_add(1, std::memory_order_seq_cst);
    if (Stream* stream = live_[bus].load(std::memory_order_seq_cst)) stream->write(list, frames, when);
    feeding_.fetch_sub(1, std::memory_order_seq_cst);
}

} // namespace platform
