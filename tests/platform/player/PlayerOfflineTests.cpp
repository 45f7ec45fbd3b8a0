#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace platform;
using namespace playertest;
using Type = PlayerCompletionCallbackType;
using PlayerNodeOffline = PlayerTest;

TEST_F(PlayerNodeOffline, FilePlaysSampleExactlyThroughASmallRing) {
    auto [path, data, file] = ToneFile(folder, "tone.wav", 10000);
    // A ring of 441 frames: the segment wraps it many times, and every slice needs several refills.
    OfflineRig rig(44100.0, 2, {0.01});
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataRendered, log.handler(1)));
    ASSERT_TRUE(rig.player->play());
    EXPECT_TRUE(rig.player->isPlaying());

    Channels out = rig.render(9999);
    letCompletionsArrive();
    EXPECT_EQ(log.size(), 0u) << "completed before its last frame was rendered";
    append(out, rig.render(2001, 700));
    for (std::uint32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(out[c], joined({data[c], zeros(2000)})) << "channel " << c;
    }
    ASSERT_TRUE(log.waitFor(1));
    const auto entry = log.entries()[0];
    EXPECT_EQ(entry.type, Type::dataRendered);
    EXPECT_NE(entry.thread, std::this_thread::get_id()) << "ran on the (offline) render thread";
    EXPECT_EQ(rig.player->underruns(), 0u);

    // Player time counts every frame rendered since play, the silence after the file included.
    const auto last = rig.player->lastRenderTime();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->sampleTime(), 11399);
    EXPECT_EQ(rig.player->playerTime()->sampleTime(), 11399);
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(12000, 44100.0))->sampleTime(), 12000);
    EXPECT_EQ(rig.player->playerTime()->sampleRate(), 44100.0);
}

TEST_F(PlayerNodeOffline, SegmentsFollowEachOtherAndMonoFeedsEveryChannel) {
    auto [path, data, file] = ToneFile(folder, "mono.wav", 20000, 1);
    OfflineRig rig;
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 1000, 500, std::nullopt, Type::dataPlayedBack, log.handler(1)));
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 300, 700, std::nullopt, Type::dataPlayedBack, log.handler(2)));
    // Cut at the end of the file: 200 frames.
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 19800, 5000, std::nullopt, Type::dataPlayedBack, log.handler(3)));

    // Bad segments are refused and leave the schedule alone.
    EXPECT_FALSE(rig.player->scheduleSegment(*file, -1, 10, std::nullopt, Type::dataPlayedBack, {}));
    EXPECT_FALSE(rig.player->scheduleSegment(*file, 20000, 10, std::nullopt, Type::dataPlayedBack, {}));
    EXPECT_FALSE(rig.player->scheduleSegment(*file, 0, 0, std::nullopt, Type::dataPlayedBack, {}));

    ASSERT_TRUE(rig.player->play());
    const Channels out = rig.render(2000, 333);
    const auto expected =
        joined({slice(data[0], 1000, 500), slice(data[0], 300, 700), slice(data[0], 19800, 200), zeros(600)});
    EXPECT_EQ(out[0], expected);
    EXPECT_EQ(out[1], expected);
    ASSERT_TRUE(log.waitFor(3));
    EXPECT_EQ(log.ids(), (std::vector<int>{1, 2, 3}));
}

