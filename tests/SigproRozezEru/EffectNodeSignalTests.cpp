#include "SigproNodeRig.h"

#include "RozezEru/Internals/Table.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/KernelLog.h"
#include "SigproRozezEru/Effects/AmplitudeEnvelope.h"
#include "SigproRozezEru/Effects/AutoPanner.h"
#include "SigproRozezEru/Effects/AutoWah.h"
#include "SigproRozezEru/Effects/Balancer.h"
#include "SigproRozezEru/Effects/Convolution.h"
#include "SigproRozezEru/Effects/CostelloReverb.h"
#include "SigproRozezEru/Effects/DynamicRangeCompressor.h"
#include "SigproRozezEru/Effects/MoogLadder.h"
#include "SigproRozezEru/Effects/Panner.h"
#include "SigproRozezEru/Effects/Phaser.h"
#include "SigproRozezEru/Effects/PitchShifter.h"
#include "SigproRozezEru/Effects/Tremolo.h"
#include "SigproRozezEru/Effects/VariableDelay.h"
#include "SigproRozezEru/Effects/ZitaReverb.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/RenderCycleTrap.h"
#include "tests/support/Signals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace rozezeru;
using namespace sigpronodetest;
using testsupport::Channels;

namespace {

using testsupport::samplesNode;

platform::Url impulseFile(const testsupport::TemporaryFolder& folder, const std::string& name,
                          const Channels& channels, int rate = 44100) {
    const std::string path = folder.file(name);
    EXPECT_TRUE(testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, rate));
    return platform::Url::fileURLWithPath(path);
}

// A channel of `frames` samples, 1 at `at` and 0 elsewhere.
std::vector<float> impulseAt(std::size_t at, std::size_t frames) {
    std::vector<float> samples(frames, 0.0f);
    samples[at] = 1.0f;
    return samples;
}

std::size_t loudestFrame(const std::vector<float>& samples) {
    return std::size_t(std::max_element(samples.begin(), samples.end(),
                                        [](float a, float b) { return std::abs(a) < std::abs(b); }) -
                       samples.begin());
}

} // namespace

// The kernel tests own the convolution itself; here the node reads its responses and delays by a partition.
TEST(Convolution, ResponsesGiveTheirFirstTwoChannelsAtTheEngineRate) {
    testsupport::TemporaryFolder folder;
    using Case = std::tuple<const char*, Channels, int, std::size_t, std::size_t>;
    for (const auto& [name, channels, rate, leftFrame, rightFrame] : {
             // The third channel has no slot to go to.
             Case{"three.wav", {impulseAt(0, 64), impulseAt(10, 64), impulseAt(20, 64)}, 44100, 0, 10},
             Case{"mono.wav", {impulseAt(5, 64)}, 44100, 5, 5},
             // 400 frames at 22050 Hz are 800 at 44100 Hz: the impulse moves from frame 100 to 200.
             Case{"half.wav", {impulseAt(100, 400)}, 22050, 200, 200},
         }) {
        SCOPED_TRACE(name);
        testsupport::ToolkitLogCapture capture;
        auto node = std::make_shared<Convolution>(samplesNode({1.0f}),
                                                  impulseFile(folder, name, channels, rate), 256);
        EXPECT_EQ(node->partitionLength(), 256);
        auto engine = offlineToolkitEngine(node);
        const auto output = renderToolkit(*engine, 2048);
        EXPECT_EQ(loudestFrame(output[0]), 256 + leftFrame);
        EXPECT_EQ(loudestFrame(output[1]), 256 + rightFrame);
        EXPECT_TRUE(capture.sink.records().empty()) << "the kernel refuses a third impulse";
    }
}

