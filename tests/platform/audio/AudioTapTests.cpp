#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"

#include "platform/audio/MixerNode.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace platform;
using namespace testsupport;

namespace {

struct Received {
    std::mutex mutex;
    std::vector<std::vector<float>> channels{2};
    std::vector<std::int64_t> times;
};

AudioTapBlock recorder(Received& into) {
    return [&into](std::shared_ptr<PcmBuffer> buffer, const AudioTime& when) {
        std::lock_guard lock(into.mutex);
        for (std::uint32_t c = 0; c < 2; ++c)
            into.channels[c].insert(into.channels[c].end(), buffer->channel(c),
                                    buffer->channel(c) + buffer->frameLength());
        into.times.push_back(when.sampleTime());
    };
}

struct TappedEngine {
    std::unique_ptr<AudioEngine> engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    CountingSource source =
        makeSource(stereo(), [](std::int64_t n) { return float(n % 9973) / 9973.0f - 0.5f; });
    TappedEngine() {
        EXPECT_TRUE(engine->enableManualRenderingMode(stereo(), 1024));
        EXPECT_TRUE(engine->attach(source.node));
        EXPECT_TRUE(engine->connect(*source.node, engine->mainMixerNode(), 0, 0, std::nullopt));
        EXPECT_TRUE(engine->start());
    }
};

TEST(AudioTap, DeliversConsecutiveBuffersWithTheirSampleTimes) {
    for (std::uint32_t size : {512u, 4096u}) {
        SCOPED_TRACE(size);
        TappedEngine rig;
        Received received;
        ASSERT_TRUE(rig.source.node->taps().install(0, size, stereo(), recorder(received)));
        const auto out = renderOfflineFrames(*rig.engine, 3 * size + 100, 512);
        ASSERT_TRUE(waitUntil([&] { return rig.source.node->taps().deliveredBuffers(0) == 3; }));
        rig.source.node->taps().remove(0);
        std::lock_guard lock(received.mutex);
        EXPECT_EQ(received.times, (std::vector<std::int64_t>{0, size, 2 * std::int64_t(size)}));
        for (std::uint32_t c = 0; c < 2; ++c)
            EXPECT_EQ(received.channels[c], std::vector<float>(out[c].begin(), out[c].begin() + 3 * size));
    }
}

TEST(AudioTap, OneTapPerBusAndRemovalFromItsOwnBlock) {
    TappedEngine rig;
    AudioNodeTaps& taps = rig.source.node->taps();
    std::atomic<int> calls{0};
    ASSERT_TRUE(taps.install(0, 256, stereo(), [&](std::shared_ptr<PcmBuffer>, const AudioTime&) {
        calls.fetch_add(1);
        taps.remove(0);
    }));
    EXPECT_FALSE(taps.install(0, 256, stereo(), [](std::shared_ptr<PcmBuffer>, const AudioTime&) {}));
    EXPECT_FALSE(taps.install(AudioNodeTaps::maxBusses, 256, stereo(), [](auto, const AudioTime&) {}));
    renderOfflineFrames(*rig.engine, 256, 256);
    ASSERT_TRUE(waitUntil([&] { return !taps.isInstalled(0); }));
    renderOfflineFrames(*rig.engine, 2048, 512);
    EXPECT_EQ(calls.load(), 1);
    // The bus is free again.
    EXPECT_TRUE(taps.install(0, 256, stereo(), [](auto, const AudioTime&) {}));
}

TEST(AudioTap, RenderingWithFourTapsDoesNotAllocate) {
    traptest::ScopedTrapHooks hooks;
    TappedEngine rig;
    std::vector<CountingSource> sources{rig.source};
    for (std::uint32_t bus = 1; bus < 4; ++bus) {
        sources.push_back(makeSine(stereo(), 200.0 * bus));
        ASSERT_TRUE(rig.engine->attach(sources.back().node));
        ASSERT_TRUE(
            rig.engine->connect(*sources.back().node, rig.engine->mainMixerNode(), 0, bus, std::nullopt));
    }
    std::atomic<int> calls{0};
    for (auto& source : sources)
        ASSERT_TRUE(source.node->taps().install(0, 512, stereo(),
                                                [&](auto, const AudioTime&) { calls.fetch_add(1); }));
    auto buffer = PcmBuffer::make(stereo(), 1024);
    AllocationTrap::resetCounts();
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(*rig.engine->renderOffline(512, *buffer), ManualRenderingStatus::success);
    traptest::expectNoRenderAllocations();
    EXPECT_TRUE(waitUntil([&] { return calls.load() == 64; }));
}

} // namespace
