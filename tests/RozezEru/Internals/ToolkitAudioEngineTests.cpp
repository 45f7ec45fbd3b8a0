#include "RozezEru/Internals/AudioEngine.h"

#include "RozezEru/Internals/DeviceUtils.h"
#include "RozezEru/Internals/MainBundleInfo.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioDeviceList.h"
#include "platform/audio/FakeDeviceList.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "../Nodes/NodeTestRig.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using nodetest::ConstantSource;
using nodetest::PassThrough;
using rozezeru::Mixer;
using rozezeru::Node;
using rozezeru::Settings;
using testsupport::ToolkitLogCapture;
using testsupport::toolkitLogContent;

namespace {

// The contents of the records one function of the engine wrote.
std::vector<std::string> engineTestMessages(const platform::CaptureLogSink& sink, const char* function) {
    std::vector<std::string> messages;
    for (const auto& record : sink.records())
        if (auto content = toolkitLogContent(record.text, "AudioEngine.cpp", function))
            messages.push_back(*content);
    return messages;
}

int engineTestCount(const std::vector<std::shared_ptr<Node>>& list, const Node& node) {
    return int(
        std::count_if(list.begin(), list.end(), [&](const auto& element) { return element.get() == &node; }));
}

// Puts the settings' format back after a test that changes it.
struct SettingsRestorer {
    platform::AudioFormat saved = Settings::audioFormat();
    ~SettingsRestorer() { Settings::setAudioFormat(saved); }
};

bool engineTestWaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

const char* const engineNoOutput = "🛑 Error: Attempt to start engine with no output.";

} // namespace

TEST(ToolkitAudioEngine, StartsFreshWithNothingWired) {
    ToolkitLogCapture capture;
    rozezeru::AudioEngine first(std::make_unique<platform::NullAudioDevice>());
    rozezeru::AudioEngine second(std::make_unique<platform::NullAudioDevice>());
    EXPECT_NE(&first.avEngine(), &second.avEngine());
    EXPECT_EQ(first.maximumFrameCount(), 1024u);
    EXPECT_EQ(first.mainMixerNode(), nullptr);
    EXPECT_EQ(first.output(), nullptr);
    EXPECT_EQ(first.connectionTreeText(), "RozezEru | mainMixerNode is nil");

    // No output: a message, no failure, nothing started.
    EXPECT_TRUE(first.start());
    EXPECT_FALSE(first.isRunning());
    EXPECT_EQ(engineTestMessages(capture.sink, "start()"), std::vector<std::string>{engineNoOutput});

    first.attachMainMixer();
    EXPECT_EQ(first.connectionTreeText(), "RozezEru | ↳Mixer(\"RozezEru Engine Mixer\")");
}

TEST(ToolkitAudioEngine, OutputGoesThroughTheMainMixerToThePlatformOutput) {
    auto engine = nodetest::fastToolkitEngine();
    auto source = std::make_shared<ConstantSource>();
    auto effect = std::make_shared<PassThrough>(std::vector<std::shared_ptr<Node>>{source});
    engine->setOutput(effect);

    const auto& mixer = engine->mainMixerNode();
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->name(), "RozezEru Engine Mixer");
    EXPECT_EQ(mixer->inputs(), std::vector<std::shared_ptr<Node>>{effect});
    auto& av = engine->avEngine();
    const auto toOutput = av.inputConnectionPoint(av.outputNode(), 0);
    ASSERT_TRUE(toOutput);
    EXPECT_EQ(toOutput->node, mixer->avAudioNode().get());
    EXPECT_EQ(mixer->avAudioNode()->outputFormat(0), Settings::audioFormat());
    EXPECT_TRUE(av.isAttached(*source->avAudioNode()));
    EXPECT_EQ(engine->connectionTreeText(), "RozezEru | ↳Mixer(\"RozezEru Engine Mixer\")\n"
                                            "RozezEru |  ↳PassThrough\n"
                                            "RozezEru |   ↳ConstantSource");

    // Stopped stays stopped.
    EXPECT_FALSE(engine->isRunning());

    // It plays on the null device.
    ASSERT_TRUE(engine->start());
    EXPECT_TRUE(engine->isRunning());
    EXPECT_TRUE(engineTestWaitFor([&] { return source->renders() > 10; }));
    engine->pause();
    EXPECT_FALSE(engine->isRunning());
    ASSERT_TRUE(engine->start());
    engine->stop();
    EXPECT_FALSE(engine->isRunning());
}

