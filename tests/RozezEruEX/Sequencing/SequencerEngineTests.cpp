#include "EngineRig.h"

#include "tests/support/AllocationTrap.h"

#include <gtest/gtest.h>

#include <thread>

using namespace seqtest;

namespace {
// Four quarter notes of a 4-beat bar at 120 BPM and 44100 Hz, each half a beat long.
std::vector<SequenceEvent> fourNotes() {
    std::vector<SequenceEvent> events;
    for (int beat = 0; beat < 4; ++beat) {
        events.push_back({0x90, std::uint8_t(60 + beat), 100, double(beat)});
        events.push_back({0x80, std::uint8_t(60 + beat), 0, beat + 0.5});
    }
    return events;
}
} // namespace

TEST(SequencerEngine, APatternLandsOnItsFramesAndEveryPassOfTheLoop) {
    struct Case {
        const char* name;
        std::vector<SequenceEvent> events;
        std::uint32_t cycle;
        std::vector<std::int64_t> noteOns; // over three passes
    };
    const Case cases[] = {
        {"four notes",
         fourNotes(),
         512,
         {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350, 176400, 198450, 220500, 242550}},
        {"45 frames before the loop end, in the cycle that wraps",
         {{0x90, 1, 1, 88155.0 / 22050.0}},
         512,
         {88155, 176355}},
        {"at the loop length: the start of every pass", {{0x90, 1, 1, 4.0}}, 512, {0, 88200, 176400}},
        {"before the start or beyond the loop: never", {{0x90, 1, 1, -1.0}, {0x90, 1, 1, 4.5}}, 512, {}},
        {"cycles longer than the loop",
         {{0x90, 1, 1, 0.0}, {0x90, 1, 1, 3.0}},
         4096,
         {0, 66150, 88200, 154350, 176400, 242550}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.publish(c.events);
        rzSequencerEngineSetPlaying(rig.engine, true);
        rig.renderUntil(3 * 88200 - c.cycle, c.cycle);
        EXPECT_EQ(rig.framesOf(0x90), c.noteOns);
    }
}

TEST(SequencerEngine, TransportResumesDelaysAndKeepsTheBeatAcrossATempoChange) {
    EngineRig rig;
    rig.publish(fourNotes());
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(30000); // note 61 sounds
    rzSequencerEngineSetPlaying(rig.engine, false);
    rzSequencerEngineStopPlayingNotes(rig.engine);
    rig.renderUntil(40000);
    const double held = rzSequencerEngineGetPosition(rig.engine);
    EXPECT_NEAR(held, 30208.0 / 22050.0, 1e-9);
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(60000);
    // Stopped for 10240 frames: the note-off went at once, the rest comes that much later.
    EXPECT_EQ(rig.framesOf(0x80), (std::vector<std::int64_t>{11025, 30208 + 1, 33075 + 10240}));
    EXPECT_EQ(rig.framesOf(0x90), (std::vector<std::int64_t>{0, 22050, 44100 + 10240}));

    EngineRig delayed;
    delayed.publish(fourNotes());
    rzSequencerEngineSeekTo(delayed.engine, -2.0); // what playAfterDelay(2) asks for
    rzSequencerEngineSetPlaying(delayed.engine, true);
    delayed.render(512);
    EXPECT_LT(rzSequencerEngineGetPosition(delayed.engine), 0.0);
    delayed.renderUntil(88000);
    EXPECT_EQ(delayed.framesOf(0x90), (std::vector<std::int64_t>{44100, 66150}));

    EngineRig tempo;
    tempo.publish({{0x90, 1, 1, 2.0}});
    rzSequencerEngineSetPlaying(tempo.engine, true);
    tempo.render(22050); // one beat
    rzSequencerEngineSetTempo(tempo.engine, 60.0);
    rzSequencerEngineSeekTo(tempo.engine, 1.0); // converted with the new tempo: sample 44100
    tempo.render(1);
    EXPECT_NEAR(rzSequencerEngineGetPosition(tempo.engine), 1.0 + 1.0 / 44100.0, 1e-9);
    tempo.renderUntil(22050 + 1 + 44100 + 100, 100);
    EXPECT_EQ(tempo.framesOf(0x90), (std::vector<std::int64_t>{22050 + 44100}));
}

TEST(SequencerEngine, ARunWithoutLoopStopsAtItsEndReleasingNotesHighestFirst) {
    EngineRig rig;
    rig.publish({{0x90, 40, 1, 0.0}, {0x90, 70, 1, 1.0}, {0x91, 80, 1, 1.0}}, 4.0, false);
    rzSequencerEngineSetPlaying(rig.engine, true);
    rig.renderUntil(88576);
    EXPECT_TRUE(rzSequencerEngineIsPlaying(rig.engine));
    rig.render(512);
    EXPECT_FALSE(rzSequencerEngineIsPlaying(rig.engine));
    EXPECT_EQ(rzSequencerEngineGetPosition(rig.engine), 4.0); // the end, not a second pass
    const std::size_t n = rig.count.load();
    ASSERT_EQ(n, 5u); // three note-ons; channel 2's note is not the engine's to release
    EXPECT_EQ(rig.sent[3], (Sent{88576 + 1, 0x80, 70, 0}));
    EXPECT_EQ(rig.sent[4], (Sent{88576 + 1, 0x80, 40, 0}));
}

TEST(SequencerEngine, UnplayableInputSendsNothingAndNeverFaults) {
    struct Case {
        const char* name;
        std::vector<SequenceEvent> events;
        double length;
        double tempo;
        std::size_t dropped;
    };
    const Case cases[] = {
        {"a loop of no length", {{0x90, 1, 1, 0.0}}, 0.0, 120.0, 0},
        {"note numbers beyond MIDI", {{0x90, 200, 1, 0.0}, {0x80, 128, 0, 0.5}}, 4.0, 120.0, 2},
        {"beats past any sample count", {{0x90, 1, 1, 1e300}}, 4.0, 120.0, 0},
        {"a tempo of nothing", {{0x90, 1, 1, 1.0}}, 4.0, 0.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.publish(c.events, c.length, true, c.tempo);
        EXPECT_EQ(sequencerEngineDroppedEventCount(rig.engine), c.dropped);
        rzSequencerEngineSetPlaying(rig.engine, true);
        rig.renderUntil(4 * 512);
        EXPECT_EQ(rig.count.load(), 0u);
    }
}

TEST(SequencerEngine, RequestsApplyInQueueOrderAndAFullRingDropsTheNewest) {
    EngineRig rig;
    rig.render(512); // before any sequence: the engine idles
    rig.publish({});
    for (std::size_t i = 0; i < sequencerEngineCommandCapacity; ++i)
        rzSequencerEngineSeekTo(rig.engine, double(i) / 1000.0);
    rig.render(512, platform::AudioUnitRenderAction::postRender);
    rig.render(512, platform::AudioUnitRenderAction::preRender | platform::AudioUnitRenderAction::postRender);
    EXPECT_EQ(rzSequencerEngineGetPosition(rig.engine), 0.0); // only the pre-render call runs the engine
    rig.render(512);
    EXPECT_NEAR(rzSequencerEngineGetPosition(rig.engine), 1.022, 1e-4); // the 1023rd; the 1024th was dropped
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
        switch (i % 5) {
        case 0:
            rig.publish(fourNotes(), 2.0 + i % 3);
            break;
        case 1:
            rzSequencerEngineSetTempo(rig.engine, 90.0 + i % 60);
            break;
        case 2:
            rzSequencerEngineSeekTo(rig.engine, double(i % 4));
            break;
        case 3:
            rzSequencerEngineStopPlayingNotes(rig.engine);
            break;
        default:
            (void)rzSequencerEngineGetPosition(rig.engine);
            rzSequencerEngineSetPlaying(rig.engine, true);
        }
        if (i % 64 == 0) std::this_thread::yield();
    }
    render.join();
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    EXPECT_GT(rig.count.load(), 0u);
}
