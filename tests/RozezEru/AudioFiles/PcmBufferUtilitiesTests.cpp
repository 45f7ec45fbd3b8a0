#include "RozezEru/AudioFiles/AudioFileUtilities.h"
#include "RozezEru/AudioFiles/PcmBufferUtilities.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using testsupport::ToolkitLogCapture;
using testsupport::toolkitLogContent;

namespace {

// Frame i of channel c holds c + i / 100000 (exact enough to tell frames apart).
std::unique_ptr<platform::PcmBuffer> utilitiesBuffer(std::uint32_t frames, std::uint32_t channels = 2,
                                                     std::uint32_t capacity = 0) {
    auto buffer = platform::PcmBuffer::make(*platform::AudioFormat::standard(44100.0, channels),
                                            capacity ? capacity : frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = float(c) + float(i) / 100000.0f;
    buffer->setFrameLength(frames);
    return buffer;
}

std::vector<std::string> utilitiesRecords(const ToolkitLogCapture& capture, const char* function) {
    std::vector<std::string> out;
    for (const auto& record : capture.sink.records())
        if (auto content = toolkitLogContent(record.text, "PcmBufferUtilities.cpp", function))
            out.push_back(*content);
    return out;
}

} // namespace

TEST(PcmBufferUtilities, ExtractCutsATimeRange) {
    const auto second = utilitiesBuffer(44100);
    auto half = rozezeru::extract(*second, 0.5, 0.0);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->frameLength(), 22050u);
    EXPECT_EQ(half->channel(0)[0], second->channel(0)[22050]);
    EXPECT_EQ(half->channel(1)[22049], second->channel(1)[44099]);

    // Past the end: the frames up to the end, in a buffer sized for the range asked for.
    auto tail = rozezeru::extract(*second, 0.9, 2.0);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail->frameLength(), 4410u);
    EXPECT_EQ(tail->frameCapacity(), 48510u);
    EXPECT_EQ(tail->channel(0)[4409], second->channel(0)[44099]);

    ToolkitLogCapture capture;
    EXPECT_EQ(rozezeru::extract(*second, 0.25, 0.25), nullptr);
    EXPECT_EQ(rozezeru::extract(*second, 0.5, 0.25), nullptr);
    EXPECT_EQ(utilitiesRecords(capture, "extract(from:to:)"),
              (std::vector<std::string>{"startSample must be before endSample",
                                        "startSample must be before endSample"}));
    capture.sink.clear();
    // Wholly past the end: nothing to copy.
    EXPECT_EQ(rozezeru::extract(*second, 2.0, 3.0), nullptr);
    EXPECT_EQ(utilitiesRecords(capture, "extract(from:to:)").back(), "Failed to write to edited buffer");
    // Times outside the contract are refused, not wrapped.
    capture.sink.clear();
    EXPECT_EQ(rozezeru::extract(*second, -0.5, 0.5), nullptr);
    EXPECT_EQ(rozezeru::extract(*second, 0.0, std::nan("")), nullptr);
    EXPECT_EQ(rozezeru::extract(*second, 0.0, 1e6), nullptr);
    EXPECT_EQ(utilitiesRecords(capture, "extract(from:to:)").size(), 3u);
}

