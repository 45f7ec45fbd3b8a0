#include "ShelfReference.h"

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "tests/support/EngineRig.h"
#include "tests/support/RenderCycleTrap.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <thread>

using namespace shelftest;
using namespace rozezeru;

namespace {

// A "peq2" unit instantiated through the component registry, its tree (the high-shelf node's three
// parameters at the registered addresses) at the node's defaults, in an offline engine fed by `value`.
template <typename Signal> testsupport::UnitRig<RozezEruAU> makeShelfRig(Signal value) {
    sigpro::registerSigproKernels();
    const auto description = componentDescription::effect("peq2");
    RozezEruAU::registerComponent(description);
    auto node = platform::AudioComponentRegistry::shared().instantiate(description);
    EXPECT_TRUE(node);
    auto& unit = dynamic_cast<RozezEruAU&>((*node)->auAudioUnit());
    auto parameter = [](const char* identifier, const char* name, float max) {
        const std::string registered = std::string("HighShelfParametricEqualizerFilterParameter") + name;
        return platform::AUParameterTree::createParameter(
            identifier, name, rzGetParameterAddress(registered.c_str()), 0.0f, max,
            platform::AudioUnitParameterUnit::generic, AudioUnitParameterOptions::default_);
    };
    unit.setParameterTree(
        platform::AUParameterTree::createTree({parameter("centerFrequency", "CenterFrequency", 20000.0f),
                                               parameter("gain", "Gain", 10.0f), parameter("q", "Q", 2.0f)}));
    for (auto [identifier, value] : {std::pair{"centerFrequency", 1000.0f}, {"gain", 1.0f}, {"q", 0.707f}})
        unit.parameterTree()->parameterWithIdentifier(identifier)->setValue(value);
    return testsupport::makeUnitRig<RozezEruAU>(*node, *platform::AudioFormat::standard(44100.0, 2), 512,
                                                value);
}

platform::AUParameter& parameterOf(RozezEruAU& unit, const char* identifier) {
    return *unit.parameterTree()->parameterWithIdentifier(identifier);
}

} // namespace

TEST(SigproKernels, RegistrationIsIdempotentThreadSafeAndNamesThePeq2Parameters) {
    { std::jthread a(sigpro::registerSigproKernels), b(sigpro::registerSigproKernels); }
    sigpro::registerSigproKernels();
    // The addresses of every kernel's parameters are the kernel table test's.
    auto kernel = rzCreateDSPByCode(fourCC("peq2"));
    ASSERT_NE(dynamic_cast<Dsp*>(kernel.get()), nullptr);
    EXPECT_EQ(rzInputBusCount(kernel.get()), 1);
    EXPECT_TRUE(rzCanProcessInPlace(kernel.get()));
    // No defaults in the kernel: every parameter is 0 until the node writes it.
    for (AUParameterAddress address = 0; address < 3; ++address)
        EXPECT_EQ(rzGetParameterValue(kernel.get(), address), 0.0f);
}

TEST(Peq2Unit, RampsAreVisibleSampleBySampleThroughTheEngine) {
    const std::vector<float> input = testsupport::sine(4096, 7000.0, 44100.0, 0.5);
    auto rig = makeShelfRig([&input](std::int64_t n) { return input[std::size_t(n)]; });
    const auto steady = rig.render(1024, 256);
    parameterOf(*rig.unit, "gain").setValue(6.0f);
    const auto ramped = rig.render(1536, 256);
    // A scheduled ramp of the corner frequency, 100 frames into the next cycle, over 50 frames.
    ASSERT_TRUE(rig.unit->scheduleParameterRamp(platform::AUEventSampleTimeImmediate + 100, 50, 0, 3000.0f));
    const auto scheduled = rig.render(512, 512);

    ReferenceShelf reference(44100);
    for (std::uint32_t n = 0; n < 1024; ++n)
        ASSERT_EQ(steady[0][n], reference.step(input[n], 1000.0f, 1.0f, 0.707f)) << n;
    EXPECT_EQ(ramped[1], ramped[0]);
    for (std::uint32_t k = 0; k < 1536; ++k)
        ASSERT_EQ(ramped[0][k],
                  reference.step(input[1024 + k], 1000.0f, rampValue(1.0f, 6.0f, 881, k), 0.707f))
            << k;
    for (std::uint32_t k = 0; k < 512; ++k) {
        const float frequency = k < 100 ? 1000.0f : rampValue(1000.0f, 3000.0f, 50, k - 100);
        ASSERT_EQ(scheduled[0][k], reference.step(input[2560 + k], frequency, 6.0f, 0.707f)) << k;
    }
}

TEST(Peq2Unit, BypassPassesTheInputUnchangedAndUnitsKeepKernelsOfTheirOwn) {
    const std::vector<float> input = testsupport::sine(1024, 9000.0, 44100.0, 0.5);
    auto rig = makeShelfRig([&input](std::int64_t n) { return input[std::size_t(n)]; });
    parameterOf(*rig.unit, "gain").setValue(10.0f);
    rig.unit->setShouldBypassEffect(true);
    const auto bypassed = rig.render(1024, 256);
    EXPECT_EQ(std::pair(bypassed[0], bypassed[1]), std::pair(input, input));

    auto other = makeShelfRig([](std::int64_t) { return 0.0f; });
    parameterOf(*other.unit, "gain").setValue(7.0f);
    EXPECT_EQ(parameterOf(*rig.unit, "gain").value(), 10.0f);
    EXPECT_NE(other.unit->dsp(), rig.unit->dsp());
}

TEST(Peq2Unit, RenderingWithRampsAndEventsAllocatesNothing) {
    auto rig = makeShelfRig([](std::int64_t n) { return float(0.5 * std::sin(0.3 * double(n))); });
    rig.render(512, 256); // the engine's first plan is built outside the trap
    auto buffer = platform::PcmBuffer::make(rig.engine->manualRenderingFormat(), 256);
    testsupport::RenderCycleTrap trap;
    for (int cycle = 0; cycle < 40; ++cycle) {
        if (cycle % 5 == 0) parameterOf(*rig.unit, "gain").setValue(float(cycle % 10) + 0.5f);
        if (cycle % 7 == 0) {
            ASSERT_TRUE(
                rig.unit->scheduleParameterRamp(platform::AUEventSampleTimeImmediate + 30, 100, 2, 1.1f));
        }
        if (cycle % 11 == 0) rig.unit->trigger();
        ASSERT_TRUE(rig.engine->renderOffline(256, *buffer));
    }
    trap.expectNothingAllocated(40);
}
