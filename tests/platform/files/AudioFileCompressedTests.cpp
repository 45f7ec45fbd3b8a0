// Reading and seeking compressed files, writing AAC through AudioFile, and converting a stream's rate and
// channels.

#include "AudioFileFixtures.h"

#include "platform/files/AudioConverter.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace fixtures;

namespace {

// Reads 700 frames at each position (in the order given, so the file moves back and forth) and compares
// them with the same frames of a continuous decode: a lossy decoder is compared with itself, so a
// sample-accurate seek gives the very same samples.
void expectSeeksMatch(AudioFile& file, const Channels& whole, const std::vector<std::int64_t>& positions) {
    auto buffer = PcmBuffer::make(file.processingFormat(), 700);
    for (const std::int64_t p : positions) {
        SCOPED_TRACE("position " + std::to_string(p));
        file.setFramePosition(p);
        ASSERT_TRUE(file.read(*buffer).ok());
        const auto expected = std::uint32_t(std::min<std::int64_t>(700, file.length() - p));
        ASSERT_EQ(buffer->frameLength(), expected);
        for (std::uint32_t c = 0; c < whole.size(); ++c)
            for (std::uint32_t i = 0; i < expected; ++i)
                ASSERT_NEAR(buffer->channel(c)[i], whole[c][std::size_t(p + i)], 1e-6) << "frame " << p + i;
        EXPECT_EQ(file.framePosition(), p + expected);
    }
}

// Root-mean-square difference between decoded audio (moved by `lag` frames) and its source over
// [from, to), relative to the source's level.
double relativeError(const Channels& decoded, const Channels& source, std::size_t from, std::size_t to,
                     std::ptrdiff_t lag = 0) {
    double diff = 0, level = 0;
    for (std::size_t c = 0; c < source.size(); ++c)
        for (std::size_t i = from; i < to; ++i) {
            diff += std::pow(decoded[c][std::size_t(std::ptrdiff_t(i) + lag)] - source[c][i], 2);
            level += std::pow(source[c][i], 2);
        }
    return std::sqrt(diff / level);
}

// The shift in frames at which decoded audio matches its source best: 0 when the decoder's delay and the
// encoder's priming are both accounted for.
std::ptrdiff_t bestLag(const Channels& decoded, const Channels& source) {
    std::ptrdiff_t best = 0;
    double least = 1e9;
    for (std::ptrdiff_t lag = -2500; lag <= 2500; ++lag)
        if (const double e = relativeError(decoded, source, 10000, 16000, lag); e < least)
            least = e, best = lag;
    return best;
}

} // namespace

