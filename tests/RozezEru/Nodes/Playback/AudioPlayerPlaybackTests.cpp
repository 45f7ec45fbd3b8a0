// AudioPlayer: play, pause, resume, stop, seek and the current time, rendered offline.

#include "PlayerTestRig.h"

#include "RozezEru/Nodes/Playback/PlayerTimeCompensation.h"
#include "platform/player/AudioPlayerNode.h"

using namespace playertest;
using AudioPlayerPlayback = OfflinePlayerTest;
using rozezeru::AudioPlayer;
using rozezeru::NodeStatus::Playback;
using testsupport::ToolkitLogCapture;

namespace {

// Reports the player time of the audio heard as a fixed amount behind the audio rendered.
class FixedDelay final : public rozezeru::PlayerTimeCompensation {
public:
    explicit FixedDelay(double seconds) : seconds_(seconds) {}
    double heardPlayerTime(double rendered) const override { return rendered - seconds_; }

private:
    double seconds_;
};

} // namespace

TEST_F(AudioPlayerPlayback, PlayNeedsARunningEngineAndSomethingToPlay) {
    const auto path = ramp("p.wav", 44100, 2);
    {
        ToolkitLogCapture capture;
        AudioPlayer loose(openFile(path));
        loose.play();
        EXPECT_EQ(loose.status(), Playback::stopped);
        rozezeru::AudioEngine engine{std::make_unique<platform::NullAudioDevice>()};
        auto idle = std::make_shared<AudioPlayer>(openFile(path));
        engine.setOutput(idle);
        idle->play(0.5, 0.7);
        // Not even the edit times change.
        EXPECT_EQ(std::tuple(idle->isPlaying(), idle->editStartTime(), idle->editEndTime()),
                  std::tuple(false, 0.0, 1.0));
        ASSERT_EQ(capture.sink.records().size(), 2u);
        EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
        EXPECT_EQ(
            capture.contents("AudioPlayerPlayback.cpp", "play(from:to:at:completionCallbackType:)"),
            (std::vector<std::string>{"🛑 Error: AudioPlayer must be attached before playback.",
                                      "🛑 Error: AudioPlayer's engine must be running before playback."}));
    }

    ToolkitLogCapture capture;
    player->play();
    EXPECT_EQ(player->status(), Playback::stopped);
    EXPECT_EQ(capture.contents("AudioPlayerScheduling.cpp", "schedule(at:completionCallbackType:)"),
              std::vector<std::string>{"The player needs a file or a valid buffer to schedule"});

    // An empty edit range schedules nothing: the player stays stopped and the reason is logged.
    loadRamp(10.0, 1);
    player->play(1.0, 1.0);
    EXPECT_EQ(state(), std::pair(Playback::stopped, 1.0));
    EXPECT_EQ(
        capture.contents("AudioPlayerScheduling.cpp", "scheduleSegment(at:completionCallbackType:)"),
        std::vector<std::string>{"Unable to schedule file. totalFrames to play: 0. file.length: 441000"});
    EXPECT_EQ(rig.render(1024)[0][100], 0.0f);
}

TEST_F(AudioPlayerPlayback, FromAndToReplaceTheEditRangeClampedToTheFile) {
    loadRamp(60.0, 1, 8000.0);
    player->play(5.0, 0.0);
    EXPECT_EQ(std::pair(player->isPlaying(), editRange()), std::pair(true, std::pair(5.0, 60.0)));
    // Playing again changes nothing.
    rig.render(4096);
    const double before = player->timeBeforePlay();
    player->play(7.0, 9.0);
    EXPECT_EQ(std::pair(editRange(), player->timeBeforePlay()), std::pair(std::pair(5.0, 60.0), before));

    player->stop();
    player->play(-3.0, 100.0);
    EXPECT_EQ(std::pair(editRange(), player->playedFraction()), std::pair(std::pair(0.0, 60.0), 0.0));
    player->seek(30.0);
    EXPECT_DOUBLE_EQ(player->playedFraction(), 0.5);
    player->stop();
    EXPECT_EQ(player->playedFraction(), 0.0);
}

