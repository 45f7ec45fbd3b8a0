#include "RozezEru/Nodes/NodeParameter.h"

#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "platform/dispatch/MainQueue.h"

#include "ParameterTestRig.h"
#include "tests/support/RenderCycleTrap.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

using namespace rozezeru;
using parametertest::gainDef;
using parametertest::makeGeneratorRig;
using parametertest::renderChannel0;
using testsupport::ToolkitLogCapture;

namespace {

std::vector<std::string> rampLogLines(const ToolkitLogCapture& capture) {
    return capture.contents("NodeParameter.cpp", "ramp(to:duration:delay:)");
}

// The first frame from which the output holds `value`, or the size.
std::ptrdiff_t firstFrameAt(const std::vector<float>& samples, float value) {
    return std::find(samples.begin(), samples.end(), value) - samples.begin();
}

} // namespace

TEST(NodeParameterRamp, DelaysInSamplesAreCappedAt4096) {
    ASSERT_EQ(Settings::sampleRate(), 44100.0);
    auto rig = makeGeneratorRig();
    NodeParameter parameter(gainDef());
    parameter.bind(rig.node);
    ToolkitLogCapture capture;

    // 0.05 s is 2205 samples: a jump to 0 there, without a record.
    parameter.ramp(0.0f, 0.0f, 0.05f);
    auto out = renderChannel0(rig, 4096);
    EXPECT_EQ(std::pair(firstFrameAt(out, 0.0f), out[2204]), std::pair(std::ptrdiff_t(2205), 1.0f));
    EXPECT_TRUE(capture.sink.records().empty());
    EXPECT_EQ(parameter.value(), 1.0f) << "the ramp leaves the parameter's value alone";

    // 0.1 s is 4410 samples: cut to 4096, with the warning.
    parameter.ramp(2.0f, 0.0f, 0.1f);
    out = renderChannel0(rig, 8192);
    EXPECT_EQ(std::pair(firstFrameAt(out, 2.0f), out[4095]), std::pair(std::ptrdiff_t(4096), 0.0f));
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::info);
    EXPECT_EQ(rampLogLines(capture),
              std::vector<std::string>{"Warning: delay longer than 4096, setting to to 4096"});

    // Exactly 4096 samples pass without a record.
    capture.sink.clear();
    float exact = 4096.0f / 44100.0f;
    while (44100.0f * exact < 4096.0f)
        exact = std::nextafter(exact, 1.0f);
    ASSERT_LT(44100.0f * exact, 4097.0f);
    parameter.ramp(3.0f, 0.0f, exact);
    out = renderChannel0(rig, 8192);
    EXPECT_EQ(std::pair(firstFrameAt(out, 3.0f), capture.sink.records().empty()),
              std::pair(std::ptrdiff_t(4096), true));
}

TEST(NodeParameterRamp, DurationsInSamplesAndClampedTargets) {
    auto rig = makeGeneratorRig();
    NodeParameter parameter(gainDef());
    parameter.bind(rig.node);

    // One second is 44100 samples: from 1 to 2, the k-th frame plays 1 + k / 44100.
    parameter.ramp(2.0f, 1.0f);
    auto out = renderChannel0(rig, 45056);
    EXPECT_EQ(std::pair(out[0], out[44100]), std::pair(1.0f, 2.0f));
    EXPECT_FLOAT_EQ(out[22050], 1.5f);
    EXPECT_FLOAT_EQ(out[44099], 1.0f + 44099.0f / 44100.0f);

    // A target above the range ramps to the maximum: 2 to 4 over 100 frames.
    parameter.ramp(10.0f, 100.0f / 44100.0f);
    out = renderChannel0(rig, 4096);
    EXPECT_FLOAT_EQ(out[50], 3.0f);
    EXPECT_EQ(std::pair(out[100], out[4095]), std::pair(4.0f, 4.0f));
    // And one below it to the minimum.
    parameter.ramp(-5.0f, 0.0f);
    EXPECT_EQ(renderChannel0(rig, 4096)[0], 0.0f);
}

