#include "SigproNodeRig.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/DSPInterface.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/ParameterAutomation.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "platform/audio/AUParameterTree.h"
#include "tests/RozezEru/Nodes/ParameterTestRig.h"
#include "tests/Sigpro/kernels/ShelfReference.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rozezeru;
using namespace sigpronodetest;
using platform::AudioUnitParameterUnit;
using shelftest::rampValue;
using shelftest::ReferenceShelf;
using Filter = HighShelfParametricEqualizerFilter;

namespace {

std::shared_ptr<SignalNode> shelfTestSilence() {
    return std::make_shared<SignalNode>([](std::int64_t) { return 0.0f; });
}

std::shared_ptr<SignalNode> shelfTestInput(const std::vector<float>& samples) {
    return std::make_shared<SignalNode>([samples](std::int64_t n) {
        return std::size_t(n) < samples.size() ? samples[std::size_t(n)] : 0.0f;
    });
}

// The level change the node makes to a sine of `frequency` Hz, in decibels, rendered through the toolkit
// engine, past the ramp and the filter's settling.
double levelChangeDecibels(double frequency, float gain) {
    const std::vector<float> input = testsupport::sine(16384, frequency, 44100.0, 0.5);
    auto node = std::make_shared<Filter>(shelfTestInput(input));
    node->gain.setWrappedValue(gain);
    auto engine = offlineToolkitEngine(node);
    const auto output = renderToolkit(*engine, 16384);
    const double outputPower = testsupport::goertzelPower(output[0], 4096, frequency, 44100.0);
    const double inputPower = testsupport::goertzelPower(input, 4096, frequency, 44100.0);
    return 10.0 * std::log10(outputPower / inputPower);
}

} // namespace

TEST(HighShelfParametricEqualizerFilter, DefinitionsComeFromTheTableWithTheRegisteredAddresses) {
    struct Expected {
        NodeParameterDef def;
        const char* identifier;
        const char* name;
        platform::AUParameterAddress address;
        float defaultValue, lower, upper;
        AudioUnitParameterUnit unit;
    };
    for (const Expected& e :
         {Expected{Filter::centerFrequencyDef(), "centerFrequency", "Corner Frequency", 0, 1000.0f, 12.0f,
                   20000.0f, AudioUnitParameterUnit::hertz},
          Expected{Filter::gainDef(), "gain", "Gain", 1, 1.0f, 0.0f, 10.0f, AudioUnitParameterUnit::generic},
          Expected{Filter::qDef(), "q", "Q", 2, 0.707f, 0.0f, 2.0f, AudioUnitParameterUnit::generic}}) {
        EXPECT_EQ(e.def.identifier, e.identifier);
        EXPECT_EQ(e.def.name, e.name);
        EXPECT_EQ(e.def.address, e.address) << e.identifier;
        EXPECT_EQ(e.def.defaultValue, e.defaultValue);
        EXPECT_EQ(e.def.range.lowerBound, e.lower);
        EXPECT_EQ(e.def.range.upperBound, e.upper);
        EXPECT_EQ(e.def.unit, e.unit);
        EXPECT_EQ(e.def.flags, 0xC2000000u);
    }
    // Every read is a copy of the one definition.
    NodeParameterDef copy = Filter::gainDef();
    copy.defaultValue = 5.0f;
    EXPECT_EQ(Filter::gainDef().defaultValue, 1.0f);
}

