#include "RozezEruEX/Sequencing/SequencerEngine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

namespace rozezeru {

namespace {

constexpr double noRequest = std::numeric_limits<double>::quiet_NaN();
// Sample positions saturate well inside 64 bits, so adding a cycle's frames can never overflow.
constexpr std::int64_t sampleLimit = std::int64_t(1) << 62;

std::int64_t saturatedSamples(double samples) {
    if (std::isnan(samples)) return 0;
    if (samples >= double(sampleLimit)) return sampleLimit;
    if (samples <= -double(sampleLimit)) return -sampleLimit;
    return std::int64_t(samples);
}

} // namespace

namespace sequencerengine {

struct SequenceData {
    double sampleRate = 0.0;
    std::vector<SequenceEvent> events;
    SequenceSettings settings;
    SequencerMIDIBlock midiBlock;
};

struct PublishedSequence {
    std::atomic<bool> retired{false};
    SequenceData data;
};

struct EngineCommand {
    bool notesOff = false;
    double seekPosition = noRequest;
    double tempo = noRequest;
};

class SequencerEngineImpl {
public:
    ~SequencerEngineImpl() {
        // The last share goes on a thread that no render cycle is in (units let observers go only after
        // the render thread has left them), so the note set may be read here.
        stopAllPlayingNotes();
    }

    // Application thread.
    void publish(const SequenceEvent* events, std::size_t count, SequenceSettings settings, double sampleRate,
                 SequencerMIDIBlock midiBlock) {
        auto version = std::make_unique<PublishedSequence>();
        version->data.sampleRate = sampleRate;
        version->data.settings = settings;
        version->data.midiBlock = std::move(midiBlock);
        version->data.events.reserve(count);
        droppedEvents_ = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (events[i].data1 >= 0x80 || events[i].data2 >= 0x80) {
                ++droppedEvents_;
                continue;
            }
            version->data.events.push_back(events[i]);
        }
        published_.exchange(version.get());
        publishedList_.push_back(std::move(version));
        reclaim();
    }

    void queue(const EngineCommand& command) {
        const std::size_t write = writeIndex_.load(std::memory_order_relaxed);
        const std::size_t next = (write + 1) % sequencerEngineCommandCapacity;
        if (next == readIndex_.load(std::memory_order_acquire)) return; // full: the request is dropped
        ring_[write] = command;
        writeIndex_.store(next, std::memory_order_release);
    }

    std::atomic<bool> isStarted{false};
    std::atomic<double> positionInBeats{0.0};
    std::size_t droppedEvents_ = 0;

    // Render thread.
    void render(platform::AUAudioFrameCount frames) {
        PublishedSequence* newest = published_.load();
        if (newest != active_) {
            if (active_) active_->retired.exchange(true);
            active_ = newest;
        }
        // Before the first publication there is nothing to play by; requests wait in the ring.
        if (!active_) return;
        SequenceData& data = active_->data;
        drainCommands(data);
        if (isStarted.load()) {
            const std::int64_t lengthSamples = samples(data.settings.length, data);
            const bool looping = data.settings.loopEnabled;
            if (!looping && positionInSamples_ >= lengthSamples) {
                isStarted.store(false);
                stopAllPlayingNotes();
                return;
            }
            // Without a tempo, a sample rate or (looping) a loop there is no frame to send anything at.
            const bool timed = data.settings.tempo > 0.0 && std::isfinite(data.settings.tempo) &&
                               data.sampleRate > 0.0 && std::isfinite(data.sampleRate);
            if (timed && (!looping || lengthSamples > 0)) sendDueEvents(data, lengthSamples, frames);
            positionInSamples_ += frames;
        }
        positionInBeats.store(data.settings.tempo / 60.0 * (double(positionModulo(data)) / data.sampleRate));
    }

private:
    static std::int64_t samples(double beats, const SequenceData& data) {
        return saturatedSamples(beats / data.settings.tempo * 60.0 * data.sampleRate);
    }

    // The playhead within the loop; not wrapped without a loop, where it stops at the end.
    std::int64_t positionModulo(const SequenceData& data) const {
        if (positionInSamples_ <= 0) return positionInSamples_;
        const std::int64_t lengthSamples = samples(data.settings.length, data);
        if (!data.settings.loopEnabled)
            return std::min(positionInSamples_, std::max<std::int64_t>(lengthSamples, 0));
        if (lengthSamples <= 0) return positionInSamples_;
        return positionInSamples_ % lengthSamples;
    }

    void drainCommands(SequenceData& data) {
        const std::size_t read = readIndex_.load(std::memory_order_relaxed);
        std::size_t end = writeIndex_.load(std::memory_order_acquire);
        if (end < read) end += sequencerEngineCommandCapacity;
        for (std::size_t i = read; i < end; ++i) {
            const EngineCommand& command = ring_[i % sequencerEngineCommandCapacity];
            if (command.notesOff) stopAllPlayingNotes();
            if (!std::isnan(command.seekPosition)) positionInSamples_ = samples(command.seekPosition, data);
            if (!std::isnan(command.tempo)) {
                const double beats =
                    data.settings.tempo / 60.0 * (double(positionModulo(data)) / data.sampleRate);
                data.settings.tempo = command.tempo;
                positionInSamples_ = samples(beats, data);
            }
        }
        readIndex_.store(end % sequencerEngineCommandCapacity, std::memory_order_release);
    }

