// AudioPlayer: what goes on the player node, and the end of playback on an engine that runs on the
// null device (offline rendering reports no end).

#include "PlayerTestRig.h"

#include "platform/audio/MixerNode.h"
#include "platform/player/AudioPlayerNode.h"
#include "tests/support/ToneFiles.h"

#include <filesystem>
#include <functional>
#include <iterator>
#include <thread>

using namespace playertest;
using AudioPlayerScheduling = OfflinePlayerTest;
using rozezeru::AudioPlayer;
using rozezeru::NodeStatus::Playback;
using testsupport::ToolkitLogCapture;

TEST_F(AudioPlayerScheduling, TheEditRangeChoosesTheFramesOfTheFile) {
    const auto path = ramp("ten.wav", 441000, 1);
    // From 2 s to the end: frames 88200 up to 441000, the one channel on both.
    player->load(openFile(path));
    player->play(2.0, 0.0);
    const auto out = rig.render(8 * 44100 + 1024);
    EXPECT_EQ(std::tuple(out[0][0], out[1][0], out[0][8 * 44100 - 1], out[0][8 * 44100]),
              std::tuple(rampValue(88200), rampValue(88200), rampValue(440999), 0.0f));

    // An edit range of 0 to 0 stands for the whole file.
    player->stop();
    auto fresh = std::make_shared<AudioPlayer>();
    rig.engine.setOutput(fresh);
    rig.engine.startTest(0.0);
    fresh->scheduleFile(openFile(path), std::nullopt);
    EXPECT_EQ(std::pair(fresh->editEndTime(), fresh->status()), std::pair(0.0, Playback::stopped));
    ASSERT_TRUE(fresh->playerNode()->play());
    const auto whole = rig.render(441000 + 1024);
    EXPECT_EQ(std::tuple(whole[0][0], whole[0][440999], whole[0][441000]),
              std::tuple(rampValue(0), rampValue(440999), 0.0f));
}