TEST(ToolkitAudioEngine, RewiringKeepsTheRunningStateAndOneEntryPerOutput) {
    ToolkitLogCapture capture;
    auto engine = nodetest::fastToolkitEngine();
    auto first = std::make_shared<ConstantSource>();
    engine->setOutput(first);
    ASSERT_TRUE(engine->start());

    // The same output again, directly and through rewireOutput: one entry, still running.
    engine->setOutput(first);
    EXPECT_EQ(engineTestCount(engine->mainMixerNode()->inputs(), *first), 1);
    EXPECT_TRUE(engine->isRunning());
    engine->rewireOutput();
    EXPECT_EQ(engineTestCount(engine->mainMixerNode()->inputs(), *first), 1);
    EXPECT_TRUE(engine->isRunning());
    const int rendersBefore = first->renders();
    EXPECT_TRUE(engineTestWaitFor([&] { return first->renders() > rendersBefore + 10; }));

    // A new output replaces the old one, which leaves the engine.
    auto second = std::make_shared<ConstantSource>();
    const auto mixer = engine->mainMixerNode();
    engine->setOutput(second);
    EXPECT_EQ(engine->mainMixerNode(), mixer);
    EXPECT_EQ(mixer->inputs(), std::vector<std::shared_ptr<Node>>{second});
    EXPECT_FALSE(engine->avEngine().isAttached(*first->avAudioNode()));
    EXPECT_TRUE(engine->isRunning());

    // No output on a running engine: the old one goes, the mixer stays, the engine stops.
    capture.sink.clear();
    engine->setOutput(nullptr);
    EXPECT_EQ(engine->mainMixerNode(), mixer);
    EXPECT_TRUE(mixer->inputs().empty());
    EXPECT_FALSE(engine->avEngine().isAttached(*second->avAudioNode()));
    EXPECT_FALSE(engine->isRunning());
    EXPECT_EQ(engineTestMessages(capture.sink, "start()"), std::vector<std::string>{engineNoOutput});
}

TEST(ToolkitAudioEngine, RebuildsTheMainMixerWhenTheSampleRateChanged) {
    ToolkitLogCapture capture;
    SettingsRestorer restorer;
    auto engine = nodetest::fastToolkitEngine();
    auto source = std::make_shared<ConstantSource>();
    engine->setOutput(source);
    const auto oldMixer = engine->mainMixerNode();
    EXPECT_TRUE(engineTestMessages(capture.sink, "output").empty());

    Settings::setSampleRate(48000.0);
    engine->setOutput(source);
    EXPECT_EQ(engineTestMessages(capture.sink, "output"),
              std::vector<std::string>{"Sample Rate has changed, creating new mainMixerNode at 48000.0"});
    const auto& newMixer = engine->mainMixerNode();
    ASSERT_NE(newMixer, nullptr);
    EXPECT_NE(newMixer, oldMixer);
    EXPECT_FALSE(engine->avEngine().isAttached(*oldMixer->avAudioNode()));
    EXPECT_TRUE(oldMixer->inputs().empty());
    EXPECT_EQ(newMixer->avAudioNode()->outputFormat(0).sampleRate(), 48000.0);
    EXPECT_EQ(newMixer->inputs(), std::vector<std::shared_ptr<Node>>{source});

    // The same rate again: no new mixer.
    engine->setOutput(source);
    EXPECT_EQ(engine->mainMixerNode(), newMixer);
}

