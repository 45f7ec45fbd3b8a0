#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

using namespace platform;
using fixtures::Channels;

namespace {

// Reads `count` frames at each position (in the order given, so the file moves back and forth)
// and compares them with the same frames of a continuous decode: a lossy decoder is compared
// with itself, so a sample-accurate seek gives the very same samples.
void expectSeeksMatch(AudioFile& file, const Channels& whole, const std::vector<std::int64_t>& positions,
                      std::uint32_t count = 700) {
    auto buffer = PcmBuffer::make(file.processingFormat(), count);
    for (std::int64_t p : positions) {
        SCOPED_TRACE("position " + std::to_string(p));
        file.setFramePosition(p);
        ASSERT_TRUE(file.read(*buffer).ok());
        const auto expected = std::uint32_t(std::min<std::int64_t>(count, file.length() - p));
        ASSERT_EQ(buffer->frameLength(), expected);
        double worst = 0;
        for (std::uint32_t c = 0; c < whole.size(); ++c)
            for (std::uint32_t i = 0; i < expected; ++i)
                worst =
                    std::max(worst, double(std::fabs(buffer->channel(c)[i] - whole[c][std::size_t(p + i)])));
        EXPECT_LE(worst, 1e-6);
        EXPECT_EQ(file.framePosition(), p + expected);
    }
}

std::vector<std::int64_t> seekPositions(std::int64_t length) {
    return {0,           1,          1023,           1024,           1025,
            5000,        length / 2, length / 3,     77777 % length, length - 700,
            length - 10, 4095,       length / 2 + 1, 2 * length / 3, length / 5,
            12345,       length - 1};
}

// Root-mean-square difference between decoded audio (moved by `lag` frames) and its source over a
// middle stretch, relative to the source's level.
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

// The shift in frames at which decoded audio matches its source best: 0 when the decoder's
// delay and the encoder's priming are both accounted for.
std::ptrdiff_t bestLag(const Channels& decoded, const Channels& source) {
    std::ptrdiff_t best = 0;
    double least = 1e9;
    for (std::ptrdiff_t lag = -2500; lag <= 2500; ++lag) {
        const double e = relativeError(decoded, source, 10000, 16000, lag);
        if (e < least) least = e, best = lag;
    }
    return best;
}

} // namespace

TEST(AudioFileCompressed, Mp3WithoutLengthHeaderIsMeasured) {
    // At the lowest bit rate a frame is too small for the encoder's info header, so the length
    // libsndfile states is only an estimate from the bit rate.
    fixtures::TempFolder dir;
    const int rate = 44100;
    const Channels source = fixtures::tone(2 * rate, 1, rate);
    const std::string path = dir.file("low.mp3");
    ASSERT_TRUE(fixtures::writeWithSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, source, rate, 1.0,
                                           SF_BITRATE_MODE_CONSTANT));

    auto opened = AudioFile::openForReading(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    AudioFile& file = **opened;
    const Channels whole = fixtures::readToEnd(file);
    EXPECT_EQ(std::int64_t(whole[0].size()), file.length());
    EXPECT_GE(file.length(), 2 * rate);
    expectSeeksMatch(file, whole, {50000, 1000, 60000, file.length() - 5, 20000});
}