TEST_F(PlayerNodeOffline, LoopingBuffersAndInterruptions) {
    OfflineRig rig;
    const Channels loop = ramp(100, 2, 0.01f, 0.001f);
    const Channels other = ramp(50, 2, 0.5f, 0.002f);
    ASSERT_TRUE(rig.schedule(loop, PlayerBufferOptions::loops, Type::dataRendered, log.handler(1)));
    ASSERT_TRUE(rig.player->play());
    expectLooped(rig.render(350, 64), loop, 350);
    letCompletionsArrive();
    EXPECT_EQ(log.size(), 0u) << "a looping buffer does not end by itself";

    // An interrupting buffer replaces the loop at once; the loop completes as it is dropped.
    ASSERT_TRUE(rig.schedule(other, PlayerBufferOptions::interrupts, Type::dataRendered, log.handler(2)));
    const Channels interrupted = rig.render(100, 100);
    EXPECT_EQ(interrupted[0], joined({other[0], zeros(50)}));
    EXPECT_EQ(slice(interrupted[1], 0, 50), other[1]);
    ASSERT_TRUE(log.waitFor(2));
    EXPECT_EQ(log.ids(), (std::vector<int>{1, 2}));
    EXPECT_EQ(log.entries()[0].type, Type::dataRendered);

    // interruptsAtLoop: the loop finishes its current pass, then the new buffer follows without a gap;
    // a buffer waiting behind the loop is dropped.
    rig.player->stop();
    ASSERT_TRUE(rig.schedule(loop, PlayerBufferOptions::loops | PlayerBufferOptions::interrupts,
                             Type::dataConsumed, log.handler(3)));
    ASSERT_TRUE(rig.player->play());
    Channels out = rig.render(130, 130);
    ASSERT_TRUE(rig.schedule(loop, PlayerBufferOptions::none, Type::dataConsumed, log.handler(4)));
    ASSERT_TRUE(
        rig.schedule(other, PlayerBufferOptions::interruptsAtLoop, Type::dataConsumed, log.handler(5)));
    append(out, rig.render(170, 170));
    expectLooped(out, loop, 200);
    EXPECT_EQ(slice(out[0], 200, 100), joined({other[0], zeros(50)}));
    ASSERT_TRUE(log.waitFor(5));
    // 4 is dropped when 5 arrives, 3 completes at its loop point, then 5 plays.
    EXPECT_EQ(log.ids(), (std::vector<int>{1, 2, 4, 3, 5}));
}

TEST_F(PlayerNodeOffline, SchedulingAndPlayingAtNodeTimes) {
    OfflineRig rig;
    const Channels first = ramp(300, 2, 0.1f, 0.001f), second = ramp(200, 2, -0.2f, 0.001f);
    ASSERT_TRUE(rig.player->play());
    rig.render(1000);

    // At node time 1500, and the next one right after it.
    ASSERT_TRUE(rig.schedule(first, PlayerBufferOptions::none, Type::dataRendered, log.handler(1),
                             AudioTime::withSampleTime(1500, 44100.0)));
    ASSERT_TRUE(rig.schedule(second, PlayerBufferOptions::none, Type::dataRendered, log.handler(2)));
    // A time on another rate's timeline: 2200 frames at 44.1 kHz.
    ASSERT_TRUE(rig.schedule(first, PlayerBufferOptions::none, Type::dataRendered, log.handler(3),
                             AudioTime::withSampleTime(1100, 22050.0)));
    // A time that has passed when it is reached: at once.
    ASSERT_TRUE(rig.schedule(second, PlayerBufferOptions::none, Type::dataRendered, log.handler(4),
                             AudioTime::withSampleTime(10, 44100.0)));
    const Channels out = rig.render(2000, 256);
    EXPECT_EQ(out[0], joined({zeros(500), first[0], second[0], zeros(200), first[0], second[0], zeros(300)}));
    ASSERT_TRUE(log.waitFor(4));

    // play(at:) starts player time at that node time; the first item waits for it.
    rig.player->stop();
    ASSERT_TRUE(rig.schedule(first, PlayerBufferOptions::none, Type::dataRendered, log.handler(5)));
    ASSERT_TRUE(rig.player->play(AudioTime::withSampleTime(3300, 44100.0)));
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(3000, 44100.0))->sampleTime(), -300);
    const Channels later = rig.render(1000, 128);
    EXPECT_EQ(slice(later[0], 0, 600), joined({zeros(300), first[0]}));
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(3300, 44100.0))->sampleTime(), 0);
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(3400, 44100.0))->sampleTime(), 100);
    EXPECT_EQ(rig.player->playerTime()->sampleTime(), rig.player->lastRenderTime()->sampleTime() - 3300);
}

