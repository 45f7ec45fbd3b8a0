#include "RozezEru/Internals/AudioSignal.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

using namespace rozezeru;

namespace {

std::vector<std::string> signalLogContents(const platform::CaptureLogSink& sink) {
    std::vector<std::string> contents;
    for (const auto& record : sink.records())
        if (auto content =
                testsupport::toolkitLogContent(record.text, "AudioSignal.cpp", "loadAudioSignal(audioURL:)"))
            contents.push_back(*content);
    return contents;
}

} // namespace

TEST(LoadAudioSignal, ReturnsTheFirstChannelOfAStereoFile) {
    testsupport::TemporaryFolder folder;
    std::string path = folder.path + "/stereo.wav";
    {
        platform::AudioFileSettings settings;
        settings.sampleRate = 48000;
        settings.numberOfChannels = 2;
        settings.linearPCMBitDepth = 32;
        settings.linearPCMIsFloat = true;
        auto file = platform::AudioFile::openForWriting(path, settings);
        ASSERT_TRUE(file);
        auto buffer = platform::PcmBuffer::make(*platform::AudioFormat::standard(48000, 2), 1000);
        for (int i = 0; i < 1000; ++i) {
            buffer->channel(0)[i] = float(i) / 1000.0f;
            buffer->channel(1)[i] = -0.5f;
        }
        buffer->setFrameLength(1000);
        ASSERT_TRUE(file.value()->write(*buffer));
        ASSERT_TRUE(file.value()->close());
    }
    testsupport::ToolkitLogCapture capture;
    auto signal = loadAudioSignal(platform::Url::fileURLWithPath(path));
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->sampleRate, 48000.0);
    EXPECT_EQ(signal->frameCount, 1000);
    ASSERT_EQ(signal->samples.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(signal->samples[i], float(i) / 1000.0f) << i;
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST(LoadAudioSignal, UnreadableFilesAreLoggedAndGiveNothing) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture capture;
    EXPECT_FALSE(loadAudioSignal(platform::Url::fileURLWithPath(folder.path + "/missing.wav")));
    ASSERT_TRUE(
        platform::writeFileAtomically(folder.path + "/garbage.wav", std::string_view("RIFF....not audio"))
            .ok());
    EXPECT_FALSE(loadAudioSignal(platform::Url::fileURLWithPath(folder.path + "/garbage.wav")));
    EXPECT_EQ(signalLogContents(capture.sink),
              (std::vector<std::string>{"Error in Load Audio Signal: could not read url into audio file",
                                        "Error in Load Audio Signal: could not read url into audio file"}));
    for (const auto& record : capture.sink.records()) {
        EXPECT_EQ(record.level, platform::LogType::error);
        EXPECT_EQ(record.category, "general");
    }
}
