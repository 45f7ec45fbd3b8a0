#include "RozezEru/AudioFiles/AudioFileUtilities.h"
#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/AudioSignal.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "tests/RozezEru/Nodes/Playback/PlayerTestRig.h"
#include "tests/support/Signals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using platform::CommonFormat;
using platform::PcmBuffer;
using testsupport::ToolkitLogCapture;
using Texts = std::vector<std::string>;

namespace {

// Frame i of channel c holds c + i / 100000 (exact enough to tell frames apart).
std::unique_ptr<PcmBuffer> utilitiesBuffer(std::uint32_t frames, std::uint32_t channels = 2,
                                           std::uint32_t capacity = 0) {
    auto buffer =
        PcmBuffer::make(*platform::AudioFormat::standard(44100.0, channels), capacity ? capacity : frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = float(c) + float(i) / 100000.0f;
    buffer->setFrameLength(frames);
    return buffer;
}

// Samples [from, to) of a float channel.
std::vector<float> samples(const PcmBuffer& buffer, std::uint32_t channel, std::uint32_t from,
                           std::uint32_t to) {
    return std::vector<float>(buffer.channel(channel) + from, buffer.channel(channel) + to);
}

std::unique_ptr<PcmBuffer> bufferOf(CommonFormat common, std::uint32_t channels, bool interleaved,
                                    std::uint32_t frames) {
    return PcmBuffer::make(*platform::AudioFormat::make(common, 44100.0, channels, interleaved), frames);
}

} // namespace

TEST(PcmBufferUtilities, ExtractCutsATimeRangeAndRefusesBadOnes) {
    const auto second = utilitiesBuffer(44100);
    auto half = rozezeru::extract(*second, 0.5, 0.0);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(samples(*half, 1, 0, half->frameLength()), samples(*second, 1, 22050, 44100));
    // Past the end: the frames up to the end, in a buffer sized for the range asked for.
    auto tail = rozezeru::extract(*second, 0.9, 2.0);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(std::pair(tail->frameLength(), tail->frameCapacity()), std::pair(4410u, 48510u));
    EXPECT_EQ(tail->channel(0)[4409], second->channel(0)[44099]);

    ToolkitLogCapture capture;
    // Empty or reversed, wholly past the end, and times outside the contract (refused, not wrapped).
    for (auto [from, to] :
         {std::pair{0.25, 0.25}, {0.5, 0.25}, {2.0, 3.0}, {-0.5, 0.5}, {0.0, std::nan("")}, {0.0, 1e6}})
        EXPECT_EQ(rozezeru::extract(*second, from, to), nullptr) << from << " " << to;
    const auto contents = capture.contents("PcmBufferUtilities.cpp", "extract(from:to:)");
    ASSERT_EQ(contents.size(), 6u);
    EXPECT_EQ(Texts(contents.begin(), contents.begin() + 3),
              (Texts{"startSample must be before endSample", "startSample must be before endSample",
                     "Failed to write to edited buffer"}));
}

TEST(PcmBufferUtilities, CopyAppendsWhatFitsAndChecksItsRange) {
    auto receiver = utilitiesBuffer(100, 2, 150);
    const auto source = utilitiesBuffer(200);
    ToolkitLogCapture capture;
    EXPECT_EQ(rozezeru::copy(*receiver, *source, 10), 50u);
    EXPECT_EQ(samples(*receiver, 1, 100, receiver->frameLength()), samples(*source, 1, 10, 60));
    EXPECT_EQ(rozezeru::copy(*receiver, *source), 0u);

    auto room = utilitiesBuffer(0, 2, 100);
    // Another format; a read offset at or past the source's end has nothing to copy.
    EXPECT_EQ(rozezeru::copy(*room, *utilitiesBuffer(10, 1)), 0u);
    EXPECT_EQ(rozezeru::copy(*room, *source, 200), 0u);
    EXPECT_EQ(rozezeru::copy(*room, *source, 4000000000u), 0u);
    EXPECT_EQ(room->frameLength(), 0u);
    EXPECT_EQ(
        capture.contents("PcmBufferUtilities.cpp", "copy(from:readOffset:frames:)"),
        (Texts{"AVAudioBuffer copy(from) - no capacity!", "AVAudioBuffer copy(from) - formats must match!",
               "AVAudioBuffer copy(from) - No frames to copy!",
               "AVAudioBuffer copy(from) - No frames to copy!"}));
    // A frame count limits the copy.
    EXPECT_EQ(rozezeru::copy(*room, *source, 0, 7), 7u);
    EXPECT_EQ(room->frameLength(), 7u);

    // Integer samples go through their own arrays, interleaved ones as one block; others are not copied.
    auto from = bufferOf(CommonFormat::pcmInt16, 2, false, 4);
    for (std::int16_t i = 0; i < 4; ++i) {
        from->int16ChannelData()[0][i] = std::int16_t(100 + i);
        from->int16ChannelData()[1][i] = std::int16_t(-100 - i);
    }
    from->setFrameLength(4);
    auto to = bufferOf(CommonFormat::pcmInt16, 2, false, 8);
    EXPECT_EQ(rozezeru::copy(*to, *from, 1), 3u);
    EXPECT_EQ(std::pair(to->int16ChannelData()[0][0], to->int16ChannelData()[1][2]),
              std::pair(std::int16_t(101), std::int16_t(-103)));
    auto packed = bufferOf(CommonFormat::pcmFloat32, 2, true, 3);
    for (int i = 0; i < 6; ++i)
        packed->floatChannelData()[0][i] = float(i);
    packed->setFrameLength(3);
    auto packedCopy = bufferOf(CommonFormat::pcmFloat32, 2, true, 3);
    EXPECT_EQ(rozezeru::copy(*packedCopy, *packed, 1), 2u);
    EXPECT_EQ(std::vector<float>(packedCopy->floatChannelData()[0], packedCopy->floatChannelData()[0] + 4),
              (std::vector<float>{2, 3, 4, 5}));
    auto wide = bufferOf(CommonFormat::pcmFloat64, 1, false, 2);
    wide->setFrameLength(2);
    EXPECT_EQ(rozezeru::copy(*bufferOf(CommonFormat::pcmFloat64, 1, false, 2), *wide), 0u);
}

TEST(PcmBufferUtilities, CopiesFromAFrameOnOrUpToACount) {
    const auto source = utilitiesBuffer(100);
    EXPECT_EQ(rozezeru::copyFrom(*source, 100), nullptr);
    auto rest = rozezeru::copyFrom(*source, 60);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(samples(*rest, 0, 0, rest->frameLength()), samples(*source, 0, 60, 100));
    auto prefix = rozezeru::copyPrefix(*source, 30);
    ASSERT_NE(prefix, nullptr);
    EXPECT_EQ(samples(*prefix, 1, 0, prefix->frameLength()), samples(*source, 1, 0, 30));
    auto roomy = rozezeru::copyPrefix(*source, 500);
    ASSERT_NE(roomy, nullptr);
    EXPECT_EQ(std::pair(roomy->frameCapacity(), roomy->frameLength()), std::pair(500u, 100u));
    EXPECT_EQ(rozezeru::copyPrefix(*utilitiesBuffer(0, 2, 10), 5), nullptr);
}

TEST(PcmBufferUtilities, FloatChannelDataHasOneArrayPerChannel) {
    EXPECT_EQ(rozezeru::toFloatChannelData(*utilitiesBuffer(3)),
              (std::vector<std::vector<float>>{{0.0f, 0.00001f, 0.00002f}, {1.0f, 1.00001f, 1.00002f}}));
    EXPECT_EQ(rozezeru::toFloatChannelData(*utilitiesBuffer(0, 2, 4)),
              (std::vector<std::vector<float>>{{}, {}}));
    auto packed = bufferOf(CommonFormat::pcmFloat32, 2, true, 2);
    for (int i = 0; i < 4; ++i)
        packed->floatChannelData()[0][i] = float(i);
    packed->setFrameLength(2);
    EXPECT_EQ(rozezeru::toFloatChannelData(*packed),
              (std::vector<std::vector<float>>{{0.0f, 2.0f}, {1.0f, 3.0f}}));
    EXPECT_FALSE(rozezeru::toFloatChannelData(*bufferOf(CommonFormat::pcmInt16, 2, false, 2)));
}

TEST(PcmBufferUtilities, SilenceIsZeroOfEitherSignInTheValidFrames) {
    auto buffer = utilitiesBuffer(4);
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t i = 0; i < 4; ++i)
            buffer->channel(c)[i] = (i % 2) ? -0.0f : 0.0f;
    EXPECT_TRUE(rozezeru::isAllZeros(*buffer));
    for (float last : {1e-30f, std::nanf("")}) {
        buffer->channel(1)[3] = last;
        EXPECT_FALSE(rozezeru::isAllZeros(*buffer)) << last;
    }
    for (std::uint32_t length : {3u, 0u}) {
        buffer->setFrameLength(length);
        EXPECT_TRUE(rozezeru::isAllZeros(*buffer)) << length;
    }
}

