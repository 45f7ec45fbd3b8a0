#include "ShelfReference.h"

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/RenderCycleHooks.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace shelftest;
using namespace rozezeru;
using HostedUnitRig = testsupport::UnitRig<rozezeru::RozezEruAU>;

namespace {

const platform::AudioComponentDescription peq2Description = componentDescription::effect("peq2");

// The tree the high-shelf node publishes: its three parameters at the registered addresses.
std::shared_ptr<platform::AUParameterTree> highShelfTree() {
    auto parameter = [](const char* identifier, const char* name, const char* registryName, float min,
                        float max, platform::AudioUnitParameterUnit unit) {
        return platform::AUParameterTree::createParameter(identifier, name,
                                                          rzGetParameterAddress(registryName), min, max, unit,
                                                          AudioUnitParameterOptions::default_);
    };
    return platform::AUParameterTree::createTree(
        {parameter("centerFrequency", "Corner Frequency",
                   "HighShelfParametricEqualizerFilterParameterCenterFrequency", 12.0f, 20000.0f,
                   platform::AudioUnitParameterUnit::hertz),
         parameter("gain", "Gain", "HighShelfParametricEqualizerFilterParameterGain", 0.0f, 10.0f,
                   platform::AudioUnitParameterUnit::generic),
         parameter("q", "Q", "HighShelfParametricEqualizerFilterParameterQ", 0.0f, 2.0f,
                   platform::AudioUnitParameterUnit::generic)});
}

platform::AUParameter& parameterOf(RozezEruAU& unit, const char* identifier) {
    return *unit.parameterTree()->parameterWithIdentifier(identifier);
}

// A "peq2" unit instantiated through the component registry, its tree at the node's defaults, in an
// offline engine fed by `value`.
template <typename Signal> HostedUnitRig makeShelfRig(Signal value, double rate = 44100.0) {
    sigpro::registerSigproKernels();
    RozezEruAU::registerComponent(peq2Description);
    auto node = platform::AudioComponentRegistry::shared().instantiate(peq2Description);
    EXPECT_TRUE(node);
    auto& unit = dynamic_cast<RozezEruAU&>((*node)->auAudioUnit());
    unit.setParameterTree(highShelfTree());
    parameterOf(unit, "centerFrequency").setValue(1000.0f);
    parameterOf(unit, "gain").setValue(1.0f);
    parameterOf(unit, "q").setValue(0.707f);
    return testsupport::makeUnitRig<RozezEruAU>(*node, *platform::AudioFormat::standard(rate, 2), 512, value);
}

double levelChangeDecibels(double frequency, float gain) {
    auto rig = makeShelfRig([frequency](std::int64_t n) {
        return float(0.5 * std::sin(2.0 * std::numbers::pi * frequency * double(n) / 44100.0));
    });
    parameterOf(*rig.unit, "gain").setValue(gain);
    const auto output = rig.render(16384, 512);
    const std::vector<float> input = testsupport::sine(16384, frequency, 44100.0, 0.5);
    // Past the ramp and the filter's settling.
    const double outputPower = testsupport::goertzelPower(output[0], 4096, frequency, 44100.0);
    const double inputPower = testsupport::goertzelPower(input, 4096, frequency, 44100.0);
    return 10.0 * std::log10(outputPower / inputPower);
}

} // namespace

TEST(SigproKernels, RegistrationIsIdempotentThreadSafeAndNamesThePeq2Parameters) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] { sigpro::registerSigproKernels(); });
    for (auto& thread : threads)
        thread.join();
    sigpro::registerSigproKernels();

    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterCenterFrequency"), 0u);
    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterGain"), 1u);
    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterQ"), 2u);
    auto kernel = rzCreateDSPByCode(fourCC("peq2"));
    ASSERT_NE(dynamic_cast<sigpro::HighShelfParametricEqualizerFilterDSP*>(kernel.get()), nullptr);
    EXPECT_EQ(rzInputBusCount(kernel.get()), 1);
    EXPECT_TRUE(rzCanProcessInPlace(kernel.get()));
    // No defaults in the kernel: every parameter is 0 until the node writes it.
    for (AUParameterAddress address = 0; address < 3; ++address)
        EXPECT_EQ(rzGetParameterValue(kernel.get(), address), 0.0f);
}

