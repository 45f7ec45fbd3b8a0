#include "RozezEru/Nodes/Playback/AudioPlayer.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/RenderCycleHooks.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/AllocationTrap.h"

#include <gtest/gtest.h>

#include <memory>

using rozezeru::AudioPlayer;

namespace {

// Channel c of frame i holds (c + 1) × (i + 1) / 1000.
std::shared_ptr<platform::PcmBuffer> playerTestRamp(std::uint32_t frames, std::uint32_t channels = 2,
                                                    double rate = 44100.0) {
    std::shared_ptr<platform::PcmBuffer> buffer =
        platform::PcmBuffer::make(*platform::AudioFormat::standard(rate, channels), frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = float(c + 1) * float(i + 1) / 1000.0f;
    buffer->setFrameLength(frames);
    return buffer;
}

// A player as the output of an engine rendering offline.
struct PlayerRig {
    rozezeru::AudioEngine engine{std::make_unique<platform::NullAudioDevice>()};
    std::shared_ptr<AudioPlayer> player = std::make_shared<AudioPlayer>();
    // Shared with the handler: a completion may still be queued when the rig is gone.
    std::shared_ptr<int> completions = std::make_shared<int>(0);

    PlayerRig() {
        engine.setOutput(player);
        player->completionHandler = [completions = completions] { ++*completions; };
        EXPECT_NE(engine.startTest(0.0), nullptr);
    }
    std::unique_ptr<platform::PcmBuffer> render(std::uint32_t frames) {
        return engine.render(frames / 44100.0);
    }
    bool completed(int count) {
        return platform::mainQueue().drainUntil([&] { return *completions >= count; }, 5.0);
    }
};

// Counts what the render thread allocates while it lives.
struct PlayerRenderTrap {
    PlayerRenderTrap() {
        testsupport::AllocationTrap::resetCounts();
        platform::setRenderCycleHooks(&testsupport::AllocationTrap::renderCycleBegan,
                                      &testsupport::AllocationTrap::renderCycleEnded);
    }
    ~PlayerRenderTrap() { platform::setRenderCycleHooks(nullptr, nullptr); }
};

} // namespace

TEST(AudioPlayer, PlaysTheBufferOnceThroughItsMixerAndReportsTheEnd) {
    PlayerRig rig;
    auto& av = rig.engine.avEngine();
    // Its own pair is wired into the engine with it.
    ASSERT_TRUE(av.isAttached(*rig.player->playerNode()));
    const auto point = av.inputConnectionPoint(*rig.player->mixerNode(), 0);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->node, rig.player->playerNode().get());

    auto buffer = playerTestRamp(1000);
    rig.player->setBuffer(buffer);
    EXPECT_TRUE(rig.player->isBuffered());
    EXPECT_FALSE(rig.player->isPlaying());
    rig.player->play();
    EXPECT_TRUE(rig.player->isPlaying());
    EXPECT_TRUE(rig.player->isStarted());

    std::unique_ptr<platform::PcmBuffer> out;
    {
        PlayerRenderTrap trap;
        out = rig.render(2048);
        EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 2u);
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
    }
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->frameLength(), 2048u);
    for (std::uint32_t c = 0; c < 2; ++c) {
        for (std::uint32_t i = 0; i < 1000; ++i)
            ASSERT_FLOAT_EQ(out->channel(c)[i], buffer->channel(c)[i]) << c << " " << i;
        for (std::uint32_t i = 1000; i < 2048; ++i)
            ASSERT_EQ(out->channel(c)[i], 0.0f) << c << " " << i;
    }
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_TRUE(rig.completed(1));

    // Again, from the start.
    rig.player->play();
    out = rig.render(512);
    EXPECT_FLOAT_EQ(out->channel(0)[0], buffer->channel(0)[0]);
    EXPECT_TRUE(rig.player->isPlaying());
    rig.player->stop();
    EXPECT_FALSE(rig.player->isPlaying());
    out = rig.render(512);
    EXPECT_EQ(out->channel(0)[0], 0.0f);
    platform::mainQueue().drain();
    EXPECT_EQ(*rig.completions, 1);
}

TEST(AudioPlayer, ANewBufferRestartsPlaybackInItsOwnFormat) {
    PlayerRig rig;
    rig.player->setBuffer(playerTestRamp(4000));
    rig.player->play();
    (void)rig.render(512);

    // A mono buffer at another rate: the player's mixer brings it to the graph's format.
    auto mono = platform::PcmBuffer::make(*platform::AudioFormat::standard(22050.0, 1), 22050);
    for (std::uint32_t i = 0; i < 22050; ++i)
        mono->channel(0)[i] = 0.5f;
    mono->setFrameLength(22050);
    rig.player->setBuffer(std::move(mono));
    EXPECT_TRUE(rig.player->isPlaying());
    EXPECT_EQ(rig.player->mixerNode()->inputFormat(0).sampleRate(), 22050.0);
    auto out = rig.render(44100);
    ASSERT_NE(out, nullptr);
    EXPECT_NEAR(out->channel(0)[20000], 0.5f, 1e-3f);
    EXPECT_NEAR(out->channel(1)[20000], 0.5f, 1e-3f);
}

TEST(AudioPlayer, DoesNotPlayOutsideARunningEngine) {
    AudioPlayer loose;
    loose.setBuffer(playerTestRamp(100));
    loose.play();
    EXPECT_FALSE(loose.isPlaying());

    rozezeru::AudioEngine engine{std::make_unique<platform::NullAudioDevice>()};
    auto player = std::make_shared<AudioPlayer>();
    engine.setOutput(player);
    player->start();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(player->isBuffered());
}