TEST_F(PlayerNodeOffline, CompletionsComeInOrderOfTheirKinds) {
    auto [path, data, file] = ToneFile(folder, "short.wav", 3000);
    OfflineRig rig;
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataPlayedBack, log.handler(1)));
    ASSERT_TRUE(rig.schedule(ramp(500, 2, 0.1f, 0.0f), PlayerBufferOptions::none, Type::dataRendered,
                             log.handler(2)));
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 100, 400, std::nullopt, Type::dataConsumed, log.handler(3)));

    // Prepared, the last segment is read completely before anything plays: consumed comes first.
    rig.player->prepare(5000);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.ids(), (std::vector<int>{3}));

    ASSERT_TRUE(rig.player->play());
    rig.render(3200, 3200);
    ASSERT_TRUE(log.waitFor(2));
    letCompletionsArrive();
    EXPECT_EQ(log.ids(), (std::vector<int>{3, 1})) << "the buffer has not been rendered yet";
    rig.render(400, 400);
    ASSERT_TRUE(log.waitFor(3));
    const auto entries = log.entries();
    EXPECT_EQ(log.ids(), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(entries[0].type, Type::dataConsumed);
    EXPECT_EQ(entries[1].type, Type::dataPlayedBack);
    EXPECT_EQ(entries[2].type, Type::dataRendered);
    for (const auto& entry : entries)
        EXPECT_NE(entry.thread, std::this_thread::get_id());
}

TEST_F(PlayerNodeOffline, StopDropsEverythingAndCompletesItBeforeReturning) {
    auto [path, data, file] = ToneFile(folder, "five.wav", 5000);
    OfflineRig rig;
    ASSERT_TRUE(rig.schedule(ramp(1000, 2, 0.1f, 0.0001f), PlayerBufferOptions::none, Type::dataPlayedBack,
                             log.handler(1)));
    ASSERT_TRUE(
        rig.player->scheduleSegment(*file, 0, 3000, std::nullopt, Type::dataRendered, log.handler(2)));
    ASSERT_TRUE(rig.schedule(ramp(10, 2, 0.3f, 0.0f), PlayerBufferOptions::loops, Type::dataConsumed,
                             log.handler(3)));
    ASSERT_TRUE(rig.player->play());
    rig.render(500);
    // Scheduled after the last render: not seen by the render thread yet.
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataPlayedBack, log.handler(4)));
    EXPECT_EQ(log.size(), 0u);

    rig.player->stop();
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), 4u) << "stop() returned before the dropped items completed";
    EXPECT_EQ(log.ids(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(entries[0].type, Type::dataPlayedBack);
    EXPECT_EQ(entries[1].type, Type::dataRendered);
    EXPECT_EQ(entries[2].type, Type::dataConsumed);
    for (const auto& entry : entries)
        EXPECT_EQ(entry.thread, std::this_thread::get_id())
            << "dropped items complete on the caller's thread";
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_FALSE(rig.player->playerTime());

    const Channels silent = rig.render(1000);
    EXPECT_EQ(silent[0], zeros(1000));
    letCompletionsArrive();
    EXPECT_EQ(log.size(), 4u) << "a dropped item completed twice";

    // A new schedule plays from its start with player time from 0.
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataRendered, log.handler(5)));
    ASSERT_TRUE(rig.player->play());
    EXPECT_EQ(rig.player->playerTime()->sampleTime(), 0);
    const Channels again = rig.render(5000, 512);
    EXPECT_EQ(again[0], data[0]);
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(rig.sampleTime(), 44100.0))->sampleTime(),
              5000);
    ASSERT_TRUE(log.waitFor(5));

    // Stopping an idle player is harmless.
    rig.player->stop();
    rig.player->stop();
    EXPECT_EQ(log.size(), 5u);
}