TEST(AudioFileCompressed, OggFlacAndOpusReadExactlyAndSeek) {
    fixtures::TempFolder dir;
    struct Case {
        const char* name;
        int format;
        int rate;
        AudioFileType type;
        std::uint32_t formatID;
        std::uint32_t bits;
    } cases[] = {
        {"t.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, AudioFileType::flac, audioFormatID::flac, 24},
        {"t.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, AudioFileType::ogg, audioFormatID::vorbis, 0},
        {"t.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, AudioFileType::ogg, audioFormatID::opus, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const std::int64_t frames = 3 * k.rate + 17;
        const Channels source = fixtures::tone(frames, 2, k.rate);
        ASSERT_TRUE(fixtures::writeWithSndfile(dir.file(k.name), k.format, source, k.rate));
        auto opened = AudioFile::openForReading(dir.file(k.name));
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        AudioFile& file = **opened;
        EXPECT_EQ(file.length(), frames);
        EXPECT_EQ(file.fileFormat().fileType, k.type);
        EXPECT_EQ(file.fileFormat().formatID, k.formatID);
        EXPECT_EQ(file.fileFormat().bitsPerChannel, k.bits);
        const Channels whole = fixtures::readToEnd(file, 777);
        ASSERT_EQ(std::int64_t(whole[0].size()), frames);
        if (k.formatID == audioFormatID::flac) {
            EXPECT_LT(relativeError(whole, source, 0, std::size_t(frames)), 1e-5);
        }
        // Vorbis seeks near the end of a stream are where libsndfile's own seek goes wrong.
        expectSeeksMatch(file, whole, seekPositions(frames));
        expectSeeksMatch(file, whole, {frames - 9000, frames - 5000, frames - 12000, frames - 3000});
    }
}

TEST(AudioFileCompressed, Mp3AndM4aHaveTheEncodedLengthAndExactSeeks) {
    fixtures::TempFolder dir;
    const struct {
        const char* name;
        std::uint32_t channels;
        AudioFileType type;
        std::uint32_t formatID;
    } cases[] = {{"tone.mp3", 2, AudioFileType::mp3, audioFormatID::mpegLayer3},
                 {"tone1.m4a", 1, AudioFileType::mpeg4, audioFormatID::mpeg4AAC},
                 {"tone2.m4a", 2, AudioFileType::mpeg4, audioFormatID::mpeg4AAC}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const int rate = 44100;
        const std::int64_t frames = 3 * rate + 321;
        const Channels source = fixtures::tone(frames, k.channels, rate);
        const std::string path = dir.file(k.name);
        ASSERT_TRUE(
            k.type == AudioFileType::mp3
                ? fixtures::writeWithSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, source, rate)
                : fixtures::writeAac(path, source, rate));
        auto opened = AudioFile::openForReading(path);
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        AudioFile& file = **opened;
        EXPECT_EQ(file.length(), frames);
        EXPECT_EQ(file.fileFormat().fileType, k.type);
        EXPECT_EQ(file.fileFormat().formatID, k.formatID);
        EXPECT_EQ(file.fileFormat().bitsPerChannel, 0u);
        EXPECT_EQ(file.fileFormat().channelsPerFrame, k.channels);
        EXPECT_EQ(file.processingFormat(), *AudioFormat::standard(rate, k.channels));
        const Channels whole = fixtures::readToEnd(file, 1000);
        ASSERT_EQ(std::int64_t(whole[0].size()), frames);
        // Encoder delay, priming and padding are gone: decoded audio lines up with the source.
        EXPECT_EQ(bestLag(whole, source), 0);
        EXPECT_LT(relativeError(whole, source, 20000, 100000), 0.2);
        expectSeeksMatch(file, whole, seekPositions(frames));
        // Far jumps back and forth (through the container's index, where there is one).
        expectSeeksMatch(file, whole, {120000, 40000, 90000, 30001, 130000, 60000});
    }
}

TEST(AudioFileCompressed, AdtsAndTransportStreamsReadAllTheyHold) {
    fixtures::TempFolder dir;
    const int rate = 48000;
    const std::int64_t frames = 2 * rate + 100;
    const Channels source = fixtures::tone(frames, 2, rate);
    struct Case {
        const char* name;
        AudioFileType type;
    } cases[] = {{"t.aac", AudioFileType::adts}, {"t.ts", AudioFileType::mpegTransportStream}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_TRUE(fixtures::writeAac(dir.file(k.name), source, rate));
        auto opened = AudioFile::openForReading(dir.file(k.name));
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        AudioFile& file = **opened;
        EXPECT_EQ(file.fileFormat().fileType, k.type);
        EXPECT_EQ(file.fileFormat().formatID, audioFormatID::mpeg4AAC);
        // These containers do not say how much of the stream is priming and padding: the length
        // is every decoded frame, the encoded ones among them.
        const Channels whole = fixtures::readToEnd(file);
        EXPECT_EQ(std::int64_t(whole[0].size()), file.length());
        EXPECT_GE(file.length(), frames);
        EXPECT_LE(file.length(), frames + 3 * 1024);
        expectSeeksMatch(file, whole, {70000, 3000, 50000, 60000, 10, file.length() - 100});
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
    auto aac = AudioFile::openForReading(dir.file("named.wav"));
    ASSERT_TRUE(aac.ok()) << aac.error().message;
    EXPECT_EQ((*aac)->fileFormat().formatID, audioFormatID::mpeg4AAC);
    EXPECT_EQ((*aac)->length(), 20000);
    auto wav = AudioFile::openForReading(dir.file("named.m4a"));
    ASSERT_TRUE(wav.ok()) << wav.error().message;
    EXPECT_EQ((*wav)->fileFormat().fileType, AudioFileType::wave);
    EXPECT_EQ((*wav)->length(), 20000);
}