TEST_F(AudioPlayerPlayback, CurrentTimeFollowsThePlayerNodesClock) {
    loadRamp(3.0, 2);
    player->play(0.5, 2.5);
    EXPECT_EQ(player->currentTime(), 0.5);
    EXPECT_EQ(firstOfNext(10 * 1024), rampValue(22050));
    // The clock stands where the last cycle began.
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.5 + (9 * 1024) / 44100.0);

    // A stopped player reports its edit start, not where it stopped.
    player->stop();
    EXPECT_EQ(std::pair(player->currentTime(), player->timeBeforePlay()), std::pair(0.5, 0.0));

    // All times absent: the same range again from its start.
    player->play();
    EXPECT_EQ(editRange(), std::pair(0.5, 2.5));
    EXPECT_EQ(firstOfNext(), rampValue(22050));

    // At the edit end the clock stops there.
    rig.render(3 * 44100);
    EXPECT_EQ(std::pair(player->currentTime(), player->playedFraction()), std::pair(2.5, 1.0));
}

TEST_F(AudioPlayerPlayback, ADownstreamDelayIsTakenOffTheCurrentTime) {
    loadRamp(2.0, 2);
    player->setTimeCompensation(std::make_shared<FixedDelay>(0.1));
    player->play(1.0);
    rig.render(11 * 1024);
    EXPECT_NEAR(player->currentTime(), 1.0 + (10 * 1024) / 44100.0 - 0.1, 1e-12);
    // Not heard yet: the edit start.
    player->stop();
    player->play(1.0);
    rig.render(2 * 1024);
    EXPECT_EQ(player->currentTime(), 1.0);
    player->setTimeCompensation(nullptr);
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.0 + 1024 / 44100.0);
}

TEST_F(AudioPlayerPlayback, PauseHoldsTheTimeAndResumeGoesOnFromThere) {
    loadRamp(1.0, 2);
    player->play();
    rig.render(4 * 1024);
    const double atPause = player->currentTime();
    player->pause();
    EXPECT_EQ(std::pair(player->isPlaying(), player->pausedTime()), std::pair(false, atPause));
    EXPECT_EQ(state(), std::pair(Playback::paused, atPause));
    EXPECT_EQ(firstOfNext(2048), 0.0f);
    EXPECT_EQ(player->currentTime(), atPause);
    // Resuming a player that is not paused does nothing.
    player->stop();
    player->resume();
    EXPECT_EQ(player->status(), Playback::stopped);

    player->play();
    rig.render(4 * 1024);
    player->pause();
    player->pause();
    EXPECT_EQ(player->status(), Playback::paused);
    rig.render(1024);
    player->resume();
    EXPECT_TRUE(player->isPlaying());
    auto out = rig.render(1024);
    EXPECT_EQ(std::pair(out[0][0], out[1][1023]), std::pair(rampValue(4 * 1024), rampValue(5 * 1024 - 1, 1)));

    // play() on a paused player goes on without scheduling anew, and the clock goes on too.
    player->pause();
    const double paused = player->currentTime();
    rig.render(1024);
    player->play();
    EXPECT_EQ(firstOfNext(2048), rampValue(5 * 1024));
    EXPECT_DOUBLE_EQ(player->currentTime(), paused + 2048 / 44100.0);
}

TEST_F(AudioPlayerPlayback, LoopingABufferWrapsTheCurrentTime) {
    loadRamp(14.0, 1, 44100.0, true);
    player->setLooping(true);
    player->play(10.0, 14.0);
    ASSERT_TRUE(player->isPlaying());
    rig.render(9 * 44100);
    rig.render(1024);
    EXPECT_NEAR(player->currentTime(), 11.0, 1e-9);
    // Where the ninth second of playing was heard, the range had wrapped twice: file frame 11 s.
    EXPECT_EQ(firstOfNext(), rampValue(11 * 44100 + 1024));
}

TEST_F(AudioPlayerPlayback, SeekingAFileMovesFromTheCurrentTime) {
    loadRamp(60.0, 1, 8000.0);
    player->play();
    rig.render(20 * 44100);
    const double now = player->currentTime();
    EXPECT_NEAR(now, 20.0, 0.03);

    // Zero does nothing.
    player->seek(0.0);
    EXPECT_EQ(player->currentTime(), now);

    player->seek(10.0);
    EXPECT_EQ(std::pair(player->isSeeking(), player->isPlaying()), std::pair(false, true));
    EXPECT_DOUBLE_EQ(player->timeBeforePlay(), -(now + 10.0));
    EXPECT_DOUBLE_EQ(player->currentTime(), now + 10.0);
    // The mixer converts the file's 8000 Hz and reads a little ahead.
    rig.render(44100);
    rig.render(1024);
    EXPECT_NEAR(player->currentTime(), now + 11.0, 0.01);

    // Back, to before the start, or past the end: stopped.
    player->seek(-100.0);
    EXPECT_EQ(player->status(), Playback::stopped);
    player->play();
    rig.render(1024);
    player->seek(60.5);
    EXPECT_EQ(state(), std::pair(Playback::stopped, 0.0));

    // A looping player starts again at the edit start.
    player->setLooping(true);
    player->play(2.0, 4.0);
    rig.render(1024);
    player->seek(5.0);
    EXPECT_EQ(state(), std::pair(Playback::playing, 2.0));

    // Seeking a stopped player inside the range plays it; not-finite offsets do nothing.
    player->stop();
    player->seek(std::nan(""));
    player->seek(INFINITY);
    EXPECT_EQ(player->status(), Playback::stopped);
    player->seek(1.0);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->currentTime(), 3.0);
}

