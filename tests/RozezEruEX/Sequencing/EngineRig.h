#pragma once
// Drives a sequencer engine's render step directly, as its unit would before each cycle, and records
// what it sends with the absolute frame each message lands on. Recording allocates nothing, so the
// render thread can run under the allocation trap. One render thread at a time.

#include "RozezEruEX/Sequencing/SequencerEngine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace seqtest {
using namespace rozezeru;

struct Sent {
    std::int64_t frame;
    std::uint8_t status, data1, data2;
    friend bool operator==(const Sent&, const Sent&) = default;
};

struct EngineRig {
    static constexpr std::size_t capacity = 4096;
    SequencerEngineRef engine = rzSequencerEngineCreate();
    platform::AudioUnit::RenderObserver observer = rzSequencerEngineCreateRenderObserver(engine);
    std::array<Sent, capacity> sent{};
    std::atomic<std::size_t> count{0};
    std::int64_t cycleStart = 0;

    ~EngineRig() {
        rzSequencerEngineRelease(engine);
        observer = nullptr; // the engine goes here, with the recording still in place
    }

    SequencerMIDIBlock block() {
        return [this](AUEventSampleTime when, std::uint8_t, int, const std::uint8_t* bytes) {
            const std::size_t n = count.load(std::memory_order_relaxed);
            if (n == capacity) return;
            sent[n] = {cycleStart + (when - platform::AUEventSampleTimeImmediate), bytes[0], bytes[1],
                       bytes[2]};
            count.store(n + 1, std::memory_order_release);
        };
    }
    void publish(const std::vector<SequenceEvent>& events, double length = 4.0, bool loop = true,
                 double tempo = 120.0) {
        rzSequencerEngineUpdateSequence(engine, events.data(), events.size(), {1, length, tempo, loop},
                                        44100.0, block());
    }
    void render(std::uint32_t frames, std::uint32_t flags = platform::AudioUnitRenderAction::preRender) {
        observer(flags, platform::AudioTime(), frames, 0);
        cycleStart += frames;
    }
    void renderUntil(std::int64_t frame, std::uint32_t cycle = 512) {
        while (cycleStart < frame)
            render(cycle);
    }
    // The frames of the messages sent with this status, in order.
    std::vector<std::int64_t> framesOf(std::uint8_t status) const {
        std::vector<std::int64_t> frames;
        for (std::size_t i = 0; i < count.load(); ++i)
            if (sent[i].status == status) frames.push_back(sent[i].frame);
        return frames;
    }
};

} // namespace seqtest
