#include "RozezEruEX/CallbackInstrumentDSP.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/dispatch/ConcurrentQueue.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

namespace rozezeru {

// One writer (the render thread) and one reader (the drain, which the timer never runs twice at once): an
// entry is filled before the write index that publishes it, and read before the read index that frees it.
struct CallbackInstrumentDSP::Ring {
    struct Entry {
        AUMIDIEvent midi;
        AUEventSampleTime time = 0;
    };

    void drain();

    std::array<Entry, capacity> entries{};
    std::atomic<std::uint64_t> writeIndex{0};
    std::atomic<std::uint64_t> readIndex{0};
    // Messages the render thread found no room for, since the last drain.
    std::atomic<std::uint64_t> dropped{0};

    // Held for a whole drain, so that replacing the callback or going away waits for one under way. The
    // render thread never takes it.
    std::mutex drainMutex;
    CallbackInstrumentCallback callback;
    bool dropReported = false;
    bool stopped = false;
};

void CallbackInstrumentDSP::Ring::drain() {
    std::lock_guard lock(drainMutex);
    if (stopped) return;
    const std::uint64_t write = writeIndex.load(std::memory_order_acquire);
    const std::uint64_t read = readIndex.load(std::memory_order_relaxed);
    // Messages that arrive meanwhile wait for the next tick.
    const std::uint64_t end = write < read ? write + capacity : write;
    for (std::uint64_t k = read; k < end; ++k) {
        const Entry& entry = entries[k % capacity];
        if (callback && entry.midi.length == 3)
            callback(entry.midi.data[0], entry.midi.data[1], entry.midi.data[2], entry.time);
    }
    readIndex.store(end % capacity, std::memory_order_release);

    const std::uint64_t drops = dropped.exchange(0, std::memory_order_relaxed);
    if (drops > 0 && !dropReported) {
        dropReported = true;
        Log(LogSite("handleMIDIEvent(_:)", LogType::error), "The callback instrument's ring of", capacity - 1,
            "MIDI events was full:", drops, "events dropped (later drops are not reported)");
    }
}

platform::ConcurrentQueue& callbackInstrumentQueue() {
    static platform::ConcurrentQueue queue("rozez.eru.timer.queue");
    return queue;
}

// The queue first, so that it outlives the real-time scheduler that posts to it.
CallbackInstrumentDSP::CallbackInstrumentDSP()
    : CallbackInstrumentDSP((callbackInstrumentQueue(), platform::sharedTimerScheduler())) {}

CallbackInstrumentDSP::CallbackInstrumentDSP(platform::TimerScheduler& scheduler)
    : DSPBase(1, false), ring_(std::make_shared<Ring>()) {
    // It runs from construction on, whether or not the unit renders.
    timer_ = scheduler.scheduleRepeating(
        drainInterval,
        [weakRing = std::weak_ptr<Ring>(ring_)] {
            if (auto ring = weakRing.lock()) ring->drain();
        },
        callbackInstrumentQueue());
}

CallbackInstrumentDSP::~CallbackInstrumentDSP() {
    timer_.cancel();
    // A drain under way finishes first; one that starts later finds the ring stopped.
    std::lock_guard lock(ring_->drainMutex);
    ring_->stopped = true;
}

void CallbackInstrumentDSP::process(FrameRange range) {
    AudioBufferList& output = *outputBufferList;
    for (std::uint32_t channel = 0; channel < output.numberBuffers; ++channel)
        std::memset(output.floatData(channel) + range.start, 0, std::size_t(range.count) * sizeof(float));
}

void CallbackInstrumentDSP::handleMIDIEvent(const AUMIDIEvent& midiEvent) {
    if (midiEvent.length != 3) return;
    Ring& ring = *ring_;
    const std::uint64_t write = ring.writeIndex.load(std::memory_order_relaxed);
    const std::uint64_t next = (write + 1) % capacity;
    if (next == ring.readIndex.load(std::memory_order_acquire)) {
        ring.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // `now` is the sample time the render loop has reached: the message's own, or the cycle's first
    // frame for one stamped earlier.
    ring.entries[write] = {midiEvent, now};
    ring.writeIndex.store(next, std::memory_order_release);
}

void CallbackInstrumentDSP::setCallback(CallbackInstrumentCallback callback) {
    std::lock_guard lock(ring_->drainMutex);
    ring_->callback = std::move(callback);
}

void rzCallbackInstrumentSetCallback(DSPBase* dsp, CallbackInstrumentCallback callback) {
    auto* instrument = dynamic_cast<CallbackInstrumentDSP*>(dsp);
    if (!instrument) stopOnProgrammingError("rzCallbackInstrumentSetCallback: dsp");
    instrument->setCallback(std::move(callback));
}

} // namespace rozezeru
