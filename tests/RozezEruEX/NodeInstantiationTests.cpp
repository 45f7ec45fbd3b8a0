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

// "status data1 data2 @time " per record of three bytes on cable 0; "?" for any other.
std::string midiText(const MIDIRecorderDSP& kernel) {
    std::string text;
    for (std::size_t i = 0; i < kernel.count; ++i) {
        const auto& r = kernel.records[i];
        text += r.length != 3 || r.cable != 0
                    ? std::string("? ")
                    : std::to_string(r.bytes[0] >> 4) + std::to_string(r.bytes[0] & 15) + " " +
                          std::to_string(r.bytes[1]) + " " + std::to_string(r.bytes[2]) + " @" +
                          std::to_string(r.sampleTime) + " ";
    }
    return text;
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
        const auto& d = unit.componentDescription();
        EXPECT_EQ(d, (platform::AudioComponentDescription{fourCC(c.type), fourCC(c.subtype), fourCC("RoRo"),
                                                          2, 0}));
        EXPECT_EQ(std::pair(unit.inputBusCount(), unit.outputBusCount()), std::pair(c.inputs, 1u)) << c.type;
        const auto components = platform::AudioComponentRegistry::shared().components(d);
        ASSERT_EQ(components.size(), 1u) << "registering again replaces the entry";
        EXPECT_EQ(std::pair(components[0].name, components[0].version),
                  std::pair(std::string("Local internal AU"), 0xFFFFFFFFu));
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
    // Three bytes on cable 0, at the first frame of the next cycle.
    EXPECT_EQ(midiText(kernel), "90 64 127 @256 90 64 0 @256 90 64 127 @256 ");

    // A MIDI trigger starts a stopped node first, then plays the given note.
    node->stop();
    EXPECT_FALSE(node->isStarted());
    node->trigger(60, 100);
    EXPECT_TRUE(node->isStarted());
    renderToolkit(*engine, 256, 256);
    EXPECT_EQ(midiText(kernel), "90 64 127 @256 90 64 0 @256 90 64 127 @256 90 60 100 @512 ");
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
