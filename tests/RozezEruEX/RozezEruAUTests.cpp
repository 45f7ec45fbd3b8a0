#include "tests/support/KernelHarness.h"
#include "tests/support/ProbeKernels.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace rozezeru;
using platform::AudioUnitParameterUnit;

namespace {

std::unique_ptr<RozezEruAU> makeProbeUnit(const platform::AudioComponentDescription& description) {
    registerProbeKernels();
    auto unit = RozezEruAU::make(description);
    EXPECT_TRUE(unit) << (unit ? "" : unit.error().message);
    return unit ? std::move(*unit) : nullptr;
}

ProbeDSP& probeOf(const RozezEruAU& unit) {
    return dynamic_cast<ProbeDSP&>(*unit.dsp());
}

std::shared_ptr<platform::AUParameterTree> probeTree() {
    const auto flags = platform::AudioUnitParameterFlag::isReadable |
                       platform::AudioUnitParameterFlag::isWritable |
                       platform::AudioUnitParameterFlag::canRamp;
    return platform::AUParameterTree::createTree(
        {platform::AUParameterTree::createParameter("first", "First", 0, 0.0f, 10.0f,
                                                    AudioUnitParameterUnit::generic, flags),
         platform::AUParameterTree::createParameter("second", "Second", 1, 0.0f, 10.0f,
                                                    AudioUnitParameterUnit::generic, flags)});
}

} // namespace

TEST(RozezEruAU, HostsTheKernelOfItsSubtypeWithItsBusses) {
    auto effect = makeProbeUnit(componentDescription::effect("tsfx"));
    ASSERT_TRUE(effect);
    EXPECT_NE(dynamic_cast<ProbeEffect*>(effect->dsp()), nullptr);
    const auto& d = effect->componentDescription();
    EXPECT_EQ(std::pair(d.componentManufacturer, d.componentFlags), std::pair(fourCC("RoRo"), 2u));
    ASSERT_EQ(std::pair(effect->inputBusCount(), effect->outputBusCount()), std::pair(1u, 1u));
    EXPECT_EQ(std::pair(effect->inputBus(0).format(), effect->outputBus(0).format()),
              std::pair(stereoFormat(), stereoFormat()));
    EXPECT_EQ(effect->channelCapabilities(), (std::vector<int>{2, 2}));
    EXPECT_FALSE(effect->canProcessInPlace());
    // A new unit has an empty tree with its hooks already in place.
    ASSERT_NE(effect->parameterTree(), nullptr);
    EXPECT_TRUE(effect->parameterTree()->allParameters().empty());
    EXPECT_TRUE(effect->parameterTree()->implementorValueObserver());

    auto generator = makeProbeUnit(componentDescription::instrument("tsgn"));
    EXPECT_EQ(std::pair(generator->inputBusCount(), generator->outputBusCount()), std::pair(0u, 1u));
    auto mixer = makeProbeUnit(componentDescription::mixer("tsdw"));
    ASSERT_EQ(mixer->inputBusCount(), 2u);
    EXPECT_EQ(mixer->inputBus(1).format(), stereoFormat());
    EXPECT_TRUE(makeProbeUnit(componentDescription::effect("tsip"))->canProcessInPlace());
}

TEST(RozezEruAU, AnUnknownSubtypeIsAnErrorNotACrash) {
    registerProbeKernels();
    testing::internal::CaptureStdout();
    auto unit = RozezEruAU::make(componentDescription::effect("nope"));
    ASSERT_FALSE(unit);
    EXPECT_EQ(unit.error().message, "No DSP kernel is registered under 'nope'");

    const auto description = componentDescription::effect("nop2");
    RozezEruAU::registerComponent(description);
    auto node = platform::AudioComponentRegistry::shared().instantiate(description);
    EXPECT_FALSE(node);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unknown DSPBase subclass: nope\nUnknown DSPBase subclass: nop2\n");
}