TEST(PcmBufferUtilities, CopyAppendsWhatFitsAndChecksItsRange) {
    auto receiver = utilitiesBuffer(100, 2, 150);
    const auto source = utilitiesBuffer(200);
    ToolkitLogCapture capture;
    EXPECT_EQ(rozezeru::copy(*receiver, *source, 10), 50u);
    EXPECT_EQ(receiver->frameLength(), 150u);
    EXPECT_EQ(receiver->channel(1)[100], source->channel(1)[10]);
    EXPECT_EQ(receiver->channel(1)[149], source->channel(1)[59]);
    EXPECT_EQ(rozezeru::copy(*receiver, *source), 0u);

    auto room = utilitiesBuffer(0, 2, 100);
    const auto mono = utilitiesBuffer(10, 1);
    EXPECT_EQ(rozezeru::copy(*room, *mono), 0u);
    // A read offset at or past the source's end has nothing to copy.
    EXPECT_EQ(rozezeru::copy(*room, *source, 200), 0u);
    EXPECT_EQ(rozezeru::copy(*room, *source, 4000000000u), 0u);
    EXPECT_EQ(room->frameLength(), 0u);
    EXPECT_EQ(utilitiesRecords(capture, "copy(from:readOffset:frames:)"),
              (std::vector<std::string>{"AVAudioBuffer copy(from) - no capacity!",
                                        "AVAudioBuffer copy(from) - formats must match!",
                                        "AVAudioBuffer copy(from) - No frames to copy!",
                                        "AVAudioBuffer copy(from) - No frames to copy!"}));
    // A frame count limits the copy.
    EXPECT_EQ(rozezeru::copy(*room, *source, 0, 7), 7u);
    EXPECT_EQ(room->frameLength(), 7u);

    // Integer samples go through their own arrays, interleaved ones as one block.
    const auto int16 = *platform::AudioFormat::make(platform::CommonFormat::pcmInt16, 44100.0, 2, false);
    auto from = platform::PcmBuffer::make(int16, 4);
    for (std::int16_t i = 0; i < 4; ++i) {
        from->int16ChannelData()[0][i] = std::int16_t(100 + i);
        from->int16ChannelData()[1][i] = std::int16_t(-100 - i);
    }
    from->setFrameLength(4);
    auto to = platform::PcmBuffer::make(int16, 8);
    EXPECT_EQ(rozezeru::copy(*to, *from, 1), 3u);
    EXPECT_EQ(to->int16ChannelData()[0][0], 101);
    EXPECT_EQ(to->int16ChannelData()[1][2], -103);

    const auto interleaved =
        *platform::AudioFormat::make(platform::CommonFormat::pcmFloat32, 44100.0, 2, true);
    auto packed = platform::PcmBuffer::make(interleaved, 3);
    for (int i = 0; i < 6; ++i)
        packed->floatChannelData()[0][i] = float(i);
    packed->setFrameLength(3);
    auto packedCopy = platform::PcmBuffer::make(interleaved, 3);
    EXPECT_EQ(rozezeru::copy(*packedCopy, *packed, 1), 2u);
    EXPECT_EQ(packedCopy->floatChannelData()[0][0], 2.0f);
    EXPECT_EQ(packedCopy->floatChannelData()[0][3], 5.0f);

    // Other sample types are not copied.
    const auto doubles = *platform::AudioFormat::make(platform::CommonFormat::pcmFloat64, 44100.0, 1, false);
    auto wide = platform::PcmBuffer::make(doubles, 2);
    wide->setFrameLength(2);
    auto wideCopy = platform::PcmBuffer::make(doubles, 2);
    EXPECT_EQ(rozezeru::copy(*wideCopy, *wide), 0u);
}

TEST(PcmBufferUtilities, CopiesFromAFrameOnOrUpToACount) {
    const auto source = utilitiesBuffer(100);
    EXPECT_EQ(rozezeru::copyFrom(*source, 100), nullptr);
    auto rest = rozezeru::copyFrom(*source, 60);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->frameLength(), 40u);
    EXPECT_EQ(rest->channel(0)[0], source->channel(0)[60]);

    auto prefix = rozezeru::copyPrefix(*source, 30);
    ASSERT_NE(prefix, nullptr);
    EXPECT_EQ(prefix->frameLength(), 30u);
    EXPECT_EQ(prefix->channel(1)[29], source->channel(1)[29]);
    auto roomy = rozezeru::copyPrefix(*source, 500);
    ASSERT_NE(roomy, nullptr);
    EXPECT_EQ(roomy->frameCapacity(), 500u);
    EXPECT_EQ(roomy->frameLength(), 100u);
    EXPECT_EQ(rozezeru::copyPrefix(*utilitiesBuffer(0, 2, 10), 5), nullptr);
}

TEST(PcmBufferUtilities, FloatChannelDataHasOneArrayPerChannel) {
    const auto three = utilitiesBuffer(3);
    const auto arrays = rozezeru::toFloatChannelData(*three);
    ASSERT_TRUE(arrays);
    ASSERT_EQ(arrays->size(), 2u);
    EXPECT_EQ((*arrays)[1], (std::vector<float>{1.0f, 1.00001f, 1.00002f}));
    const auto none = rozezeru::toFloatChannelData(*utilitiesBuffer(0, 2, 4));
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, (std::vector<std::vector<float>>{{}, {}}));

    const auto interleaved =
        *platform::AudioFormat::make(platform::CommonFormat::pcmFloat32, 44100.0, 2, true);
    auto packed = platform::PcmBuffer::make(interleaved, 2);
    for (int i = 0; i < 4; ++i)
        packed->floatChannelData()[0][i] = float(i);
    packed->setFrameLength(2);
    EXPECT_EQ(rozezeru::toFloatChannelData(*packed),
              (std::vector<std::vector<float>>{{0.0f, 2.0f}, {1.0f, 3.0f}}));

    const auto int16 = *platform::AudioFormat::make(platform::CommonFormat::pcmInt16, 44100.0, 2, false);
    EXPECT_FALSE(rozezeru::toFloatChannelData(*platform::PcmBuffer::make(int16, 2)));
}

