// AudioPlayer: its properties, loading and the connection of its two platform nodes.

#include "PlayerTestRig.h"

#include "platform/audio/MixerNode.h"
#include "platform/player/AudioPlayerNode.h"

using namespace playertest;
using rozezeru::AudioPlayer;
using rozezeru::NodeStatus::Playback;
using testsupport::ToolkitLogCapture;

TEST(AudioPlayerModel, EditTimesAreClampedToTheDuration) {
    AudioPlayer empty;
    EXPECT_EQ(empty.duration(), 0.0);
    EXPECT_EQ(empty.status(), Playback::stopped);
    empty.setEditStartTime(3.0);
    empty.setEditEndTime(5.0);
    EXPECT_EQ(empty.editStartTime(), 0.0);
    EXPECT_EQ(empty.editEndTime(), 0.0);

    Folder folder;
    AudioPlayer player(openFile(writeRampFile(folder, "four.wav", 4 * 8000, 1, 8000.0)));
    EXPECT_DOUBLE_EQ(player.duration(), 4.0);
    EXPECT_EQ(player.editStartTime(), 0.0);
    EXPECT_EQ(player.editEndTime(), 4.0);
    // An end of 0 means the whole file.
    for (auto [set, expected] : {std::pair{2.5, 2.5}, {0.0, 4.0}, {-1.0, 0.0}}) {
        player.setEditEndTime(set);
        EXPECT_EQ(player.editEndTime(), expected) << set;
    }
    for (auto [set, expected] : {std::pair{-2.0, 0.0}, {9.0, 4.0}, {std::nan(""), 0.0}}) {
        player.setEditStartTime(set);
        EXPECT_EQ(player.editStartTime(), expected) << set;
    }

    // A buffer's duration counts its valid frames at its own rate.
    AudioPlayer buffered(rampBuffer(11025, 2));
    EXPECT_TRUE(buffered.isBuffered());
    EXPECT_DOUBLE_EQ(buffered.duration(), 0.25);
}

TEST(AudioPlayerModel, DisablingEditTimesKeepsTheRangeAsideForLater) {
    Folder folder;
    AudioPlayer player(openFile(writeRampFile(folder, "six.wav", 6 * 8000, 1, 8000.0)));
    // Never saved: enabling gives the whole file.
    player.setEditStartTime(1.0);
    player.setEditEndTime(2.0);
    player.setEditTimeEnabled(true);
    EXPECT_TRUE(player.isEditTimeEnabled());
    EXPECT_EQ(player.editStartTime(), 0.0);
    EXPECT_EQ(player.editEndTime(), 6.0);

    player.setEditStartTime(1.5);
    player.setEditEndTime(5.0);
    player.setEditTimeEnabled(false);
    EXPECT_FALSE(player.isEditTimeEnabled());
    EXPECT_EQ(player.editStartTime(), 0.0);
    EXPECT_EQ(player.editEndTime(), 6.0);
    EXPECT_EQ(player.savedEditStartTime(), 1.5);
    EXPECT_EQ(player.savedEditEndTime(), 5.0);

    // A shorter file meanwhile: the saved range comes back clamped to it, and stays saved.
    player.load(openFile(writeRampFile(folder, "three.wav", 3 * 8000, 1, 8000.0)));
    player.setEditTimeEnabled(true);
    EXPECT_EQ(player.editStartTime(), 1.5);
    EXPECT_EQ(player.editEndTime(), 3.0);
    EXPECT_EQ(player.savedEditEndTime(), 5.0);
}