TEST_F(PlayerNodeOffline, PauseFreezesPlayerTimeAndKeepsThePosition) {
    auto [path, data, file] = ToneFile(folder, "eight.wav", 8000);
    OfflineRig rig;
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataPlayedBack, {}));
    ASSERT_TRUE(rig.player->play());
    Channels out = rig.render(3000, 500);

    rig.player->pause();
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_FALSE(rig.player->playerTime()) << "a paused player has no player time";
    EXPECT_EQ(rig.render(1500)[0], zeros(1500));

    ASSERT_TRUE(rig.player->play());
    // Until the next render the player time stands where the pause froze it.
    EXPECT_EQ(
        rig.player->playerTime(AudioTime::withSampleTime(rig.sampleTime() + 500, 44100.0))->sampleTime(),
        3000);
    append(out, rig.render(6000, 500));
    EXPECT_EQ(out[0], joined({data[0], zeros(1000)}));
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(rig.sampleTime(), 44100.0))->sampleTime(),
              9000);

    // Playing while playing changes nothing.
    ASSERT_TRUE(rig.player->play());
    EXPECT_EQ(rig.player->playerTime(AudioTime::withSampleTime(rig.sampleTime(), 44100.0))->sampleTime(),
              9000);
}

TEST_F(PlayerNodeOffline, PlayerTimeCountsFramesAtTheNodeRate) {
    // A 22050 Hz player feeding a 44100 Hz engine through the main mixer.
    AudioEngine engine{std::make_unique<NullAudioDevice>()};
    ASSERT_TRUE(engine.enableManualRenderingMode(stereo(), 4096));
    auto player = std::make_shared<AudioPlayerNode>();
    ASSERT_TRUE(engine.attach(player));
    ASSERT_TRUE(engine.connect(*player, engine.mainMixerNode(), stereo(22050.0)));
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(player->scheduleBuffer(bufferOf(ramp(22050, 2, 0.1f, 0.0f), 22050.0), std::nullopt,
                                       PlayerBufferOptions::none, Type::dataRendered, {}));
    // The node's format decides: a 44.1 kHz buffer does not fit.
    EXPECT_FALSE(player->scheduleBuffer(bufferOf(ramp(10, 2, 0.1f, 0.0f), 44100.0), std::nullopt,
                                        PlayerBufferOptions::none, Type::dataRendered, {}));
    ASSERT_TRUE(player->play());
    auto buffer = PcmBuffer::make(engine.manualRenderingFormat(), 512);
    for (int i = 0; i < 86; ++i)
        ASSERT_TRUE(engine.renderOffline(512, *buffer));
    const auto time =
        player->playerTime(AudioTime::withSampleTime(engine.manualRenderingSampleTime(), 44100.0));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->sampleRate(), 22050.0);
    EXPECT_NEAR(double(time->sampleTime()), 86 * 256.0, 200.0);
}

TEST_F(PlayerNodeOffline, VolumeScalesTheOutputAfterAOneCycleRamp) {
    OfflineRig rig;
    ASSERT_TRUE(rig.schedule(ramp(4000, 2, 0.8f, 0.0f)));
    ASSERT_TRUE(rig.player->play());
    EXPECT_EQ(rig.render(512, 512)[0], std::vector<float>(512, 0.8f));
    rig.player->setVolume(0.25f);
    const Channels ramped = rig.render(512, 512);
    for (std::size_t i = 1; i < 512; ++i)
        ASSERT_LT(ramped[0][i], ramped[0][i - 1]) << i;
    EXPECT_GT(ramped[0][0], 0.79f);
    EXPECT_FLOAT_EQ(ramped[0][511], 0.2f);
    EXPECT_FLOAT_EQ(ramped[1][511], -0.2f);
    const Channels settled = rig.render(512, 512);
    for (float v : settled[0])
        ASSERT_FLOAT_EQ(v, 0.2f);

    for (const auto& [set, kept] : {std::pair(3.0f, 1.0f), {-0.5f, 0.0f}, {std::nanf(""), 0.0f}}) {
        rig.player->setVolume(set);
        EXPECT_EQ(rig.player->volume(), kept) << set;
    }
}

