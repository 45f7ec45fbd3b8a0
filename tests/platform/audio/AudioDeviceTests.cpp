#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"

#include "platform/audio/AlsaAudioDevice.h"
#include "platform/audio/AlsaDeviceList.h"
#include "platform/audio/MixerNode.h"
#include "tests/support/FakeDeviceList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace platform;
using namespace testsupport;

namespace {

FakeDeviceList fakeStudio() {
    FakeDeviceList list;
    list.addDevice({"Speakers", 0, 2, 73});
    list.addDevice({"Microphone", 1, 0, 74});
    list.addDevice({"Interface", 8, 6, 75});
    list.setDefaultOutputDevice(73);
    return list;
}

} // namespace

TEST(FakeDeviceList, ServesItsDevicesAndFiltersByDirection) {
    FakeDeviceList list = fakeStudio();
    EXPECT_EQ(*list.devices(), (std::vector<std::uint32_t>{73, 74, 75}));
    EXPECT_EQ(*list.deviceName(74), "Microphone");
    EXPECT_EQ(*list.defaultOutputDevice(), 73u);
    EXPECT_FALSE(list.deviceName(99));

    using Infos = std::vector<AudioDeviceInfo>;
    EXPECT_EQ(list.outputDevices().value(), (Infos{{"Speakers", 0, 2, 73}, {"Interface", 8, 6, 75}}));
    EXPECT_EQ(list.inputDevices().value(), (Infos{{"Microphone", 1, 0, 74}, {"Interface", 8, 6, 75}}));

    // An output device for a listed identifier drives an engine.
    auto device = list.makeOutputDevice(75);
    ASSERT_TRUE(device);
    EXPECT_EQ((*device)->deviceID(), 75u);
    EXPECT_EQ((*device)->outputFormat().channelCount(), 6u);
    AudioEngine engine(std::move(device).value());
    EXPECT_EQ(engine.outputDeviceID(), 75u);
    EXPECT_EQ(engine.mainMixerNode().outputFormat(0).channelCount(), 6u);
    auto sine = makeSine(stereo(), 440.0);
    ASSERT_TRUE(engine.attach(sine.node));
    ASSERT_TRUE(engine.connect(*sine.node, engine.mainMixerNode(), std::nullopt));
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(waitUntil([&] { return sine.renders->load() >= 8; }));
    engine.stop();
    EXPECT_FALSE(list.makeOutputDevice(74)); // no outputs
    EXPECT_FALSE(list.makeOutputDevice(99));

    list.setDefaultOutputDevice(74);
    EXPECT_FALSE(list.defaultOutputDevice()); // an input-only device is no default output
}

TEST(FakeDeviceList, EveryQueryCanFail) {
    FakeDeviceList list = fakeStudio();
    list.setFailing(FakeDeviceList::Query::devices, true);
    EXPECT_FALSE(list.devices());
    EXPECT_FALSE(list.allDevices());
    EXPECT_FALSE(list.outputDevices());
    EXPECT_FALSE(list.inputDevices());
    list.setFailing(FakeDeviceList::Query::devices, false);

    // A failing name reads as empty; failing channel counts read as none, dropping the device from
    // the filtered lists but not from the full one.
    list.setFailing(FakeDeviceList::Query::deviceName, true);
    EXPECT_FALSE(list.deviceName(73));
    EXPECT_EQ(list.info(73), (AudioDeviceInfo{"", 0, 2, 73}));
    list.setFailing(FakeDeviceList::Query::deviceName, false);
    list.setFailing(FakeDeviceList::Query::outputChannels, true);
    EXPECT_FALSE(list.outputChannels(73));
    EXPECT_TRUE(list.outputDevices()->empty());
    EXPECT_EQ(list.allDevices()->size(), 3u);
    EXPECT_EQ(list.info(75), (AudioDeviceInfo{"Interface", 8, 0, 75}));
    list.setFailing(FakeDeviceList::Query::outputChannels, false);
    list.setFailing(FakeDeviceList::Query::inputChannels, true);
    EXPECT_FALSE(list.inputChannels(74));
    EXPECT_TRUE(list.inputDevices()->empty());
    EXPECT_EQ(list.outputDevices()->size(), 2u);
    list.setFailing(FakeDeviceList::Query::inputChannels, false);

    list.setFailing(FakeDeviceList::Query::defaultOutputDevice, true);
    EXPECT_FALSE(list.defaultOutputDevice());
    list.setFailing(FakeDeviceList::Query::makeOutputDevice, true);
    EXPECT_FALSE(list.makeOutputDevice(73));
    list.setFailing(FakeDeviceList::Query::makeOutputDevice, false);
    EXPECT_TRUE(list.makeOutputDevice(73));

    list.removeAllDevices();
    EXPECT_TRUE(list.devices()->empty());
    EXPECT_TRUE(list.allDevices()->empty());
}