TEST(AudioPlayerModel, OpeningAndLoadingFilesReportsFailuresAndKeepsTheOldFile) {
    Folder folder;
    {
        ToolkitLogCapture capture;
        EXPECT_EQ(AudioPlayer::make(folder.file("missing.wav")), nullptr);
        const auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, platform::LogType::error);
        EXPECT_TRUE(logContents(capture, "AudioPlayer.cpp", "init(url:buffered:)").size() == 1);
    }
    auto player = AudioPlayer::make(writeRampFile(folder, "one.wav", 8000, 2, 8000.0), true);
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isBuffered());
    ASSERT_NE(player->buffer(), nullptr);
    EXPECT_EQ(player->buffer()->frameLength(), 8000u);
    const auto file = player->file();

    const std::string garbage = folder.file("garbage.wav");
    ASSERT_TRUE(platform::writeFileAtomically(garbage, std::string(300, 'x')));
    EXPECT_FALSE(player->load(garbage).ok());
    EXPECT_FALSE(player->load(folder.file("missing.wav")).ok());
    EXPECT_EQ(player->file(), file);
    EXPECT_EQ(player->editEndTime(), 1.0);
    EXPECT_TRUE(player->isBuffered());
}

TEST(AudioPlayerModel, LoadingByPathKeepsBufferedModeAndRefillsTheBuffer) {
    Folder folder;
    AudioPlayer player(openFile(writeRampFile(folder, "a.wav", 4000, 2)), true);
    ASSERT_NE(player.buffer(), nullptr);
    EXPECT_EQ(player.buffer()->frameLength(), 4000u);

    // A file whose samples start elsewhere: the buffer must come from it.
    writeFloatFile(folder, "b.wav", 3000, 2, 44100.0,
                   [](std::int64_t i, std::uint32_t c) { return rampValue(500000 + i, c); });
    ASSERT_TRUE(player.load(folder.file("b.wav")).ok());
    EXPECT_TRUE(player.isBuffered());
    ASSERT_NE(player.buffer(), nullptr);
    EXPECT_EQ(player.buffer()->frameLength(), 3000u);
    EXPECT_EQ(player.buffer()->channel(0)[0], rampValue(500000));
    EXPECT_EQ(player.editEndTime(), 3000 / 44100.0);

    // Turning buffered mode off drops the buffer; a file loaded then stays unbuffered.
    player.setBuffered(false);
    EXPECT_EQ(player.buffer(), nullptr);
    ASSERT_TRUE(player.load(folder.file("a.wav")).ok());
    EXPECT_FALSE(player.isBuffered());
    EXPECT_EQ(player.buffer(), nullptr);
    ASSERT_TRUE(player.load(folder.file("b.wav"), true).ok());
    EXPECT_TRUE(player.isBuffered());
    EXPECT_NE(player.buffer(), nullptr);
}

TEST(AudioPlayerModel, TheGraphWiresThePlayerNodeIntoItsMixer) {
    {
        ToolkitLogCapture capture;
        AudioPlayer loose;
        loose.makeInternalConnections();
        EXPECT_EQ(logContents(capture, "AudioPlayer.cpp", "makeInternalConnections()"),
                  std::vector<std::string>{"Engine is nil"});
        EXPECT_EQ(loose.playerNode()->engine(), nullptr);
    }
    OfflineRig rig;
    auto& engine = rig.engine.avEngine();
    EXPECT_EQ(rig.player->avAudioNode(), rig.player->mixerNode());
    EXPECT_TRUE(rig.player->connections().empty());
    ASSERT_TRUE(engine.isAttached(*rig.player->playerNode()));
    auto points = engine.outputConnectionPoints(*rig.player->playerNode(), 0);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, rig.player->mixerNode().get());
    // Asking again changes nothing.
    rig.player->makeInternalConnections();
    EXPECT_EQ(engine.outputConnectionPoints(*rig.player->playerNode(), 0).size(), 1u);
}

