// AudioPlayer: its properties, loading and the connection of its two platform nodes.

#include "PlayerTestRig.h"

#include "platform/audio/MixerNode.h"
#include "platform/player/AudioPlayerNode.h"

using namespace playertest;
using AudioPlayerModel = OfflinePlayerTest;
using rozezeru::AudioPlayer;
using rozezeru::NodeStatus::Playback;
using testsupport::ToolkitLogCapture;

TEST_F(AudioPlayerModel, EditTimesAreClampedToTheDuration) {
    AudioPlayer empty;
    EXPECT_EQ(std::pair(empty.duration(), empty.status()), std::pair(0.0, Playback::stopped));
    empty.setEditStartTime(3.0);
    empty.setEditEndTime(5.0);
    EXPECT_EQ(std::pair(empty.editStartTime(), empty.editEndTime()), std::pair(0.0, 0.0));

    AudioPlayer p(openFile(ramp("four.wav", 4 * 8000, 1, 8000.0)));
    EXPECT_DOUBLE_EQ(p.duration(), 4.0);
    EXPECT_EQ(std::pair(p.editStartTime(), p.editEndTime()), std::pair(0.0, 4.0));
    // An end of 0 means the whole file.
    for (auto [set, expected] : {std::pair{2.5, 2.5}, {0.0, 4.0}, {-1.0, 0.0}}) {
        p.setEditEndTime(set);
        EXPECT_EQ(p.editEndTime(), expected) << set;
    }
    for (auto [set, expected] : {std::pair{-2.0, 0.0}, {9.0, 4.0}, {std::nan(""), 0.0}}) {
        p.setEditStartTime(set);
        EXPECT_EQ(p.editStartTime(), expected) << set;
    }

    // A buffer's duration counts its valid frames at its own rate.
    AudioPlayer buffered(rampBuffer(11025, 2));
    EXPECT_EQ(std::pair(buffered.isBuffered(), buffered.duration()), std::pair(true, 0.25));
}

TEST_F(AudioPlayerModel, DisablingEditTimesKeepsTheRangeAsideForLater) {
    AudioPlayer p(openFile(ramp("six.wav", 6 * 8000, 1, 8000.0)));
    // Never saved: enabling gives the whole file.
    p.setEditStartTime(1.0);
    p.setEditEndTime(2.0);
    p.setEditTimeEnabled(true);
    EXPECT_EQ(std::tuple(p.isEditTimeEnabled(), p.editStartTime(), p.editEndTime()),
              std::tuple(true, 0.0, 6.0));

    p.setEditStartTime(1.5);
    p.setEditEndTime(5.0);
    p.setEditTimeEnabled(false);
    EXPECT_EQ(std::tuple(p.isEditTimeEnabled(), p.editStartTime(), p.editEndTime()),
              std::tuple(false, 0.0, 6.0));
    EXPECT_EQ(std::pair(p.savedEditStartTime(), p.savedEditEndTime()),
              std::pair(std::optional(1.5), std::optional(5.0)));

    // A shorter file meanwhile: the saved range comes back clamped to it, and stays saved.
    p.load(openFile(ramp("three.wav", 3 * 8000, 1, 8000.0)));
    p.setEditTimeEnabled(true);
    EXPECT_EQ(std::pair(p.editStartTime(), p.editEndTime()), std::pair(1.5, 3.0));
    EXPECT_EQ(p.savedEditEndTime(), 5.0);
}

TEST_F(AudioPlayerModel, OpeningAndLoadingFilesReportsFailuresAndKeepsTheOldFile) {
    {
        ToolkitLogCapture capture;
        EXPECT_EQ(AudioPlayer::make(folder.file("missing.wav")), nullptr);
        ASSERT_EQ(capture.contents("AudioPlayer.cpp", "init(url:buffered:)").size(), 1u);
        EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    }
    auto player = AudioPlayer::make(ramp("one.wav", 8000, 2, 8000.0), true);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(std::pair(player->isBuffered(), player->buffer()->frameLength()), std::pair(true, 8000u));
    const auto file = player->file();

    EXPECT_FALSE(player->load(folder.file("missing.wav")).ok());
    EXPECT_EQ(std::tuple(player->file(), player->editEndTime(), player->isBuffered()),
              std::tuple(file, 1.0, true));
}

