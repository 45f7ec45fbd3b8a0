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

// Bus counts, the registry entry's name and the independence of two units are the unit tests' own.
TEST(NodeInstantiation, EachTypeGetsARegisteredUnitOfItsTypeHostingItsKernel) {
    registerProbeKernels();
    using Instantiate = std::shared_ptr<platform::AudioUnitNode> (*)(std::string_view);
    for (auto [instantiate, subtype, type] :
         {std::tuple<Instantiate, const char*, const char*>{instantiateEffect, "tsfx", "aumf"},
          {instantiateInstrument, "tsgn", "aumu"},
          {instantiateMixer, "tsdw", "aumx"},
          {instantiateGenerator, "tsgn", "augn"}}) {
        auto node = instantiate(subtype);
        ASSERT_NE(node, nullptr) << type;
        const auto& d = dynamic_cast<RozezEruAU&>(node->auAudioUnit()).componentDescription();
        EXPECT_EQ(d,
                  (platform::AudioComponentDescription{fourCC(type), fourCC(subtype), fourCC("RoRo"), 2, 0}));
        EXPECT_EQ(platform::AudioComponentRegistry::shared().components(d).size(), 1u)
            << "registering again replaces the entry";
    }
    EXPECT_NE(
        dynamic_cast<ProbeEffect*>(dynamic_cast<RozezEruAU&>(instantiateEffect("tsfx")->auAudioUnit()).dsp()),
        nullptr);
}

TEST(NodeInstantiation, GatesAndTriggersSendNoteOnsForTheNextCycle) {
    registerProbeKernels();
    auto node = std::make_shared<NoteNode>(instantiateInstrument("tsgn"));
    auto engine = offlineToolkitEngine(node, 1.0);
    renderToolkit(*engine, 256, 256);

    node->openGate();
    node->closeGate();
    node->trigger();
    renderToolkit(*engine, 256, 256);
    const auto& kernel = dynamic_cast<ProbeDSP&>(*rozezEruAU(*node).dsp());
    // Three bytes on cable 0, at the first frame of the next cycle.
    EXPECT_EQ(kernel.midiText(), "90 64 127 @256 90 64 0 @256 90 64 127 @256 ");

    // A MIDI trigger starts a stopped node first, then plays the given note.
    node->stop();
    EXPECT_FALSE(node->isStarted());
    node->trigger(60, 100);
    EXPECT_TRUE(node->isStarted());
    renderToolkit(*engine, 256, 256);
    EXPECT_EQ(kernel.midiText(), "90 64 127 @256 90 64 0 @256 90 64 127 @256 90 60 100 @512 ");
}

TEST(NodeInstantiationDeathTest, ProgrammingErrorsStopTheProgram) {
    registerProbeKernels();
    // A bad code and a code nothing is registered under stop the helpers these call; their tests say so.
    nodetest::GainNode foreign;
    EXPECT_DEATH(rozezEruAU(foreign), "Wrong audio unit type\\.");

    NoteNode mixer(instantiateMixer("tsdw"));
    EXPECT_DEATH(mixer.openGate(), "Attempt to trigger audio unit which doesn't respond to MIDI\\.");
}