    void sendDueEvents(const SequenceData& data, std::int64_t lengthSamples,
                       platform::AUAudioFrameCount frames) {
        const bool looping = data.settings.loopEnabled;
        const std::int64_t start = positionModulo(data);
        const std::int64_t end = start + frames;
        const bool wrapping = looping && end > lengthSamples;
        for (const SequenceEvent& event : data.events) {
            // Events before the start of the sequence, or beyond the loop, never come round.
            if (!(event.beat >= 0.0)) continue;
            const std::int64_t trigger = samples(event.beat, data);
            if (looping && trigger > lengthSamples) continue;
            if (wrapping) {
                const std::int64_t head = lengthSamples - start;
                // What is left of the old pass plays as well as the start of the new one.
                if (start <= trigger && trigger < lengthSamples) send(data, event, trigger - start);
                const std::int64_t r = trigger % lengthSamples;
                if (r < std::int64_t(frames) - head) send(data, event, head + r);
            } else if (start == 0 && trigger == lengthSamples && looping) {
                send(data, event, 0);
            } else if (start <= trigger && trigger < end) {
                send(data, event, trigger - start);
            }
        }
    }

    void send(const SequenceData& data, const SequenceEvent& event, std::int64_t offset) {
        if (!data.midiBlock) return;
        const std::uint8_t bytes[3] = {event.status, event.data1, event.data2};
        if (event.data1 < 128) {
            if (event.status == 0x90) playingNotes_.set(event.data1);
            if (event.status == 0x80) playingNotes_.reset(event.data1);
        }
        data.midiBlock(platform::AUEventSampleTimeImmediate + offset, 0, 3, bytes);
    }

    void stopAllPlayingNotes() {
        if (playingNotes_.none() || !active_) return;
        for (int note = 127; note >= 0; --note)
            if (playingNotes_.test(std::size_t(note)))
                send(active_->data, SequenceEvent{0x80, std::uint8_t(note), 0, 0.0}, 1);
    }

    // Destroys the newest retired version and everything published before it.
    void reclaim() {
        for (auto it = publishedList_.rbegin(); it != publishedList_.rend(); ++it) {
            if ((*it)->retired.load()) {
                publishedList_.erase(publishedList_.begin(), it.base());
                return;
            }
        }
    }

    std::bitset<128> playingNotes_;       // render thread (and the destructor)
    std::int64_t positionInSamples_ = 0;  // render thread
    PublishedSequence* active_ = nullptr; // render thread
    std::atomic<PublishedSequence*> published_{nullptr};
    std::deque<std::unique_ptr<PublishedSequence>> publishedList_; // application thread, oldest first
    std::array<EngineCommand, sequencerEngineCommandCapacity> ring_{};
    std::atomic<std::size_t> writeIndex_{0};
    std::atomic<std::size_t> readIndex_{0};
};

} // namespace sequencerengine

struct SequencerEngineHandle {
    std::shared_ptr<sequencerengine::SequencerEngineImpl> engine;
};

SequencerEngineRef rzSequencerEngineCreate() {
    return new SequencerEngineHandle{std::make_shared<sequencerengine::SequencerEngineImpl>()};
}

void rzSequencerEngineRelease(SequencerEngineRef engine) {
    if (!engine) return;
    // An observer may still run the engine: it is stopped, and its notes released, by the render
    // thread rather than from here. Without one, the destructor sends them.
    engine->engine->isStarted.store(false);
    engine->engine->queue({true, noRequest, noRequest});
    delete engine;
}

platform::AudioUnit::RenderObserver rzSequencerEngineCreateRenderObserver(SequencerEngineRef engine) {
    return [share = engine->engine](platform::AudioUnitRenderActionFlags flags, const platform::AudioTime&,
                                    platform::AUAudioFrameCount frames, std::uint32_t) {
        if (flags == platform::AudioUnitRenderAction::preRender) share->render(frames);
    };
}

void rzSequencerEngineUpdateSequence(SequencerEngineRef engine, const SequenceEvent* events,
                                     std::size_t count, SequenceSettings settings, double sampleRate,
                                     SequencerMIDIBlock midiBlock) {
    engine->engine->publish(events, count, settings, sampleRate, std::move(midiBlock));
}

double rzSequencerEngineGetPosition(SequencerEngineRef engine) {
    return engine->engine->positionInBeats.load();
}

void rzSequencerEngineSeekTo(SequencerEngineRef engine, double position) {
    engine->engine->queue({false, position, noRequest});
}

void rzSequencerEngineSetPlaying(SequencerEngineRef engine, bool playing) {
    engine->engine->isStarted.store(playing);
}

bool rzSequencerEngineIsPlaying(SequencerEngineRef engine) {
    return engine->engine->isStarted.load();
}

void rzSequencerEngineStopPlayingNotes(SequencerEngineRef engine) {
    engine->engine->queue({true, noRequest, noRequest});
}

void rzSequencerEngineSetTempo(SequencerEngineRef engine, double tempo) {
    engine->engine->queue({false, noRequest, tempo});
}

std::size_t sequencerEngineDroppedEventCount(SequencerEngineRef engine) {
    return engine->engine->droppedEvents_;
}

} // namespace rozezeru
