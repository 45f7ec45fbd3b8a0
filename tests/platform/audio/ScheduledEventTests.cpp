#include "AudioUnitTestRig.h"
#include "RenderAllocationTrap.h"

#include "platform/audio/PcmBuffer.h"

#include <gtest/gtest.h>

#include <array>

using namespace platform;
using namespace unittest;

namespace {

// Every output sample of a DC-1 source through the gain unit is the gain at that frame.
void expectGains(const std::vector<std::vector<float>>& out, std::int64_t from, std::int64_t to,
                 const std::function<float(std::int64_t)>& gain) {
    ASSERT_EQ(out.size(), 2u);
    ASSERT_GE(std::int64_t(out[0].size()), to);
    for (std::int64_t n = from; n < to; ++n) {
        ASSERT_FLOAT_EQ(out[0][n], gain(n)) << "frame " << n;
        ASSERT_FLOAT_EQ(out[1][n], gain(n)) << "frame " << n;
    }
}

std::vector<std::vector<float>> renderMore(GainUnitRig& rig, std::vector<std::vector<float>>& so_far,
                                           std::uint32_t frames, std::uint32_t slice = 256) {
    auto more = testsupport::renderOfflineFrames(*rig.engine, frames, slice);
    if (so_far.empty()) so_far.resize(more.size());
    for (std::size_t c = 0; c < more.size(); ++c)
        so_far[c].insert(so_far[c].end(), more[c].begin(), more[c].end());
    return more;
}

const std::array<std::uint8_t, 3> noteOn{0x90, 60, 100};

} // namespace

TEST(ScheduledEvents, RampsAndImmediateOffsetsLandAtTheirSamples) {
    auto rig = makeUnitRig();
    AudioUnit& unit = *rig.unit;
    const auto gain = GainTestUnit::gainAddress;
    // 300 frames into the first cycle's start: the second 256-frame cycle, at offset 44.
    ASSERT_TRUE(unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 300, 100, gain, 0.5f));
    // A sample time three cycles ahead waits for its cycle.
    ASSERT_TRUE(unit.scheduleParameterRamp(1000, 0, gain, 2.0f));
    std::vector<std::vector<float>> out;
    renderMore(rig, out, 512);

    // Immediate times count from the next cycle (512); a time already past, or an immediate time with a
    // negative offset, applies at that cycle's first frame, before later events.
    ASSERT_TRUE(unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 10, 0, gain, 0.25f));
    ASSERT_TRUE(unit.scheduleParameterRamp(5, 0, gain, 3.0f));
    ASSERT_TRUE(unit.scheduleParameterRamp(AUEventSampleTimeImmediate - 50, 0, gain, 3.5f));
    renderMore(rig, out, 768);

    expectGains(out, 0, 1280, [](std::int64_t n) {
        if (n < 300) return 1.0f;
        if (n < 400) return 1.0f + (0.5f - 1.0f) * float(n - 300) / 100.0f;
        if (n < 512) return 0.5f;
        if (n < 522) return 3.5f; // both early events at 512, in time order: 3.0 (at 5) then 3.5 (at 462)
        if (n < 1000) return 0.25f;
        return 2.0f;
    });
    EXPECT_EQ(unit.refusedEventCount(), 0u);

    // A ramp that spans cycles goes on where the last one stopped, from the gain it had reached.
    ASSERT_TRUE(unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 200, 200, gain, 0.0f));
    renderMore(rig, out, 512);
    expectGains(out, 1280, 1792, [](std::int64_t n) {
        if (n < 1480) return 2.0f;
        if (n < 1680) return 2.0f + (0.0f - 2.0f) * float(n - 1480) / 200.0f;
        return 0.0f;
    });
}