// A file read again after its writer added to it (its header stated the whole length from the start):
// every frame plays once, in order, across each old end, whatever the player was doing when it grew.
TEST_F(AudioPlayerScheduling, AGrownFileIsTakenWithoutABreak) {
    const std::string whole = ramp("whole.wav", 88200, 2);
    const struct {
        const char* state;
        bool started, paused;
    } cases[] = {{"playing", true, false}, {"paused", true, true}, {"stopped", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        testsupport::GrowingWav growing(whole, folder.file(std::string(c.state) + ".wav"));
        ASSERT_TRUE(growing.ok() && growing.writeFrames(22050, 8));
        player->stop();
        player->load(openFile(growing.path()));
        ASSERT_FALSE(player->file()->isComplete());
        Channels heard(2);
        auto listen = [&](std::int64_t frames) {
            const Channels out = rig.render(frames);
            for (std::size_t channel = 0; channel < 2; ++channel)
                heard[channel].insert(heard[channel].end(), out[channel].begin(), out[channel].end());
        };
        if (c.started) {
            player->play();
            listen(11025);
        }
        if (c.paused) player->pause();
        // The playing player crosses each old end (0.5, 1 and 1.5 s) in the quarter second after it.
        for (const std::int64_t frames : {44100, 66150, 88200}) {
            ASSERT_TRUE(growing.writeFrames(std::size_t(frames), 8));
            ASSERT_TRUE(player->takeGrownFile(openFile(growing.path())));
            EXPECT_EQ(std::pair(player->duration(), player->editEndTime()),
                      std::pair(double(frames) / 44100.0, double(frames) / 44100.0));
            if (c.started && !c.paused) listen(22050);
        }
        player->play();
        listen(88200 + 1024 - std::int64_t(heard[0].size()));
        std::size_t departure = heard[0].size();
        for (std::size_t i = 0; i < heard[0].size() && departure == heard[0].size(); ++i)
            for (std::uint32_t channel = 0; channel < 2; ++channel)
                if (heard[channel][i] != (i < 88200 ? rampValue(std::int64_t(i), channel) : 0.0f))
                    departure = i;
        EXPECT_EQ(departure, heard[0].size()) << "frame " << departure << " is not the file's";
    }
}

// A writer far ahead of the player: however many steps it takes, the player holds a few readers of the
// file, not one per step.
TEST_F(AudioPlayerScheduling, AFileGrowingFarAheadKeepsAFewReadersOpen) {
    const std::string whole = ramp("whole.wav", 441000, 2);
    testsupport::GrowingWav growing(whole, folder.file("far.wav"));
    ASSERT_TRUE(growing.ok() && growing.writeFrames(44100, 8));
    player->load(openFile(growing.path()));
    player->play();
    (void)rig.render(1024);
    auto descriptors = [] {
        const std::filesystem::directory_iterator open("/proc/self/fd");
        return std::distance(begin(open), end(open));
    };
    const auto before = descriptors();
    for (int step = 1; step <= 36; ++step) {
        ASSERT_TRUE(growing.writeFrames(std::size_t(44100 + step * 11025), 8));
        ASSERT_TRUE(player->takeGrownFile(openFile(growing.path())));
    }
    EXPECT_EQ(player->duration(), 10.0);
    EXPECT_LT(descriptors() - before, 12);
}

// What cannot be followed without a reload is refused, and the player keeps what it had.
TEST_F(AudioPlayerScheduling, AFileThatIsNotTheOneGrownIsRefused) {
    const std::string stereo = ramp("stereo.wav", 44100, 2), shorter = ramp("shorter.wav", 22050, 2),
                      mono = ramp("mono.wav", 88200, 1), longer = ramp("longer.wav", 88200, 2);
    const struct {
        const char* what;
        bool buffered, reversed;
        std::string grown;
    } cases[] = {{"fewer frames", false, false, shorter},
                 {"another format", false, false, mono},
                 {"buffered", true, false, longer},
                 {"reversed", false, true, longer}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        player->stop();
        player->setReversed(false);
        player->load(openFile(stereo), c.buffered);
        player->setReversed(c.reversed);
        player->play();
        (void)rig.render(1024);
        const std::shared_ptr<platform::AudioFile> had = player->file();
        EXPECT_FALSE(player->takeGrownFile(openFile(c.grown)));
        EXPECT_EQ(std::tuple(player->file(), player->duration(), player->isPlaying()),
                  std::tuple(had, 1.0, true));
    }
    EXPECT_FALSE(std::make_shared<AudioPlayer>()->takeGrownFile(openFile(longer))) << "nothing loaded";
}

TEST(AudioPlayerCompletion, ALoopingFilePlaysAgainAfterEachEnd) {
    Folder folder;
    LiveRig rig;
    rig.player->load(openFile(writeRampFile(folder, "short.wav", 2205, 2)));
    rig.player->setLooping(true);
    std::vector<Playback> statusInHandler;
    rig.player->completionHandler = [&, completions = rig.completions] {
        statusInHandler.push_back(rig.player->status());
        ++*completions;
    };
    rig.player->play();
    ASSERT_TRUE(rig.completed(3));
    EXPECT_TRUE(rig.player->isPlaying());
    // Called before each restart, with the player still playing.
    EXPECT_EQ(statusInHandler, std::vector<Playback>(statusInHandler.size(), Playback::playing));

    // Not looping any more: the next end is the last.
    rig.player->setLooping(false);
    const int sofar = *rig.completions;
    ASSERT_TRUE(rig.completed(sofar + 1));
    EXPECT_EQ(rig.player->status(), Playback::stopped);
    EXPECT_EQ(platform::mainQueue().drain(), 0u);
    EXPECT_EQ(*rig.completions, sofar + 1);
}

TEST(AudioPlayerCompletion, TheEndComesOnTheMainQueueOnceAndNotAfterStop) {
    LiveRig rig;
    std::thread::id handlerThread;
    rig.player->completionHandler = [&, completions = rig.completions] {
        handlerThread = std::this_thread::get_id();
        ++*completions;
    };
    rig.player->load(rampBuffer(1000, 2));
    rig.player->play();
    // The platform reports the end on its own thread; the handler waits for the main queue.
    while (*rig.completions == 0) {
        ASSERT_TRUE(waitUntilPending());
        EXPECT_EQ(std::pair(*rig.completions, rig.player->isPlaying()), std::pair(0, true));
        platform::mainQueue().drain();
    }
    EXPECT_EQ(std::tuple(*rig.completions, handlerThread, rig.player->status()),
              std::tuple(1, std::this_thread::get_id(), Playback::stopped));

    // Stopped before the end: the dropped audio calls nothing.
    rig.player->load(rampBuffer(441000, 2));
    rig.player->play();
    rig.player->stop();
    EXPECT_FALSE(platform::mainQueue().drainUntil([&] { return *rig.completions > 1; }, 0.05));
    EXPECT_EQ(*rig.completions, 1);
}

TEST(AudioPlayerCompletion, AnEndQueuedBeforeANewStartDoesNotEndIt) {
    Folder folder;
    LiveRig rig(true);
    rig.player->load(rampBuffer(1000, 2));
    rig.player->play();
    ASSERT_TRUE(waitUntilPending());
    // The end of the first run waits on the main queue while the player starts again.
    rig.player->stop();
    rig.player->load(rampBuffer(441000, 2));
    rig.player->play();
    platform::mainQueue().drain();
    EXPECT_EQ(std::pair(*rig.completions, rig.player->isPlaying()), std::pair(0, true));

    // The same for a seek back from the end of a file.
    rig.player->stop();
    rig.player->setBuffered(false);
    rig.player->load(openFile(writeRampFile(folder, "one.wav", 44100, 2)));
    rig.player->play(0.95);
    ASSERT_TRUE(waitUntilPending());
    rig.player->seek(-0.8);
    platform::mainQueue().drain();
    EXPECT_EQ(std::pair(*rig.completions, rig.player->isPlaying()), std::pair(0, true));
    ASSERT_TRUE(rig.completed(1));
    EXPECT_EQ(rig.player->status(), Playback::stopped);
}

TEST(AudioPlayerCompletion, AHandlerThatPlaysTheNextItemKeepsItPlaying) {
    LiveRig rig;
    int ends = 0;
    rig.player->completionHandler = [&] {
        if (++ends == 1) {
            rig.player->stop();
            rig.player->load(rampBuffer(2000, 2));
            rig.player->play();
        }
    };
    rig.player->load(rampBuffer(1000, 2));
    rig.player->play();
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return ends >= 1; }, 5.0));
    EXPECT_EQ(std::pair(rig.player->isPlaying(), rig.player->buffer()->frameLength()),
              std::pair(true, 2000u));
    // And its own end still comes.
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return ends >= 2; }, 5.0));
    EXPECT_EQ(rig.player->status(), Playback::stopped);
}