TEST(PcmBufferUtilities, SilenceIsZeroOfEitherSign) {
    auto buffer = utilitiesBuffer(4);
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t i = 0; i < 4; ++i)
            buffer->channel(c)[i] = (i % 2) ? -0.0f : 0.0f;
    EXPECT_TRUE(rozezeru::isAllZeros(*buffer));
    buffer->channel(1)[3] = 1e-30f;
    EXPECT_FALSE(rozezeru::isAllZeros(*buffer));
    buffer->channel(1)[3] = std::nanf("");
    EXPECT_FALSE(rozezeru::isAllZeros(*buffer));
    // Only the valid frames count.
    buffer->setFrameLength(3);
    EXPECT_TRUE(rozezeru::isAllZeros(*buffer));
    buffer->setFrameLength(0);
    EXPECT_TRUE(rozezeru::isAllZeros(*buffer));
}

TEST(PcmBufferUtilities, TheDigestCoversEverySampleUpToTheCapacity) {
    // The bytes of RFC 1321's last test message, as 20 samples: 10 frames of 2 channels.
    const char* message = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    auto buffer = platform::PcmBuffer::make(*platform::AudioFormat::standard(44100.0, 2), 10);
    for (std::uint32_t i = 0; i < 10; ++i)
        for (std::uint32_t c = 0; c < 2; ++c) {
            std::uint32_t bits = 0;
            for (int b = 0; b < 4; ++b)
                bits |= std::uint32_t(std::uint8_t(message[(i * 2 + c) * 4 + b])) << (8 * b);
            std::memcpy(&buffer->channel(c)[i], &bits, 4);
        }
    // Frames past the valid length count as well.
    buffer->setFrameLength(6);
    EXPECT_EQ(rozezeru::md5(*buffer), "57edf4a22be3c955ac49da2e2107b67a");
    buffer->channel(1)[9] = 0.0f;
    EXPECT_NE(rozezeru::md5(*buffer), "57edf4a22be3c955ac49da2e2107b67a");

    // No float samples: the digest of nothing.
    const auto int16 = *platform::AudioFormat::make(platform::CommonFormat::pcmInt16, 44100.0, 2, false);
    EXPECT_EQ(rozezeru::md5(*platform::PcmBuffer::make(int16, 16)), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(PcmBufferUtilities, AFileIsReadWholeFromItsStart) {
    const testsupport::TemporaryFolder temporary;
    const std::string& folder = temporary.path;
    const std::string path = folder + "/tone.wav";
    platform::AudioFileSettings settings;
    settings.numberOfChannels = 2;
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    const auto written = utilitiesBuffer(3000);
    {
        auto file = platform::AudioFile::openForWriting(path, settings);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file.value()->write(*written));
    }
    auto file = std::move(platform::AudioFile::openForReading(path).value());
    EXPECT_DOUBLE_EQ(rozezeru::duration(*file), 3000 / 44100.0);
    file->setFramePosition(1000);
    auto read = rozezeru::bufferFromFile(*file);
    ASSERT_TRUE(read.ok());
    ASSERT_NE(read.value(), nullptr);
    EXPECT_EQ(read.value()->frameLength(), 3000u);
    EXPECT_EQ(read.value()->channel(1)[0], written->channel(1)[0]);
    EXPECT_EQ(rozezeru::toFloatChannelData(*read.value()), rozezeru::toFloatChannelData(*written));

    auto byPath = rozezeru::bufferFromFile(path);
    ASSERT_TRUE(byPath.ok());
    ASSERT_NE(byPath.value(), nullptr);
    EXPECT_EQ(rozezeru::md5(*byPath.value()), rozezeru::md5(*written));
    // A file that cannot be opened gives nothing, and no error.
    auto missing = rozezeru::bufferFromFile(folder + "/missing.wav");
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(missing.value(), nullptr);
}