TEST_F(PlayerNodeOffline, RefusesWhatItCannotPlay) {
    const ToneFile three(folder, "three.wav", 100, 3), rate(folder, "rate.wav", 100, 2, 48000.0),
        good(folder, "good.wav", 100);
    OfflineRig rig;
    EXPECT_FALSE(rig.player->scheduleFile(*three.file, std::nullopt, Type::dataRendered, {}));
    const auto wrongRate = rig.player->scheduleFile(*rate.file, std::nullopt, Type::dataRendered, {});
    ASSERT_FALSE(wrongRate);
    EXPECT_NE(wrongRate.error().message.find("48000"), std::string::npos) << wrongRate.error().message;

    // The node reads the file through its own reader: a file spoilt since it was opened is refused.
    { std::ofstream(good.path, std::ios::trunc) << "no longer audio"; }
    EXPECT_FALSE(rig.player->scheduleFile(*good.file, std::nullopt, Type::dataRendered, {}));
    (void)removeItem(good.path);
    EXPECT_FALSE(rig.player->scheduleFile(*good.file, std::nullopt, Type::dataRendered, {}));

    AudioFileSettings settings;
    auto writing = AudioFile::openForWriting(folder.file("new.wav"), settings);
    ASSERT_TRUE(writing);
    EXPECT_FALSE(rig.player->scheduleFile(**writing, std::nullopt, Type::dataRendered, {}));

    EXPECT_FALSE(
        rig.player->scheduleBuffer(nullptr, std::nullopt, PlayerBufferOptions::none, Type::dataRendered, {}));
    std::shared_ptr<PcmBuffer> empty = PcmBuffer::make(stereo(), 10);
    EXPECT_FALSE(
        rig.player->scheduleBuffer(empty, std::nullopt, PlayerBufferOptions::none, Type::dataRendered, {}));
    std::shared_ptr<PcmBuffer> interleaved =
        PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmFloat32, 44100.0, 2, true), 10);
    interleaved->setFrameLength(10);
    EXPECT_FALSE(rig.player->scheduleBuffer(interleaved, std::nullopt, PlayerBufferOptions::none,
                                            Type::dataRendered, {}));
    EXPECT_FALSE(rig.schedule(tone(10, 4, 44100.0)));

    // Nothing of that reached the schedule.
    ASSERT_TRUE(rig.player->play());
    EXPECT_EQ(rig.render(500)[0], zeros(500));

    // play() needs a running engine.
    auto loose = std::make_shared<AudioPlayerNode>();
    EXPECT_FALSE(loose->play());
    AudioEngine stopped{std::make_unique<NullAudioDevice>()};
    ASSERT_TRUE(stopped.attach(loose));
    EXPECT_FALSE(loose->play());
    EXPECT_FALSE(loose->isPlaying());
}

TEST_F(PlayerNodeOffline, AFileCutShortAfterSchedulingPlaysSilenceForWhatIsMissing) {
    auto [path, data, file] = ToneFile(folder, "cut.wav", 40000);
    // A ring of 441 frames: only the start is read before the file is cut.
    OfflineRig rig(44100.0, 2, {0.01});
    ASSERT_TRUE(rig.player->scheduleFile(*file, std::nullopt, Type::dataRendered, log.handler(1)));
    rig.player->prepare(441);
    ASSERT_EQ(::truncate(path.c_str(), 44 + 1000 * 8), 0);

    ASSERT_TRUE(rig.player->play());
    const Channels out = rig.render(41000, 4096);
    EXPECT_EQ(slice(out[0], 0, 441), slice(data[0], 0, 441));
    EXPECT_EQ(slice(out[0], 10000, 31000), zeros(31000));
    ASSERT_TRUE(log.waitFor(1)) << "the segment still ends, on time";
}

// The node plays the file its caller opened, even once its path is gone or names another file.
TEST_F(PlayerNodeOffline, PlaysTheFileItWasGivenWhateverItsPathNowNames) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "another file renamed over it" : "removed");
        auto [path, data, file] = ToneFile(folder, "held.wav", 20000);
        if (replaced) {
            const std::string other = folder.file("other.wav");
            writeFile(other, Channels{zeros(30000), zeros(30000)}, 44100.0);
            ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
        } else {
            ASSERT_TRUE(std::filesystem::remove(path));
        }
        OfflineRig rig;
        ASSERT_TRUE(rig.player->scheduleSegment(*file, 5000, 10000, std::nullopt, Type::dataRendered, {}));
        ASSERT_TRUE(rig.player->play());
        const Channels out = rig.render(10000);
        for (std::uint32_t c = 0; c < 2; ++c)
            EXPECT_EQ(out[c], slice(data[c], 5000, 10000)) << "channel " << c;
    }
}
