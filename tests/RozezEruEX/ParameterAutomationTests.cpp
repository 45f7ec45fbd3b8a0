#include "KernelNodeRig.h"

#include "RozezEru/Nodes/Mixer.h"
#include "RozezEruEX/AutomationCurve.h"
#include "RozezEruEX/ParameterAutomation.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testsupport;
using namespace kerneltest;
using namespace rozezeru;
using platform::AudioTime;
using platform::AUEventSampleTimeImmediate;

namespace {

struct ScheduledRamp {
    platform::AUEventSampleTime when;
    platform::AUAudioFrameCount frames;
    platform::AUParameterAddress address;
    platform::AUValue value;
    friend bool operator==(const ScheduledRamp&, const ScheduledRamp&) = default;
};

std::ostream& operator<<(std::ostream& out, const ScheduledRamp& ramp) {
    return out << "{Immediate" << (ramp.when - AUEventSampleTimeImmediate >= 0 ? "+" : "")
               << ramp.when - AUEventSampleTimeImmediate << ", " << ramp.frames << " frames, @"
               << ramp.address << " -> " << ramp.value << "}";
}

// An observer over `events` that records what it schedules.
struct RecordingObserver {
    std::shared_ptr<std::vector<ScheduledRamp>> scheduled = std::make_shared<std::vector<ScheduledRamp>>();
    platform::AudioUnit::RenderObserver observer;