TEST(AlsaBackEnd, MissingDevicesFailCleanly) {
    AlsaAudioDevice::Request request;
    request.pcmName = "hw:CARD=VantleNoSuchCard,DEV=0";
    auto missing = AlsaAudioDevice::open(request);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("VantleNoSuchCard"), std::string::npos);
    request.pcmName = "no-such-pcm";
    EXPECT_FALSE(AlsaAudioDevice::open(request));

    AlsaDeviceList list;
    EXPECT_FALSE(list.deviceName(12345));
    EXPECT_FALSE(list.outputChannels(12345));
    EXPECT_FALSE(list.makeOutputDevice(12345));
    // Whether "default" exists depends on the machine; either answer must be clean and consistent.
    auto fallback = list.defaultOutputDevice();
    if (fallback) {
        EXPECT_EQ(*fallback, AlsaDeviceList::identifierForName("default"));
    } else {
        EXPECT_FALSE(fallback.error().message.empty());
    }
    // The engine's own choice always ends with a device that can run.
    AudioEngine engine;
    EXPECT_TRUE(engine.outputNode().outputFormat(0).isValid());
    EXPECT_NE(AlsaDeviceList::identifierForName("default"), AlsaDeviceList::identifierForName("null"));
}

TEST(AlsaBackEnd, NullPcmIsListedAndPlays) {
    AlsaDeviceList list;
    auto ids = list.devices();
    ASSERT_TRUE(ids);
    const std::uint32_t nullID = AlsaDeviceList::identifierForName("null");
    if (std::find(ids->begin(), ids->end(), nullID) == ids->end())
        GTEST_SKIP() << "ALSA lists no \"null\" PCM";
    EXPECT_EQ(*list.deviceName(nullID), "null");
    EXPECT_EQ(*list.outputChannels(nullID), 2u); // capped, not a billion
    EXPECT_EQ(*list.inputChannels(nullID), 2u);
    auto outputs = list.outputDevices();
    ASSERT_TRUE(outputs);
    EXPECT_TRUE(std::any_of(outputs->begin(), outputs->end(), [&](auto& d) { return d.deviceID == nullID; }));

    auto made = list.makeOutputDevice(nullID);
    ASSERT_TRUE(made) << made.error().message;
    auto* alsa = dynamic_cast<AlsaAudioDevice*>(made->get());
    ASSERT_NE(alsa, nullptr);
    EXPECT_EQ(alsa->deviceID(), nullID);
    EXPECT_EQ(alsa->outputFormat(), stereo());
    EXPECT_EQ(alsa->sampleType(), AlsaAudioDevice::SampleType::float32);

    // The null PCM takes audio as fast as it comes: a short run renders many periods, and stops at once.
    traptest::ScopedTrapHooks hooks;
    AudioEngine engine(std::move(made).value());
    auto sine = makeSine(stereo(), 440.0);
    ASSERT_TRUE(engine.attach(sine.node));
    ASSERT_TRUE(engine.connect(*sine.node, engine.mainMixerNode(), std::nullopt));
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(waitUntil([&] { return sine.renders->load() >= 20; }));
    EXPECT_FALSE(alsa->hasFailed());
    engine.stop();
    EXPECT_FALSE(alsa->isRunning());
    const int rendered = sine.renders->load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sine.renders->load(), rendered);
    // And it starts again after a stop.
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(waitUntil([&] { return sine.renders->load() >= rendered + 5; }));
    engine.stop();
    EXPECT_GE(testsupport::AllocationTrap::renderCycles(), 25u);
    traptest::expectNoRenderAllocations();
}