TEST_F(AudioPlayerModel, LoadingByPathKeepsBufferedModeAndRefillsTheBuffer) {
    AudioPlayer p(openFile(ramp("a.wav", 4000, 2)), true);
    EXPECT_EQ(p.buffer()->frameLength(), 4000u);

    // A file whose samples start elsewhere: the buffer must come from it.
    writeFloatFile(folder, "b.wav", 3000, 2, 44100.0,
                   [](std::int64_t i, std::uint32_t c) { return rampValue(500000 + i, c); });
    ASSERT_TRUE(p.load(folder.file("b.wav")).ok());
    ASSERT_TRUE(p.isBuffered());
    EXPECT_EQ(std::tuple(p.buffer()->frameLength(), p.buffer()->channel(0)[0], p.editEndTime()),
              std::tuple(3000u, rampValue(500000), 3000 / 44100.0));

    // Turning buffered mode off drops the buffer; a file loaded then stays unbuffered.
    p.setBuffered(false);
    EXPECT_EQ(p.buffer(), nullptr);
    ASSERT_TRUE(p.load(folder.file("a.wav")).ok());
    EXPECT_EQ(std::pair(p.isBuffered(), p.buffer()),
              std::pair(false, std::shared_ptr<const platform::PcmBuffer>()));
    ASSERT_TRUE(p.load(folder.file("b.wav"), true).ok());
    EXPECT_TRUE(p.isBuffered() && p.buffer());
}

TEST_F(AudioPlayerModel, TheGraphWiresThePlayerNodeIntoItsMixer) {
    {
        ToolkitLogCapture capture;
        AudioPlayer loose;
        loose.makeInternalConnections();
        EXPECT_EQ(capture.contents("AudioPlayer.cpp", "makeInternalConnections()"),
                  std::vector<std::string>{"Engine is nil"});
        EXPECT_EQ(loose.playerNode()->engine(), nullptr);
    }
    auto& engine = rig.engine.avEngine();
    EXPECT_EQ(player->avAudioNode(), player->mixerNode());
    EXPECT_TRUE(player->connections().empty());
    player->makeInternalConnections(); // asking again changes nothing
    const auto points = engine.outputConnectionPoints(*player->playerNode(), 0);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, player->mixerNode().get());
}

TEST_F(AudioPlayerModel, AFileOfAnotherFormatReconnectsThePlayerNodeOnce) {
    const auto stereo44 = ramp("stereo44.wav", 44100, 2);
    const auto stereo44b = ramp("stereo44b.wav", 22050, 2);
    const auto mono22 = ramp("mono22.wav", 22050, 1, 22050.0);
    auto& engine = rig.engine.avEngine();
    const auto& playerNode = *player->playerNode();

    ToolkitLogCapture capture;
    // The first file fits the connection made before it: nothing is reconnected.
    player->load(openFile(stereo44));
    EXPECT_TRUE(capture.contents("AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").empty());
    // The same format again: nothing either.
    player->load(openFile(stereo44b));
    EXPECT_TRUE(capture.contents("AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").empty());

    auto mono = openFile(mono22);
    const std::string expected =
        "Format has changed, player will be reconnected with format " + mono->fileFormat().description();
    player->load(mono);
    EXPECT_EQ(capture.contents("AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)"),
              std::vector<std::string>{expected});
    const auto points = engine.outputConnectionPoints(playerNode, 0);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, player->mixerNode().get());
    EXPECT_EQ(std::pair(playerNode.outputFormat(0), player->mixerNode()->inputFormat(points[0].bus)),
              std::pair(mono->processingFormat(), mono->processingFormat()));
    // The mixer converts the rate and widens the channels, as the platform's rendering tests show.
}

TEST_F(AudioPlayerModel, APlayerWiredBeforeItsFirstFileTakesTheFilesRate) {
    const auto path = ramp("stereo48.wav", 48000, 2, 48000.0);
    ToolkitLogCapture capture;
    player->load(openFile(path));
    EXPECT_EQ(capture.contents("AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").size(), 1u);
    EXPECT_EQ(player->playerNode()->outputFormat(0).sampleRate(), 48000.0);
    player->play();
    const auto out = rig.render(44100);
    // Half a second in: frame 24000 of the file.
    EXPECT_NEAR(out[0][22050], rampValue(24000), 2e-4);
    EXPECT_NEAR(out[1][22050], rampValue(24000, 1), 2e-4);
}