    RecordingObserver(std::vector<AutomationEvent> events, double startSampleTime, double rate = 44100.0) {
        auto sink = scheduled;
        observer = makeAutomationRenderObserver(
            5,
            [sink](auto when, auto frames, auto address, auto value) {
                sink->push_back({when, frames, address, value});
            },
            events.data(), events.size(), rate, startSampleTime);
        // The observer keeps its own copy.
        events.assign(events.size(), AutomationEvent{99.0f, 0.0f, 0.0f});
    }
    void cycle(std::int64_t sampleTime, std::uint32_t frames) {
        observer(platform::AudioUnitRenderAction::preRender, AudioTime::withSampleTime(sampleTime, 44100.0),
                 frames, 0);
        observer(platform::AudioUnitRenderAction::postRender, AudioTime::withSampleTime(sampleTime, 44100.0),
                 frames, 0);
    }
};

std::vector<float> held(std::int64_t frames, float value) {
    return std::vector<float>(std::size_t(frames), value);
}

// The pieces of a channel, one after the other.
std::vector<float> joined(std::initializer_list<std::vector<float>> pieces) {
    std::vector<float> all;
    for (const auto& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

} // namespace

TEST(AutomationCurve, EvaluatesLinearPointsAsTheyAreAndTapersInSteps) {
    EXPECT_TRUE(AutomationCurve{}.evaluate(0.5f, 0.1f).empty());

    const AutomationCurve linear{{{1.0f, 0.0f, 0.5f}, {0.25f, 1.0f, 0.0f}, {3.0f, 2.0f, 1.0f}}};
    EXPECT_EQ(linear.evaluate(7.0f, 0.1f),
              (std::vector<AutomationEvent>{{1.0f, 0.0f, 0.5f}, {0.25f, 1.0f, 0.0f}, {3.0f, 2.0f, 1.0f}}));

    const AutomationCurve squared{{{1.0f, 0.0f, 1.0f, 2.0f, 0.0f}}};
    EXPECT_EQ(
        squared.evaluate(0.0f, 0.25f),
        (std::vector<AutomationEvent>{
            {0.0625f, 0.0f, 0.25f}, {0.25f, 0.25f, 0.25f}, {0.5625f, 0.5f, 0.25f}, {1.0f, 0.75f, 0.25f}}));

    // Skewed fully, the mirrored shape 1 - |x - 1|^(1/2): 1 - sqrt(0.5) at half way.
    const auto mirrored = AutomationCurve{{{2.0f, 0.0f, 1.0f, 2.0f, 1.0f}}}.evaluate(0.0f, 0.5f);
    ASSERT_EQ(mirrored.size(), 2u);
    EXPECT_FLOAT_EQ(mirrored[0].targetValue, 2.0f * (1.0f - std::sqrt(0.5f)));
    EXPECT_EQ(mirrored[1].targetValue, 2.0f);

    // Cut off where the next point starts; the next point ramps from the value reached.
    const AutomationCurve cut{{{1.0f, 0.0f, 1.0f, 2.0f, 0.0f}, {0.0f, 0.5f, 1.0f, 2.0f, 0.0f}}};
    EXPECT_EQ(cut.evaluate(0.0f, 0.25f), (std::vector<AutomationEvent>{{0.0625f, 0.0f, 0.25f},
                                                                       {0.25f, 0.25f, 0.25f},
                                                                       {0.25f - 0.25f * 0.0625f, 0.5f, 0.25f},
                                                                       {0.25f - 0.25f * 0.25f, 0.75f, 0.25f},
                                                                       {0.25f - 0.25f * 0.5625f, 1.0f, 0.25f},
                                                                       {0.0f, 1.25f, 0.25f}}));

    // A step count of 0 adds nothing and keeps the value; a useless resolution skips tapered points.
    const AutomationCurve early{{{5.0f, 0.0f, 0.01f, 3.0f, 0.0f}, {2.0f, 0.0f, 0.0f}}};
    for (float resolution : {1.0f, 0.0f, std::nanf("")})
        EXPECT_EQ(early.evaluate(0.0f, resolution), (std::vector<AutomationEvent>{{2.0f, 0.0f, 0.0f}}))
            << resolution;
}

TEST(AutomationCurve, ReplacingARangeKeepsOthersAndAddsShortLinearPointsInOrder) {
    const AutomationCurve curve{
        {{1.0f, 0.5f, 0.1f}, {2.0f, 1.0f, 0.1f}, {3.0f, 2.0f, 0.1f}, {4.0f, 2.5f, 0.1f, 2.0f}}};
    const std::vector<std::pair<float, float>> pairs{{2.5f, 8.0f}, {1.5f, 7.0f}, {0.5f, 6.0f}};
    EXPECT_EQ(curve.replacing({1.0f, 2.0f}, pairs).points,
              (std::vector<ParameterAutomationPoint>{{1.0f, 0.5f, 0.1f},
                                                     {6.0f, 0.5f, 0.01f},
                                                     {7.0f, 1.5f, 0.01f},
                                                     {4.0f, 2.5f, 0.1f, 2.0f},
                                                     {8.0f, 2.5f, 0.01f}}));
    EXPECT_EQ(curve.points.size(), 4u);

    ParameterAutomationPoint withNaN{std::nanf(""), 0.0f, 0.0f};
    EXPECT_FALSE(withNaN == withNaN);
    EXPECT_EQ(std::pair(ParameterAutomationPoint{1.0f, 2.0f, 3.0f}.isLinear(),
                        ParameterAutomationPoint{1.0f, 2.0f, 3.0f, 1.0f, 0.5f}.isLinear()),
              std::pair(true, false));
}

TEST(AutomationRenderObserver, SchedulesEachEventInTheCycleWhereItStarts) {
    RecordingObserver recorder({{0.8f, 0.5f, 0.1f}}, 0.0);
    for (std::int64_t start = 0; start < 44100; start += 512)
        recorder.cycle(start, 512);
    const std::int64_t blockStart = 22050 / 512 * 512;
    EXPECT_EQ(*recorder.scheduled, (std::vector<ScheduledRamp>{
                                       {AUEventSampleTimeImmediate + (22050 - blockStart), 4410, 5, 0.8f}}));

    // Counted from the start sample time; sorted on the way in; an event that began in an earlier cycle
    // (here, before the first one seen) comes at frame 0 with what is left of its ramp. (Times in binary
    // fractions of a second, so that their sample positions are plain: 0.0390625 s is 1722.66 samples.)
    RecordingObserver late({{3.0f, 0.0390625f, 0.015625f}, {2.0f, 0.03125f, 0.015625f}, {1.0f, 0.0f, 0.1f}},
                           1000.0);
    late.cycle(2000, 512);
    late.cycle(2512, 512);
    EXPECT_EQ(*late.scheduled,
              (std::vector<ScheduledRamp>{{AUEventSampleTimeImmediate - 1000, 4410 - 1000, 5, 1.0f},
                                          {AUEventSampleTimeImmediate + 378, 689, 5, 2.0f},
                                          {AUEventSampleTimeImmediate + 210, 689, 5, 3.0f}}));
}

TEST(AutomationRenderObserver, EventsOverBeforeTheFirstCycleOnlyLeaveTheLastValue) {
    RecordingObserver recorder(
        {{1.0f, 0.0f, 0.01f}, {2.0f, 0.1f, 0.01f}, {3.0f, 0.2f, 0.01f}, {4.0f, 1.0f, 0.125f}}, 0.0);
    recorder.cycle(22050, 512);
    recorder.cycle(22562, 512);
    EXPECT_EQ(*recorder.scheduled, (std::vector<ScheduledRamp>{{AUEventSampleTimeImmediate, 0, 5, 3.0f}}));
    recorder.cycle(44100, 512);
    ASSERT_EQ(recorder.scheduled->size(), 2u);
    EXPECT_EQ(recorder.scheduled->back(), (ScheduledRamp{AUEventSampleTimeImmediate, 5512, 5, 4.0f}));
    // Played once: the cursor does not move back.
    recorder.cycle(0, 512);
    recorder.cycle(44100, 512);
    EXPECT_EQ(recorder.scheduled->size(), 2u);

    // A short event behind a long one that is still ramping has ended too: it jumps rather than wrap round.
    RecordingObserver behind({{1.0f, 0.0f, 10.0f}, {2.0f, 1.0f, 0.01f}}, 0.0);
    behind.cycle(5 * 44100, 512);
    ASSERT_EQ(behind.scheduled->size(), 2u);
    EXPECT_EQ((*behind.scheduled)[1], (ScheduledRamp{AUEventSampleTimeImmediate - 4 * 44100, 0, 5, 2.0f}));
}

TEST(ParameterAutomation, TheKernelPlaysAutomationSampleBySample) {
    auto node = std::make_shared<ProbeToneNode>();
    auto engine = offlineToolkitEngine(node);
    node->first.setWrappedValue(0.25f);
    renderToolkit(*engine, 1024, 1024);

    // From sample time 0: a ramp to 0.75 at 0.5 s over 0.1 s, then a jump to -1 at 0.75 s.
    automate(*node->first.projectedValue(),
             std::vector<AutomationEvent>{{-1.0f, 0.75f, 0.0f}, {0.75f, 0.5f, 0.1f}},
             AudioTime::withSampleTime(0, 44100.0));
    ASSERT_TRUE(node->first.projectedValue()->renderObserverToken());
    const auto out = renderToolkit(*engine, 44100 - 1024, 512);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], joined({held(22050 - 1024, 0.25f), kernelRamp(0.25f, 0.75f, 4410, 11025),
                              held(44100 - 33075, -1.0f)}));
    EXPECT_EQ(out[1], held(44100 - 1024, 0.0f)) << "the other parameter is untouched";

