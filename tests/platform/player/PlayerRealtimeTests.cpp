#include "PlayerTestSupport.h"
#include "tests/platform/audio/RenderAllocationTrap.h"

#include "platform/audio/MixerNode.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace playertest;
using Type = PlayerCompletionCallbackType;
using namespace std::chrono_literals;
using PlayerNodeRealtime = PlayerTest;

namespace {

// A device-driven engine: player -> recorder -> output node, all in the device's format.
struct RealtimeRig {
    AudioEngine engine;
    std::shared_ptr<AudioPlayerNode> player;
    std::shared_ptr<RecorderNode> recorder;

    RealtimeRig(std::unique_ptr<NullAudioDevice> device, std::size_t recordFrames,
                AudioPlayerNode::Configuration configuration = {})
        : engine(std::move(device)), player(std::make_shared<AudioPlayerNode>(configuration)) {
        const AudioFormat format = engine.outputDevice().outputFormat();
        recorder = std::make_shared<RecorderNode>(format, recordFrames);
        if (!engine.attach(player) || !engine.attach(recorder) ||
            !engine.connect(*player, *recorder, format) ||
            !engine.connect(*recorder, engine.outputNode(), format) || !engine.start())
            throw std::runtime_error("realtime engine");
    }
    ~RealtimeRig() { engine.stop(); }
};

} // namespace

TEST_F(PlayerNodeRealtime, AShortFilePlaysToItsEndAndCompletesOffTheRenderThread) {
    auto [path, data, file] = ToneFile(folder, "short.wav", 9600, 2, 16000.0);
    // Paced like a sound card; a ring of 0.25 s that the 0.6 s file wraps twice.
    RealtimeRig rig(nullDevice(16000.0, 256, NullAudioDevice::Pacing::realTime), 16000, {0.25});
    std::atomic<std::size_t> completionThread{0};
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataPlayedBack, log.handler(1, [&] {
        completionThread = RecorderNode::threadKey(std::this_thread::get_id());
    })));
    rig.player->prepare(4096);
    ASSERT_TRUE(rig.player->play());
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.entries()[0].type, Type::dataPlayedBack);
    EXPECT_NE(completionThread.load(), rig.recorder->renderThread.load());
    EXPECT_NE(log.entries()[0].thread, std::this_thread::get_id());

    // Player time at a host time agrees with player time at the matching sample time.
    const auto last = rig.player->lastRenderTime();
    ASSERT_TRUE(last && last->isHostTimeValid());
    const auto bySample =
        rig.player->playerTime(AudioTime::withSampleTime(last->sampleTime() + 100, 16000.0));
    const auto byHost = rig.player->playerTime(
        AudioTime::withHostTime(last->hostTime() + AudioTime::hostTimeForSeconds(100 / 16000.0)));
    ASSERT_TRUE(bySample && byHost);
    EXPECT_GT(bySample->sampleTime(), 9600);
    EXPECT_NEAR(double(byHost->sampleTime()), double(bySample->sampleTime()), 2.0);

    // Played back means the device's period has passed after the last frame: it was recorded.
    const std::size_t recorded = rig.recorder->recorded.load();
    rig.engine.stop();
    ASSERT_GE(recorded, 9600u + 256u);
    for (std::uint32_t c = 0; c < 2; ++c)
        EXPECT_EQ(slice(rig.recorder->recordedChannels[c], 0, 9856), joined({data[c], zeros(256)})) << c;
    EXPECT_EQ(rig.recorder->silentFrames.load() % 256, 0u) << "playback starts at a render cycle";
    EXPECT_EQ(rig.player->underruns(), 0u);
}

TEST_F(PlayerNodeRealtime, CompletionKindsArriveConsumedThenRenderedThenPlayedBack) {
    auto [path, data, file] = ToneFile(folder, "kinds.wav", 800, 1, 8000.0);
    // Periods of 1024 frames at 8 kHz: played back comes a full 128 ms after rendered.
    AudioEngine engine(nullDevice(8000.0, 1024, NullAudioDevice::Pacing::realTime));
    const AudioFormat format = engine.outputDevice().outputFormat();
    std::vector<std::shared_ptr<AudioPlayerNode>> players;
    const Type kinds[] = {Type::dataPlayedBack, Type::dataRendered, Type::dataConsumed};
    for (int i = 0; i < 3; ++i) {
        players.push_back(std::make_shared<AudioPlayerNode>());
        ASSERT_TRUE(engine.attach(players.back()));
        ASSERT_TRUE(engine.connect(*players.back(), engine.mainMixerNode(), format));
    }
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return players[0]->lastRenderTime().has_value(); }));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(players[std::size_t(i)]->scheduleFile(*file, std::nullopt, kinds[i], log.handler(i)));
        players[std::size_t(i)]->prepare(800);
    }
    // The consumed one is read completely already.
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.ids(), (std::vector<int>{2}));

    // All three start in the same cycle, two periods from now.
    const auto start = AudioTime::withSampleTime(players[0]->lastRenderTime()->sampleTime() + 2048, 8000.0);
    for (auto& player : players)
        ASSERT_TRUE(player->play(start));
    ASSERT_TRUE(log.waitFor(3));
    const auto entries = log.entries();
    EXPECT_EQ(log.ids(), (std::vector<int>{2, 1, 0}));
    EXPECT_GE(entries[2].at - entries[1].at, 60ms) << "played back arrived with rendered";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(entries[std::size_t(i)].type, kinds[entries[std::size_t(i)].id]);
    // When played back arrives the engine's timeline has passed the end by the device's period.
    EXPECT_GE(players[0]->lastRenderTime()->sampleTime() + 1024, start.sampleTime() + 800 + 1024);
    engine.stop();
}

