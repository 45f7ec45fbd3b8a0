#include "RozezEru/Internals/AudioEngine.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/DeviceUtils.h"
#include "RozezEru/Internals/MainBundleInfo.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/SourceNode.h"
#include "platform/files/AudioFile.h"
#include "tests/support/FakeDeviceList.h"

#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

using rozezeru::Node;
using rozezeru::Settings;
using testsupport::constantNode;
using testsupport::fastToolkitEngine;
using testsupport::PassThrough;
using testsupport::stereo;
using testsupport::TemporaryFolder;
using testsupport::ToolkitLogCapture;
using testsupport::waitUntil;
using Nodes = std::vector<std::shared_ptr<Node>>;

namespace {

const std::vector<std::string> engineNoOutput{"🛑 Error: Attempt to start engine with no output."};

// Puts the settings' format back after a test that changes it.
struct SettingsRestorer {
    platform::AudioFormat saved = Settings::audioFormat();
    ~SettingsRestorer() { Settings::setAudioFormat(saved); }
};

// A source of 0.5 that can hold its next render until released, and fails from a given frame on.
class GatedSource final : public Node {
public:
    struct Gate {
        std::atomic<bool> holdNext{false}, held{false}, release{false};
        std::atomic<std::int64_t> failFrom{std::numeric_limits<std::int64_t>::max()};
        std::atomic<std::int64_t> rendered{0};
    };

    GatedSource()
        : node_(std::make_shared<platform::SourceNode>(
              stereo(), [gate = gate](const platform::AudioTime&, std::uint32_t frames,
                                      platform::AudioBufferList& out) {
                  if (gate->holdNext.exchange(false)) {
                      gate->held = true;
                      while (!gate->release)
                          std::this_thread::yield();
                  }
                  if (gate->rendered.fetch_add(frames) >= gate->failFrom) return false;
                  for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                      std::fill_n(out.floatData(c), frames, 0.5f);
                  return true;
              })) {}

    Nodes connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return node_; }

    const std::shared_ptr<Gate> gate = std::make_shared<Gate>();

private:
    std::shared_ptr<platform::SourceNode> node_;
};

} // namespace

TEST(ToolkitAudioEngine, WithoutAnOutputItStartsNothingAndSaysSo) {
    ToolkitLogCapture capture;
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    EXPECT_EQ(engine.maximumFrameCount(), 1024u);
    EXPECT_EQ(engine.connectionTreeText(), "RozezEru | mainMixerNode is nil");
    EXPECT_TRUE(engine.start());
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "start()"), engineNoOutput);
    engine.attachMainMixer();
    EXPECT_EQ(engine.connectionTreeText(), "RozezEru | ↳Mixer(\"RozezEru Engine Mixer\")");
}

TEST(ToolkitAudioEngine, OutputGoesThroughTheMainMixerToThePlatformOutputAndPlays) {
    auto engine = fastToolkitEngine();
    auto source = constantNode();
    auto effect = std::make_shared<PassThrough>(Nodes{source});
    engine->setOutput(effect);
    const auto& mixer = engine->mainMixerNode();
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->inputs(), Nodes{effect});
    auto& av = engine->avEngine();
    EXPECT_EQ(av.inputConnectionPoint(av.outputNode(), 0)->node, mixer->avAudioNode().get());
    EXPECT_EQ(mixer->avAudioNode()->outputFormat(0), Settings::audioFormat());
    EXPECT_EQ(engine->connectionTreeText(), "RozezEru | ↳Mixer(\"RozezEru Engine Mixer\")\n"
                                            "RozezEru |  ↳PassThrough\n"
                                            "RozezEru |   ↳SignalNode");
    EXPECT_FALSE(engine->isRunning()) << "wiring does not start it";
    ASSERT_TRUE(engine->start());
    EXPECT_TRUE(waitUntil([&] { return source->renders() > 10; }));
    engine->pause();
    EXPECT_FALSE(engine->isRunning());
    ASSERT_TRUE(engine->start());
    engine->stop();
    EXPECT_FALSE(engine->isRunning());
}

