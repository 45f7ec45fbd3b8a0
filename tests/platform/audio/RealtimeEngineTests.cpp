#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Environment.h"
#include "tests/support/TestDevices.h"

#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace platform;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

std::int64_t sampleTimeOf(const AudioNode& node) {
    auto time = node.lastRenderTime();
    return time ? time->sampleTime() : -1;
}
} // namespace

TEST(RealtimeEngine, NullDeviceAdvancesRenderTimesInRealTime) {
    traptest::ScopedTrapHooks hooks;
    auto owned = nullDevice(48000.0, 256);
    NullAudioDevice* device = owned.get();
    AudioEngine engine(std::move(owned));
    auto sine = makeSine(mono(), 440.0); // resampled 44.1 -> 48 kHz in the main mixer
    ASSERT_TRUE(engine.attach(sine.node));
    ASSERT_TRUE(engine.connect(*sine.node, engine.mainMixerNode(), std::nullopt));
    const auto startedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(device->isRunning());

    ASSERT_TRUE(waitUntil([&] { return sampleTimeOf(*sine.node) >= 2 * 256; }));
    const auto first = *sine.node->lastRenderTime();
    EXPECT_TRUE(first.isHostTimeValid());
    EXPECT_EQ(first.sampleRate(), 48000.0);
    EXPECT_EQ(first.sampleTime() % 256, 0);
    ASSERT_TRUE(waitUntil([&] { return sampleTimeOf(*sine.node) >= first.sampleTime() + 6 * 256; }));
    const auto later = *sine.node->lastRenderTime();
    const auto elapsed = std::chrono::steady_clock::now() - startedAt;
    // Host times follow the sample clock, and the device never runs ahead of real time: a period
    // is rendered at its due time at the earliest.
    const double seconds = double(later.sampleTime() - first.sampleTime()) / 48000.0;
    EXPECT_NEAR(AudioTime::secondsForHostTime(later.hostTime() - first.hostTime()), seconds, 1e-6);
    EXPECT_LE(double(later.sampleTime()) / 48000.0, std::chrono::duration<double>(elapsed).count());
    EXPECT_GE(engine.outputNode().lastRenderTime()->sampleTime(), later.sampleTime());

    engine.pause();
    EXPECT_FALSE(engine.isRunning());
    EXPECT_FALSE(device->isRunning());
    EXPECT_FALSE(sine.node->lastRenderTime());
    const std::int64_t pausedAt = sampleTimeOf(engine.outputNode());
    EXPECT_EQ(pausedAt, -1);
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return sampleTimeOf(*sine.node) >= 0; }));
    EXPECT_GT(sampleTimeOf(*sine.node), later.sampleTime()); // the timeline went on

    engine.stop();
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return sampleTimeOf(*sine.node) >= 0; }));
    EXPECT_LT(sampleTimeOf(*sine.node), later.sampleTime()); // a stop restarts it
    engine.stop();

    EXPECT_GT(testsupport::AllocationTrap::renderCycles(), 8u);
    traptest::expectNoRenderAllocations();
}

TEST(RealtimeEngine, GraphEditsWhileRunningAreRaceFree) {
    traptest::ScopedTrapHooks hooks;
    auto owned = nullDevice(48000.0, 128);
    NullAudioDevice* device = owned.get();
    AudioEngine engine(std::move(owned));
    MixerNode& mixer = engine.mainMixerNode();
    auto first = makeSine(stereo(48000), 440.0);
    auto second = makeSine(mono(44100), 660.0);
    ASSERT_TRUE(engine.attach(first.node));
    ASSERT_TRUE(engine.attach(second.node));
    ASSERT_TRUE(engine.connect(*first.node, mixer, 0, 0, std::nullopt));
    ASSERT_TRUE(engine.start());

    // Eight rounds of the eight edits; after every fourth edit the render thread takes two more
    // periods, so the edits meet it in every state of the graph however slow the machine is.
    std::weak_ptr<PassThroughNode> firstEffect;
    for (int edits = 0; edits < 64; ++edits) {
        switch (edits % 8) {
        case 0:
            engine.disconnectNodeInput(mixer, 0);
            break;
        case 1:
            ASSERT_TRUE(engine.connect(*first.node, mixer, 0, 0, std::nullopt));
            break;
        case 2: {
            auto effect = std::make_shared<PassThroughNode>(mono(44100));
            if (edits < 8) firstEffect = effect;
            ASSERT_TRUE(engine.attach(effect));
            ASSERT_TRUE(engine.connect(*second.node, *effect, 0, 0, std::nullopt));
            ASSERT_TRUE(engine.connect(*effect, mixer, 0, 1, std::nullopt));
            break;
        }
        case 4:
            engine.reset();
            break;
        case 7:
            if (auto point = engine.inputConnectionPoint(mixer, 1)) engine.detach(*point->node);
            break;
        default:
            mixer.setInputVolume(0, float(edits % 3) * 0.5f);
            break;
        }
        if (edits % 4 == 3) {
            const std::uint64_t at = device->periodsRendered();
            ASSERT_TRUE(waitUntil([&] { return device->periodsRendered() >= at + 2; }));
        } else {
            std::this_thread::yield();
        }
    }
    EXPECT_GT(first.renders->load(), 0);
    EXPECT_GT(second.renders->load(), 0);
    ASSERT_TRUE(engine.isRunning());
    engine.stop();
    // Detached nodes were released once the render thread let go of their plans.
    EXPECT_TRUE(firstEffect.expired());

    EXPECT_GE(testsupport::AllocationTrap::renderCycles(), 8u);
    traptest::expectNoRenderAllocations();
}

TEST(RealtimeEngine, DeviceFailuresAndDeviceChanges) {
    AudioEngine refused(std::make_unique<RefusingDevice>("device is gone"));
    auto sine = makeSine(stereo(), 440.0);
    ASSERT_TRUE(refused.attach(sine.node));
    ASSERT_TRUE(refused.connect(*sine.node, refused.mainMixerNode(), std::nullopt));
    auto started = refused.start();
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().message, "device is gone");
    EXPECT_FALSE(refused.isRunning());
    EXPECT_FALSE(sine.node->lastRenderTime());

    // Switching a running engine to another device moves the render thread there.
    auto firstOwned = nullDevice(48000.0, 128);
    NullAudioDevice* firstDevice = firstOwned.get();
    AudioEngine engine(std::move(firstOwned));
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return firstDevice->periodsRendered() > 0; }));
    EXPECT_FALSE(engine.setOutputDevice(nullptr));
    auto secondOwned = nullDevice(44100.0, 128);
    NullAudioDevice* secondDevice = secondOwned.get();
    ASSERT_TRUE(engine.setOutputDevice(std::move(secondOwned)));
    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(engine.outputNode().outputFormat(0).sampleRate(), 44100.0);
    ASSERT_TRUE(waitUntil([&] { return secondDevice->periodsRendered() > 2; }));
    EXPECT_EQ(engine.outputNode().lastRenderTime()->sampleRate(), 44100.0);
    // A device that cannot start leaves the engine stopped, not half running.
    EXPECT_FALSE(engine.setOutputDevice(std::make_unique<RefusingDevice>()));
    EXPECT_FALSE(engine.isRunning());
}

TEST(RealtimeEngine, EnvironmentForcesTheNullDevice) {
    ScopedEnvironment environment(audioDeviceEnvironmentVariable, "null");
    AudioEngine engine;
    EXPECT_EQ(engine.outputDevice().name(), "Null Audio Device");
    EXPECT_EQ(engine.outputDeviceID(), 0u);
}