TEST_F(PlayerNodeRealtime, ALoopingBufferRepeatsUntilStopCompletesIt) {
    RealtimeRig rig(nullDevice(44100.0, 512, NullAudioDevice::Pacing::asFastAsPossible), 20000);
    const Channels loop = ramp(300, 2, 0.01f, 0.001f);
    ASSERT_TRUE(rig.player->scheduleBuffer(bufferOf(loop, 44100.0), std::nullopt,
                                           PlayerBufferOptions::loops | PlayerBufferOptions::interrupts,
                                           Type::dataPlayedBack, log.handler(1)));
    ASSERT_TRUE(rig.player->play());
    ASSERT_TRUE(waitUntil([&] { return rig.recorder->recorded.load() == 20000; }));
    EXPECT_EQ(log.size(), 0u);
    EXPECT_TRUE(rig.player->playerTime().has_value());

    rig.player->stop();
    ASSERT_EQ(log.size(), 1u) << "stop() returned before the loop completed";
    EXPECT_EQ(log.entries()[0].thread, std::this_thread::get_id());
    rig.engine.stop();
    expectLooped(rig.recorder->recordedChannels, loop, 20000);
}

TEST_F(PlayerNodeRealtime, TheRenderPathNeitherAllocatesNorLocksWhileAFileStreams) {
    auto [path, data, file] = ToneFile(folder, "long.wav", 132300);
    traptest::ScopedTrapHooks hooks;
    // As fast as possible, so the render thread outruns the streaming thread too (underruns).
    RealtimeRig rig(nullDevice(44100.0, 256, NullAudioDevice::Pacing::asFastAsPossible), 1000, {0.5});
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataPlayedBack, log.handler(1)));
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 1000, 30000, std::nullopt, Type::dataRendered, log.handler(2)));
    ASSERT_TRUE(rig.player->scheduleBuffer(bufferOf(ramp(700, 2, 0.2f, 0.0f), 44100.0), std::nullopt,
                                           PlayerBufferOptions::loops, Type::dataConsumed, log.handler(3)));
    ASSERT_TRUE(rig.player->play());
    ASSERT_TRUE(log.waitFor(2));
    rig.player->setVolume(0.5f);
    rig.player->pause();
    ASSERT_TRUE(rig.player->play());
    ASSERT_TRUE(rig.player->scheduleBuffer(bufferOf(ramp(100, 2, 0.3f, 0.0f), 44100.0), std::nullopt,
                                           PlayerBufferOptions::interruptsAtLoop, Type::dataPlayedBack,
                                           log.handler(4)));
    ASSERT_TRUE(log.waitFor(4));
    EXPECT_EQ(log.ids(), (std::vector<int>{1, 2, 3, 4}));
    rig.player->stop();
    rig.engine.stop();

    EXPECT_GT(testsupport::AllocationTrap::renderCycles(), 100u);
    traptest::expectNoRenderAllocations();
}

TEST_F(PlayerNodeRealtime, ANodeReleasedByItsLastCompletionGoesQuietly) {
    // Holds the node as a toolkit player's completion holds its player; says when it let go.
    struct Holder {
        Holder(std::shared_ptr<AudioPlayerNode> held, std::atomic<bool>& flag)
            : node(std::move(held)), gone(flag) {}
        Holder(const Holder&) = delete;
        std::shared_ptr<AudioPlayerNode> node;
        std::atomic<bool>& gone;
        ~Holder() {
            node.reset();
            gone.store(true, std::memory_order_release);
        }
    };
    std::atomic<bool> called{false}, released{false}, gone{false};
    AudioEngine engine(nullDevice(44100.0, 256, NullAudioDevice::Pacing::asFastAsPossible));
    auto player = std::make_shared<AudioPlayerNode>();
    ASSERT_TRUE(engine.attach(player));
    ASSERT_TRUE(engine.connect(*player, engine.mainMixerNode(), engine.outputDevice().outputFormat()));
    ASSERT_TRUE(engine.start());
    auto holder = std::make_shared<Holder>(player, gone);
    ASSERT_TRUE(player->scheduleBuffer(bufferOf(ramp(100, 2, 0.1f, 0.0f), 44100.0), std::nullopt,
                                       PlayerBufferOptions::none, Type::dataPlayedBack,
                                       [holder, &called, &released](Type) {
                                           called = true;
                                           waitUntil([&] { return released.load(); });
                                       }));
    holder.reset();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitUntil([&] { return called.load(); }));
    std::weak_ptr<AudioPlayerNode> watch = player;
    engine.stop();
    engine.detach(*player);
    player.reset();
    EXPECT_FALSE(watch.expired());
    // The completion's holder is the last: the node goes on the completion thread, which frees the item.
    released = true;
    EXPECT_TRUE(waitUntil([&] { return gone.load(std::memory_order_acquire); }));
    EXPECT_TRUE(watch.expired());
}
