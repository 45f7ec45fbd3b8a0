#include "KernelNodeRig.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace kerneltest;
using namespace rozezeru;

namespace {

RozezEruAU& instantiatedUnit(const std::shared_ptr<platform::AudioUnitNode>& node) {
    return dynamic_cast<RozezEruAU&>(node->auAudioUnit());
}

MIDIRecorderDSP& midiRecorderOf(const Node& node) {
    return dynamic_cast<MIDIRecorderDSP&>(*rozezEruAU(node).dsp());
}

} // namespace

TEST(NodeInstantiation, EachTypeGetsARegisteredUnitHostingItsOwnKernel) {
    registerKernelNodeProbes();
    struct Case {
        std::shared_ptr<platform::AudioUnitNode> (*instantiate)(std::string_view);
        const char* subtype;
        const char* type;
        std::uint32_t inputs;
    };
    for (const Case& c :
         {Case{instantiateEffect, "tsfx", "aumf", 1}, Case{instantiateInstrument, "tsgn", "aumu", 0},
          Case{instantiateMixer, "tsdw", "aumx", 2}, Case{instantiateGenerator, "tsgn", "augn", 0}}) {
        auto node = c.instantiate(c.subtype);
        ASSERT_NE(node, nullptr) << c.type;
        RozezEruAU& unit = instantiatedUnit(node);
        const auto& description = unit.componentDescription();
        EXPECT_EQ(description.componentType, fourCC(c.type));
        EXPECT_EQ(description.componentSubType, fourCC(c.subtype));
        EXPECT_EQ(description.componentManufacturer, fourCC("RoRo"));
        EXPECT_EQ(description.componentFlags, 2u);
        EXPECT_EQ(description.componentFlagsMask, 0u);
        EXPECT_EQ(unit.inputBusCount(), c.inputs) << c.type;
        EXPECT_EQ(unit.outputBusCount(), 1u);

        const auto components = platform::AudioComponentRegistry::shared().components(description);
        ASSERT_EQ(components.size(), 1u) << "registering again replaces the entry";
        EXPECT_EQ(components[0].name, "Local internal AU");
        EXPECT_EQ(components[0].version, 0xFFFFFFFFu);
    }
    EXPECT_NE(dynamic_cast<ProbeEffect*>(instantiatedUnit(instantiateEffect("tsfx")).dsp()), nullptr);

    // The same subtype twice: two units, two kernels, parameters apart.
    auto first = instantiateEffect("tsfx");
    auto second = instantiateEffect("tsfx");
    ASSERT_NE(first, second);
    EXPECT_NE(instantiatedUnit(first).dsp(), instantiatedUnit(second).dsp());
    rzSetParameterValue(instantiatedUnit(first).dsp(), 0, 3.0f);
    EXPECT_EQ(rzGetParameterValue(instantiatedUnit(first).dsp(), 0), 3.0f);
    EXPECT_EQ(rzGetParameterValue(instantiatedUnit(second).dsp(), 0), 0.0f);
}

TEST(NodeInstantiation, GatesAndTriggersSendNoteOnsForTheNextCycle) {
    registerKernelNodeProbes();
    auto node = std::make_shared<NoteNode>(instantiateInstrument("tsmi"));
    auto engine = offlineToolkitEngine();
    engine->setOutput(node);
    ASSERT_NE(engine->startTest(1.0), nullptr);
    renderToolkit(*engine, 256, 256);

    node->openGate();
    node->closeGate();
    node->trigger();
    renderToolkit(*engine, 256, 256);
    MIDIRecorderDSP& kernel = midiRecorderOf(*node);
    ASSERT_EQ(kernel.count, 3u);
    const std::array<std::array<std::uint8_t, 3>, 3> expected{
        {{0x90, 64, 127}, {0x90, 64, 0}, {0x90, 64, 127}}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(kernel.records[i].bytes, expected[i]) << i;
        EXPECT_EQ(kernel.records[i].length, 3u);
        EXPECT_EQ(kernel.records[i].cable, 0u);
        EXPECT_EQ(kernel.records[i].sampleTime, 256) << "at the first frame of the next cycle";
    }

    // A MIDI trigger starts a stopped node first, then plays the given note.
    node->stop();
    EXPECT_FALSE(node->isStarted());
    node->trigger(60, 100);
    EXPECT_TRUE(node->isStarted());
    renderToolkit(*engine, 256, 256);
    ASSERT_EQ(kernel.count, 4u);
    EXPECT_EQ(kernel.records[3].bytes, (std::array<std::uint8_t, 3>{0x90, 60, 100}));
    EXPECT_EQ(kernel.records[3].sampleTime, 512);
}

TEST(NodeInstantiationDeathTest, ProgrammingErrorsStopTheProgram) {
    registerKernelNodeProbes();
    EXPECT_DEATH(instantiateEffect("abc"), "\"abc\" is 3 bytes long, not 4");
    EXPECT_DEATH(instantiateEffect("none"), "Unable to instantiate AVAudioUnit");

    nodetest::GainNode foreign;
    EXPECT_DEATH(rozezEruAU(foreign), "Wrong audio unit type\\.");

    NoteNode mixer(instantiateMixer("tsdw"));
    EXPECT_DEATH(mixer.openGate(), "Attempt to trigger audio unit which doesn't respond to MIDI\\.");
    NoteNode generator(instantiateGenerator("tsgn"));
    EXPECT_DEATH(generator.trigger(), "Attempt to trigger audio unit which doesn't respond to MIDI\\.");
}
