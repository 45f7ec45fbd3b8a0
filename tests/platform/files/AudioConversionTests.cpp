// Writing AAC through AudioFile, and converting a stream's rate and channels.

#include "AudioFileFixtures.h"

#include "platform/files/AudioConverter.h"

#include <gtest/gtest.h>

using namespace fixtures;

TEST(AudioConversion, AacFilesAreWrittenAtTheirExactLength) {
    TempFolder dir;
    platform::AudioFileSettings settings;
    settings.formatID = platform::audioFormatID::mpeg4AAC;
    settings.numberOfChannels = 1;
    // Frames that fill no whole AAC frame, written in pieces that do not either.
    const Channels data = tone(12345, 1, 44100.0);
    {
        auto file = platform::AudioFile::openForWriting(dir.file("out.m4a"), settings);
        ASSERT_TRUE(file.ok()) << file.error().message;
        for (std::int64_t at = 0; at < 12345; at += 1000)
            ASSERT_TRUE(
                file.value()->write(*bufferOf(data, 44100.0, at, std::min<std::int64_t>(1000, 12345 - at))));
        ASSERT_TRUE(file.value()->close());
    }
    auto read = platform::AudioFile::openForReading(dir.file("out.m4a"));
    EXPECT_EQ(read.ok() ? read.value()->length() : -1, 12345);

    // A rate the AAC encoder does not take.
    settings.sampleRate = 37800.0;
    auto refused = platform::AudioFile::openForWriting(dir.file("refused.m4a"), settings);
    EXPECT_EQ(refused.ok() ? 0 : refused.error().code, int(platform::AudioFileError::invalidSettings));
}

TEST(AudioConversion, StreamsKeepTheirDurationAcrossRates) {
    struct Case {
        double from, to;
        std::uint32_t inChannels, outChannels;
        std::int64_t frames, expected;
    };
    for (const auto& c : {Case{44100, 48000, 2, 2, 44101, 48001}, Case{48000, 44100, 1, 2, 10007, 9194},
                          Case{8000, 96000, 2, 1, 999, 11988}, Case{96000, 8000, 1, 1, 100001, 8333},
                          Case{44100, 44100, 2, 1, 5000, 5000}}) {
        auto converter =
            platform::AudioConverter::make(*platform::AudioFormat::standard(c.from, c.inChannels),
                                           *platform::AudioFormat::standard(c.to, c.outChannels));
        ASSERT_TRUE(converter.ok());
        const Channels data = tone(c.frames, c.inChannels, c.from);
        std::vector<float> first;
        auto sink = [&](const platform::PcmBuffer& block) -> platform::Result<void> {
            EXPECT_EQ(block.format().channelCount(), c.outChannels);
            first.insert(first.end(), block.channel(0), block.channel(0) + block.frameLength());
            return {};
        };
        // In uneven pieces, as a reader hands them over.
        for (std::int64_t at = 0; at < c.frames; at += 777)
            ASSERT_TRUE(converter.value()->convert(
                *bufferOf(data, c.from, at, std::min<std::int64_t>(777, c.frames - at)), sink));
        ASSERT_TRUE(converter.value()->finish(sink));
        EXPECT_EQ(std::int64_t(first.size()), c.expected) << c.from << " to " << c.to;
        // Stereo into mono is the average; at one rate nothing else changes.
        if (c.from == c.to) {
            EXPECT_FLOAT_EQ(first[1234], (data[0][1234] + data[1][1234]) / 2.0f);
        }
    }
}