TEST(ScheduledEvents, RenderObserversScheduleIntoTheCycleTheyWatch) {
    auto rig = makeUnitRig();
    GainTestUnit& unit = *rig.unit;
    struct Call {
        AudioUnitRenderActionFlags flags;
        std::int64_t sampleTime;
        AUAudioFrameCount frames;
        std::uint32_t bus;
    };
    std::vector<Call> calls;
    calls.reserve(64);
    const auto token = unit.tokenByAddingRenderObserver([&](AudioUnitRenderActionFlags flags,
                                                            const AudioTime& when, AUAudioFrameCount frames,
                                                            std::uint32_t bus) {
        calls.push_back({flags, when.sampleTime(), frames, bus});
        if (when.sampleTime() != 512) return;
        if (flags == AudioUnitRenderAction::preRender) {
            // Lands in the cycle about to render.
            unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 100, 0, GainTestUnit::gainAddress, 0.5f);
            unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 3, 0, noteOn);
        } else {
            // After the render "immediate" means the next cycle.
            unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 10, 0, GainTestUnit::gainAddress, 0.25f);
        }
    });
    EXPECT_GT(token, 0);
    std::vector<std::vector<float>> out;
    renderMore(rig, out, 1024);
    expectGains(out, 0, 1024, [](std::int64_t n) { return n < 612 ? 1.0f : n < 778 ? 0.5f : 0.25f; });
    ASSERT_EQ(unit.midiCount(), 1u);
    EXPECT_EQ(unit.midi(0).time, 515);
    EXPECT_EQ(unit.midi(0).cycleStart, 512);

    ASSERT_EQ(calls.size(), 8u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].flags,
                  i % 2 ? AudioUnitRenderAction::postRender : AudioUnitRenderAction::preRender);
        EXPECT_EQ(calls[i].sampleTime, std::int64_t(i / 2) * 256);
        EXPECT_EQ(calls[i].frames, 256u);
        EXPECT_EQ(calls[i].bus, 0u);
    }
    unit.removeRenderObserver(token);
    unit.removeRenderObserver(token);
    unit.removeRenderObserver(12345);
    renderMore(rig, out, 256);
    EXPECT_EQ(calls.size(), 8u);
}

TEST(ScheduledEvents, MIDIEventsArriveInTimeOrder) {
    auto rig = makeUnitRig();
    GainTestUnit& unit = *rig.unit;
    const std::array<std::uint8_t, 3> noteOff{0x80, 60, 0};
    const std::array<std::uint8_t, 2> controller{0xB0, 7};
    const std::array<std::uint8_t, 1> clock{0xF8};
    ASSERT_TRUE(unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 5, 0, noteOn));
    ASSERT_TRUE(unit.scheduleMIDIEvent(300, 1, noteOff));
    ASSERT_TRUE(unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 5, 2, controller)); // after the note-on
    ASSERT_TRUE(unit.scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, clock));
    // Empty and over-long messages are refused.
    EXPECT_FALSE(unit.scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, std::span<const std::uint8_t>()));
    const std::array<std::uint8_t, 4> sysex{0xF0, 1, 2, 0xF7};
    EXPECT_FALSE(unit.scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, sysex));
    EXPECT_EQ(unit.refusedEventCount(), 2u);

    std::vector<std::vector<float>> out;
    renderMore(rig, out, 512);
    ASSERT_EQ(unit.midiCount(), 4u);
    using Record = GainTestUnit::MIDIRecord; // time, cycle start, cable, length, bytes
    EXPECT_EQ(unit.midi(0), (Record{0, 0, 0, 1, {0xF8}}));
    EXPECT_EQ(unit.midi(1), (Record{5, 0, 0, 3, noteOn}));
    EXPECT_EQ(unit.midi(2), (Record{5, 0, 2, 2, {0xB0, 7}}));
    EXPECT_EQ(unit.midi(3), (Record{300, 256, 1, 3, noteOff}));

    // Plain effects take no MIDI.
    GainTestUnit effect({code("aufx"), code("gain"), code("Test"), 0, 0});
    EXPECT_FALSE(effect.acceptsMIDIEvents());
    EXPECT_FALSE(effect.scheduleMIDIEvent(AUEventSampleTimeImmediate, 0, noteOn));
    EXPECT_TRUE(GainTestUnit(GainTestUnit::generatorDescription(), 0).acceptsMIDIEvents() == false);
    EXPECT_TRUE(GainTestUnit({code("aumu"), code("inst"), code("Test"), 0, 0}, 0).acceptsMIDIEvents());
}

