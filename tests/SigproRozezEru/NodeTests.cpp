#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/DSPInterface.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/ParameterAutomation.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "tests/support/ProbeKernels.h"
#include "tests/support/RenderCycleTrap.h"
#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <thread>

using namespace rozezeru;
using testsupport::constantNode;
using testsupport::offlineToolkitEngine;
using testsupport::registerProbeKernels;
using testsupport::RenderCycleTrap;
using testsupport::renderToolkit;
using testsupport::samplesNode;
using testsupport::sine;
using ShelfFilter = HighShelfParametricEqualizerFilter;

namespace {

// The probe generator after the template: set up, stopped, then given its values; it plays them.
class ProbeToneGenerator final : public GeneratorNode {
public:
    ProbeToneGenerator() : GeneratorNode((registerProbeKernels(), "tsgn")) {
        setupParameters();
        stop();
        first.setWrappedValue(0.75f);
        second.setWrappedValue(-0.25f);
    }
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(first, second);
    }
    Parameter<float> first{makeNodeParameterDef("ProbeGenerator", {"first", "First", 0.0f, {-1.0f, 1.0f}})};
    Parameter<float> second{
        makeNodeParameterDef("ProbeGenerator", {"second", "Second", 0.0f, {-1.0f, 1.0f}})};
};

} // namespace

TEST(SigproRozezEruRegistration, RegistersTheKernelsAndNodeComponentsOnceFromAnyThread) {
    { std::jthread a(registerSigproRozezEru), b(registerSigproRozezEru), c(registerSigproRozezEru); }
    registerSigproRozezEru();
    const auto components =
        platform::AudioComponentRegistry::shared().components(componentDescription::effect("peq2"));
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterQ"), 2u);
}

TEST(NodeParameterTable, RegistryNamesJoinClassParameterAndTheCapitalisedIdentifier) {
    EXPECT_EQ(parameterRegistryName("ZitaReverb", "equalizerFrequency2"),
              "ZitaReverbParameterEqualizerFrequency2");
    EXPECT_EQ(parameterRegistryName("Panner", "Pan"), "PannerParameterPan");
    EXPECT_EQ(parameterRegistryName("Panner", ""), "PannerParameter");
    registerSigproRozezEru();
    EXPECT_EQ(makeNodeParameterDef("NoSuchNode", {"depth", "Depth"}).address, unknownParameterAddress)
        << "a name the registry does not know drives no kernel parameter";
}

TEST(GeneratorNode, HasNoInputAndStartsBypassedUntilStarted) {
    auto tone = std::make_shared<ProbeToneGenerator>();
    EXPECT_TRUE(tone->connections().empty());
    EXPECT_EQ(
        std::pair(rozezEruAU(*tone).componentDescription().componentType, rozezEruAU(*tone).inputBusCount()),
        std::pair(fourCC("aumu"), 0u));
    EXPECT_EQ(tone->second.projectedValue()->def().address, 1u)
        << "the registry's address of the table's name";
    auto engine = offlineToolkitEngine(tone);
    EXPECT_EQ(renderToolkit(*engine, 1024)[0], std::vector<float>(1024, 0.0f));
    tone->start();
    EXPECT_EQ(renderToolkit(*engine, 1024),
              (std::vector{std::vector<float>(1024, 0.75f), std::vector<float>(1024, -0.25f)}));
}

TEST(EffectNodeDeathTest, AnEffectWithoutInputStopsTheProgram) {
    EXPECT_DEATH(HighShelfParametricEqualizerFilter(nullptr), "An effect node needs an input node\\.");
}

// Its definitions, bypass and clamping at the ends of the ranges are checked with every effect class.
TEST(HighShelfParametricEqualizerFilter, ItsParametersDriveTheKernelAndTheConstructorsValuesAreClamped) {
    auto input = constantNode(0.0f);
    auto node = std::make_shared<ShelfFilter>(input);
    EXPECT_TRUE(node->isStarted());
    EXPECT_EQ(node->gain.projectedValue()->parameter(),
              rozezEruAU(*node).parameterTree()->parameterWithAddress(1));

    // Writes, the constructor's among them, are clamped before they reach the kernel; nodes share nothing.
    ShelfFilter given(input, 5000.0f, 12.0f, 1.5f), other(input);
    using Write = std::tuple<Parameter<float>&, float, float>; // the value written, the value stored
    for (const auto& [parameter, written, stored] :
         {Write{given.gain, 12, 10}, Write{given.gain, -1, 0}, Write{given.gain, 4.5f, 4.5f},
          Write{given.centerFrequency, 5, 12}, Write{given.q, 3, 2}, Write{given.q, -0.5f, 0}}) {
        parameter.setWrappedValue(written);
        EXPECT_EQ(rzGetParameterValue(rozezEruAU(given).dsp(), parameter.projectedValue()->def().address),
                  stored)
            << written;
    }
    EXPECT_EQ(
        std::tuple(given.centerFrequency.wrappedValue(), given.q.wrappedValue(), other.gain.wrappedValue()),
        std::tuple(12.0f, 0.0f, 1.0f));
}

TEST(HighShelfParametricEqualizerFilter, RenderingWhileParametersRampAllocatesNothing) {
    auto node = std::make_shared<ShelfFilter>(samplesNode(sine(20000, 2000.0, 44100.0, 0.5)));
    auto engine = offlineToolkitEngine(node);
    renderToolkit(*engine, 1024, 256); // the engine's first plan is built outside the trap
    automate(*node->gain.projectedValue(),
             std::vector<AutomationEvent>{{8.0f, 0.01f, 0.05f}, {2.0f, 0.1f, 0.1f}, {5.0f, 0.15f, 0.0f}});
    auto buffer = platform::PcmBuffer::make(engine->avEngine().manualRenderingFormat(), 256);
    {
        RenderCycleTrap trap;
        for (int cycle = 0; cycle < 60; ++cycle) {
            if (cycle % 6 == 0) node->centerFrequency.setWrappedValue(1000.0f + 300.0f * float(cycle));
            if (cycle % 9 == 0) ramp(*node->q.projectedValue(), 0.5f, 1.5f, 0.01f);
            if (cycle == 30) node->stop();
            if (cycle == 35) node->start();
            ASSERT_TRUE(engine->avEngine().renderOffline(256, *buffer));
        }
        trap.expectNothingAllocated(60);
    }
    EXPECT_EQ(node->gain.wrappedValue(), 5.0f) << "the automation played";
}