TEST(AudioPlayerModel, AFileOfAnotherFormatReconnectsThePlayerNodeOnce) {
    Folder folder;
    const auto stereo44 = writeRampFile(folder, "stereo44.wav", 44100, 2);
    const auto stereo44b = writeRampFile(folder, "stereo44b.wav", 22050, 2);
    const auto mono22 = writeRampFile(folder, "mono22.wav", 22050, 1, 22050.0);
    OfflineRig rig;
    auto& engine = rig.engine.avEngine();
    const auto& playerNode = *rig.player->playerNode();

    ToolkitLogCapture capture;
    // The first file fits the connection made before it: nothing is reconnected.
    rig.player->load(openFile(stereo44));
    EXPECT_TRUE(logContents(capture, "AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").empty());
    // The same format again: nothing either.
    rig.player->load(openFile(stereo44b));
    EXPECT_TRUE(logContents(capture, "AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").empty());

    auto mono = openFile(mono22);
    const std::string expected =
        "Format has changed, player will be reconnected with format " + mono->fileFormat().description();
    rig.player->load(mono);
    EXPECT_EQ(logContents(capture, "AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)"),
              std::vector<std::string>{expected});
    const auto points = engine.outputConnectionPoints(playerNode, 0);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, rig.player->mixerNode().get());
    EXPECT_EQ(playerNode.outputFormat(0), mono->processingFormat());
    EXPECT_EQ(rig.player->mixerNode()->inputFormat(points[0].bus), mono->processingFormat());

    // It plays, converted by the mixer: frame 11025 of the file (0.5 s) is heard at 0.5 s.
    rig.player->play();
    ASSERT_TRUE(rig.player->isPlaying());
    const auto out = rig.render(30000);
    EXPECT_NEAR(out[0][22050], rampValue(11025), 2e-4);
    EXPECT_NEAR(out[1][22050], rampValue(11025), 2e-4);
}

TEST(AudioPlayerModel, APlayerWiredBeforeItsFirstFileTakesTheFilesRate) {
    Folder folder;
    const auto path = writeRampFile(folder, "stereo48.wav", 48000, 2, 48000.0);
    OfflineRig rig;
    ToolkitLogCapture capture;
    rig.player->load(openFile(path));
    EXPECT_EQ(logContents(capture, "AudioPlayer.cpp", "load(file:buffered:preserveEditTime:)").size(), 1u);
    EXPECT_EQ(rig.player->playerNode()->outputFormat(0).sampleRate(), 48000.0);
    rig.player->play();
    EXPECT_TRUE(rig.player->isPlaying());
    const auto out = rig.render(44100);
    // Half a second in: frame 24000 of the file.
    EXPECT_NEAR(out[0][22050], rampValue(24000), 2e-4);
    EXPECT_NEAR(out[1][22050], rampValue(24000, 1), 2e-4);
}

TEST(AudioPlayerModel, LoadingWhilePlayingPlaysTheNewFileAtOnce) {
    Folder folder;
    const auto first = writeRampFile(folder, "first.wav", 88200, 2);
    const auto second = writeRampFile(folder, "second.wav", 3 * 44100, 2);
    OfflineRig rig;
    rig.player->load(openFile(first));
    rig.player->play(1.5);
    rig.render(2048);
    rig.player->load(openFile(second));
    // From the previous edit start (clamped to the new duration); the range is reset afterwards.
    EXPECT_TRUE(rig.player->isPlaying());
    EXPECT_EQ(rig.player->editStartTime(), 0.0);
    EXPECT_EQ(rig.player->editEndTime(), 3.0);
    const auto out = rig.render(1024);
    EXPECT_EQ(out[0][0], rampValue(66150));
    EXPECT_EQ(out[0][1023], rampValue(66150 + 1023));

    // A file shorter than the old edit start: the restart has nothing to play and says so.
    ToolkitLogCapture capture;
    rig.player->stop();
    rig.player->play(2.5);
    EXPECT_TRUE(rig.player->isPlaying());
    rig.player->load(openFile(writeRampFile(folder, "short.wav", 44100, 2)));
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_EQ(rig.player->status(), Playback::stopped);
    EXPECT_EQ(
        logContents(capture, "AudioPlayerScheduling.cpp", "scheduleSegment(at:completionCallbackType:)"),
        std::vector<std::string>{"Unable to schedule file. totalFrames to play: 0. file.length: 44100"});
}