TEST(ScheduledEvents, FullQueuesRefuseAndResetsAndRestartsDropWaitingEvents) {
    // A generator renders its gain: 1 x gain on every frame.
    GainTestUnit unit(GainTestUnit::generatorDescription(), 0, 8);
    ASSERT_TRUE(unit.allocateRenderResources());
    auto buffer = PcmBuffer::make(unitStereo(), 256);
    AudioBufferList list = buffer->bufferList(256);
    auto renderAt = [&](std::int64_t sampleTime) {
        return unit.render(AudioTime::withSampleTime(sampleTime, 44100.0), 256, 0, list,
                           AudioUnitPullInput::none());
    };
    auto far = [&](int i) {
        return unit.scheduleParameterRamp(100000 + i, 0, GainTestUnit::gainAddress, float(i));
    };
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(far(i)) << i;
    EXPECT_FALSE(far(8));
    EXPECT_EQ(unit.refusedEventCount(), 1u);
    // A render takes the queued events in (they wait on the render side), freeing the queue.
    ASSERT_EQ(renderAt(0), RenderStatus::success);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(far(i)) << i;
    // With the render side full as well the queue stays full.
    ASSERT_EQ(renderAt(256), RenderStatus::success);
    EXPECT_FALSE(far(0));
    EXPECT_EQ(unit.refusedEventCount(), 2u);

    // Reset drops them all.
    unit.reset();
    EXPECT_EQ(unit.resets.load(), 1);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(far(i)) << i;
    ASSERT_EQ(renderAt(512), RenderStatus::success);
    // An earlier start than the last cycle's is a new timeline: what waited for the old one is dropped,
    // which leaves room for new events.
    ASSERT_EQ(renderAt(0), RenderStatus::success);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(
            unit.scheduleParameterRamp(AUEventSampleTimeImmediate + i, 0, GainTestUnit::gainAddress, 0.5f));
    ASSERT_EQ(renderAt(256), RenderStatus::success);
    EXPECT_EQ(list.floatData(0)[255], 0.5f);
    ASSERT_EQ(renderAt(100000), RenderStatus::success);
    EXPECT_EQ(list.floatData(0)[255], 0.5f); // the dropped events never fire
    EXPECT_EQ(unit.refusedEventCount(), 2u);
}

TEST(ScheduledEvents, StoppingTheEngineDropsEventsOfTheOldTimeline) {
    auto rig = makeUnitRig();
    ASSERT_TRUE(rig.unit->scheduleParameterRamp(700, 0, GainTestUnit::gainAddress, 0.5f));
    std::vector<std::vector<float>> out;
    renderMore(rig, out, 512);
    rig.engine->stop();
    ASSERT_TRUE(rig.engine->start());
    std::vector<std::vector<float>> again;
    renderMore(rig, again, 1024);
    expectGains(again, 0, 1024, [](std::int64_t) { return 1.0f; });
}

TEST(ScheduledEvents, TheRenderPathNeitherAllocatesNorFrees) {
    traptest::ScopedTrapHooks trap;
    auto rig = makeUnitRig();
    GainTestUnit& unit = *rig.unit;
    std::atomic<int> preCalls{0}, postCalls{0};
    unit.tokenByAddingRenderObserver([&](AudioUnitRenderActionFlags flags, const AudioTime& when,
                                         AUAudioFrameCount, std::uint32_t) {
        if (flags == AudioUnitRenderAction::preRender) {
            preCalls.fetch_add(1);
            const float target = (when.sampleTime() / 256) % 2 ? 0.5f : 1.5f;
            unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 17, 31, GainTestUnit::gainAddress,
                                       target);
            unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 3, 0, noteOn);
        } else {
            postCalls.fetch_add(1);
            unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 200, 0, GainTestUnit::gainAddress, 1.0f);
        }
    });
    std::vector<float> heard;
    const auto parameterToken = unit.gain().tokenByAddingParameterObserver(
        [&](AUParameterAddress, AUValue value) { heard.push_back(value); });
    auto buffer = PcmBuffer::make(unitStereo(), 256);
    for (int cycle = 0; cycle < 40; ++cycle) {
        // Between renders, as a controlling thread would.
        unit.scheduleParameterRamp(AUEventSampleTimeImmediate + cycle, 64, GainTestUnit::gainAddress, 0.75f);
        unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 100, 0, noteOn);
        if (cycle % 5 == 0) unit.gain().setValue(float(cycle % 3) * 0.5f);
        auto status = rig.engine->renderOffline(256, *buffer);
        ASSERT_TRUE(status);
        ASSERT_EQ(*status, ManualRenderingStatus::success);
    }
    unit.gain().removeParameterObserver(parameterToken);
    EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 40u);
    traptest::expectNoRenderAllocations();
    EXPECT_EQ(preCalls.load(), 40);
    EXPECT_EQ(postCalls.load(), 40);
    EXPECT_EQ(heard.size(), 8u);
    EXPECT_EQ(unit.midiCount(), 80u);
    EXPECT_EQ(unit.refusedEventCount(), 0u);
}