    // A new automation replaces the old one; times count from the node's last render time by default.
    automate(*node->first.projectedValue(),
             std::vector<AutomationEvent>{{2.0f, 0.0f, 0.0f}, {3.0f, 0.5f, 0.0f}});
    automate(*node->first.projectedValue(), std::vector<AutomationEvent>{{5.0f, 0.03125f, 0.0f}});
    const auto lastRender = node->avAudioNode()->lastRenderTime();
    ASSERT_TRUE(lastRender);
    const std::int64_t jump = lastRender->sampleTime() + 1378;
    ASSERT_GT(jump, 44100);
    EXPECT_EQ(renderToolkit(*engine, 2048, 512)[0],
              joined({held(jump - 44100, -1.0f), held(44100 + 2048 - jump, 5.0f)}));

    // Stopped, nothing more plays.
    automate(*node->first.projectedValue(), std::vector<AutomationEvent>{{9.0f, 0.1f, 0.0f}});
    stopAutomation(*node->first.projectedValue());
    EXPECT_FALSE(node->first.projectedValue()->renderObserverToken());
    stopAutomation(*node->first.projectedValue());
    EXPECT_EQ(renderToolkit(*engine, 8192, 1024)[0], held(8192, 5.0f));
}

TEST(ParameterAutomation, StartTimesWithoutAPlaceOnTheSampleTimelineStartNow) {
    // A node that joins an engine that has been rendering offline for a while.
    auto mixer = std::make_shared<Mixer>();
    auto engine = offlineToolkitEngine(mixer);
    renderToolkit(*engine, 4096, 1024);
    auto node = std::make_shared<ProbeToneNode>();
    mixer->addInput(node);
    automate(*node->first.projectedValue(), std::vector<AutomationEvent>{{1.0f, 0.03125f, 0.0f}});
    // Offline there is no host clock: a host time stands for "now" too.
    auto second = node->second.projectedValue();
    automate(*second, std::vector<AutomationEvent>{{2.0f, 0.0625f, 0.0f}},
             AudioTime::withHostTime(5'000'000'000));
    const auto out = renderToolkit(*engine, 4096, 512);
    EXPECT_EQ(out[0], joined({held(1378, 0.0f), held(4096 - 1378, 1.0f)}));
    EXPECT_EQ(out[1], joined({held(2756, 0.0f), held(4096 - 2756, 2.0f)}));
}

TEST(ParameterAutomation, RampFromToGoesToTheStartThenToTheTarget) {
    auto node = std::make_shared<ProbeToneNode>();
    auto engine = offlineToolkitEngine(node, 1.0);
    node->first.setWrappedValue(-1.0f);
    renderToolkit(*engine, 1024, 1024);

    ramp(*node->first.projectedValue(), 2.0f, 20.0f, 0.01f);
    const auto out = renderToolkit(*engine, 4096, 512);
    // Both legs as NodeParameter::ramp counts them, in single precision; the target is clamped to 10.
    const auto leadIn = std::uint32_t(44100.0f * 0.02f);
    const auto leg = std::uint32_t(44100.0f * 0.01f);
    EXPECT_EQ(out[0],
              joined({kernelRamp(-1.0f, 2.0f, leadIn, leadIn), kernelRamp(2.0f, 10.0f, leg, 4096 - leadIn)}));
}

TEST(ParameterAutomationDeathTest, AnUnboundParameterStopsTheProgram) {
    registerProbeKernels();
    NodeParameter unbound(probeToneDef("first", "ProbeGeneratorParameterFirst"));
    EXPECT_DEATH(automate(unbound, std::vector<AutomationEvent>{{1.0f, 0.0f, 0.0f}}), "is not bound");
}