TEST(ToolkitAudioEngine, RewiringKeepsTheRunningStateAndOneEntryPerOutput) {
    ToolkitLogCapture capture;
    auto engine = fastToolkitEngine();
    auto first = constantNode();
    engine->setOutput(first);
    ASSERT_TRUE(engine->start());
    const auto mixer = engine->mainMixerNode();
    engine->setOutput(first);
    engine->rewireOutput();
    EXPECT_EQ(mixer->inputs(), Nodes{first});
    const int rendersBefore = first->renders();
    EXPECT_TRUE(waitUntil([&] { return first->renders() > rendersBefore + 10; })) << "still running";

    // A new output replaces the old one, which leaves the engine.
    auto second = constantNode();
    engine->setOutput(second);
    EXPECT_EQ(std::pair(engine->mainMixerNode(), mixer->inputs()), std::pair(mixer, Nodes{second}));
    EXPECT_FALSE(engine->avEngine().isAttached(*first->avAudioNode()));
    EXPECT_TRUE(engine->isRunning());

    // No output on a running engine: the old one goes, the mixer stays, the engine stops.
    engine->setOutput(nullptr);
    EXPECT_EQ(std::pair(engine->mainMixerNode(), mixer->inputs().empty()), std::pair(mixer, true));
    EXPECT_FALSE(engine->avEngine().isAttached(*second->avAudioNode()));
    EXPECT_FALSE(engine->isRunning());
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "start()"), engineNoOutput);
}

TEST(ToolkitAudioEngine, RebuildsTheMainMixerWhenTheSampleRateChanged) {
    ToolkitLogCapture capture;
    SettingsRestorer restorer;
    auto engine = fastToolkitEngine();
    auto source = constantNode();
    engine->setOutput(source);
    const auto oldMixer = engine->mainMixerNode();
    Settings::setSampleRate(48000.0);
    engine->setOutput(source);
    engine->setOutput(source); // the same rate again: no new mixer
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "output"),
              std::vector<std::string>{"Sample Rate has changed, creating new mainMixerNode at 48000.0"});
    const auto& newMixer = engine->mainMixerNode();
    ASSERT_NE(newMixer, oldMixer);
    EXPECT_EQ(std::pair(engine->avEngine().isAttached(*oldMixer->avAudioNode()), oldMixer->inputs().size()),
              std::pair(false, std::size_t(0)));
    EXPECT_EQ(std::pair(newMixer->avAudioNode()->outputFormat(0).sampleRate(), newMixer->inputs()),
              std::pair(48000.0, Nodes{source}));
}

TEST(ToolkitAudioEngine, ConnectsTheMicrophoneOnceAndOnlyWithAUsageDescription) {
    ToolkitLogCapture capture;
    auto engine = fastToolkitEngine();
    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", std::nullopt);
    EXPECT_EQ(engine->input(), nullptr);
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    EXPECT_EQ(
        capture.contents("AudioEngine.cpp", "input"),
        std::vector<std::string>{
            "To use the microphone, you must include the NSMicrophoneUsageDescription in your Info.plist"});

    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", "To sing along.");
    const auto input = engine->input();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(std::pair(input->name(), input->isNotConnected),
              std::pair(rozezeru::MemoryAddress::addressString(input.get()), false));
    auto& av = engine->avEngine();
    EXPECT_EQ(av.inputConnectionPoint(*input->avAudioNode(), 0)->node, &av.inputNode());
    EXPECT_EQ(engine->input(), input) << "connected once";
    EXPECT_EQ(av.outputConnectionPoints(av.inputNode(), 0).size(), 1u);
    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", std::nullopt);

    rozezeru::AudioEngine offline(std::make_unique<platform::NullAudioDevice>());
    ASSERT_TRUE(offline.avEngine().enableManualRenderingMode(stereo(), 512));
    EXPECT_NE(offline.input(), nullptr) << "offline, no description is needed";
}

