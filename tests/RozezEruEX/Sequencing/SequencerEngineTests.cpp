#include "tests/support/AllocationTrap.h"

#include "RozezEruEX/Sequencing/SequencerEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

using namespace rozezeru;

namespace {
// Runs the render step directly, as the unit does before each cycle, recording each message with the
// absolute frame it lands on, without allocating.
using Sent = std::tuple<std::int64_t, std::uint8_t, std::uint8_t, std::uint8_t>; // frame and bytes

struct EngineRig {
    SequencerEngineRef engine = rzSequencerEngineCreate();
    platform::AudioUnit::RenderObserver observer = rzSequencerEngineCreateRenderObserver(engine);
    std::vector<Sent> sent;
    std::int64_t cycleStart = 0;

    EngineRig() { sent.reserve(4096); } // room to record without allocating
    ~EngineRig() {
        rzSequencerEngineRelease(engine);
        observer = nullptr; // the engine goes here, while the recording is still in place
    }
    void publish(const std::vector<SequenceEvent>& events, double length = 4.0, bool loop = true,
                 double tempo = 120.0) {
        auto block = [this](AUEventSampleTime when, std::uint8_t, int, const std::uint8_t* bytes) {
            if (sent.size() < sent.capacity())
                sent.push_back({cycleStart + (when - platform::AUEventSampleTimeImmediate), bytes[0],
                                bytes[1], bytes[2]});
        };
        rzSequencerEngineUpdateSequence(engine, events.data(), events.size(), {1, length, tempo, loop},
                                        44100.0, block);
    }
    void render(std::uint32_t frames, std::uint32_t flags = platform::AudioUnitRenderAction::preRender) {
        observer(flags, platform::AudioTime(), frames, 0);
        cycleStart += frames;
    }
    void renderUntil(std::int64_t frame, std::uint32_t cycle = 512) {
        while (cycleStart < frame)
            render(cycle);
    }
    std::vector<std::int64_t> framesOf(std::uint8_t status) const {
        std::vector<std::int64_t> frames;
        for (const Sent& message : sent)
            if (std::get<1>(message) == status) frames.push_back(std::get<0>(message));
        return frames;
    }
};

// Quarter notes at 120 BPM and 44100 Hz, each half a beat long.
std::vector<SequenceEvent> fourNotes() {
    std::vector<SequenceEvent> events;
    for (std::uint8_t beat = 0; beat < 4; ++beat)
        events.insert(events.end(), {{0x90, std::uint8_t(60 + beat), 100, double(beat)},
                                     {0x80, std::uint8_t(60 + beat), 0, beat + 0.5}});
    return events;
}
} // namespace

TEST(SequencerEngine, APatternLandsOnItsFramesInEveryPassOfTheLoop) {
    // The frames of the note-ons over three passes of 88200 frames.
    const std::tuple<const char*, std::vector<SequenceEvent>, std::vector<std::int64_t>> cases[] = {
        {"four notes",
         fourNotes(),
         {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350, 176400, 198450, 220500, 242550}},
        {"45 frames before the end, in the cycle that wraps",
         {{0x90, 1, 1, 88155.0 / 22050}},
         {88155, 176355}},
        {"at the loop length: each pass's start", {{0x90, 1, 1, 4.0}}, {0, 88200, 176400}},
        {"before the start or past the loop: never", {{0x90, 1, 1, -1.0}, {0x90, 1, 1, 4.5}}, {}},
    };
    for (const auto& [name, events, noteOns] : cases) {
        SCOPED_TRACE(name);
        EngineRig rig;
        rig.publish(events);
        rzSequencerEngineSetPlaying(rig.engine, true);
        rig.renderUntil(3 * 88200 - 512); // in cycles of 512
        EXPECT_EQ(rig.framesOf(0x90), noteOns);
    }
}