TEST_F(AudioPlayerPlayback, SeekingPlaysTheFileFromTheTargetFrame) {
    loadRamp(2.0, 2);
    player->play();
    rig.render(2048);
    const double now = player->currentTime();
    player->seek(0.5);
    EXPECT_EQ(firstOfNext(), rampValue(std::int64_t((now + 0.5) * 44100.0)));

    // Seeking needs a file: a buffer player without one does not move.
    player->stop();
    player->setFile(nullptr);
    player->load(rampBuffer(44100, 2));
    player->play();
    rig.render(1024);
    player->seek(0.5);
    EXPECT_EQ(firstOfNext(), rampValue(1024));
}

TEST_F(AudioPlayerPlayback, SeekingABufferStaysInsideItInItsOwnOrder) {
    loadRamp(3.0, 2, 44100.0, true);
    player->play(1.0, 2.0);
    rig.render(1024);
    player->seek(0.5); // from 1.0 to 1.5
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.5);
    EXPECT_EQ(firstOfNext(), rampValue(66150));

    // Before the edit start: the edit start (a buffer holds nothing before it).
    player->seek(-20.0);
    EXPECT_EQ(state(), std::pair(Playback::playing, 1.0));
    EXPECT_EQ(firstOfNext(), rampValue(44100));
    // Past the edit end: stopped.
    player->seek(5.0);
    EXPECT_EQ(player->status(), Playback::stopped);

    // Reversed, the range plays backwards from its mirrored place and seeking moves on in that order.
    player->setReversed(true);
    player->play();
    EXPECT_EQ(firstOfNext(), rampValue(88199));
    player->stop();
    player->play();
    player->seek(0.5);
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.5);
    const auto out = rig.render(1024);
    EXPECT_EQ(std::pair(out[0][0], out[0][1]), std::pair(rampValue(88199 - 22050), rampValue(88199 - 22051)));
}

TEST_F(AudioPlayerPlayback, SeekingALoopingBufferWrapsToTheRangeStart) {
    loadRamp(3.0, 1, 44100.0, true);
    player->setLooping(true);
    player->play(1.0, 2.0);
    rig.render(1024);
    player->seek(0.75);
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.75);
    // The rest of the pass, then the whole range again from its start.
    const auto rest = rig.render(11025);
    EXPECT_EQ(std::pair(rest[0][0], rest[0][11024]), std::pair(rampValue(77175), rampValue(88199)));
    EXPECT_EQ(firstOfNext(), rampValue(44100));
    EXPECT_EQ(player->currentTime(), 1.0);
    rig.render(1024);
    EXPECT_NEAR(player->currentTime(), 1.0 + 1024 / 44100.0, 1e-9);
    EXPECT_TRUE(player->isPlaying());
}

TEST_F(AudioPlayerPlayback, AsANodeItStartsStopsAndSetsItsVolume) {
    player->load(rampBuffer(20000, 2));
    player->start();
    EXPECT_TRUE(player->isStarted());
    player->setVolume(0.5f);
    // The change ramps in over one cycle.
    EXPECT_EQ(rig.render(2048)[0][1500], 0.5f * rampValue(1500));
    player->stop();
    EXPECT_EQ(std::pair(player->isStarted(), player->status()), std::pair(false, Playback::stopped));
    EXPECT_EQ(rig.render(1024)[0][10], 0.0f);
}

TEST_F(AudioPlayerPlayback, AStartTimeDelaysTheAudioAndCountsAsTimeBeforePlay) {
    player->load(rampBuffer(20000, 2));
    rig.render(1024);
    player->play(std::nullopt, std::nullopt, platform::AudioTime::withSampleTime(1024 + 4410, 44100.0));
    EXPECT_DOUBLE_EQ(player->timeBeforePlay(), (1024 + 4410) / 44100.0);
    const auto out = rig.render(8192);
    EXPECT_EQ(std::tuple(out[0][4409], out[0][4410], out[1][4411]),
              std::tuple(0.0f, rampValue(0), rampValue(1, 1)));
}