TEST(Convolution, AMissingFileLeavesItSilentABadPartitionLengthIsRefusedAndReloadsWaitForAStop) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture capture;
    auto node =
        std::make_shared<Convolution>(samplesNode(testsupport::noise(16384, 5, 0.5f)),
                                      platform::Url::fileURLWithPath("/nonexistent/impulse.wav"), 1000);
    EXPECT_EQ(node->partitionLength(), 2048);
    EXPECT_TRUE(node->isStarted());
    EXPECT_EQ(capture.contents("Convolution.cpp", "readAudioFile()"),
              std::vector<std::string>{"Error = Reading impulse file"});
    ASSERT_EQ(capture.contents("Convolution.cpp", "init(_:impulseResponseFileURL:partitionLength:)").size(),
              1u);
    auto engine = offlineToolkitEngine(node);
    for (const auto& channel : renderToolkit(*engine, 4096))
        EXPECT_EQ(testsupport::peak(channel), 0.0f);

    node->setImpulseResponseFileURL(impulseFile(folder, "one.wav", {impulseAt(0, 4)}));
    node->readAudioFile();
    EXPECT_EQ(capture.contents("Convolution.cpp", "readAudioFile()").size(), 2u) << "refused while rendering";
    engine->stop();
    node->readAudioFile();
    ASSERT_NE(engine->startTest(1.0), nullptr);
    EXPECT_GT(testsupport::peak(renderToolkit(*engine, 4096)[1]), 0.01f);
}

TEST(AmplitudeEnvelope, TheGateOpensTheInputToTheSustainLevelAndClosesItAgain) {
    auto node = std::make_shared<AmplitudeEnvelope>(
        std::make_shared<SignalNode>([](std::int64_t) { return 0.5f; }), 0.005f, 0.005f, 0.5f, 0.005f);
    auto engine = offlineToolkitEngine(node);
    EXPECT_EQ(testsupport::peak(renderToolkit(*engine, 2048)[0]), 0.0f);
    node->openGate();
    EXPECT_NEAR(renderToolkit(*engine, 4096)[1].back(), 0.25f, 0.005f);
    node->closeGate();
    EXPECT_LT(std::abs(renderToolkit(*engine, 4096)[0].back()), 0.001f);
}

TEST(VariableDelay, ATimeAboveItsMaximumIsHeldAtTheMaximum) {
    auto node = std::make_shared<VariableDelay>(samplesNode({1.0f}), 0.0f, 0.0f, 0.01f);
    node->time.setWrappedValue(0.1f);
    EXPECT_EQ(node->time.wrappedValue(), 0.01f);
    EXPECT_EQ(VariableDelay::timeDef().range.upperBound, 10.0f);
    auto engine = offlineToolkitEngine(node);
    const auto output = renderToolkit(*engine, 8192);
    EXPECT_EQ(loudestFrame(output[0]), 441u);

    testsupport::ToolkitLogCapture capture;
    VariableDelay refused(samplesNode({1.0f}), 1.0f, 0.0f, -1.0f);
    EXPECT_EQ(refused.time.wrappedValue(), 0.0f);
    EXPECT_EQ(capture.contents("VariableDelay.cpp", "init(_:time:feedback:maximumTime:)").size(), 1u);
}

TEST(KernelReports, JoinTheToolkitsLogOnceTheKernelsAreRegistered) {
    registerSigproRozezEru();
    testsupport::ToolkitLogCapture capture;
    sigpro::kernelLog("setWavetable(_:length:index:)", "refused");
    EXPECT_EQ(capture.contents("EffectNodeSignalTests.cpp", "setWavetable(_:length:index:)"),
              std::vector<std::string>{"refused"});
    rozezeru::Settings::loggingEnabled = false;
    sigpro::kernelLog("setWavetable(_:length:index:)", "not written while logging is off");
    EXPECT_EQ(capture.sink.records().size(), 1u);
}

