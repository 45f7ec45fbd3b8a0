#include "tests/support/TapRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include "RozezEru/Taps/AmplitudeTap.h"
#include "RozezEru/Taps/FFTTap.h"
#include "RozezEru/Taps/RawTaps.h"
#include "RozezEru/Taps/Tap.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace rozezeru;
using namespace testsupport;
using platform::AudioTime;

namespace {

const std::string notAttached = "The tapped node isn't attached to the engine";

TEST(BaseTap, StartStopAndLifetime) {
    ToolkitLogCapture log;
    int calls = 0;
    auto counting = [&calls](const BaseTap::Buffer&, const AudioTime&) { ++calls; };
    auto loose = std::make_shared<RawBufferTap>(rampNode(), 1024, platform::mainQueue(), counting);
    loose->start();
    EXPECT_FALSE(loose->isStarted()); // nothing could be installed
    EXPECT_EQ(log.contents("BaseTap.cpp", "start()"), std::vector<std::string>{notAttached});

    TapRig rig(rampNode());
    auto tap = std::make_shared<RawBufferTap>(rig.node, 1024, platform::mainQueue(), counting);
    tap->start();
    tap->start();
    EXPECT_TRUE(tap->isStarted());
    rig.feed(1024, 2);
    EXPECT_TRUE(platform::mainQueue().drainUntil([&] { return calls == 2; }, 5.0));
    tap->stop();
    EXPECT_EQ(std::pair(tap->isStarted(), rig.taps().isInstalled(0)), std::pair(false, false));

    // Destroyed while started: the platform tap stays, its deliveries find nobody.
    tap->start();
    tap.reset();
    EXPECT_TRUE(rig.taps().isInstalled(0));
    rig.feed(1024, 2);
    platform::mainQueue().drain();
    EXPECT_EQ(calls, 2);
}

TEST(AmplitudeTap, LevelsPerChannel) {
    using enum AnalysisMode;
    using enum StereoMode;
    using Buffer = std::vector<std::vector<float>>;
    for (const auto& [name, monoNode, buffer, analysis, stereoMode, reported] :
         std::vector<std::tuple<const char*, bool, Buffer, AnalysisMode, StereoMode, float>>{
             {"trough outweighs crest", false, {{-1.0f, 0.1f}, {-1.0f, 0.1f}}, peak, center, 1.0f},
             {"rms mean", false, {{0.5f, 0.5f}, {0.0f, 0.0f}}, rms, center, 0.25f},
             {"right of a mono node", true, {{0.0f, 0.75f}}, peak, right, 0.75f},
             {"wider buffer than the node", true, {{0.3f, 0.3f}, {0.9f, 0.9f}}, rms, left, 0.3f},
         }) {
        SCOPED_TRACE(name);
        std::shared_ptr<rozezeru::Node> node =
            monoNode ? std::shared_ptr<rozezeru::Node>(std::make_shared<MonoNode>()) : rampNode();
        auto engine = offlineToolkitEngine(node);
        std::vector<float> reports;
        auto tap = std::make_shared<AmplitudeTap>(node, 2, stereoMode, analysis, platform::mainQueue(),
                                                  [&](float v) { reports.push_back(v); });
        tap->start();
        tap->receiveTapBuffer(pcmBuffer(buffer), AudioTime());
        platform::mainQueue().drain();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_FLOAT_EQ(reports[0], reported);
        tap->stop();
        EXPECT_EQ(tap->amplitude() + tap->leftChannelAmplitude() + tap->rightChannelAmplitude(), 0.0f);
    }
}

TEST(FFTTap, SpectrumSizes) {
    for (const auto& [frames, padding, bins, size] :
         std::vector<std::tuple<std::uint32_t, std::uint32_t, std::optional<FFTValidBinCount>, std::size_t>>{
             {1024, 0, std::nullopt, 512},
             {1024, 1, std::nullopt, 1024},
             {4096, 0, FFTValidBinCount::twoThousandAndFortyEight, 2048},
             {1024, 0, FFTValidBinCount::eightThousandOneHundredAndNintyTwo, 512},
             {1400, 0, std::nullopt, 512}, // fewer transform points than frames
             {4096, 0, FFTValidBinCount::fiveHundredAndTwelve, 512},
         }) {
        auto buffer = pcmBuffer({std::vector<float>(frames, 0.25f)});
        std::optional<FFTSetupForBinCount> setup;
        if (bins) setup.emplace(*bins);
        const auto spectrum = FFTTap::magnitudeSpectrum(*buffer, true, padding, setup);
        EXPECT_EQ(spectrum.size(), size) << frames;
        EXPECT_FLOAT_EQ(*std::max_element(spectrum.begin(), spectrum.end()), 1.0f);
    }
    const auto silent =
        FFTTap::magnitudeSpectrum(*pcmBuffer({std::vector<float>(256, 0.0f)}), true, 0, std::nullopt);
    EXPECT_EQ(silent, std::vector<float>(128, 0.0f));
}

TEST(FFTTap, SineThroughATapPeaksAtItsBin) {
    auto node = samplesNode(sine(8192, 1000.0, 44100.0));
    TapRig rig(node);
    std::vector<float> last;
    auto tap = std::make_shared<FFTTap>(node, 1024, std::nullopt, platform::mainQueue(),
                                        [&](const std::vector<float>& s) { last = s; });
    tap->start();
    rig.feed(1024, 1);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !last.empty(); }, 5.0));
    EXPECT_EQ(std::max_element(last.begin(), last.end()) - last.begin(), 23); // 1000 Hz / (44100 / 1024 Hz)
    tap->stop();
    EXPECT_EQ(tap->fftData(), std::vector<float>(512, 0.0f));

    bool called = false;
    auto empty =
        std::make_shared<FFTTap>(node, 0, std::nullopt, platform::mainQueue(), [&](auto&) { called = true; });
    empty->start();
    empty->receiveTapBuffer(pcmBuffer({{0.5f, 0.5f}}), AudioTime());
    platform::mainQueue().drain();
    EXPECT_FALSE(called);
}

