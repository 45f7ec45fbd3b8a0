#include "tests/support/KernelHarness.h"
#include "tests/support/ProbeKernels.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEruEX/DSPInterface.h"
#include "RozezEruEX/DSPRegistry.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace rozezeru;

TEST(DSPRegistryDeathTest, LookupsBeforeAnyRegistrationStopTheProgram) {
    // A fresh process per statement, so that nothing has been registered yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(create("tsfx"), "Fatal error: node factory not initialized\\.");
    EXPECT_DEATH(rzGetParameterAddress("ProbeEffectParameterFirst"),
                 "rzGetParameterAddress: Fatal error: parameter map not initialized\\.");
}

TEST(DSPRegistryDeathTest, RegisteringANameTwiceStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    registerProbeKernels();
    EXPECT_DEATH(registerDSP<ProbeEffect>("tsfx", {}), "redundant DSP kernel registration");
    EXPECT_DEATH(addParameter("ProbeEffectParameterSecond", 7), "Parameter already registered\\.");
}

TEST(DSPRegistry, KernelsAreCreatedByCodeAndParametersFoundByIdentifier) {
    registerProbeKernels();
    auto effect = rzCreateDSPByCode(fourCC("tsfx"));
    ASSERT_NE(dynamic_cast<ProbeEffect*>(effect.get()), nullptr);
    EXPECT_EQ(rzInputBusCount(effect.get()), 1);
    EXPECT_FALSE(rzCanProcessInPlace(effect.get()));

    auto twoInputs = create("tsdw");
    ASSERT_NE(dynamic_cast<ProbeTwoInputs*>(twoInputs.get()), nullptr);
    EXPECT_EQ(rzInputBusCount(twoInputs.get()), 2);
    EXPECT_EQ(rzInputBusCount(rzCreateDSPByCode(fourCC("tsgn")).get()), 0);
    EXPECT_TRUE(rzCanProcessInPlace(rzCreateDSPByCode(fourCC("tsip")).get()));
    // Each creation is a kernel of its own.
    EXPECT_NE(rzCreateDSPByCode(fourCC("tsfx")).get(), effect.get());

    EXPECT_EQ((std::vector{rzGetParameterAddress("ProbeEffectParameterFirst"),
                           rzGetParameterAddress("ProbeEffectParameterSecond"),
                           rzGetParameterAddress("ProbeGeneratorParameterSecond")}),
              (std::vector<AUParameterAddress>{0, 1, 1}));
    rzDeleteDSP(std::move(effect));
    rzDeleteDSP(nullptr);
}

TEST(DSPRegistry, UnknownCodesAndIdentifiersFailCleanlyWithTheirMessage) {
    registerProbeKernels();
    testing::internal::CaptureStdout();
    EXPECT_EQ(rzCreateDSPByCode(fourCC("nope")), nullptr);
    // A zero byte ends the name: "ts" is nobody's.
    EXPECT_EQ(rzCreateDSPByCode(fourCC("tsfx") & 0xFFFF00FFu), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unknown DSPBase subclass: nope\nUnknown DSPBase subclass: ts\n");

    // Reported once, and the answer is no kernel's address: not the first parameter.
    testing::internal::CaptureStdout();
    EXPECT_EQ(rzGetParameterAddress("ProbeEffectParameterThird"), unknownParameterAddress);
    EXPECT_EQ(rzGetParameterAddress("ProbeEffectParameterThird"), unknownParameterAddress);
    EXPECT_EQ(rzGetParameterAddress("ProbeEffectParameterFourth"), unknownParameterAddress);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "rzGetParameterAddress: Unknown parameter name: ProbeEffectParameterThird\n"
              "rzGetParameterAddress: Unknown parameter name: ProbeEffectParameterFourth\n");
    auto dsp = create("tsgn");
    rzAllocateRenderResources(dsp.get(), 2, 44100.0);
    rzSetParameterValue(dsp.get(), unknownParameterAddress, 5.0f);
    EXPECT_EQ(rzGetParameterValue(dsp.get(), 0), 0.0f);
    EXPECT_EQ(rzGetParameterValue(dsp.get(), unknownParameterAddress), 0.0f);
}

TEST(DSPInterface, FunctionsForwardToTheKernelAndIgnoreANullOne) {
    registerProbeKernels();
    auto dsp = create("tsfx");
    auto& probe = static_cast<ProbeDSP&>(*dsp);

    // Buffers: the vector grows to the bus index with empty entries.
    platform::AudioBufferList list;
    rzSetBuffer(dsp.get(), &list, 1);
    ASSERT_EQ(probe.internalBufferCount(), 2u);
    EXPECT_EQ(probe.internalBuffer(0), nullptr);
    EXPECT_EQ(probe.internalBuffer(1), &list);
    KernelHarness harness(*dsp); // sets bus 0
    EXPECT_NE(probe.internalBuffer(0), nullptr);
    rzAllocateRenderResources(dsp.get(), 1, 48000.0);
    EXPECT_EQ(std::tuple(probe.initialized(), probe.channels(), probe.rate()), std::tuple(true, 1, 48000.0));

    rzSetParameterValue(dsp.get(), 1, 0.5f);
    EXPECT_EQ(rzGetParameterValue(dsp.get(), 1), 0.5f);
    EXPECT_EQ(probe.ramper(1).changeCounter.load(), 1u); // deferred: initialized
    rzResetDSP(dsp.get());
    EXPECT_EQ(probe.resets, 1);
    const float table[] = {1.0f, 2.0f, 3.0f};
    rzSetWavetable(dsp.get(), table, 3, 2);
    EXPECT_EQ(std::pair(probe.wavetable, probe.wavetableIndex), std::pair(std::vector<float>{1, 2, 3}, 2));
    rzDeallocateRenderResources(dsp.get());
    EXPECT_EQ(std::pair(probe.initialized(), probe.deinits), std::pair(false, 1));

    // Nothing happens to a null kernel, and its render block renders silence as an error.
    rzSetBuffer(nullptr, &list, 0);
    rzAllocateRenderResources(nullptr, 2, 44100.0);
    rzDeallocateRenderResources(nullptr);
    rzResetDSP(nullptr);
    rzSetParameterValue(nullptr, 0, 1.0f);
    rzSetBypass(nullptr, true);
    rzSetWavetable(nullptr, table, 3, 0);
    EXPECT_EQ(std::tuple(rzGetParameterValue(nullptr, 0), rzGetBypass(nullptr), rzInputBusCount(nullptr),
                         rzCanProcessInPlace(nullptr)),
              std::tuple(0.0f, false, 0, false));
    const AUInternalRenderBlock empty = internalRenderBlock(nullptr);
    auto buffer = PcmBuffer::make(stereoFormat(), 8);
    std::fill_n(buffer->channel(0), 8, 1.0f);
    platform::AudioBufferList output = buffer->bufferList(8);
    EXPECT_EQ(empty(AudioTime::withSampleTime(0, 44100.0), 8, 0, output, nullptr, nullptr),
              RenderStatus::error);
    EXPECT_EQ(buffer->channel(0)[7], 0.0f);
}

TEST(DSPInterfaceDeathTest, ARenderForAnOutputBusOtherThanZeroStopsTheProgram) {
    ProbeGenerator dsp;
    dsp.init(2, 44100.0);
    auto buffer = PcmBuffer::make(stereoFormat(), 8);
    platform::AudioBufferList output = buffer->bufferList(8);
    EXPECT_DEATH(
        internalRenderBlock(&dsp)(AudioTime::withSampleTime(0, 44100.0), 8, 1, output, nullptr, nullptr),
        "We don't yet support multiple output busses");
}