TEST(SequencerEngine, StopAndPlayResumeFromTheSamePosition) {
    EngineRig rig;
    rig.publish(fourNotes());
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(30000); // note 61 sounds
    rzSequencerEngineSetPlaying(rig.engine, false);
    rzSequencerEngineStopPlayingNotes(rig.engine);
    rig.renderUntil(40000);
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(60000);
    // Stopped for 10240 frames: the note-off went at once, the rest comes that much later.
    EXPECT_EQ(rig.framesOf(0x80), (std::vector<std::int64_t>{11025, 30208 + 1, 33075 + 10240}));
    EXPECT_EQ(rig.framesOf(0x90), (std::vector<std::int64_t>{0, 22050, 44100 + 10240}));
}

TEST(SequencerEngine, ARunWithoutLoopStopsAtItsEndReleasingNotesHighestFirst) {
    EngineRig rig;
    rig.publish({{0x90, 40, 1, 0.0}, {0x90, 70, 1, 1.0}, {0x91, 80, 1, 1.0}}, 4.0, false);
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(88576 + 512);
    EXPECT_FALSE(rzSequencerEngineIsPlaying(rig.engine));
    EXPECT_EQ(rzSequencerEngineGetPosition(rig.engine), 4.0); // the end, not a second pass
    ASSERT_EQ(rig.sent.size(), 5u); // channel 2's note is not the engine's to release
    EXPECT_EQ(rig.sent[3], (Sent{88576 + 1, 0x80, 70, 0}));
    EXPECT_EQ(rig.sent[4], (Sent{88576 + 1, 0x80, 40, 0}));
}

TEST(SequencerEngine, UnplayableInputSendsNothingAndNeverFaults) {
    const std::tuple<const char*, std::vector<SequenceEvent>, double, double, std::size_t> cases[] = {
        {"a loop of no length", {{0x90, 1, 1, 0.0}}, 0.0, 120.0, 0},
        {"note numbers beyond MIDI", {{0x90, 200, 1, 0.0}, {0x80, 128, 0, 0.5}}, 4.0, 120.0, 2},
        {"beats past any sample count", {{0x90, 1, 1, 1e300}}, 4.0, 120.0, 0},
    };
    for (const auto& [name, events, length, tempo, dropped] : cases) {
        SCOPED_TRACE(name);
        EngineRig rig;
        rig.publish(events, length, true, tempo);
        EXPECT_EQ(sequencerEngineDroppedEventCount(rig.engine), dropped);
        rzSequencerEngineSetPlaying(rig.engine, true);
        rig.renderUntil(4 * 512);
        EXPECT_TRUE(rig.sent.empty());
    }
}

TEST(SequencerEngine, RequestsApplyInOrderOnPreRenderAloneAndAFullRingDropsTheNewest) {
    EngineRig rig;
    rig.publish({});
    for (std::size_t i = 0; i < sequencerEngineCommandCapacity; ++i)
        rzSequencerEngineSeekTo(rig.engine, i / 1000.0);
    rig.render(512, platform::AudioUnitRenderAction::postRender);
    rig.render(512, platform::AudioUnitRenderAction::preRender | platform::AudioUnitRenderAction::postRender);
    EXPECT_EQ(rzSequencerEngineGetPosition(rig.engine), 0.0);
    rig.render(512);
    EXPECT_NEAR(rzSequencerEngineGetPosition(rig.engine), 1.022, 1e-4); // the 1023rd seek
}

TEST(SequencerEngine, RendersAHundredThousandCyclesAgainstTheMainThreadWithoutAllocating) {
    EngineRig rig;
    rig.publish(fourNotes());
    rzSequencerEngineSetPlaying(rig.engine, true);
    testsupport::AllocationTrap::resetCounts();
    std::atomic<bool> done{false};
    std::thread render([&] {
        testsupport::ScopedRenderThread rendering;
        for (int cycle = 0; cycle < 100000; ++cycle)
            rig.render(64);
        done = true;
    });
    for (int i = 0; !done; ++i) {
        if (i % 4 == 0) rig.publish(fourNotes(), 2.0 + i % 3);
        if (i % 4 == 1) rzSequencerEngineSetTempo(rig.engine, 90.0 + i % 60);
        if (i % 4 == 2) rzSequencerEngineSeekTo(rig.engine, i % 4);
        if (i % 4 == 3) rzSequencerEngineStopPlayingNotes(rig.engine);
    }
    render.join();
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    EXPECT_FALSE(rig.sent.empty());
}
