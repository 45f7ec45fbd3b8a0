#include "KernelHarness.h"
#include "KernelNodeRig.h"

#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/Wait.h"

#include "RozezEruEX/CallbackInstrument.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "tests/support/ManualTimers.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kerneltest;

TEST(CallbackInstrument, MessagesScheduledOnTheNodeReachItsCallbackInOrderWithTheirTimes) {
    using Received = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, AUEventSampleTime>;
    std::vector<Received> received; // written by the drains one at a time, read once `count` says so
    std::atomic<std::size_t> count{0};
    auto node =
        std::make_shared<CallbackInstrument>([&](std::uint8_t s, std::uint8_t a, std::uint8_t b, auto t) {
            received.emplace_back(s, a, b, t);
            count = received.size();
        });
    auto engine = offlineToolkitEngine(node);
    renderToolkit(*engine, 512, 512);
    const std::uint8_t noteOn[] = {0x90, 64, 0}, programChange[] = {0xC1, 5}, noteOff[] = {0x80, 64, 3};
    for (auto [offset, bytes] :
         {std::pair{10, std::span<const std::uint8_t>(noteOn)}, {20, programChange}, {300, noteOff}})
        ASSERT_TRUE(
            rozezEruAU(*node).scheduleMIDIEvent(platform::AUEventSampleTimeImmediate + offset, 0, bytes));
    EXPECT_EQ(testsupport::peak(renderToolkit(*engine, 512, 512)[0]), 0.0f);
    ASSERT_TRUE(testsupport::waitUntil([&] { return count == 2; }));
    EXPECT_EQ(received, (std::vector<Received>{{0x90, 64, 0, 522}, {0x80, 64, 3, 812}}));
}

TEST(CallbackInstrument, AFullRingDropsTheNewestAndSaysSoOnceAndGoingAwayEndsTheDeliveries) {
    testsupport::ManualTimerScheduler scheduler;
    auto drainOnce = [&] {
        scheduler.advance(CallbackInstrumentDSP::drainInterval);
        std::atomic<bool> done{false};
        callbackInstrumentQueue().asyncBarrier([&] { done = true; });
        ASSERT_TRUE(testsupport::waitUntil([&] { return done.load(); }));
    };
    std::atomic<int> calls{0}, last{-1};
    std::atomic<bool> release{true}, destroyed{false}, destroyedDuringCall{false};
    auto dsp = std::make_unique<CallbackInstrumentDSP>(scheduler);
    dsp->setCallback([&](std::uint8_t, std::uint8_t data1, std::uint8_t, AUEventSampleTime) {
        last = data1;
        ++calls;
        testsupport::waitUntil([&] { return release.load(); });
        destroyedDuringCall = destroyed.load();
    });
    dsp->init(2, 44100.0);
    KernelHarness harness(*dsp);
    testsupport::ToolkitLogCapture log;
    EventList flood, one;
    for (int n = 0; n < 1100; ++n)
        flood.midi(0, {0x90, std::uint8_t(n % 128), 1});
    for (int round = 0; round < 2; ++round) {
        harness.render(0, 64, flood.head());
        drainOnce();
    }
    EXPECT_EQ(calls, 2 * 1023);
    EXPECT_EQ(last, 1022 % 128) << "the oldest are kept";
    EXPECT_EQ(log.sink.records().size(), 1u);

    // Going away while a drain calls back waits for the call; what came in meanwhile is never delivered.
    release = false;
    one.midi(64, {0x90, 1, 1});
    harness.render(64, 64, one.head());
    scheduler.advance(CallbackInstrumentDSP::drainInterval);
    ASSERT_TRUE(testsupport::waitUntil([&] { return calls == 2 * 1023 + 1; }));
    harness.render(128, 64, flood.head());
    std::thread owner([&] {
        dsp.reset();
        destroyed = true;
    });
    release = true;
    owner.join();
    EXPECT_FALSE(destroyedDuringCall);
    drainOnce();
    EXPECT_EQ(calls, 2 * 1023 + 1);
}