TEST_F(AudioPlayerModel, LoadingWhilePlayingPlaysTheNewFileAtOnce) {
    const auto first = ramp("first.wav", 88200, 2);
    const auto second = ramp("second.wav", 3 * 44100, 2);
    player->load(openFile(first));
    player->play(1.5);
    rig.render(2048);
    player->load(openFile(second));
    // From the previous edit start (clamped to the new duration); the range is reset afterwards.
    EXPECT_EQ(editRange(), std::pair(0.0, 3.0));
    const auto out = rig.render(1024);
    EXPECT_EQ(std::pair(out[0][0], out[0][1023]), std::pair(rampValue(66150), rampValue(66150 + 1023)));

    // A file shorter than the old edit start: the restart has nothing to play and says so.
    ToolkitLogCapture capture;
    player->stop();
    player->play(2.5);
    ASSERT_TRUE(player->isPlaying());
    player->load(openFile(ramp("short.wav", 44100, 2)));
    EXPECT_EQ(player->status(), Playback::stopped);
    EXPECT_EQ(
        capture.contents("AudioPlayerScheduling.cpp", "scheduleSegment(at:completionCallbackType:)"),
        std::vector<std::string>{"Unable to schedule file. totalFrames to play: 0. file.length: 44100"});
}

TEST_F(AudioPlayerModel, ReversingBuffersAFilePlayerAtOnce) {
    player->load(openFile(ramp("rev.wav", 44100, 2)));
    player->play();
    rig.render(1024);
    ASSERT_TRUE(player->isPlaying());

    // Setting the value it has changes nothing, not even on a playing player.
    player->setReversed(false);
    EXPECT_TRUE(player->isPlaying());

    player->setReversed(true);
    EXPECT_EQ(std::pair(player->isPlaying(), player->isBuffered()), std::pair(false, true));
    const auto& buffer = *player->buffer();
    EXPECT_EQ(std::tuple(buffer.frameLength(), buffer.channel(0)[0], buffer.channel(1)[44099]),
              std::tuple(44100u, rampValue(44099), rampValue(0, 1)));
    player->play();
    const auto out = rig.render(1024);
    EXPECT_EQ(std::pair(out[0][0], out[0][1000]), std::pair(rampValue(44099), rampValue(43099)));
}

TEST_F(AudioPlayerModel, LoopingRulesDifferBetweenBufferAndFile) {
    const auto path = ramp("loop.wav", 44100, 2);
    player->load(openFile(path));
    player->play();
    rig.render(1024);

    // A file player takes it at the next end of the file.
    player->setLooping(true);
    EXPECT_EQ(std::pair(player->isPlaying(), player->bufferOptions()),
              std::pair(true, platform::PlayerBufferOptions::loops));
    player->setLooping(false);
    EXPECT_EQ(player->bufferOptions(), platform::PlayerBufferOptions::interrupts);
    player->stop();

    // A playing buffer player stops, with a debug record.
    player->setBuffered(true);
    player->play();
    ASSERT_TRUE(player->isPlaying());
    {
        ToolkitLogCapture capture;
        player->setLooping(true);
        EXPECT_FALSE(player->isPlaying());
        ASSERT_EQ(capture.sink.records().size(), 1u);
        EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::debug);
        EXPECT_EQ(capture.contents("AudioPlayer.cpp", "isLooping"),
                  std::vector<std::string>{
                      "For buffers, 'isLooping' should only be set when the player is stopped."});
    }
    EXPECT_EQ(rig.render(1024)[0][500], 0.0f);

    // A stopped buffer player's node drops whatever waits on it.
    ASSERT_EQ(player->status(), Playback::stopped);
    ASSERT_TRUE(player->playerNode()->scheduleBuffer(
        rampBuffer(4000, 2), std::nullopt, platform::PlayerBufferOptions::none,
        platform::PlayerCompletionCallbackType::dataRendered, {}));
    player->setLooping(false);
    ASSERT_TRUE(player->playerNode()->play());
    EXPECT_EQ(rig.render(1024)[0][500], 0.0f);
}

TEST_F(AudioPlayerModel, LeavingBufferedModeRestartsFromTheFile) {
    player->load(openFile(ramp("buf.wav", 44100, 2)), true);
    player->play(0.5);
    rig.render(2048);
    ASSERT_TRUE(player->isPlaying());

    player->setBuffered(false);
    EXPECT_EQ(std::pair(player->buffer(), player->isPlaying()),
              std::pair(std::shared_ptr<const platform::PcmBuffer>(), true));
    // Again from the edit start, now read from the file.
    const auto out = rig.render(1024);
    EXPECT_EQ(out[0][0], rampValue(22050));

    // Replacing the buffer of a playing buffered player restarts with the new one.
    player->stop();
    player->setFile(nullptr);
    player->load(rampBuffer(3000, 2, 44100.0, 1000));
    player->play();
    rig.render(1024);
    player->setBuffer(rampBuffer(3000, 2, 44100.0, 7000));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(rig.render(1024)[0][0], rampValue(7000));
}