TEST(ToolkitAudioEngine, ConnectsTheMicrophoneOnceAndOnlyWithAUsageDescription) {
    ToolkitLogCapture capture;
    auto engine = nodetest::fastToolkitEngine();
    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", std::nullopt);
    EXPECT_EQ(engine->input(), nullptr);
    const auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, platform::LogType::error);
    EXPECT_EQ(toolkitLogContent(records[0].text, "AudioEngine.cpp", "input"),
              "To use the microphone, you must include the NSMicrophoneUsageDescription in your Info.plist");

    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", "To sing along.");
    const auto input = engine->input();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->name(), rozezeru::MemoryAddress::addressString(input.get()));
    EXPECT_FALSE(input->isNotConnected);
    auto& av = engine->avEngine();
    const auto point = av.inputConnectionPoint(*input->avAudioNode(), 0);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->node, &av.inputNode());
    EXPECT_EQ(engine->input(), input);
    EXPECT_EQ(av.outputConnectionPoints(av.inputNode(), 0).size(), 1u);
    rozezeru::MainBundleInfo::setEntry("NSMicrophoneUsageDescription", std::nullopt);

    // Offline, no description is needed.
    rozezeru::AudioEngine offline(std::make_unique<platform::NullAudioDevice>());
    ASSERT_TRUE(offline.avEngine().enableManualRenderingMode(testsupport::stereo(), 512));
    EXPECT_NE(offline.input(), nullptr);
}

TEST(ToolkitAudioEngine, RendersExactlyTheFramesOfTheDurationOffline) {
    SettingsRestorer restorer;
    for (double rate : {44100.0, 48000.0}) {
        Settings::setSampleRate(rate);
        rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
        engine.setOutput(std::make_shared<ConstantSource>(0.25f));
        auto first = engine.startTest(0.5);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->frameCapacity(), std::uint32_t(rate * 0.5));
        EXPECT_EQ(first->frameLength(), 0u);

        auto rendered = engine.render(0.5);
        ASSERT_NE(rendered, nullptr);
        ASSERT_EQ(rendered->frameLength(), std::uint32_t(rate * 0.5)) << rate;
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < rendered->frameLength(); i += 997)
                ASSERT_EQ(rendered->channel(c)[i], 0.25f) << c << " " << i;

        // A duration that is not a whole number of frames renders its integer part, after the last.
        auto more = engine.render(0.01001);
        ASSERT_NE(more, nullptr);
        EXPECT_EQ(more->frameLength(), std::uint32_t(rate * 0.01001));
        EXPECT_EQ(engine.avEngine().manualRenderingSampleTime(),
                  std::int64_t(rate * 0.5) + std::int64_t(rate * 0.01001));
    }
}

TEST(ToolkitAudioEngine, OfflineFailuresAreLoggedAndReturnWhatThereIs) {
    ToolkitLogCapture capture;
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    // No output: start() only logs, so the render finds the engine not running.
    auto buffer = engine.startTest(0.1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->frameCapacity(), 4410u);
    auto rendered = engine.render(0.1);
    ASSERT_NE(rendered, nullptr);
    EXPECT_EQ(rendered->frameLength(), 0u);
    EXPECT_EQ(engineTestMessages(capture.sink, "start()"), std::vector<std::string>{engineNoOutput});
    EXPECT_EQ(engineTestMessages(capture.sink, "render(duration:)"),
              std::vector<std::string>{"🛑 Could not render offline The engine is not running"});

    // Durations that make no buffer.
    capture.sink.clear();
    EXPECT_EQ(engine.startTest(-1.0), nullptr);
    EXPECT_EQ(engine.render(std::nan("")), nullptr);
    EXPECT_EQ(engineTestMessages(capture.sink, "startTest(totalDuration:)").size(), 1u);
    EXPECT_EQ(engineTestMessages(capture.sink, "render(duration:)").size(), 1u);

    // A running engine is taken into offline rendering.
    auto playing = nodetest::fastToolkitEngine();
    playing->setOutput(std::make_shared<ConstantSource>(0.5f));
    ASSERT_TRUE(playing->start());
    ASSERT_NE(playing->startTest(0.01), nullptr);
    auto offline = playing->render(0.01);
    ASSERT_NE(offline, nullptr);
    EXPECT_EQ(offline->frameLength(), 441u);
    EXPECT_EQ(offline->channel(0)[440], 0.5f);
}