TEST(HighShelfParametricEqualizerFilter, ANewNodeHostsThePeq2KernelAtTheDefaults) {
    auto input = shelfTestSilence();
    auto node = std::make_shared<Filter>(input);
    ASSERT_EQ(node->connections().size(), 1u);
    EXPECT_EQ(node->connections()[0], input);
    EXPECT_EQ(node->input(), input);
    EXPECT_EQ(node->centerFrequency.wrappedValue(), 1000.0f);
    EXPECT_EQ(node->gain.wrappedValue(), 1.0f);
    EXPECT_EQ(node->q.wrappedValue(), 0.707f);
    EXPECT_TRUE(node->isStarted());
    EXPECT_EQ(node->className(), "HighShelfParametricEqualizerFilter");

    RozezEruAU& unit = rozezEruAU(*node);
    EXPECT_NE(dynamic_cast<sigpro::HighShelfParametricEqualizerFilterDSP*>(unit.dsp()), nullptr);
    const auto& description = unit.componentDescription();
    EXPECT_EQ(description.componentType, fourCC("aumf"));
    EXPECT_EQ(description.componentSubType, fourCC("peq2"));
    EXPECT_EQ(description.componentManufacturer, fourCC("RoRo"));
    EXPECT_EQ(description.componentFlags, 2u);
    EXPECT_EQ(unit.inputBusCount(), 1u);
    EXPECT_EQ(unit.outputBusCount(), 1u);
    // The values reached the kernel.
    EXPECT_EQ(rzGetParameterValue(unit.dsp(), 0), 1000.0f);
    EXPECT_EQ(rzGetParameterValue(unit.dsp(), 1), 1.0f);
    EXPECT_EQ(rzGetParameterValue(unit.dsp(), 2), 0.707f);

    const auto parameters = unit.parameterTree()->allParameters();
    ASSERT_EQ(parameters.size(), 3u);
    const char* identifiers[] = {"centerFrequency", "gain", "q"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parameters[i]->identifier(), identifiers[i]);
        EXPECT_EQ(parameters[i]->address(), i);
    }
    EXPECT_EQ(node->gain.projectedValue()->parameter(), parameters[1]);
    EXPECT_EQ(node->gain.projectedValue()->avAudioNode(), node->avAudioNode());

    // Values given to the constructor are written, clamped like any other.
    Filter given(input, 5000.0f, 12.0f, 1.5f);
    EXPECT_EQ(given.centerFrequency.wrappedValue(), 5000.0f);
    EXPECT_EQ(given.gain.wrappedValue(), 10.0f);
    EXPECT_EQ(given.q.wrappedValue(), 1.5f);
}

TEST(HighShelfParametricEqualizerFilter, WritesAreClampedIntoTheRangesAndNodesAreIndependent) {
    Filter node(shelfTestSilence());
    Filter other(shelfTestSilence());
    struct Case {
        Parameter<float>& parameter;
        float written, stored;
        platform::AUParameterAddress address;
    };
    for (const Case& c :
         {Case{node.gain, 12.0f, 10.0f, 1}, Case{node.gain, -1.0f, 0.0f, 1},
          Case{node.gain, 10.02f, 10.0f, 1}, Case{node.gain, 4.5f, 4.5f, 1},
          Case{node.centerFrequency, 5.0f, 12.0f, 0}, Case{node.centerFrequency, 25000.0f, 20000.0f, 0},
          Case{node.q, 3.0f, 2.0f, 2}, Case{node.q, -0.5f, 0.0f, 2}}) {
        c.parameter.setWrappedValue(c.written);
        EXPECT_EQ(c.parameter.wrappedValue(), c.stored) << c.written;
        EXPECT_EQ(rzGetParameterValue(rozezEruAU(node).dsp(), c.address), c.stored)
            << "the kernel gets it clamped";
    }
    EXPECT_NE(&rozezEruAU(node), &rozezEruAU(other));
    EXPECT_NE(node.avAudioNode(), other.avAudioNode());
    EXPECT_EQ(other.gain.wrappedValue(), 1.0f);
    EXPECT_EQ(other.centerFrequency.wrappedValue(), 1000.0f);
    EXPECT_EQ(other.q.wrappedValue(), 0.707f);
    other.gain.setWrappedValue(7.0f);
    EXPECT_EQ(node.gain.wrappedValue(), 4.5f);
}

TEST(HighShelfParametricEqualizerFilter, GainTenLiftsTrebleByTwentyDecibelsAndLeavesBassAlone) {
    EXPECT_NEAR(levelChangeDecibels(10000.0, 10.0f), 20.0, 0.5);
    EXPECT_NEAR(levelChangeDecibels(100.0, 10.0f), 0.0, 1.0);
    EXPECT_NEAR(levelChangeDecibels(10000.0, 1.0f), 0.0, 0.01);
    EXPECT_LT(levelChangeDecibels(10000.0, 0.1f), -19.5);
}