TEST(RozezEruAU, RegistersItsComponentForInstantiationAsANode) {
    registerProbeKernels();
    const auto description = componentDescription::effect("tsfx");
    RozezEruAU::registerComponent(description);
    const auto components = platform::AudioComponentRegistry::shared().components(description);
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(std::pair(components[0].name, components[0].version),
              std::pair(std::string("Local internal AU"), 0xFFFFFFFFu));

    auto first = platform::AudioComponentRegistry::shared().instantiate(description);
    auto second = platform::AudioComponentRegistry::shared().instantiate(description);
    ASSERT_TRUE(first && second);
    auto* firstUnit = dynamic_cast<RozezEruAU*>(&(*first)->auAudioUnit());
    auto* secondUnit = dynamic_cast<RozezEruAU*>(&(*second)->auAudioUnit());
    ASSERT_TRUE(firstUnit && secondUnit);
    EXPECT_EQ(firstUnit->componentDescription(), description);

    // Independent kernels: a value set on one unit does not reach the other.
    firstUnit->setParameterTree(probeTree());
    secondUnit->setParameterTree(probeTree());
    firstUnit->parameterTree()->parameterWithAddress(0)->setValue(3.0f);
    EXPECT_EQ(secondUnit->parameterTree()->parameterWithAddress(0)->value(), 0.0f);
}

TEST(RozezEruAU, TheParameterTreeIsWiredToTheKernel) {
    auto unit = makeProbeUnit(componentDescription::effect("tsfx"));
    unit->setParameterTree(probeTree());
    auto first = unit->parameterTree()->parameterWithAddress(0);
    auto second = unit->parameterTree()->parameterWithAddress(1);

    first->setValue(1.5f);
    EXPECT_EQ(rzGetParameterValue(unit->dsp(), 0), 1.5f);
    rzSetParameterValue(unit->dsp(), 1, 0.75f);
    EXPECT_EQ(second->value(), 0.75f);
    EXPECT_EQ(unit->setParameter(1, 2.25f), true);
    EXPECT_EQ(rzGetParameterValue(unit->dsp(), 1), 2.25f);

    for (const auto& [value, text] : {std::pair{1.5f, "1.50"}, {-0.125f, "-0.12"}})
        EXPECT_EQ(first->stringFromValue(&value), text);
    EXPECT_EQ(first->stringFromValue(nullptr), "Invalid");

    // Once allocated, a set becomes a ramp; the tree still reads the value asked for.
    ASSERT_TRUE(unit->allocateRenderResources());
    first->setValue(4.0f);
    EXPECT_EQ(std::pair(probeOf(*unit).ramper(0).changeCounter.load(), first->value()), std::pair(1u, 4.0f));

    // A tree that outlives its unit forwards nothing.
    auto tree = unit->parameterTree();
    unit.reset();
    tree->parameterWithAddress(0)->setValue(6.0f);
    EXPECT_EQ(tree->parameterWithAddress(0)->value(), 0.0f);
}

TEST(RozezEruAU, RenderResourcesInitTheKernelAndMakeInputBuffersWhenNotInPlace) {
    auto inPlace = makeProbeUnit(componentDescription::effect("tsip"));
    ASSERT_TRUE(inPlace->allocateRenderResources());
    EXPECT_TRUE(inPlace->internalBuffers().empty());
    EXPECT_TRUE(probeOf(*inPlace).initialized());

    auto effect = makeProbeUnit(componentDescription::effect("tsfx"));
    ASSERT_TRUE(effect->setMaximumFramesToRender(300));
    ASSERT_TRUE(effect->allocateRenderResources());
    ASSERT_EQ(effect->internalBuffers().size(), 1u);
    EXPECT_EQ(effect->internalBuffers()[0]->frameCapacity(), 300u);
    EXPECT_NE(probeOf(*effect).internalBuffer(0), nullptr);

    // Every bus's buffer takes the first input bus's format; the kernel gets the output's.
    auto mixer = makeProbeUnit(componentDescription::mixer("tsdw"));
    ASSERT_TRUE(mixer->inputBus(0).setFormat(*AudioFormat::standard(48000.0, 2)));
    ASSERT_TRUE(mixer->inputBus(1).setFormat(*AudioFormat::standard(48000.0, 1)));
    ASSERT_TRUE(mixer->outputBus(0).setFormat(*AudioFormat::standard(48000.0, 2)));
    ASSERT_TRUE(mixer->allocateRenderResources());
    ASSERT_EQ(mixer->internalBuffers().size(), 2u);
    EXPECT_EQ(mixer->internalBuffers()[1]->format(), *AudioFormat::standard(48000.0, 2));
    ProbeDSP& mixerKernel = probeOf(*mixer);
    EXPECT_EQ(std::tuple(mixerKernel.rate(), mixerKernel.channels(), mixerKernel.inits),
              std::tuple(48000.0, 2, 1));

    mixer->reset();
    EXPECT_EQ(mixerKernel.resets, 1);
    mixer->deallocateRenderResources();
    EXPECT_EQ(std::pair(mixer->internalBuffers().empty(), mixerKernel.initialized()), std::pair(true, false));
    EXPECT_EQ(mixerKernel.deinits, 1);
    EXPECT_EQ(mixerKernel.internalBuffer(0), nullptr);
    EXPECT_EQ(mixerKernel.internalBuffer(1), nullptr);

    // Channel counts other than the capabilities' are refused.
    effect->deallocateRenderResources();
    ASSERT_TRUE(effect->inputBus(0).setFormat(*AudioFormat::standard(44100.0, 1)));
    EXPECT_FALSE(effect->allocateRenderResources());
    EXPECT_FALSE(probeOf(*effect).initialized());
}