TEST(ToolkitAudioEngine, RendersExactlyTheFramesOfTheDurationOffline) {
    SettingsRestorer restorer;
    for (double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        Settings::setSampleRate(rate);
        rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
        engine.setOutput(constantNode(0.25f));
        auto first = engine.startTest(0.5);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(std::pair(first->frameCapacity(), first->frameLength()),
                  std::pair(std::uint32_t(rate / 2), 0u));
        auto rendered = engine.render(0.5);
        ASSERT_EQ(rendered->frameLength(), std::uint32_t(rate * 0.5));
        EXPECT_EQ(rozezeru::toFloatChannelData(*rendered),
                  std::vector(2, std::vector<float>(std::size_t(rate / 2), 0.25f)));
        // A duration that is not a whole number of frames renders its integer part, after the last.
        EXPECT_EQ(engine.render(0.01001)->frameLength(), std::uint32_t(rate * 0.01001));
        EXPECT_EQ(engine.avEngine().manualRenderingSampleTime(),
                  std::int64_t(rate * 0.5) + std::int64_t(rate * 0.01001));
    }
}

TEST(ToolkitAudioEngine, OfflineFailuresAreLoggedAndReturnWhatThereIs) {
    ToolkitLogCapture capture;
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    // No output: start() only logs, so the render finds the engine not running.
    ASSERT_EQ(engine.startTest(0.1)->frameCapacity(), 4410u);
    EXPECT_EQ(engine.render(0.1)->frameLength(), 0u);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "start()"), engineNoOutput);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "render(duration:)"),
              std::vector<std::string>{"🛑 Could not render offline The engine is not running"});
    // Durations that make no buffer.
    capture.sink.clear();
    EXPECT_EQ(engine.startTest(-1.0), nullptr);
    EXPECT_EQ(engine.render(std::nan("")), nullptr);
    EXPECT_EQ(std::pair(capture.contents("AudioEngine.cpp", "startTest(totalDuration:)").size(),
                        capture.contents("AudioEngine.cpp", "render(duration:)").size()),
              std::pair(std::size_t(1), std::size_t(1)));

    // A running engine is taken into offline rendering.
    auto playing = fastToolkitEngine();
    playing->setOutput(constantNode(0.5f));
    ASSERT_TRUE(playing->start());
    ASSERT_NE(playing->startTest(0.01), nullptr);
    auto offline = playing->render(0.01);
    EXPECT_EQ(std::pair(offline->frameLength(), offline->channel(0)[440]), std::pair(441u, 0.5f));
}

TEST(ToolkitAudioEngine, OfflineRenderingStopsAtAFailedSliceAndGivesUpOnAnotherThreadsRender) {
    ToolkitLogCapture capture;
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    auto source = std::make_shared<GatedSource>();
    engine.setOutput(source);
    ASSERT_NE(engine.startTest(1.0), nullptr);

    // A failed slice is no audio: what came before it is returned.
    source->gate->failFrom = 1024;
    EXPECT_EQ(engine.render(0.1)->frameLength(), 1024u);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "render(duration:)"),
              std::vector<std::string>{"🛑 Could not render offline a node failed to render"});

    // While another thread's render does not end, the call tries a while, then returns and says so.
    capture.sink.clear();
    source->gate->failFrom = std::numeric_limits<std::int64_t>::max();
    source->gate->holdNext = true;
    std::thread other([&] {
        auto buffer = platform::PcmBuffer::make(engine.avEngine().manualRenderingFormat(), 512);
        (void)engine.avEngine().renderOffline(512, *buffer);
    });
    ASSERT_TRUE(waitUntil([&] { return source->gate->held.load(); }));
    auto rendering = std::async(std::launch::async, [&] { return engine.render(0.05); });
    const bool returned = rendering.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    source->gate->release = true;
    other.join();
    EXPECT_TRUE(returned) << "still waiting for the other render";
    EXPECT_EQ(rendering.get()->frameLength(), 0u);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "render(duration:)"),
              std::vector<std::string>{"🛑 Could not render offline another render is under way"});
    // Once the other render is over, rendering goes on.
    EXPECT_EQ(engine.render(0.01)->channel(0)[0], 0.5f);
}