TEST_F(AudioPlayerScheduling, ABufferOfAnotherFormatIsRefilledAndConverted) {
    ToolkitLogCapture capture;
    // One channel at the connection's rate: played on both channels.
    player->load(rampBuffer(2000, 1));
    player->play();
    const auto contents = [&] {
        return capture.contents("AudioPlayerScheduling.cpp", "scheduleBuffer(at:completionCallbackType:)");
    };
    EXPECT_EQ(contents(),
              (std::vector<std::string>{"Format of the buffer doesn't match the player",
                                        "Player <2 ch, 44100 Hz, Float32, deinterleaved> Buffer <1 ch, "
                                        "44100 Hz, Float32, deinterleaved>"}));
    const auto out = rig.render(1024);
    EXPECT_EQ(std::pair(out[0][10], out[1][10]), std::pair(rampValue(10), rampValue(10)));

    // Another rate: the player node is connected in the buffer's format (the mixer's conversion is the
    // platform's to show).
    player->stop();
    player->load(rampBuffer(22050, 2, 22050.0));
    player->play();
    EXPECT_EQ(std::pair(player->isPlaying(), player->playerNode()->outputFormat(0).sampleRate()),
              std::pair(true, 22050.0));

    // Without a buffer to play: nothing is scheduled.
    capture.sink.clear();
    player->stop();
    player->setBuffer(nullptr);
    player->load(std::shared_ptr<const platform::PcmBuffer>());
    player->play();
    EXPECT_EQ(player->status(), Playback::stopped);
    EXPECT_EQ(contents(),
              (std::vector<std::string>{"Format of the buffer doesn't match the player",
                                        "Player <2 ch, 22050 Hz, Float32, deinterleaved> Buffer nil",
                                        "Failed to fill buffer"}));
}

TEST_F(AudioPlayerScheduling, TheOlderEntryPointsScheduleWithoutPlaying) {
    player->scheduleBuffer(rampBuffer(3000, 2), std::nullopt, platform::PlayerBufferOptions::loops);
    EXPECT_EQ(std::tuple(player->isLooping(), player->isBuffered(), player->status()),
              std::tuple(true, true, Playback::scheduling));
    player->scheduleBuffer(rampBuffer(3000, 2), std::nullopt,
                           platform::PlayerBufferOptions::loops | platform::PlayerBufferOptions::interrupts);
    EXPECT_FALSE(player->isLooping());
    ASSERT_TRUE(player->playerNode()->play());
    EXPECT_EQ(rig.render(1024)[0][5], rampValue(5));
    player->playerNode()->stop();

    ToolkitLogCapture capture;
    player->scheduleBuffer(folder.file("none.wav"), std::nullopt, platform::PlayerBufferOptions::loops);
    EXPECT_EQ(capture.contents("AudioPlayerLegacy.cpp", "scheduleBuffer(url:at:options:)"),
              std::vector<std::string>{"Failed to create buffer"});
    EXPECT_FALSE(player->isLooping());

    player->scheduleBuffer(ramp("legacy.wav", 5000, 2), std::nullopt, platform::PlayerBufferOptions::loops);
    EXPECT_EQ(std::pair(player->isLooping(), player->buffer()->frameLength()), std::pair(true, 5000u));
}

