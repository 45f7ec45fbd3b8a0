#include "RozezEru/Internals/AudioEngineDevices.h"
#include "RozezEru/Internals/Device.h"
#include "RozezEru/Internals/DeviceUtils.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/support/FakeDeviceList.h"

#include "tests/support/EngineRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <deque>
#include <gtest/gtest.h>
#include <unordered_set>

using namespace rozezeru;
using platform::LogType;
using testsupport::FakeDeviceList;
using testsupport::ToolkitLogCapture;

namespace {

FakeDeviceList speakersAndMicrophone() {
    FakeDeviceList list;
    list.addDevice({"Speakers", 0, 2, 73});
    list.addDevice({"USB Microphone", 1, 0, 12});
    list.addDevice({"Interface", 8, 6, 40});
    return list;
}

// Answers the device-list query from a script, one answer per call, and the other queries
// from a fake list: lets the two readings of the list disagree or fail on their own.
class ScriptedDeviceList final : public platform::AudioDeviceList {
public:
    std::deque<platform::Result<std::vector<std::uint32_t>>> answers;
    FakeDeviceList others = speakersAndMicrophone();

    platform::Result<std::vector<std::uint32_t>> devices() override {
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    platform::Result<std::string> deviceName(std::uint32_t id) override { return others.deviceName(id); }
    platform::Result<std::uint32_t> inputChannels(std::uint32_t id) override {
        return others.inputChannels(id);
    }
    platform::Result<std::uint32_t> outputChannels(std::uint32_t id) override {
        return others.outputChannels(id);
    }
    platform::Result<std::uint32_t> defaultOutputDevice() override { return others.defaultOutputDevice(); }
    platform::Result<std::unique_ptr<platform::AudioDevice>> makeOutputDevice(std::uint32_t id) override {
        return others.makeOutputDevice(id);
    }
};

platform::Error listError(int code) {
    return platform::Error::make("test", "device list unavailable", code);
}

// Name, input and output channel counts, text.
auto fields(const Device& device) {
    return std::tuple(device.name(), device.inputChannelCount(), device.outputChannelCount(),
                      device.debugDescription());
}

} // namespace

TEST(Device, ValueFieldsTextEqualityAndHash) {
    auto list = speakersAndMicrophone();
    const Device speakers(73, list);
    // The counts present, not absent.
    EXPECT_EQ(fields(speakers),
              std::tuple("Speakers", std::optional(0), std::optional(2), "<Device: Speakers (73)>"));
    const Device named("Speakers", 73);
    EXPECT_EQ(fields(named),
              std::tuple("Speakers", std::optional<int>(), std::optional<int>(), "<Device: Speakers (73)>"));
    // Same name and identifier, but the counts of one are present.
    EXPECT_NE(named, speakers);
    EXPECT_NE(named.hash(), speakers.hash());

    EXPECT_EQ(std::pair(Device(73, list), Device(73, list).hash()), std::pair(speakers, speakers.hash()));
    EXPECT_EQ(Device("Speakers", 73), named);

    // Differing only in the output channel count.
    FakeDeviceList wider;
    wider.addDevice({"Speakers", 0, 6, 73});
    const Device sixChannels(73, wider);
    EXPECT_NE(sixChannels, speakers);
    EXPECT_NE(sixChannels.hash(), speakers.hash());
    EXPECT_NE(Device("Speakers", 74), named);
    EXPECT_NE(Device("Speaker", 73), named);

    std::unordered_set<Device> set{speakers, named, sixChannels, Device(73, list)};
    EXPECT_EQ(set.size(), 3u);
}

TEST(Device, UnreadablePropertiesGiveEmptyNameAndZeroCounts) {
    ToolkitLogCapture capture;
    auto list = speakersAndMicrophone();
    list.setFailing(FakeDeviceList::Query::deviceName, true);
    list.setFailing(FakeDeviceList::Query::inputChannels, true);
    EXPECT_EQ(fields(Device(40, list)),
              std::tuple("", std::optional(0), std::optional(6), "<Device:  (40)>"));

    list.setFailing(FakeDeviceList::Query::outputChannels, true);
    EXPECT_EQ(std::pair(DeviceUtils::outputChannels(40, list),
                        DeviceUtils::channelCount(40, DeviceUtils::Scope::output, list)),
              std::pair(0, 0));
    // An identifier the list does not know fails its queries the same way.
    auto plain = speakersAndMicrophone();
    EXPECT_EQ(std::tuple(DeviceUtils::deviceName(999, plain), DeviceUtils::inputChannels(999, plain),
                         DeviceUtils::channelCount(40, DeviceUtils::Scope::input, plain)),
              std::tuple("", 0, 8));
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST(DeviceUtils, DeviceListAndItsFailures) {
    ToolkitLogCapture capture;
    auto list = speakersAndMicrophone();
    EXPECT_EQ(DeviceUtils::devices(list), (std::vector<AudioDeviceID>{73, 12, 40}));

    // No devices: no message.
    FakeDeviceList empty;
    EXPECT_TRUE(DeviceUtils::devices(empty).empty());
    EXPECT_TRUE(capture.sink.records().empty());

    // A failed count: exactly one message.
    list.setFailing(FakeDeviceList::Query::devices, true);
    EXPECT_TRUE(DeviceUtils::devices(list).empty());
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(std::pair(capture.sink.records()[0].level, capture.sink.records()[0].category),
              std::pair(LogType::info, std::string("general")));
    EXPECT_EQ(capture.contents("DeviceUtils.cpp", "devices()"),
              std::vector<std::string>{"Error 1 from AudioObjectGetPropertyDataSize"});

    // A failed read after a good count.
    capture.sink.clear();
    ScriptedDeviceList scripted;
    scripted.answers = {std::vector<std::uint32_t>{73, 12}, listError(-50)};
    EXPECT_TRUE(DeviceUtils::devices(scripted).empty());
    EXPECT_EQ(capture.contents("DeviceUtils.cpp", "devices()"),
              std::vector<std::string>{"Error -50 from AudioObjectGetPropertyData"});

    // The list read second is the result: a device gone in between leaves no hole, one that came
    // is kept, and identifier 0 never appears.
    capture.sink.clear();
    scripted.answers = {std::vector<std::uint32_t>{73, 12, 40}, std::vector<std::uint32_t>{40, 73}};
    EXPECT_EQ(DeviceUtils::devices(scripted), (std::vector<AudioDeviceID>{40, 73}));
    scripted.answers = {std::vector<std::uint32_t>{73}, std::vector<std::uint32_t>{73, 0, 12}};
    EXPECT_EQ(DeviceUtils::devices(scripted), (std::vector<AudioDeviceID>{73, 12}));
    scripted.answers = {std::vector<std::uint32_t>{73}, std::vector<std::uint32_t>{}};
    EXPECT_TRUE(DeviceUtils::devices(scripted).empty());
    EXPECT_TRUE(scripted.answers.empty());
    EXPECT_TRUE(capture.sink.records().empty());

    // Logging off: the failure is as silent as the rest.
    Settings::loggingEnabled = false;
    EXPECT_TRUE(DeviceUtils::devices(list).empty());
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST(DeviceUtils, SystemDeviceListCanBeReplaced) {
    auto fake = std::make_shared<FakeDeviceList>(speakersAndMicrophone());
    DeviceUtils::setSystemDeviceList(fake);
    EXPECT_EQ(DeviceUtils::devices(), (std::vector<AudioDeviceID>{73, 12, 40}));
    EXPECT_EQ(std::pair(Device(12).name(), DeviceUtils::inputChannels(12)),
              std::pair(std::string("USB Microphone"), 1));
    DeviceUtils::setSystemDeviceList(nullptr);
    EXPECT_NE(&DeviceUtils::systemDeviceList(), fake.get());
}

TEST(EngineDevices, ReadingAndChangingTheOutputDevice) {
    ToolkitLogCapture capture;
    auto list = speakersAndMicrophone();
    platform::AudioEngine engine(testsupport::nullDevice(44100.0, 512));

    // The null device is in no list: identifier 0, and no message.
    EXPECT_EQ(getDevice(engine), 0u);

    ASSERT_TRUE(engine.start());
    setDevice(engine, 73, list);
    EXPECT_EQ(std::tuple(getDevice(engine), engine.outputDevice().name(), engine.isRunning()),
              std::tuple(73u, "Speakers", true));

    // The current device again: kept as it is, not reopened.
    const platform::AudioDevice* current = &engine.outputDevice();
    setDevice(engine, 73, list);
    EXPECT_EQ(&engine.outputDevice(), current);
    EXPECT_TRUE(capture.sink.records().empty());

    // A device without outputs, an unknown one and a failing list: logged, nothing changes.
    setDevice(engine, 12, list);
    setDevice(engine, 999, list);
    list.setFailing(FakeDeviceList::Query::makeOutputDevice, true);
    setDevice(engine, 40, list);
    EXPECT_EQ(&engine.outputDevice(), current);
    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(capture.contents("AudioEngineDevices.cpp", "setDevice(id:)"),
              std::vector<std::string>(3, "setDevice error:  1"));
    for (const auto& record : capture.sink.records())
        EXPECT_EQ(record.level, LogType::info);
    engine.stop();
}

TEST(EngineDevices, IOBufferDurationOfTheOutputDevice) {
    ToolkitLogCapture capture;
    platform::AudioEngine engine(testsupport::nullDevice(48000.0, 256));
    EXPECT_DOUBLE_EQ(Settings::getIOBufferDuration(engine), 256.0 / 48000.0);
    EXPECT_TRUE(capture.sink.records().empty());
}
