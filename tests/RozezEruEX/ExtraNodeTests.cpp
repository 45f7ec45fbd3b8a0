#include "KernelHarness.h"
#include "KernelNodeRig.h"

#include "RozezEruEX/DryWetMixer.h"
#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/Fader.h"
#include "RozezEruEX/RozezEruAU.h"
#include "RozezEruEX/StereoFieldLimiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kerneltest;
using namespace rozezeru;

TEST(ExtraNodeKernels, FaderLimiterAndMixersComputeTheirChannelsFromTheirSettings) {
    registerExtraNodeKernels();
    EXPECT_EQ(rzGetParameterAddress("FaderParameterMixToMono"), 3u);
    EXPECT_EQ(rzGetParameterAddress("DryWetDualMixerParameterWet"), 1u);
    // Input bus 0 plays 0.8 left and 0.2 right, bus 1 −0.4 and 0.6.
    const ConstantBusInput input({{0.8f, 0.2f}, {-0.4f, 0.6f}});
    using Settings = std::vector<std::pair<AUParameterAddress, float>>;
    for (const auto& [code, settings, left, right] :
         std::vector<std::tuple<const char*, Settings, float, float>>{
             {"fder", {}, 0.8f, 0.2f},
             {"fder", {{0, 0.5f}, {1, 2.0f}}, 0.4f, 0.4f},
             {"fder", {{1, 0.0f}, {2, 1.0f}}, 0.2f, 0.0f}, // flipped: the gains stay with their outputs
             {"fder", {{2, 0.5f}}, 0.8f, 0.2f},            // exactly 0.5 is off
             {"fder", {{3, 0.51f}}, 0.5f, 0.5f},           // mono: the average on both
             {"fder", {{2, 1.0f}, {3, 1.0f}}, 0.5f, 0.5f}, // mono wins over flip
             {"sflm", {}, 0.8f, 0.2f},                     // the kernel starts at amount 0
             {"sflm", {{0, 1.0f}}, 0.5f, 0.5f},
             {"sflm", {{0, 0.5f}}, 0.65f, 0.35f},
             {"dwmx", {}, 0.8f, 0.2f},
             {"dwmx", {{0, 1.0f}}, -0.4f, 0.6f},
             {"dwmx", {{0, 0.25f}}, 0.5f, 0.3f},
             {"dwm2", {}, 0.0f, 0.0f},
             {"dwm2", {{0, 1.0f}, {1, 1.0f}}, 0.4f, 0.8f},
         }) {
        SCOPED_TRACE(code + std::to_string(settings.size()) + " " + std::to_string(left));
        auto dsp = create(code);
        for (const auto& [address, value] : settings)
            dsp->setParameter(address, value, false);
        dsp->init(2, 44100.0);
        KernelHarness harness(*dsp);
        harness.render(0, 64, nullptr, &input);
        for (std::uint32_t n = 0; n < 64; ++n) {
            ASSERT_NEAR(harness.output(0)[n], left, 1e-6f) << n;
            ASSERT_NEAR(harness.output(1)[n], right, 1e-6f) << n;
        }
    }

    // The fader's switches read back as 0 or 1 and, from an event, switch at the event's frame.
    auto fader = create("fder");
    fader->setParameter(2, 0.7f, false);
    EXPECT_EQ(fader->getParameter(2), 1.0f);
    fader->setParameter(2, 0.0f, false);
    fader->init(2, 44100.0);
    KernelHarness harness(*fader);
    EventList flip;
    flip.parameter(10, 2, 1.0f);
    harness.render(0, 20, flip.head(), &input);
    EXPECT_EQ(std::pair(harness.output(0)[9], harness.output(0)[10]), std::pair(0.8f, 0.2f));
    EXPECT_EQ(fader->getParameter(2), 1.0f);
}

TEST(ExtraNodes, TheNodesWriteTheirValuesAndTheFaderKeepsItsGain) {
    auto tone = std::make_shared<ProbeToneNode>();
    tone->first.setWrappedValue(0.8f);
    tone->second.setWrappedValue(0.2f);
    auto fader = std::make_shared<Fader>(tone, 0.5f);
    EXPECT_EQ(std::pair(fader->gain(), fader->leftGain.wrappedValue()), std::pair(0.5f, 0.5f));
    EXPECT_NEAR(fader->dB(), 20.0f * std::log10(0.5f), 1e-5f);
    fader->setDB(-6.0f);
    EXPECT_NEAR(fader->rightGain.wrappedValue(), std::pow(10.0f, -0.3f), 1e-6f);
    EXPECT_NEAR(fader->dB(), -6.0f, 1e-5f);
    fader->setGain(0.0f);
    EXPECT_EQ(fader->dB(), -std::numeric_limits<float>::infinity());

    fader->setGain(1.0f);
    fader->flipStereo.setWrappedValue(true);
    auto limiter = std::make_shared<StereoFieldLimiter>(fader, 0.5f);
    auto engine = offlineToolkitEngine(limiter, 1.0);
    const auto flipped = renderToolkit(*engine, 2048, 512);
    // Flipped to (0.2, 0.8), then narrowed by a half: 0.75 of each channel and 0.25 of the other.
    EXPECT_NEAR(flipped[0].back(), 0.35f, 1e-6f);
    EXPECT_NEAR(flipped[1].back(), 0.65f, 1e-6f);

    const std::vector<AutomationEvent> events{{0.25f, 0.0f, 0.01f}};
    fader->automateGain(events);
    EXPECT_TRUE(fader->leftGain.projectedValue()->renderObserverToken());
    EXPECT_TRUE(fader->rightGain.projectedValue()->renderObserverToken());
    const auto automated = renderToolkit(*engine, 2048, 512);
    EXPECT_NEAR(automated[0].back(), 0.25f * 0.35f, 1e-6f);
    EXPECT_NEAR(automated[1].back(), 0.25f * 0.65f, 1e-6f);
    fader->stopAutomation();
    EXPECT_FALSE(fader->leftGain.projectedValue()->renderObserverToken());
    EXPECT_FALSE(fader->rightGain.projectedValue()->renderObserverToken());
}

TEST(ExtraNodes, DryWetMixersTakeTheFirstInputOnBusZeroAndStartAtTheirAmounts) {
    auto dry = std::make_shared<ProbeToneNode>();
    auto wet = std::make_shared<ProbeToneNode>();
    auto mixer = std::make_shared<DryWetMixer>(dry, wet, 0.25f);
    auto dual = std::make_shared<DryWetDualMixer>(dry, wet, 1.0f, 0.5f);
    EXPECT_EQ(std::pair(mixer->balance.wrappedValue(), dual->dry.wrappedValue()), std::pair(0.25f, 1.0f));
    EXPECT_EQ(dual->wet.wrappedValue(), 0.5f);
    EXPECT_EQ(rzInputBusCount(rozezEruAU(*dual).dsp()), 2);
    EXPECT_EQ(mixer->connections(), (std::vector<std::shared_ptr<Node>>{dry, wet}));

    dry->first.setWrappedValue(1.0f);
    wet->first.setWrappedValue(-1.0f);
    auto engine = offlineToolkitEngine(mixer, 1.0);
    EXPECT_NEAR(renderToolkit(*engine, 2048, 512)[0].back(), 0.5f, 1e-6f);
}