TEST(AudioFileCompressed, EncodedFilesReadWhatTheyHoldAndSeekSampleAccurately) {
    fixtures::TempFolder dir;
    const int mp3Format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, aac = 0; // AAC is FFmpeg's to write
    using enum AudioFileType;
    // The largest error is that of the decode against the source, lined up; below 0 when the stream
    // starts with priming. Stated: the container states the length; else every decoded frame counts.
    using Case = std::tuple<const char*, int, int, std::uint32_t, AudioFileType, std::uint32_t, std::uint32_t,
                            double, bool>;
    const Case cases[] = {
        {"t.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 2, flac, audioFormatID::flac, 24, 1e-5, true},
        // Vorbis seeks near the end of a stream are where libsndfile's own seek goes wrong.
        {"t.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, ogg, audioFormatID::vorbis, 0, 0.2, true},
        {"t.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, ogg, audioFormatID::opus, 0, 0.2, true},
        {"t.mp3", mp3Format, 44100, 2, AudioFileType::mp3, audioFormatID::mpegLayer3, 0, 0.2, true},
        // At the lowest bit rate a frame is too small for the encoder's info header, so the length
        // libsndfile states is only an estimate from the bit rate.
        {"low.mp3", mp3Format, 44100, 1, AudioFileType::mp3, audioFormatID::mpegLayer3, 0, -1, false},
        {"t1.m4a", aac, 44100, 1, mpeg4, audioFormatID::mpeg4AAC, 0, 0.2, true},
        {"t2.m4a", aac, 44100, 2, mpeg4, audioFormatID::mpeg4AAC, 0, 0.2, true},
        // These do not say how much of the stream is priming and padding.
        {"t.aac", aac, 48000, 2, adts, audioFormatID::mpeg4AAC, 0, -1, false},
        {"t.ts", aac, 48000, 2, mpegTransportStream, audioFormatID::mpeg4AAC, 0, -1, false},
    };
    for (const auto& [name, format, rate, channels, type, formatID, bits, maxError, stated] : cases) {
        SCOPED_TRACE(name);
        const std::int64_t frames = 3 * rate + 321;
        const Channels source = fixtures::tone(frames, channels, rate);
        const std::string path = dir.file(name);
        // The one libsndfile row without a stated length is the MP3 at the lowest bit rate.
        ASSERT_TRUE(format == aac ? fixtures::writeAac(path, source, rate)
                                  : fixtures::writeWithSndfile(path, format, source, rate, stated ? -1 : 1.0,
                                                               stated ? -1 : SF_BITRATE_MODE_CONSTANT));
        auto opened = AudioFile::openForReading(path);
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        AudioFile& file = **opened;
        const AudioStreamDescription& f = file.fileFormat();
        EXPECT_EQ(std::tuple(f.fileType, f.formatID, f.bitsPerChannel), std::tuple(type, formatID, bits));
        EXPECT_EQ(file.processingFormat(), *AudioFormat::standard(rate, channels));
        const Channels whole = fixtures::readToEnd(file, 1000);
        EXPECT_EQ(std::int64_t(whole[0].size()), file.length());
        if (stated) {
            EXPECT_EQ(file.length(), frames);
        } else {
            EXPECT_GE(file.length(), frames);
            EXPECT_LE(file.length(), frames + 3 * 1024) << "priming and padding of a few packets at most";
        }
        // Encoder delay, priming and padding are gone: decoded audio lines up with the source.
        if (maxError >= 0) {
            EXPECT_EQ(bestLag(whole, source), 0);
            EXPECT_LT(relativeError(whole, source, 20000, 100000), maxError);
        }
        const std::int64_t length = file.length();
        expectSeeksMatch(file, whole,
                         {0, 1, 1023, 1024, 1025, 5000, length / 2, length / 3, 77777, length - 700,
                          length - 10, 4095, length / 2 + 1, 2 * length / 3, length / 5, 12345, length - 1,
                          // Far jumps back and forth, through the container's index where there is one,
                          120000, 40000, 90000, 30001, 130000, 60000,
                          // and near the end.
                          length - 9000, length - 5000, length - 12000, length - 3000});
    }
}

TEST(AudioFileCompressed, ContentDecidesWhenTheExtensionLies) {
    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(20000, 1, 44100);
    ASSERT_TRUE(fixtures::writeAac(dir.file("real.m4a"), source, 44100));
    ASSERT_TRUE(
        fixtures::writeWithSndfile(dir.file("real.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, source, 44100));
    ASSERT_EQ(std::rename(dir.file("real.m4a").c_str(), dir.file("named.wav").c_str()), 0);
    ASSERT_EQ(std::rename(dir.file("real.wav").c_str(), dir.file("named.m4a").c_str()), 0);
    for (const auto& [name, id] :
         {std::pair("named.wav", audioFormatID::mpeg4AAC), {"named.m4a", audioFormatID::linearPCM}}) {
        auto file = AudioFile::openForReading(dir.file(name));
        ASSERT_TRUE(file.ok()) << file.error().message;
        EXPECT_EQ((*file)->fileFormat().formatID, id) << name;
        EXPECT_EQ((*file)->length(), 20000) << name;
    }
}

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
    using Case = std::tuple<double, double, std::uint32_t, std::uint32_t, std::int64_t, std::int64_t>;
    for (const auto& [from, to, inChannels, outChannels, frames, expected] :
         {Case{44100, 48000, 2, 2, 44101, 48001}, Case{48000, 44100, 1, 2, 10007, 9194},
          Case{8000, 96000, 2, 1, 999, 11988}, Case{96000, 8000, 1, 1, 100001, 8333},
          Case{44100, 44100, 2, 1, 5000, 5000}}) {
        auto converter = platform::AudioConverter::make(*platform::AudioFormat::standard(from, inChannels),
                                                        *platform::AudioFormat::standard(to, outChannels));
        ASSERT_TRUE(converter.ok());
        const Channels data = tone(frames, inChannels, from);
        std::vector<float> first;
        auto sink = [&](const platform::PcmBuffer& block) -> platform::Result<void> {
            EXPECT_EQ(block.format().channelCount(), outChannels);
            first.insert(first.end(), block.channel(0), block.channel(0) + block.frameLength());
            return {};
        };
        // In uneven pieces, as a reader hands them over.
        for (std::int64_t at = 0; at < frames; at += 777)
            ASSERT_TRUE(converter.value()->convert(
                *bufferOf(data, from, at, std::min<std::int64_t>(777, frames - at)), sink));
        ASSERT_TRUE(converter.value()->finish(sink));
        EXPECT_EQ(std::int64_t(first.size()), expected) << from << " to " << to;
        // Stereo into mono is the average; at one rate nothing else changes.
        if (from == to) {
            EXPECT_FLOAT_EQ(first[1234], (data[0][1234] + data[1][1234]) / 2.0f);
        }
    }
}