TEST(NodeParameterRamp, UnrampableParametersAndInvalidTimesScheduleNothing) {
    auto rig = makeGeneratorRig();
    const auto readWrite =
        rozezeru::AudioUnitParameterOptions::isReadable | rozezeru::AudioUnitParameterOptions::isWritable;
    auto fixed = std::make_shared<NodeParameter>(gainDef(readWrite));
    setupParameters(rig.node, std::vector<std::shared_ptr<NodeParameter>>{fixed});
    ToolkitLogCapture capture;

    fixed->ramp(2.0f, 0.5f);
    EXPECT_EQ(rampLogLines(capture), std::vector<std::string>{"Error: can't ramp parameter Gain"});
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    // Both lines, the delay's first.
    capture.sink.clear();
    fixed->ramp(2.0f, 0.5f, 1.0f);
    EXPECT_EQ(rampLogLines(capture),
              (std::vector<std::string>{"Warning: delay longer than 4096, setting to to 4096",
                                        "Error: can't ramp parameter Gain"}));

    // Negative or non-finite durations and delays, durations beyond 2^32 samples and NaN targets are
    // refused with one error record each.
    auto rampable = std::make_shared<NodeParameter>(gainDef());
    rampable->bind(rig.node, fixed->parameter());
    capture.sink.clear();
    const float nan = std::nanf(""), infinity = std::numeric_limits<float>::infinity();
    for (auto [target, duration, delay] : {std::tuple{2.0f, -0.1f, 0.0f},
                                           {2.0f, nan, 0.0f},
                                           {2.0f, infinity, 0.0f},
                                           {2.0f, 100000.0f, 0.0f},
                                           {2.0f, 0.1f, -0.1f},
                                           {2.0f, 0.1f, nan},
                                           {2.0f, 0.1f, infinity},
                                           {nan, 0.1f, 0.0f}})
        rampable->ramp(target, duration, delay);
    const auto lines = rampLogLines(capture);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "🛑 Error: can't ramp parameter Gain to 2.0 over -0.1 s after 0.0 s");
    EXPECT_EQ(lines[1], "🛑 Error: can't ramp parameter Gain to 2.0 over nan s after 0.0 s");
    for (const auto& record : capture.sink.records())
        EXPECT_EQ(record.level, platform::LogType::error);

    // None of it reached the unit: the output stays at the parameter's starting value.
    EXPECT_EQ(renderChannel0(rig, 8192), std::vector<float>(8192, 1.0f));
    EXPECT_EQ(rig.unit->refusedEventCount(), 0u);
}

// A ramp asked for from a pre-render observer, as here, lands in the cycle it watches (the platform's
// scheduled-event test shows where); here, that none of it allocates.
TEST(NodeParameterRamp, RampsAndObserversLeaveTheRenderThreadAllocationFree) {
    auto& mainQueue = platform::mainQueue();
    mainQueue.drain();
    auto rig = makeGeneratorRig(256);
    NodeParameter parameter(gainDef());
    parameter.bind(rig.node);
    int automationEvents = 0;
    parameter.addAutomationObserver([&](const platform::AUParameterAutomationEvent&) { ++automationEvents; });
    std::atomic<int> ramps{0};
    const auto token = rig.unit->tokenByAddingRenderObserver([&](platform::AudioUnitRenderActionFlags flags,
                                                                 const platform::AudioTime& when,
                                                                 platform::AUAudioFrameCount, std::uint32_t) {
        if (flags != platform::AudioUnitRenderAction::preRender) return;
        parameter.ramp((when.sampleTime() / 256) % 2 ? 0.5f : 1.5f, 0.001f, 0.002f);
        ramps.fetch_add(1);
    });

    testsupport::RenderCycleTrap trap;
    auto buffer = platform::PcmBuffer::make(unittest::unitStereo(), 256);
    for (int cycle = 0; cycle < 40; ++cycle) {
        // Between cycles, as the main thread would.
        parameter.ramp(2.0f, 0.0005f, 0.001f);
        if (cycle % 5 == 0) parameter.setValue(float(cycle % 3));
        const auto status = rig.engine->renderOffline(256, *buffer);
        ASSERT_TRUE(status && *status == platform::ManualRenderingStatus::success);
    }
    trap.expectNothingAllocated(40);
    rig.unit->removeRenderObserver(token);
    EXPECT_EQ(std::pair(ramps.load(), rig.unit->refusedEventCount()),
              std::pair(40, decltype(rig.unit->refusedEventCount())(0)));
    mainQueue.drain();
    EXPECT_EQ(automationEvents, 8);
}
