#include "AudioFileFixtures.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

using namespace platform;
using fixtures::Channels;

namespace {

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A damaged file either fails to open with a message, or opens with a length that reading,
// seeking and reading again all agree with.
void expectErrorOrConsistent(const std::string& path) {
    auto opened = AudioFile::openForReading(path);
    if (!opened.ok()) {
        EXPECT_EQ(opened.error().domain, audioFileErrorDomain);
        EXPECT_FALSE(opened.error().message.empty());
        return;
    }
    AudioFile& file = **opened;
    const Channels whole = fixtures::readToEnd(file);
    EXPECT_EQ(std::int64_t(whole[0].size()), file.length());
    auto buffer = PcmBuffer::make(file.processingFormat(), 64);
    for (std::int64_t p : {file.length() / 2, std::int64_t(0), file.length()}) {
        file.setFramePosition(p);
        ASSERT_TRUE(file.read(*buffer).ok());
        EXPECT_EQ(buffer->frameLength(), std::uint32_t(std::min<std::int64_t>(64, file.length() - p)));
    }
}

} // namespace

TEST(AudioFileDamage, MissingEmptyAndFolderPathsAreErrors) {
    fixtures::TempFolder dir;
    auto missing = AudioFile::openForReading(dir.file("nothing.wav"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, int(AudioFileError::notFound));
    EXPECT_NE(missing.error().message.find("nothing.wav"), std::string::npos);

    for (const char* name : {"empty.wav", "empty.mp3", "empty.m4a", "empty"}) {
        writeBytes(dir.file(name), {});
        auto empty = AudioFile::openForReading(dir.file(name));
        ASSERT_FALSE(empty.ok()) << name;
        EXPECT_EQ(empty.error().code, int(AudioFileError::emptyFile));
    }
    EXPECT_EQ(AudioFile::openForReading(dir.path).error().code, int(AudioFileError::unreadable));
}

TEST(AudioFileDamage, GarbageWithAnyExtensionIsAnError) {
    fixtures::TempFolder dir;
    std::mt19937 random(7);
    for (const char* ext :
         {"wav", "aiff", "caf", "flac", "ogg", "mp3", "au", "m4a", "mp4", "mov", "aac", "ts", "bin"}) {
        for (std::size_t size : {1u, 7u, 100u, 4096u, 100000u}) {
            SCOPED_TRACE(std::string(ext) + " " + std::to_string(size));
            Bytes bytes(size);
            for (auto& b : bytes)
                b = std::uint8_t(random());
            const std::string path = dir.file("garbage." + std::string(ext));
            writeBytes(path, bytes);
            auto opened = AudioFile::openForReading(path);
            ASSERT_FALSE(opened.ok());
            EXPECT_EQ(opened.error().code, int(AudioFileError::unreadable));
            EXPECT_NE(opened.error().message.find("garbage"), std::string::npos);
        }
    }
}

TEST(AudioFileDamage, TruncatedFilesFailOrReadWhatIsThere) {
    fixtures::TempFolder dir;
    const int rate = 44100;
    const Channels source = fixtures::tone(rate, 2, rate);
    ASSERT_TRUE(
        fixtures::writeWithSndfile(dir.file("whole.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, source, rate));
    ASSERT_TRUE(fixtures::writeWithSndfile(dir.file("whole.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                           source, rate));
    ASSERT_TRUE(
        fixtures::writeWithSndfile(dir.file("whole.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, source, rate));
    ASSERT_TRUE(fixtures::writeAac(dir.file("whole.m4a"), source, rate));
    ASSERT_TRUE(fixtures::writeAac(dir.file("whole.mp4"), source, rate, true));
    for (const char* ext : {"wav", "mp3", "flac", "m4a", "mp4"}) {
        const Bytes whole = readFile(dir.file(std::string("whole.") + ext)).value();
        for (double fraction : {0.001, 0.01, 0.1, 0.5, 0.9, 0.999}) {
            const auto size = std::max<std::size_t>(1, std::size_t(double(whole.size()) * fraction));
            SCOPED_TRACE(std::string(ext) + " cut to " + std::to_string(size) + " bytes");
            const std::string path = dir.file(std::string("cut.") + ext);
            writeBytes(path, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size)));
            expectErrorOrConsistent(path);
        }
    }
    // A WAV file cut inside its samples still holds those samples, and only those.
    const Bytes wav = readFile(dir.file("whole.wav")).value();
    writeBytes(dir.file("half.wav"), Bytes(wav.begin(), wav.begin() + std::ptrdiff_t(wav.size() / 2)));
    auto half = AudioFile::openForReading(dir.file("half.wav"));
    ASSERT_TRUE(half.ok());
    EXPECT_GT((*half)->length(), rate / 2 - 100);
    EXPECT_LT((*half)->length(), rate / 2);
    // The header is cut: no audio at all.
    writeBytes(dir.file("head.wav"), Bytes(wav.begin(), wav.begin() + 30));
    EXPECT_EQ(AudioFile::openForReading(dir.file("head.wav")).error().code, int(AudioFileError::unreadable));
    // Without the index at its end an MPEG-4 file cannot be read.
    const Bytes m4a = readFile(dir.file("whole.m4a")).value();
    writeBytes(dir.file("half.m4a"), Bytes(m4a.begin(), m4a.begin() + std::ptrdiff_t(m4a.size() / 2)));
    EXPECT_FALSE(AudioFile::openForReading(dir.file("half.m4a")).ok());
    // With the index first, half a file is half the audio.
    const Bytes mp4 = readFile(dir.file("whole.mp4")).value();
    writeBytes(dir.file("half.mp4"), Bytes(mp4.begin(), mp4.begin() + std::ptrdiff_t(mp4.size() / 2)));
    auto halfMp4 = AudioFile::openForReading(dir.file("half.mp4"));
    ASSERT_TRUE(halfMp4.ok()) << halfMp4.error().message;
    EXPECT_GT((*halfMp4)->length(), rate / 3);
    EXPECT_LT((*halfMp4)->length(), 2 * rate / 3);
}

TEST(AudioFileDamage, DamagedBytesInsideCompressedAudioDoNotStopReading) {
    fixtures::TempFolder dir;
    const int rate = 44100;
    const Channels source = fixtures::tone(2 * rate, 2, rate);
    ASSERT_TRUE(fixtures::writeWithSndfile(dir.file("d.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                           source, rate));
    ASSERT_TRUE(fixtures::writeAac(dir.file("d.m4a"), source, rate));
    std::mt19937 random(11);
    for (const char* name : {"d.mp3", "d.m4a"}) {
        SCOPED_TRACE(name);
        Bytes bytes = readFile(dir.file(name)).value();
        // Scribble over the middle third, leaving headers and index alone.
        for (std::size_t i = bytes.size() / 3; i < 2 * bytes.size() / 3; i += 97)
            bytes[i] = std::uint8_t(random());
        writeBytes(dir.file(name), bytes);
        expectErrorOrConsistent(dir.file(name));
    }
}
