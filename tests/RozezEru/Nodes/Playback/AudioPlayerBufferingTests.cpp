// AudioPlayer: filling the buffer of buffered mode from the edit range of the file.

#include "PlayerTestRig.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "platform/player/AudioPlayerNode.h"

#include "tests/support/ToneFiles.h"

#include <filesystem>
#include <fstream>

using namespace playertest;
using rozezeru::AudioPlayer;
using rozezeru::NodeStatus::Playback;
using testsupport::ToolkitLogCapture;

namespace {

// The frames the buffer is filled from, and how many.
std::tuple<std::uint32_t, std::int64_t, std::int64_t> bufferedRange(const AudioPlayer& player) {
    return {player.frameCount(), player.startingFrame().value_or(-1), player.endingFrame().value_or(-1)};
}

} // namespace

TEST(AudioPlayerBuffering, TheBufferHoldsTheEditRange) {
    Folder folder;
    AudioPlayer player(openFile(writeRampFile(folder, "ten.wav", 441000, 2)));
    player.setEditStartTime(1.5);
    player.setEditEndTime(2.0);
    player.setBuffered(true);
    EXPECT_EQ(player.buffer(), nullptr);
    player.updateBuffer();
    ASSERT_NE(player.buffer(), nullptr);
    EXPECT_EQ(bufferedRange(player), std::tuple(22050u, 66150, 88200));
    EXPECT_EQ(std::tuple(player.buffer()->frameLength(), player.buffer()->channel(0)[0],
                         player.buffer()->channel(1)[22049]),
              std::tuple(22050u, rampValue(66150), rampValue(88199, 1)));

    // Reversed, the range is read from its mirrored place and turned round.
    player.setReversed(true);
    player.updateBuffer();
    EXPECT_EQ(bufferedRange(player), std::tuple(22050u, 352800, 374850));
    EXPECT_EQ(std::tuple(player.buffer()->frameLength(), player.buffer()->channel(0)[0],
                         player.buffer()->channel(0)[22049]),
              std::tuple(22050u, rampValue(374849), rampValue(352800)));
}

TEST(AudioPlayerBuffering, AnEditEndOfZeroReadsToTheEnd) {
    Folder folder;
    const auto path = writeRampFile(folder, "end.wav", 30000, 2);
    AudioPlayer player;
    // Edit times written before there is a file stay 0, and are kept by the load.
    player.setEditStartTime(0.25);
    player.load(openFile(path), true, true);
    EXPECT_EQ(player.editEndTime(), 0.0);
    EXPECT_EQ(bufferedRange(player), std::tuple(30000u, 0, 30000));
    // Reversed, an edit end of 0 stands for the end too: the whole file, backwards.
    player.setReversed(true);
    player.updateBuffer();
    EXPECT_EQ(std::pair(player.frameCount(), player.buffer()->channel(0)[0]),
              std::pair(30000u, rampValue(29999)));
}

TEST(AudioPlayerBuffering, AMonoFileIsWidenedToThePlayerNodesChannels) {
    Folder folder;
    OfflineRig rig;
    const auto mono = writeRampFile(folder, "mono.wav", 5000, 1);
    {
        ToolkitLogCapture capture;
        rig.player->load(openFile(mono), true);
        const auto& buffer = *rig.player->buffer();
        EXPECT_EQ(std::pair(buffer.format().channelCount(), buffer.frameLength()), std::pair(2u, 5000u));
        const auto expected = rampBuffer(5000, 1);
        for (std::uint32_t c = 0; c < 2; ++c)
            EXPECT_EQ(std::vector<float>(buffer.channel(c), buffer.channel(c) + 5000),
                      std::vector<float>(expected->channel(0), expected->channel(0) + 5000));
        EXPECT_EQ(capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()"),
                  std::vector<std::string>{
                      "Copying mono data to 2 channel buffer... <1 ch, 44100 Hz, Float32, deinterleaved>"});
    }
    {
        ToolkitLogCapture capture;
        rig.player->load(openFile(writeRampFile(folder, "stereo.wav", 5000, 2)), true);
        EXPECT_EQ(rig.player->buffer()->format().channelCount(), 2u);
        EXPECT_TRUE(capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()").empty());
    }
}

TEST(AudioPlayerBuffering, RangesThatCannotBeReadLeaveTheBufferAlone) {
    Folder folder;
    ToolkitLogCapture capture;
    AudioPlayer none;
    none.setBuffered(true);
    none.updateBuffer();
    EXPECT_EQ(
        capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()"),
        std::vector<std::string>{"It's not possible to create edited buffers without a file reference."});

    // A file with a header and no frames.
    capture.sink.clear();
    platform::AudioFileSettings settings;
    ASSERT_TRUE(platform::AudioFile::openForWriting(folder.file("empty.wav"), settings));
    AudioPlayer empty(openFile(folder.file("empty.wav")), true);
    EXPECT_EQ(empty.buffer(), nullptr);
    EXPECT_EQ(capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()"),
              std::vector<std::string>{"Could not set PCM buffer in empty.wav length = 0."});

    capture.sink.clear();
    AudioPlayer player(openFile(writeRampFile(folder, "range.wav", 88200, 2)), true);
    const auto filled = player.buffer();
    player.setEditStartTime(1.0);
    player.setEditEndTime(1.0);
    player.updateBuffer();
    EXPECT_EQ(capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()"),
              std::vector<std::string>{"Error, endFrame must be after startFrame. Unable to fill buffer. "
                                       "startFrame 44100 endFrame 44100"});
    EXPECT_EQ(std::pair(player.buffer(), player.endingFrame()),
              std::pair(filled, std::optional<std::int64_t>(88200)));

    // A buffer without a file stays as it is, reversed or not.
    capture.sink.clear();
    const std::shared_ptr<const platform::PcmBuffer> own = rampBuffer(1000, 2);
    AudioPlayer loaded(own);
    loaded.setReversed(true);
    loaded.updateBuffer();
    EXPECT_EQ(std::pair(loaded.buffer(), capture.sink.records().empty()), std::pair(own, true));
}

TEST(AudioPlayerBuffering, FilesBeyondTheBufferLimitAreRefusedNotWrapped) {
    Folder folder;
    const std::uint64_t frames = (std::uint64_t(1) << 32) + 10;
    const auto path = testsupport::writeSparseCaf(folder.file("huge.caf"), frames);
    auto file = openFile(path);
    ASSERT_EQ(std::uint64_t(file->length()), frames);

    const auto whole = rozezeru::bufferFromFile(*file);
    ASSERT_FALSE(whole.ok());
    EXPECT_NE(whole.error().message.find("4294967306"), std::string::npos);

    OfflineRig rig;
    ToolkitLogCapture capture;
    rig.player->load(file, true);
    EXPECT_EQ(rig.player->buffer(), nullptr);
    EXPECT_EQ(capture.contents("AudioPlayerBuffering.cpp", "updateBuffer()"),
              std::vector<std::string>{
                  "Unable to fill buffer: the range holds 4294967306 frames, more than 4294967295"});

    // In file mode the whole file plays: it goes on the player node in segments the node can count.
    rig.player->setBuffered(false);
    rig.player->play();
    EXPECT_EQ(rig.player->status(), Playback::playing);
    EXPECT_TRUE(
        capture.contents("AudioPlayerScheduling.cpp", "scheduleSegment(at:completionCallbackType:)").empty());
    rig.player->stop();
    rig.player->play(0.0, 10.0);
    EXPECT_TRUE(rig.player->isPlaying());
}