TEST(AudioPlayerModel, ReversingBuffersAFilePlayerAtOnce) {
    Folder folder;
    OfflineRig rig;
    rig.player->load(openFile(writeRampFile(folder, "rev.wav", 44100, 2)));
    rig.player->play();
    rig.render(1024);
    ASSERT_TRUE(rig.player->isPlaying());

    // Setting the value it has changes nothing, not even a playing player.
    rig.player->setReversed(false);
    EXPECT_TRUE(rig.player->isPlaying());

    rig.player->setReversed(true);
    EXPECT_FALSE(rig.player->isPlaying());
    EXPECT_TRUE(rig.player->isBuffered());
    ASSERT_NE(rig.player->buffer(), nullptr);
    EXPECT_EQ(rig.player->buffer()->frameLength(), 44100u);
    EXPECT_EQ(rig.player->buffer()->channel(0)[0], rampValue(44099));
    EXPECT_EQ(rig.player->buffer()->channel(1)[44099], rampValue(0, 1));

    rig.player->play();
    const auto out = rig.render(1024);
    EXPECT_EQ(out[0][0], rampValue(44099));
    EXPECT_EQ(out[0][1000], rampValue(43099));
}

TEST(AudioPlayerModel, LoopingRulesDifferBetweenBufferAndFile) {
    Folder folder;
    const auto path = writeRampFile(folder, "loop.wav", 44100, 2);
    OfflineRig rig;
    rig.player->load(openFile(path));
    rig.player->play();
    rig.render(1024);

    // A file player takes it at the next end of the file.
    rig.player->setLooping(true);
    EXPECT_TRUE(rig.player->isPlaying());
    EXPECT_EQ(rig.player->bufferOptions(), platform::PlayerBufferOptions::loops);
    rig.player->setLooping(false);
    EXPECT_EQ(rig.player->bufferOptions(), platform::PlayerBufferOptions::interrupts);
    rig.player->stop();

    // A playing buffer player stops, with a debug record.
    rig.player->setBuffered(true);
    rig.player->play();
    ASSERT_TRUE(rig.player->isPlaying());
    {
        ToolkitLogCapture capture;
        rig.player->setLooping(true);
        EXPECT_FALSE(rig.player->isPlaying());
        const auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, platform::LogType::debug);
        EXPECT_EQ(testsupport::toolkitLogContent(records[0].text, "AudioPlayer.cpp", "isLooping"),
                  "For buffers, 'isLooping' should only be set when the player is stopped.");
    }
    EXPECT_EQ(rig.render(1024)[0][500], 0.0f);

    // A stopped buffer player's node drops whatever waits on it.
    ASSERT_EQ(rig.player->status(), Playback::stopped);
    ASSERT_TRUE(rig.player->playerNode()->scheduleBuffer(
        rampBuffer(4000, 2), std::nullopt, platform::PlayerBufferOptions::none,
        platform::PlayerCompletionCallbackType::dataRendered, {}));
    rig.player->setLooping(false);
    ASSERT_TRUE(rig.player->playerNode()->play());
    EXPECT_EQ(rig.render(1024)[0][500], 0.0f);
}

TEST(AudioPlayerModel, LeavingBufferedModeRestartsFromTheFile) {
    Folder folder;
    OfflineRig rig;
    rig.player->load(openFile(writeRampFile(folder, "buf.wav", 44100, 2)), true);
    rig.player->play(0.5);
    rig.render(2048);
    ASSERT_TRUE(rig.player->isPlaying());

    rig.player->setBuffered(false);
    EXPECT_EQ(rig.player->buffer(), nullptr);
    EXPECT_TRUE(rig.player->isPlaying());
    // Again from the edit start, now read from the file.
    const auto out = rig.render(1024);
    EXPECT_EQ(out[0][0], rampValue(22050));

    // Replacing the buffer of a playing buffered player restarts with the new one.
    AudioPlayer* player = rig.player.get();
    player->stop();
    player->setFile(nullptr);
    player->load(rampBuffer(3000, 2, 44100.0, 1000));
    player->play();
    rig.render(1024);
    player->setBuffer(rampBuffer(3000, 2, 44100.0, 7000));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(rig.render(1024)[0][0], rampValue(7000));
}