TEST(Peq2Unit, InstantiatesAsAnInPlaceEffectOfTheToolkitsManufacturer) {
    auto rig = makeShelfRig([](std::int64_t) { return 0.0f; });
    const auto& description = rig.unit->componentDescription();
    EXPECT_EQ(description.componentType, fourCC("aumf"));
    EXPECT_EQ(description.componentSubType, fourCC("peq2"));
    EXPECT_EQ(description.componentManufacturer, fourCC("RoRo"));
    EXPECT_EQ(description.componentFlags, 2u);
    EXPECT_EQ(description.componentFlagsMask, 0u);
    EXPECT_EQ(rig.unit->inputBusCount(), 1u);
    EXPECT_EQ(rig.unit->outputBusCount(), 1u);
    EXPECT_TRUE(rig.unit->canProcessInPlace());
    rig.render(512, 512);
    EXPECT_TRUE(rig.unit->renderResourcesAllocated());
    EXPECT_TRUE(rig.unit->internalBuffers().empty());

    // The tree reads the kernel's values, and formats them.
    EXPECT_EQ(parameterOf(*rig.unit, "centerFrequency").value(), 1000.0f);
    EXPECT_EQ(parameterOf(*rig.unit, "q").value(), 0.707f);
    const float gain = 10.0f;
    EXPECT_EQ(parameterOf(*rig.unit, "gain").stringFromValue(&gain), "10.00");

    // A second unit is independent of the first.
    auto other = makeShelfRig([](std::int64_t) { return 0.0f; });
    parameterOf(*other.unit, "gain").setValue(7.0f);
    EXPECT_EQ(parameterOf(*rig.unit, "gain").value(), 1.0f);
    EXPECT_NE(other.unit->dsp(), rig.unit->dsp());
}

TEST(Peq2Unit, GainTenLiftsTrebleByTwentyDecibelsAndLeavesBassAlone) {
    EXPECT_NEAR(levelChangeDecibels(10000.0, 10.0f), 20.0, 0.5);
    EXPECT_NEAR(levelChangeDecibels(100.0, 10.0f), 0.0, 1.0);
    EXPECT_NEAR(levelChangeDecibels(10000.0, 1.0f), 0.0, 0.01);
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
    for (std::uint32_t k = 0; k < 1536; ++k)
        ASSERT_EQ(ramped[1][k], ramped[0][k]) << k;
    ReferenceShelf again(44100);
    for (std::uint32_t n = 0; n < 1024; ++n)
        again.step(input[n], 1000.0f, 1.0f, 0.707f);
    for (std::uint32_t k = 0; k < 1536; ++k)
        ASSERT_EQ(ramped[0][k], again.step(input[1024 + k], 1000.0f, rampValue(1.0f, 6.0f, 881, k), 0.707f))
            << k;
    for (std::uint32_t k = 0; k < 512; ++k) {
        const float frequency = k < 100 ? 1000.0f : rampValue(1000.0f, 3000.0f, 50, k - 100);
        ASSERT_EQ(scheduled[0][k], again.step(input[2560 + k], frequency, 6.0f, 0.707f)) << k;
    }
}

TEST(Peq2Unit, BypassPassesTheInputUnchanged) {
    const std::vector<float> input = testsupport::sine(1024, 9000.0, 44100.0, 0.5);
    auto rig = makeShelfRig([&input](std::int64_t n) { return input[std::size_t(n)]; });
    parameterOf(*rig.unit, "gain").setValue(10.0f);
    rig.unit->setShouldBypassEffect(true);
    const auto bypassed = rig.render(1024, 256);
    EXPECT_EQ(bypassed[0], input);
    EXPECT_EQ(bypassed[1], input);
}

TEST(Peq2Unit, RenderingWithRampsAndEventsAllocatesNothing) {
    auto rig = makeShelfRig([](std::int64_t n) { return float(0.5 * std::sin(0.3 * double(n))); });
    rig.render(512, 256); // the engine's first plan is built outside the trap
    auto buffer = platform::PcmBuffer::make(rig.engine->manualRenderingFormat(), 256);
    testsupport::AllocationTrap::resetCounts();
    platform::setRenderCycleHooks(&testsupport::AllocationTrap::renderCycleBegan,
                                  &testsupport::AllocationTrap::renderCycleEnded);
    for (int cycle = 0; cycle < 40; ++cycle) {
        if (cycle % 5 == 0) parameterOf(*rig.unit, "gain").setValue(float(cycle % 10) + 0.5f);
        if (cycle % 7 == 0) {
            ASSERT_TRUE(
                rig.unit->scheduleParameterRamp(platform::AUEventSampleTimeImmediate + 30, 100, 2, 1.1f));
        }
        if (cycle % 11 == 0) rig.unit->trigger();
        ASSERT_TRUE(rig.engine->renderOffline(256, *buffer));
    }
    platform::setRenderCycleHooks(nullptr, nullptr);
    EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 40u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