TEST(PcmBufferUtilities, TheDigestCoversEverySampleUpToTheCapacity) {
    // The bytes of RFC 1321's last test message, as 20 samples: 10 frames of 2 channels.
    const char* message = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    auto buffer = PcmBuffer::make(*platform::AudioFormat::standard(44100.0, 2), 10);
    for (std::uint32_t i = 0; i < 10; ++i)
        for (std::uint32_t c = 0; c < 2; ++c)
            std::memcpy(&buffer->channel(c)[i], message + (i * 2 + c) * 4, 4);
    // Frames past the valid length count as well.
    buffer->setFrameLength(6);
    EXPECT_EQ(rozezeru::md5(*buffer), "57edf4a22be3c955ac49da2e2107b67a");
    buffer->channel(1)[9] = 0.0f;
    EXPECT_NE(rozezeru::md5(*buffer), "57edf4a22be3c955ac49da2e2107b67a");
    // No float samples: the digest of nothing.
    EXPECT_EQ(rozezeru::md5(*bufferOf(CommonFormat::pcmInt16, 2, false, 16)),
              "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(PcmBufferUtilities, AFileIsReadWholeFromItsStart) {
    const testsupport::TemporaryFolder folder;
    const std::string path = folder.file("tone.wav");
    const auto written = utilitiesBuffer(3000);
    ASSERT_TRUE(testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                              *rozezeru::toFloatChannelData(*written), 44100));
    auto file = std::move(platform::AudioFile::openForReading(path).value());
    EXPECT_DOUBLE_EQ(rozezeru::duration(*file), 3000 / 44100.0);
    file->setFramePosition(1000);
    auto read = rozezeru::bufferFromFile(*file);
    ASSERT_TRUE(read.ok() && read.value());
    EXPECT_EQ(rozezeru::toFloatChannelData(*read.value()), rozezeru::toFloatChannelData(*written));
    auto byPath = rozezeru::bufferFromFile(path);
    ASSERT_TRUE(byPath.ok() && byPath.value());
    EXPECT_EQ(rozezeru::md5(*byPath.value()), rozezeru::md5(*written));
    // A file that cannot be opened gives nothing, and no error.
    auto missing = rozezeru::bufferFromFile(folder.file("missing.wav"));
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(missing.value(), nullptr);
}