TEST(Tremolo, ReplacesItsWaveformAndRefusesOnesWithoutSamples) {
    testsupport::ToolkitLogCapture capture;
    const auto noise = samplesNode(testsupport::noise(4096, 9, 0.5f));
    const auto first = std::make_shared<Table>(TableType::square, 256);
    Tremolo node(noise, first);
    EXPECT_EQ(node.getWaveformValues(), first->content());
    std::vector<std::vector<float>> handed;
    node.setWaveformUpdateHandler([&handed](const std::vector<float>& values) { handed.push_back(values); });
    const auto second = std::make_shared<Table>(TableType::triangle, 128);
    node.setWaveform(second);
    node.setWaveform(std::make_shared<Table>(std::vector<float>{}));
    node.setWaveform(nullptr);
    EXPECT_EQ(handed, std::vector<std::vector<float>>{second->content()});
    EXPECT_EQ(node.waveform(), second);
    EXPECT_EQ(capture.contents("EffectWaveform.cpp", "setWaveform(_:)").size(), 2u);

    // An auto-panner given no samples pans with the default shape instead of resting hard left.
    auto panner =
        std::make_shared<AutoPanner>(noise, 10.0f, 1.0f, std::make_shared<Table>(std::vector<float>{}));
    auto engine = offlineToolkitEngine(panner);
    const auto output = renderToolkit(*engine, 4096);
    EXPECT_GT(testsupport::rms(output[1]), 0.3 * testsupport::rms(output[0]));
}

TEST(Balancer, BringsItsInputToTheLevelOfTheComparatorOnItsSecondBus) {
    auto input = samplesNode(testsupport::sine(32768, 440.0, 44100.0, 0.05));
    auto comparator = samplesNode(testsupport::sine(32768, 1000.0, 44100.0, 0.5));
    auto node = std::make_shared<Balancer>(input, comparator);
    EXPECT_EQ(node->connections(), (std::vector<std::shared_ptr<Node>>{input, comparator}));
    EXPECT_TRUE(rozezEruAU(*node).parameterTree()->allParameters().empty());
    auto engine = offlineToolkitEngine(node);
    const auto output = renderToolkit(*engine, 32768);
    EXPECT_NEAR(testsupport::rms(output[0], 16384), 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(testsupport::toneAmplitude(output[0], 44100.0, 440.0, 16384), 0.5, 0.05);
}

TEST(EffectNodeLibrary, TenEffectsAfterAPlayerRenderAFileWithoutAllocatingOnTheRenderThread) {
    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("tone.wav");
    ASSERT_TRUE(testsupport::writeSineFile(path, 2.0, 440.0));
    auto player = std::make_shared<AudioPlayer>();
    std::shared_ptr<Node> chain =
        std::make_shared<MoogLadder>(std::make_shared<Phaser>(std::make_shared<AutoWah>(player)));
    chain = std::make_shared<VariableDelay>(
        std::make_shared<PitchShifter>(std::make_shared<DynamicRangeCompressor>(chain), 3.0f), 0.05f, 0.3f,
        0.5f);
    chain = std::make_shared<ZitaReverb>(
        std::make_shared<Tremolo>(std::make_shared<Panner>(std::make_shared<CostelloReverb>(chain), 0.3f)));
    auto engine = testsupport::offlineToolkitEngine(chain, 0.0);
    ASSERT_TRUE(player->load(path));
    player->play();
    auto buffer = platform::PcmBuffer::make(engine->avEngine().manualRenderingFormat(), 512);
    ASSERT_TRUE(engine->avEngine().renderOffline(512, *buffer)); // the first plan is built outside the trap
    double energy = 0.0;
    {
        testsupport::RenderCycleTrap trap;
        for (int cycle = 0; cycle < 100; ++cycle) {
            ASSERT_TRUE(engine->avEngine().renderOffline(512, *buffer));
            for (std::uint32_t c = 0; c < 2; ++c)
                for (std::uint32_t n = 0; n < 512; ++n)
                    energy += double(buffer->channel(c)[n]) * buffer->channel(c)[n];
        }
        trap.expectNothingAllocated(100);
    }
    EXPECT_TRUE(energy > 1.0 && std::isfinite(energy)) << energy;
    player->stop();
    platform::mainQueue().drain();
}