// A file of more frames than the player node's 32-bit count (two days of audio and more): it plays
// whole or from anywhere in it, and a seek lands where it was asked to, before frame 2^32 with more than
// 2^32 frames left or past 2^33. The file is a hole on disk but for its marks.
TEST_F(AudioPlayerScheduling, AFileOfMoreFramesThan32BitsCountPlaysAndSeeksAnywhere) {
    constexpr std::int64_t frames32 = std::int64_t(1) << 32, length = 2 * frames32 + 88200;
    constexpr std::int16_t early = 1000, late = 3000;
    const std::string path = testsupport::writeMarkedSparseCaf(
        folder.file("days.caf"), std::uint64_t(length),
        {{std::uint64_t(frames32 - 2), early}, {std::uint64_t(2 * frames32 + 44100), late}});
    ASSERT_FALSE(path.empty());
    player->load(openFile(path));
    ASSERT_EQ(player->file()->length(), length);

    // Where a mark's four frames begin in what was heard (-1: nowhere, or not all four).
    auto markAt = [](const Channels& out, std::int16_t value) -> std::int64_t {
        for (std::size_t i = 0; i + 4 <= out[0].size(); ++i)
            if (out[0][i] == float(value) / 32768.0f) {
                for (int k = 0; k < 4; ++k)
                    if (out[0][i + k] != float(value + k) / 32768.0f || out[1][i + k] != -out[0][i + k])
                        return -1;
                return std::int64_t(i);
            }
        return -1;
    };
    auto seekTo = [&](std::int64_t frame) {
        player->play(0.0, 0.0);
        (void)rig.render(1024);
        player->seek(double(frame) / 44100.0 - player->currentTime());
    };
    const struct {
        const char* how;
        std::function<void()> act;
        std::int16_t mark;
        std::int64_t at;
    } cases[] = {
        {"played from before 2^32", [&] { player->play(double(frames32 - 1002) / 44100.0, 0.0); }, early,
         1000},
        {"sought to before 2^32", [&] { seekTo(frames32 - 502); }, early, 500},
        {"sought past 2^33", [&] { seekTo(2 * frames32 + 44100 - 500); }, late, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        player->stop();
        c.act();
        EXPECT_TRUE(player->isPlaying());
        const std::int64_t at = markAt(rig.render(4096), c.mark);
        // A time in seconds falls on a frame to within one.
        EXPECT_NEAR(double(at), double(c.at), 1.0);
    }
}

// A range longer than the player node counts goes on it in segments that join without a frame lost,
// doubled or late (here with segments made short, so that the joins are heard).
TEST_F(AudioPlayerScheduling, SegmentsOfALongRangeJoinWithoutABreak) {
    player->load(openFile(ramp("joins.wav", 44100, 2)));
    player->setSegmentFrameLimit(30000);
    const struct {
        const char* how;
        std::function<void()> act;
        std::int64_t first;
    } cases[] = {{"played", [&] { player->play(); }, 0},
                 {"sought",
                  [&] {
                      player->play();
                      player->seek(10000.0 / 44100.0);
                  },
                  10000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        player->stop();
        c.act();
        const Channels out = rig.render(44100 + 1024);
        std::int64_t departure = -1;
        for (std::int64_t i = 0; i < std::int64_t(out[0].size()) && departure < 0; ++i) {
            const std::int64_t frame = c.first + i;
            for (std::uint32_t channel = 0; channel < 2; ++channel)
                if (out[channel][std::size_t(i)] != (frame < 44100 ? rampValue(frame, channel) : 0.0f))
                    departure = i;
        }
        EXPECT_EQ(departure, -1) << "frame " << c.first + departure << " is not the file's";
    }
}

// Each segment that ends lets the next one follow, so the whole range plays, and play ends once, at its
// end, not at the end of the segments first scheduled.
TEST(AudioPlayerCompletion, ARangeOfManySegmentsEndsOnceAtItsEnd) {
    Folder folder;
    LiveRig rig(true);
    rig.player->load(openFile(writeRampFile(folder, "many.wav", 22050, 2)));
    rig.player->setSegmentFrameLimit(4410);
    std::vector<double> endedAt;
    rig.player->completionHandler = [&, completions = rig.completions] {
        endedAt.push_back(rig.player->currentTime());
        ++*completions;
    };
    rig.player->play();
    ASSERT_TRUE(rig.completed(1));
    ASSERT_EQ(endedAt.size(), 1u);
    EXPECT_GE(endedAt[0], 0.5 - 0.01) << "five segments of 0.1 s";
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_FALSE(rig.completed(2, 0.3)) << "one end";
}