TEST(RawTaps, OnlyDeliveredFramesAreHandedOn) {
    TapRig rig(rampNode());
    std::vector<std::vector<float>> lists;
    auto tap = std::make_shared<RawDataTap>(rig.node, 1024, platform::mainQueue(),
                                            [&](const std::vector<float>& d) { lists.push_back(d); });
    tap->start();
    tap->receiveTapBuffer(pcmBuffer({rampSamples(4096)}), AudioTime());
    tap->receiveTapBuffer(pcmBuffer({rampSamples(512)}, 4096), AudioTime());
    platform::mainQueue().drain();
    ASSERT_EQ(lists.size(), 5u);
    EXPECT_EQ(lists[3], rampSamples(1024, 3072.0f));
    std::vector<float> padded = rampSamples(512);
    padded.resize(1024, 0.0f);
    EXPECT_EQ(lists[4], padded);
    tap->stop();
    EXPECT_EQ(tap->data(), std::vector<float>(1024, 0.0f));

    for (const auto& [frames, capacity, expected] :
         std::vector<std::tuple<std::uint32_t, std::uint32_t, std::vector<float>>>{
             {4096, 4096, rampSamples(1024)},
             {2048, 4096, rampSamples(1024)},
             {300, 300, rampSamples(300)}}) {
        std::vector<float> got;
        RawDataTap2 raw(rig.node, [&](const std::vector<float>& d) { got = d; });
        raw.receive(pcmBuffer({rampSamples(frames)}, capacity), AudioTime());
        EXPECT_EQ(got, expected) << frames;
    }
}

TEST(RawTaps, InstalledTapReceivesTheStreamInOrder) {
    ToolkitLogCapture log;
    auto loose = rampNode();
    install(*loose, std::make_shared<RawDataTap2>(loose, [](auto&) {}), 1024);
    EXPECT_EQ(log.contents("Tap.cpp", "install(tap:bufferSize:)"), std::vector<std::string>{notAttached});

    TapRig rig(rampNode());
    std::mutex mutex;
    std::vector<float> firsts;
    install(*rig.node,
            std::make_shared<RawDataTap2>(rig.node,
                                          [&](const std::vector<float>& d) {
                                              std::lock_guard lock(mutex);
                                              firsts.push_back(d[0]);
                                          }),
            1024);
    rig.feed(1024, 8);
    rig.taps().remove(0); // runs what the strand holds before it returns
    EXPECT_EQ(firsts, (std::vector<float>{0, 1024, 2048, 3072, 4096, 5120, 6144, 7168}));
}

TEST(BaseTap, StartAndStopRaceDeliveries) {
    TapRig rig(rampNode());
    platform::SerialQueue queue("taps");
    std::atomic<int> calls{0};
    auto tap = std::make_shared<AmplitudeTap>(rig.node, 64, StereoMode::center, AnalysisMode::peak, queue,
                                              [&](float) { calls.fetch_add(1); });
    std::atomic<bool> done{false};
    std::thread render([&] {
        while (!done.load())
            renderToolkit(*rig.engine, 512, 512);
    });
    for (int round = 0; round < 10000; ++round) {
        tap->start();
        tap->stop();
    }
    done = true;
    render.join();
    const int atStop = calls.load();
    queue.sync([] {});
    EXPECT_EQ(std::pair(calls.load(), rig.taps().isInstalled(0)), std::pair(atStop, false));
    EXPECT_EQ(tap->amplitude(), 0.0f);
}

} // namespace