// The slicing, progress and failures of rendering to a file are the render-to-file tests' own.
TEST(ToolkitAudioEngine, RendersIntoAFileAndLeavesOfflineRendering) {
    const TemporaryFolder folder;
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    engine.setOutput(constantNode(0.125f));
    platform::AudioFileSettings settings;
    settings.sampleRate = 44100.0;
    settings.numberOfChannels = 2;
    auto file = platform::AudioFile::openForWriting(folder.file("out.wav"), settings);
    ASSERT_TRUE(file);
    bool prerendered = false;
    ASSERT_TRUE(engine.renderToFile(**file, 1024, 0.1, [&] { prerendered = true; }, {}));
    EXPECT_EQ(std::tuple(prerendered, (*file)->length(), engine.avEngine().isInManualRenderingMode()),
              std::tuple(true, std::int64_t(4410), false));
}

TEST(ToolkitAudioEngine, FindsTheFirstAudioUnitOfANameThatLoads) {
    ToolkitLogCapture capture;
    platform::AudioComponentRegistry registry;
    int made = 0;
    const auto make = [&](const platform::AudioComponentDescription& description) {
        ++made;
        return std::make_unique<unittest::GainTestUnit>(description);
    };
    registry.registerComponent(unittest::GainTestUnit::effectDescription(), "Broken Gain", 1,
                               [](const platform::AudioComponentDescription&) { return nullptr; });
    for (std::uint32_t subtype : {unittest::code("gan2"), unittest::code("gan3")})
        registry.registerComponent({unittest::code("aumf"), subtype, unittest::code("Test"), 0, 0},
                                   "Broken Gain", 1, make);
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    auto unit = engine.findAudioUnit("Broken Gain", registry);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(std::pair(unit->auAudioUnit().componentDescription().componentSubType, made),
              std::pair(unittest::code("gan2"), 1));
    EXPECT_EQ(engine.findAudioUnit("Nothing", registry), nullptr);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "findAudioUnit(named:)"),
              (std::vector<std::string>{"🛑 Failed to load Audio Unit named: Broken Gain",
                                        "🛑 Failed to find Audio Unit named: Nothing"}));
}

TEST(ToolkitAudioEngine, ListsDevicesByDirectionAndPlaysThroughTheChosenOne) {
    auto list = std::make_shared<testsupport::FakeDeviceList>();
    list->addDevice({"Microphone", 1, 0, 11});
    list->addDevice({"Speakers", 0, 2, 12});
    list->addDevice({"Interface", 4, 4, 13});
    rozezeru::DeviceUtils::setSystemDeviceList(list);
    const auto names = [](const std::vector<rozezeru::Device>& devices) {
        std::string result;
        for (const auto& device : devices)
            result += device.name() + ";";
        return result;
    };
    EXPECT_EQ(names(rozezeru::AudioEngine::inputDevices()), "Microphone;Interface;");
    EXPECT_EQ(names(rozezeru::AudioEngine::outputDevices()), "Speakers;Interface;");
    EXPECT_EQ(names(rozezeru::AudioEngine::allDevices()), "Microphone;Speakers;Interface;");
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    EXPECT_EQ(engine.device().deviceID(), 0u);
    engine.setDevice(rozezeru::Device(12, *list));
    EXPECT_EQ(engine.device(), rozezeru::Device(12, *list));
    rozezeru::DeviceUtils::setSystemDeviceList(nullptr);
}