TEST(LoadAudioSignal, ReturnsTheFirstChannelOfAFileAndLogsWhatCannotBeRead) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture capture;
    const auto path = playertest::writeFloatFile(
        folder, "stereo.wav", 1000, 2, 48000.0,
        [](std::int64_t i, std::uint32_t c) { return c == 0 ? 0.001f * float(i) : -0.5f; });
    auto signal = rozezeru::loadAudioSignal(platform::Url::fileURLWithPath(path));
    ASSERT_TRUE(signal);
    EXPECT_EQ(std::pair(signal->sampleRate, std::int64_t(signal->frameCount)),
              std::pair(48000.0, std::int64_t(1000)));
    EXPECT_EQ(signal->samples, testsupport::ramp(1000, 0.0f, 0.001f));
    EXPECT_TRUE(capture.sink.records().empty());

    // Which files cannot be read is the platform reader's; here that the failure is logged.
    EXPECT_FALSE(rozezeru::loadAudioSignal(platform::Url::fileURLWithPath(folder.file("missing.wav"))));
    EXPECT_EQ(capture.contents("AudioSignal.cpp", "loadAudioSignal(audioURL:)"),
              std::vector<std::string>{"Error in Load Audio Signal: could not read url into audio file"});
    for (const auto& record : capture.sink.records())
        EXPECT_EQ(std::pair(record.level, record.category),
                  std::pair(platform::LogType::error, std::string("general")));
}
