#include "GainTestUnit.h"
#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

using namespace platform;
using namespace unittest;
using namespace std::chrono_literals;

namespace {

struct ObserverProbe {
    std::atomic<int> pre{0}, post{0};
};

} // namespace

TEST(RealtimeAudioUnit, RenderObserversAndEventsComeAndGoWhileRendering) {
    traptest::ScopedTrapHooks hooks;
    auto ownedDevice = testsupport::nullDevice(48000.0, 128);
    NullAudioDevice* device = ownedDevice.get();
    AudioEngine engine(std::move(ownedDevice));

    const AudioFormat format = unitStereo(48000.0);
    auto ownedUnit = std::make_unique<GainTestUnit>();
    GainTestUnit& unit = *ownedUnit;
    auto node = std::make_shared<AudioUnitNode>(std::move(ownedUnit));
    auto source = testsupport::makeSource(format, [](std::int64_t) { return 1.0f; });
    ASSERT_TRUE(engine.attach(source.node));
    ASSERT_TRUE(engine.attach(node));
    ASSERT_TRUE(engine.connect(*source.node, *node, 0, 0, format));
    ASSERT_TRUE(engine.connect(*node, engine.mainMixerNode(), 0, 0, format));
    ASSERT_TRUE(engine.start());
    ASSERT_FALSE(node->configurationError());

    // A second controlling thread sends MIDI while the main thread schedules ramps and swaps observers.
    const std::array<std::uint8_t, 3> noteOn{0x90, 64, 127};
    std::atomic<bool> stopSending{false};
    std::atomic<int> sent{0}, preCalls{0};
    std::thread sender([&] {
        while (!stopSending.load()) {
            if (unit.scheduleMIDIEvent(AUEventSampleTimeImmediate + 1, 0, noteOn)) sent.fetch_add(1);
            std::this_thread::sleep_for(300us);
        }
    });

    std::vector<std::pair<AudioUnit::RenderObserverToken, std::shared_ptr<ObserverProbe>>> live;
    std::vector<std::weak_ptr<ObserverProbe>> all;
    // After every fourth change the render thread takes two more periods, so the changes meet it
    // however slow the machine is. Failures are asserted once the sender has been joined.
    bool rendering = true;
    for (int iterations = 0; iterations < 48 && rendering; ++iterations) {
        auto probe = std::make_shared<ObserverProbe>();
        const float target = iterations % 2 ? 0.5f : 1.0f;
        const auto token = unit.tokenByAddingRenderObserver(
            [probe, &unit, &preCalls, target](AudioUnitRenderActionFlags flags, const AudioTime&,
                                              AUAudioFrameCount, std::uint32_t) {
                if (flags == AudioUnitRenderAction::preRender) {
                    probe->pre.fetch_add(1);
                    preCalls.fetch_add(1);
                    unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 5, 20, GainTestUnit::gainAddress,
                                               target);
                } else {
                    probe->post.fetch_add(1);
                }
            });
        live.emplace_back(token, probe);
        all.push_back(probe);
        if (live.size() > 3) {
            unit.removeRenderObserver(live.front().first);
            live.erase(live.begin());
        }
        unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 50, 10, GainTestUnit::gainAddress, 0.75f);
        unit.gain().setValue(float(iterations % 4) * 0.25f);
        if (iterations % 4 == 3) {
            const std::uint64_t at = device->periodsRendered();
            rendering = testsupport::waitUntil([&] { return device->periodsRendered() >= at + 2; });
        } else {
            std::this_thread::yield();
        }
    }
    // A busy machine may have held the sender back: wait for its notes to reach the unit.
    const bool notesArrived = rendering && testsupport::waitUntil([&] { return unit.midiCount() > 0; });
    stopSending.store(true);
    sender.join();
    ASSERT_TRUE(rendering);
    EXPECT_TRUE(notesArrived);
    ASSERT_TRUE(engine.isRunning());

    // Once removed, an observer is left out of every cycle that starts afterwards.
    auto last = live.back().second;
    for (const auto& [token, probe] : live)
        unit.removeRenderObserver(token);
    live.clear();
    const std::uint64_t removedAt = device->periodsRendered();
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->periodsRendered() >= removedAt + 2; }));
    const int settled = last->pre.load();
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->periodsRendered() >= removedAt + 5; }));
    EXPECT_EQ(last->pre.load(), settled);
    EXPECT_EQ(last->post.load(), settled);
    engine.stop();
    last.reset();

    // Replaced observer lists are freed once the render thread has left them; the next change frees
    // any it was still in.
    unit.removeRenderObserver(unit.tokenByAddingRenderObserver([](auto...) {}));
    for (const auto& probe : all)
        EXPECT_TRUE(probe.expired());

    EXPECT_GT(preCalls.load(), 0);
    EXPECT_GT(unit.renders.load(), 16);
    EXPECT_GT(sent.load(), 0);
    EXPECT_GE(testsupport::AllocationTrap::renderCycles(), 16u);
    traptest::expectNoRenderAllocations();
}

TEST(RealtimeAudioUnit, ReconfiguringWhileRunningIsRaceFree) {
    traptest::ScopedTrapHooks hooks;
    auto ownedDevice = testsupport::nullDevice(48000.0, 128);
    NullAudioDevice* device = ownedDevice.get();
    AudioEngine engine(std::move(ownedDevice));

    const AudioFormat stereo = unitStereo(48000.0);
    const AudioFormat mono = *AudioFormat::standard(48000.0, 1);
    auto ownedUnit = std::make_unique<GainTestUnit>();
    GainTestUnit& unit = *ownedUnit;
    unit.capabilities.clear();
    auto node = std::make_shared<AudioUnitNode>(std::move(ownedUnit));
    auto source = testsupport::makeSource(stereo, [](std::int64_t) { return 1.0f; });
    ASSERT_TRUE(engine.attach(source.node));
    ASSERT_TRUE(engine.attach(node));
    ASSERT_TRUE(engine.connect(*source.node, *node, 0, 0, stereo));
    ASSERT_TRUE(engine.connect(*node, engine.mainMixerNode(), 0, 0, stereo));
    ASSERT_TRUE(engine.start());

    // Each change of channel count makes the node shut the render thread out of the unit, reallocate
    // it and let it back in; resets do the same.
    constexpr int edits = 24;
    for (int edit = 0; edit < edits; ++edit) {
        const AudioFormat& format = edit % 2 ? stereo : mono;
        ASSERT_TRUE(engine.connect(*source.node, *node, 0, 0, format));
        ASSERT_TRUE(engine.connect(*node, engine.mainMixerNode(), 0, 0, format));
        if (edit % 3 == 0) engine.reset();
        unit.scheduleParameterRamp(AUEventSampleTimeImmediate + 7, 30, GainTestUnit::gainAddress, 0.5f);
        if (edit % 2 == 1) {
            const std::uint64_t at = device->periodsRendered();
            ASSERT_TRUE(testsupport::waitUntil([&] { return device->periodsRendered() >= at + 2; }));
        } else {
            std::this_thread::yield();
        }
    }
    const int rendersBefore = unit.renders.load();
    const std::uint64_t settledAt = device->periodsRendered();
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->periodsRendered() >= settledAt + 3; }));
    engine.stop();

    EXPECT_FALSE(node->configurationError());
    EXPECT_GE(unit.allocations.load(), edits / 2);
    EXPECT_GT(unit.renders.load(), rendersBefore); // it renders again after the last change
    traptest::expectNoRenderAllocations();
}