TEST(ToolkitAudioEngine, RendersIntoAFile) {
    const testsupport::TemporaryFolder temporary;
    const std::string& folder = temporary.path;
    {
        rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
        engine.setOutput(std::make_shared<ConstantSource>(0.125f));
        platform::AudioFileSettings settings;
        settings.sampleRate = 44100.0;
        settings.numberOfChannels = 2;
        settings.linearPCMBitDepth = 32;
        settings.linearPCMIsFloat = true;
        settings.fileType = platform::AudioFileType::wave;
        auto file = platform::AudioFile::openForWriting(folder + "/out.wav", settings);
        ASSERT_TRUE(file);
        int progressCalls = 0;
        bool prerendered = false;
        ASSERT_TRUE(engine.renderToFile(
            **file, 1024, 0.1, [&] { prerendered = true; }, [&](double) { ++progressCalls; }));
        EXPECT_TRUE(prerendered);
        EXPECT_EQ(progressCalls, 5);
        EXPECT_EQ((*file)->length(), 4410);
        EXPECT_FALSE(engine.avEngine().isInManualRenderingMode());

        auto failed = engine.renderToFile(**file, 1024, -1.0);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().message, "Seconds needs to be a positive value");
    }
}

TEST(ToolkitAudioEngine, FindsAudioUnitsByName) {
    ToolkitLogCapture capture;
    platform::AudioComponentRegistry registry;
    int made = 0;
    registry.registerComponent(unittest::GainTestUnit::effectDescription(), "Broken Gain", 1,
                               [](const platform::AudioComponentDescription&) { return nullptr; });
    registry.registerComponent({unittest::code("aumf"), unittest::code("gan2"), unittest::code("Test"), 0, 0},
                               "Broken Gain", 1, [&](const platform::AudioComponentDescription& description) {
                                   ++made;
                                   return std::make_unique<unittest::GainTestUnit>(description);
                               });
    registry.registerComponent({unittest::code("aumf"), unittest::code("gan3"), unittest::code("Test"), 0, 0},
                               "Broken Gain", 1, [&](const platform::AudioComponentDescription& description) {
                                   ++made;
                                   return std::make_unique<unittest::GainTestUnit>(description);
                               });
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());

    auto unit = engine.findAudioUnit("Broken Gain", registry);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->auAudioUnit().componentDescription().componentSubType, unittest::code("gan2"));
    EXPECT_EQ(made, 1);
    EXPECT_EQ(engineTestMessages(capture.sink, "findAudioUnit(named:)"),
              std::vector<std::string>{"🛑 Failed to load Audio Unit named: Broken Gain"});

    capture.sink.clear();
    EXPECT_EQ(engine.findAudioUnit("Nothing", registry), nullptr);
    EXPECT_EQ(engineTestMessages(capture.sink, "findAudioUnit(named:)"),
              std::vector<std::string>{"🛑 Failed to find Audio Unit named: Nothing"});
}

TEST(ToolkitAudioEngine, ListsDevicesAndPlaysThroughTheChosenOne) {
    auto list = std::make_shared<platform::FakeDeviceList>();
    list->addDevice({"Microphone", 1, 0, 11});
    list->addDevice({"Speakers", 0, 2, 12});
    list->addDevice({"Interface", 4, 4, 13});
    rozezeru::DeviceUtils::setSystemDeviceList(list);

    auto names = [](const std::vector<rozezeru::Device>& devices) {
        std::vector<std::string> result;
        for (const auto& device : devices)
            result.push_back(device.name());
        return result;
    };
    EXPECT_EQ(names(rozezeru::AudioEngine::inputDevices()),
              (std::vector<std::string>{"Microphone", "Interface"}));
    EXPECT_EQ(names(rozezeru::AudioEngine::outputDevices()),
              (std::vector<std::string>{"Speakers", "Interface"}));
    EXPECT_EQ(names(rozezeru::AudioEngine::allDevices()),
              (std::vector<std::string>{"Microphone", "Speakers", "Interface"}));
    EXPECT_EQ(rozezeru::AudioEngine::allDevices()[2].inputChannelCount(), 4);

    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    EXPECT_EQ(engine.device().deviceID(), 0u);
    engine.setDevice(rozezeru::Device(12, *list));
    EXPECT_EQ(engine.device(), rozezeru::Device(12, *list));
    EXPECT_EQ(engine.device().name(), "Speakers");

    rozezeru::DeviceUtils::setSystemDeviceList(nullptr);
}
