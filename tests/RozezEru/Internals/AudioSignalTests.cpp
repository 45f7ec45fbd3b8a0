#include "RozezEru/Internals/AudioSignal.h"

#include "platform/foundation/Files.h"
#include "tests/RozezEru/Nodes/Playback/PlayerTestRig.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

using namespace rozezeru;

TEST(LoadAudioSignal, ReturnsTheFirstChannelOfAFileAndLogsWhatCannotBeRead) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture capture;
    const auto path = playertest::writeFloatFile(
        folder, "stereo.wav", 1000, 2, 48000.0,
        [](std::int64_t i, std::uint32_t c) { return c == 0 ? 0.001f * float(i) : -0.5f; });
    auto signal = loadAudioSignal(platform::Url::fileURLWithPath(path));
    ASSERT_TRUE(signal);
    EXPECT_EQ(std::pair(signal->sampleRate, std::int64_t(signal->frameCount)),
              std::pair(48000.0, std::int64_t(1000)));
    EXPECT_EQ(signal->samples, testsupport::ramp(1000, 0.0f, 0.001f));
    EXPECT_TRUE(capture.sink.records().empty());

    ASSERT_TRUE(
        platform::writeFileAtomically(folder.file("garbage.wav"), std::string_view("RIFF....not audio"))
            .ok());
    for (const char* name : {"missing.wav", "garbage.wav"})
        EXPECT_FALSE(loadAudioSignal(platform::Url::fileURLWithPath(folder.file(name)))) << name;
    EXPECT_EQ(capture.contents("AudioSignal.cpp", "loadAudioSignal(audioURL:)"),
              std::vector<std::string>(2, "Error in Load Audio Signal: could not read url into audio file"));
    for (const auto& record : capture.sink.records())
        EXPECT_EQ(std::pair(record.level, record.category),
                  std::pair(platform::LogType::error, std::string("general")));
}