TEST(RozezEruAU, BypassTriggersAndWavetablesReachTheKernel) {
    auto unit = makeProbeUnit(componentDescription::effect("tsfx"));
    ProbeDSP& kernel = probeOf(*unit);
    EXPECT_FALSE(unit->shouldBypassEffect());
    unit->setShouldBypassEffect(true);
    EXPECT_TRUE(rzGetBypass(unit->dsp()));
    unit->setShouldBypassEffect(false);
    EXPECT_FALSE(rzGetBypass(unit->dsp()));

    const std::vector<float> table{0.5f, -0.5f};
    unit->setWavetable(table, 1);
    EXPECT_EQ(std::pair(kernel.wavetable, kernel.wavetableIndex), std::pair(table, 1));
    unit->setWavetable(table.data(), 1, 3);
    EXPECT_EQ(std::pair(kernel.wavetable, kernel.wavetableIndex), std::pair(std::vector<float>{0.5f}, 3));

    // Triggers are note-ons on channel 0 for the next cycle: note 64 at velocity 127, then 0 (a note-off).
    unit->trigger();
    unit->stopTrigger();
    unit->trigger(60, 90);
    ASSERT_TRUE(unit->allocateRenderResources());
    auto buffer = PcmBuffer::make(stereoFormat(), 64);
    platform::AudioBufferList output = buffer->bufferList(64);
    EXPECT_EQ(unit->render(AudioTime::withSampleTime(0, 44100.0), 64, 0, output,
                           platform::AudioUnitPullInput::none()),
              RenderStatus::success);
    EXPECT_EQ(kernel.noteText(), "on 64 127 off 64 0 on 60 90 ");
    EXPECT_EQ(kernel.rangeText(), "0+64 ") << "the events arrived before the first frame";
}

TEST(RozezEruAUDeathTest, TriggeringAUnitThatTakesNoMIDIStopsTheProgram) {
    auto mixer = makeProbeUnit(componentDescription::mixer("tsdw"));
    EXPECT_DEATH(mixer->trigger(), "Attempt to trigger audio unit which doesn't respond to MIDI\\.");
    auto generator = makeProbeUnit(componentDescription::generator("tsgn"));
    EXPECT_DEATH(generator->stopTrigger(), "Attempt to trigger audio unit which doesn't respond to MIDI\\.");
}

TEST(RozezEruAU, RendersInAnEngineWithSampleAccurateRamps) {
    auto made = makeProbeUnit(componentDescription::effect("tsfx"));
    made->setParameterTree(probeTree());
    auto rig =
        testsupport::makeUnitRig<RozezEruAU>(std::make_shared<platform::AudioUnitNode>(std::move(made)),
                                             stereoFormat(), 256, [](std::int64_t) { return 0.25f; });
    RozezEruAU& unit = *rig.unit;

    // Pulled from the graph into the unit's own buffer, plus the parameter's value.
    auto silent = rig.render(100, 100);
    ASSERT_EQ(silent.size(), 2u);
    EXPECT_EQ(silent[0][99], 0.25f);
    EXPECT_EQ(unit.internalBuffers().size(), 1u);

    // A scheduled ramp of 8 frames reaches the kernel 10 frames into the next cycle; how sets and ramps
    // run frame by frame, and what bypass passes, the kernel tests pin.
    ASSERT_TRUE(unit.scheduleParameterRamp(platform::AUEventSampleTimeImmediate + 10, 8, 1, 2.0f));
    auto scheduled = rig.render(32, 32);
    EXPECT_EQ((std::vector{scheduled[1][9], scheduled[1][10], scheduled[1][14], scheduled[1][18]}),
              (std::vector{0.25f, 0.25f, 1.25f, 2.25f}));
    EXPECT_EQ(unit.parameterTree()->parameterWithAddress(1)->value(), 2.0f);
}