TEST(HighShelfParametricEqualizerFilter, StopPassesTheInputThroughAndStartFiltersAgain) {
    const std::vector<float> input = testsupport::sine(4096, 9000.0, 44100.0, 0.5);
    auto node = std::make_shared<Filter>(shelfTestInput(input), 1000.0f, 10.0f);
    auto engine = offlineToolkitEngine(node);
    node->stop();
    EXPECT_FALSE(node->isStarted());
    const auto bypassed = renderToolkit(*engine, 2048);
    EXPECT_EQ(bypassed[0], std::vector<float>(input.begin(), input.begin() + 2048));
    EXPECT_EQ(bypassed[1], bypassed[0]);
    node->start();
    EXPECT_TRUE(node->isStarted());
    const auto filtered = renderToolkit(*engine, 2048);
    double inputEnergy = 0.0, outputEnergy = 0.0;
    for (std::size_t n = 1024; n < 2048; ++n) {
        inputEnergy += double(input[2048 + n]) * input[2048 + n];
        outputEnergy += double(filtered[0][n]) * filtered[0][n];
    }
    EXPECT_GT(outputEnergy, 50.0 * inputEnergy);
}

TEST(HighShelfParametricEqualizerFilter, RampsAndAutomationAreVisibleSampleBySample) {
    const std::vector<float> input = testsupport::sine(8192, 7000.0, 44100.0, 0.5);
    auto node = std::make_shared<Filter>(shelfTestInput(input));
    auto engine = offlineToolkitEngine(node);
    const auto steady = renderToolkit(*engine, 1024, 256);
    node->gain.setWrappedValue(6.0f);
    const auto ramped = renderToolkit(*engine, 1024, 256);
    // The q goes to 1.2 over 0.1 s from 0.125 s (sample 5512.5) on: in the cycle of 5120 at frame 392.
    automate(*node->q.projectedValue(), std::vector<AutomationEvent>{{1.2f, 0.125f, 0.1f}},
             platform::AudioTime::withSampleTime(0, 44100.0));
    const auto automated = renderToolkit(*engine, 6144, 1024);

    ReferenceShelf reference(44100);
    for (std::uint32_t n = 0; n < 1024; ++n)
        ASSERT_EQ(steady[0][n], reference.step(input[n], 1000.0f, 1.0f, 0.707f)) << n;
    // A written value is reached by the kernel's ramp of trunc(44100 × 0.02f) = 881 frames.
    for (std::uint32_t k = 0; k < 1024; ++k) {
        ASSERT_EQ(ramped[0][k],
                  reference.step(input[1024 + k], 1000.0f, rampValue(1.0f, 6.0f, 881, k), 0.707f))
            << k;
        ASSERT_EQ(ramped[1][k], ramped[0][k]);
    }
    for (std::uint32_t k = 0; k < 6144; ++k) {
        const std::uint32_t frame = 2048 + k;
        const float q = frame < 5512 ? 0.707f : rampValue(0.707f, 1.2f, 4410, frame - 5512);
        ASSERT_EQ(automated[0][k], reference.step(input[frame], 1000.0f, 6.0f, q)) << frame;
    }
}

TEST(HighShelfParametricEqualizerFilter, RenderingWhileParametersRampAllocatesNothing) {
    auto node = std::make_shared<Filter>(
        std::make_shared<SignalNode>([](std::int64_t n) { return float(0.5 * std::sin(0.3 * double(n))); }));
    auto engine = offlineToolkitEngine(node);
    renderToolkit(*engine, 1024, 256); // the engine's first plan is built outside the trap
    automate(*node->gain.projectedValue(),
             std::vector<AutomationEvent>{{8.0f, 0.01f, 0.05f}, {2.0f, 0.1f, 0.1f}, {5.0f, 0.15f, 0.0f}});
    auto buffer = platform::PcmBuffer::make(engine->avEngine().manualRenderingFormat(), 256);
    {
        parametertest::RenderCycleTrap trap;
        for (int cycle = 0; cycle < 60; ++cycle) {
            if (cycle % 6 == 0) node->centerFrequency.setWrappedValue(1000.0f + 300.0f * float(cycle));
            if (cycle % 9 == 0) ramp(*node->q.projectedValue(), 0.5f, 1.5f, 0.01f);
            if (cycle == 30) node->stop();
            if (cycle == 35) node->start();
            ASSERT_TRUE(engine->avEngine().renderOffline(256, *buffer));
        }
    }
    EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 60u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
    // The automation did play: its last event set the gain.
    EXPECT_EQ(node->gain.wrappedValue(), 5.0f);
}
