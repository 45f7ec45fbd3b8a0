#include "AudioFileFixtures.h"
#include "tests/support/SmallFilesystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <tuple>

using namespace platform;
using fixtures::bufferOf;
using fixtures::Channels;

namespace {

double pcmLargestDifference(const Channels& a, const Channels& b) {
    double worst = 0;
    for (std::size_t c = 0; c < a.size(); ++c)
        for (std::size_t i = 0; i < a[c].size(); ++i)
            worst = std::max(worst, double(std::fabs(a[c][i] - b[c][i])));
    return worst;
}

AudioFileSettings pcmSettings(std::uint32_t bits, bool isFloat, std::uint32_t channels = 2,
                              double rate = 44100) {
    AudioFileSettings settings;
    settings.sampleRate = rate;
    settings.numberOfChannels = channels;
    settings.linearPCMBitDepth = bits;
    settings.linearPCMIsFloat = isFloat;
    return settings;
}

int pcmErrorCode(const Result<void>& result) {
    return result.ok() ? 0 : result.error().code;
}

} // namespace

TEST(AudioFilePcm, EveryContainerAndSampleFormatRoundTripsAndDescribesItself) {
    fixtures::TempFolder dir;
    const double rate = 48000;
    const std::int64_t frames = 10007;
    const Channels source = fixtures::tone(frames, 2, rate);
    const double lsb16 = 1.0 / 32768, lsb24 = 1.0 / 8388608;
    using enum AudioFileType;
    // Extension, bits, float; the byte order asked for; the type and byte order stored; the tolerance.
    using Case =
        std::tuple<const char*, std::uint32_t, bool, std::optional<bool>, AudioFileType, bool, double>;
    const Case cases[] = {
        {"wav", 8, false, {}, wave, false, 1.0 / 128}, {"wav", 16, false, true, wave, false, lsb16},
        {"wav", 24, false, {}, wave, false, lsb24},    {"wav", 32, false, {}, wave, false, 1e-7},
        {"wav", 32, true, {}, wave, false, 0},         {"wav", 64, true, {}, wave, false, 0},
        {"aiff", 16, false, {}, aiff, true, lsb16},    {"aiff", 16, false, false, aifc, false, lsb16},
        {"aif", 24, false, {}, aiff, true, lsb24},     {"aiff", 32, false, {}, aiff, true, 1e-7},
        {"aiff", 32, true, {}, aifc, true, 0},         {"caf", 16, false, {}, caf, true, lsb16},
        {"caf", 24, false, {}, caf, true, lsb24},      {"caf", 24, false, false, caf, false, lsb24},
        {"caf", 32, false, {}, caf, true, 1e-7},       {"caf", 32, true, {}, caf, true, 0},
        {"caf", 64, true, {}, caf, true, 0},
    };
    int n = 0;
    for (const auto& [extension, bits, isFloat, bigEndian, type, isBigEndian, tolerance] : cases) {
        const std::string name = std::to_string(++n) + "." + extension;
        SCOPED_TRACE(name + " " + std::to_string(bits) + (isFloat ? " float" : " int"));
        AudioFileSettings settings = pcmSettings(bits, isFloat, 2, rate);
        settings.linearPCMIsBigEndian = bigEndian;
        AudioStreamDescription written;
        {
            auto writer = AudioFile::openForWriting(dir.file(name), settings);
            ASSERT_TRUE(writer.ok()) << writer.error().message;
            EXPECT_TRUE(fileExists(dir.file(name)));
            // Two writes of odd sizes, one interleaved: the file holds them back to back.
            ASSERT_TRUE((*writer)->write(*bufferOf(source, rate, 0, 3001)).ok());
            ASSERT_TRUE((*writer)->write(*bufferOf(source, rate, 3001, frames - 3001, true)).ok());
            EXPECT_EQ(std::pair((*writer)->length(), (*writer)->framePosition()), std::pair(frames, frames));
            written = (*writer)->fileFormat();
        } // the destructor finishes the file
        auto reader = AudioFile::openForReading(dir.file(name));
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        const AudioStreamDescription& f = (*reader)->fileFormat();
        EXPECT_EQ(f, written);
        EXPECT_EQ(std::tuple(f.formatID, f.bitsPerChannel, f.isFloat, f.sampleRate, f.channelsPerFrame,
                             f.fileType, f.isBigEndian),
                  std::tuple(audioFormatID::linearPCM, bits, isFloat, rate, 2u, type, isBigEndian));
        EXPECT_EQ((*reader)->processingFormat(), *AudioFormat::standard(rate, 2));
        EXPECT_EQ((*reader)->length(), frames);
        const Channels back = fixtures::readToEnd(**reader, 1000);
        ASSERT_EQ(back[0].size(), std::size_t(frames));
        EXPECT_LE(pcmLargestDifference(source, back), tolerance * 1.01);
        // A file made again from a file's own settings has the same format (as a recorder that clears
        // its file does).
        const std::string again = dir.file("again-" + name);
        ASSERT_TRUE(
            AudioFile::openForWriting(again, f.settings()).value()->write(*bufferOf(source, rate)).ok());
        EXPECT_EQ(AudioFile::openForReading(again).value()->fileFormat(), written);
    }
    EXPECT_EQ(AudioStreamDescription{}.description(), "<0 ch, 0 Hz, unknown, unknown>");
    EXPECT_EQ(AudioFile::openForReading(dir.file("2.wav")).value()->fileFormat().description(),
              "<2 ch, 48000 Hz, 'lpcm' 16-bit little-endian signed integer, WAVE>");
}

TEST(AudioFilePcm, SettingsOfABufferFormatWriteItsSamplesExactly) {
    const auto ints =
        AudioFileSettings::forFormat(*AudioFormat::make(CommonFormat::pcmInt16, 8000, 1, false));
    EXPECT_EQ(
        std::tuple(ints.linearPCMBitDepth, ints.linearPCMIsFloat, ints.sampleRate, ints.numberOfChannels),
        std::tuple(16u, false, 8000.0, 1u));
    const auto floats = AudioFileSettings::forFormat(*AudioFormat::standard(22050, 3));
    // A buffer's byte order in memory says nothing about the file's.
    EXPECT_FALSE(floats.linearPCMIsBigEndian);
    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(5000, 3, 22050, 1.0f);
    ASSERT_TRUE(
        AudioFile::openForWriting(dir.file("rec.caf"), floats).value()->write(*bufferOf(source, 22050)).ok());
    auto reader = AudioFile::openForReading(dir.file("rec.caf"));
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ((*reader)->processingFormat(), *AudioFormat::standard(22050, 3));
    EXPECT_EQ(fixtures::readToEnd(**reader), source);
}

TEST(AudioFilePcm, IntegerFilesClipInsteadOfWrapping) {
    fixtures::TempFolder dir;
    const Channels loud = {{1.5f, -1.5f, 1.0f, -1.0f, 0.5f}};
    for (const bool isFloat : {false, true}) {
        const std::string path = dir.file(isFloat ? "loud-f.wav" : "loud.wav");
        const AudioFileSettings settings = pcmSettings(isFloat ? 32 : 16, isFloat, 1);
        ASSERT_TRUE(AudioFile::openForWriting(path, settings).value()->write(*bufferOf(loud, 44100)).ok());
        const auto back = fixtures::readToEnd(*AudioFile::openForReading(path).value())[0];
        const std::vector<float> expected = isFloat ? loud[0] : std::vector<float>{1, -1, 1, -1, 0.5f};
        ASSERT_EQ(back.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_NEAR(back[i], expected[i], 1e-4) << i;
    }
}

TEST(AudioFilePcm, PositionsLengthsAndBufferRules) {
    fixtures::TempFolder dir;
    const double rate = 44100;
    const Channels source = fixtures::tone(20000, 2, rate);
    const std::string path = dir.file("pos.wav");
    const int wrongMode = int(AudioFileError::wrongMode),
              wrongBuffer = int(AudioFileError::wrongBufferFormat);
    {
        auto writer = AudioFile::openForWriting(path, pcmSettings(32, true));
        ASSERT_TRUE(writer.ok());
        AudioFile& w = **writer;
        ASSERT_TRUE(w.write(*bufferOf(source, rate)).ok());
        // Going back overwrites without changing the length.
        w.setFramePosition(100);
        ASSERT_TRUE(w.write(*bufferOf({{0.9f, 0.8f}, {-0.9f, -0.8f}}, rate)).ok());
        EXPECT_EQ(std::pair(w.framePosition(), w.length()),
                  std::pair(std::int64_t(102), std::int64_t(20000)));
        EXPECT_EQ(pcmErrorCode(w.read(*PcmBuffer::make(w.processingFormat(), 10))), wrongMode);
        EXPECT_EQ(pcmErrorCode(w.write(*bufferOf({{0.1f}}, rate))), wrongBuffer);
        EXPECT_EQ(pcmErrorCode(w.write(*bufferOf(source, 48000, 0, 10))), wrongBuffer);
        ASSERT_TRUE(w.close().ok());
        EXPECT_TRUE(w.close().ok());
        EXPECT_FALSE(w.write(*bufferOf(source, rate, 0, 10)).ok());
    }
    auto reader = AudioFile::openForReading(path);
    ASSERT_TRUE(reader.ok());
    AudioFile& file = **reader;
    auto buffer = PcmBuffer::make(file.processingFormat(), 500);

    file.setFramePosition(99);
    ASSERT_TRUE(file.read(*buffer, 4).ok());
    ASSERT_EQ(buffer->frameLength(), 4u);
    EXPECT_EQ(std::vector<float>(buffer->channel(0), buffer->channel(0) + 4),
              (std::vector<float>{source[0][99], 0.9f, 0.8f, source[0][102]}));
    EXPECT_EQ(buffer->channel(1)[2], -0.8f);
    EXPECT_EQ(file.framePosition(), 103);

    // More than the capacity reads the capacity; the end reads what is left, then 0 frames.
    file.setFramePosition(19800);
    ASSERT_TRUE(file.read(*buffer, 100000).ok());
    EXPECT_EQ(buffer->frameLength(), 200u);
    EXPECT_EQ(buffer->channel(1)[199], source[1][19999]);
    EXPECT_EQ(file.framePosition(), 20000);
    ASSERT_TRUE(file.read(*buffer).ok());
    EXPECT_EQ(buffer->frameLength(), 0u);

    file.setFramePosition(-5);
    EXPECT_EQ(file.framePosition(), 0);
    file.setFramePosition(1 << 30);
    EXPECT_EQ(file.framePosition(), 20000);

    // An interleaved buffer receives the same frames.
    auto interleaved = PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmFloat32, rate, 2, true), 300);
    file.setFramePosition(5000);
    ASSERT_TRUE(file.read(*interleaved).ok());
    ASSERT_EQ(interleaved->frameLength(), 300u);
    for (std::uint32_t i = 0; i < 600; ++i)
        ASSERT_EQ(interleaved->floatChannelData()[0][i], source[i % 2][5000 + i / 2]) << i;

    EXPECT_EQ(pcmErrorCode(file.read(*PcmBuffer::make(*AudioFormat::standard(rate, 1), 10))), wrongBuffer);
    EXPECT_EQ(pcmErrorCode(file.read(
                  *PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmInt16, rate, 2, false), 10))),
              wrongBuffer);
    EXPECT_EQ(pcmErrorCode(file.write(*bufferOf(source, rate, 0, 10))), wrongMode);
}

TEST(AudioFilePcm, SettingsThatCannotBeWrittenAreRefused) {
    fixtures::TempFolder dir;
    const auto invalid = AudioFileError::invalidSettings;
    using Case = std::tuple<std::string, std::function<void(AudioFileSettings&)>, AudioFileError>;
    const Case cases[] = {
        {"a.wav", [](auto& s) { s.formatID = audioFormatID::mpeg4AAC; }, invalid},
        {"b.wav", [](auto& s) { s.linearPCMBitDepth = 12; }, invalid},
        {"c.wav", [](auto& s) { s.linearPCMIsFloat = true; }, invalid},
        {"d.wav", [](auto& s) { s.sampleRate = 0; }, invalid},
        {"e.wav", [](auto& s) { s.sampleRate = 44100.5; }, invalid},
        {"f.wav", [](auto& s) { s.numberOfChannels = 0; }, invalid},
        {"g.wav", [](auto& s) { s.numberOfChannels = AudioFormat::maxChannels + 1; }, invalid},
        {"h.mp3", [](auto&) {}, invalid},
        {"noextension", [](auto&) {}, invalid},
        {"missing/folder/x.wav", [](auto&) {}, AudioFileError::cannotCreate},
        {"", [](auto&) {}, AudioFileError::cannotCreate}, // the folder itself
    };
    for (const auto& [name, change, error] : cases) {
        AudioFileSettings settings;
        change(settings);
        auto file = AudioFile::openForWriting(name.empty() ? dir.path : dir.file(name), settings);
        ASSERT_FALSE(file.ok()) << name;
        EXPECT_EQ(file.error().code, int(error)) << name;
        EXPECT_FALSE(file.error().message.empty());
    }
    // An explicit type wins over the extension.
    AudioFileSettings settings;
    settings.fileType = AudioFileType::caf;
    auto caf = AudioFile::openForWriting(dir.file("named.dat"), settings);
    ASSERT_TRUE(caf.ok());
    EXPECT_EQ((*caf)->fileFormat().fileType, AudioFileType::caf);
}

TEST(AudioFilePcm, ExclusiveWritersNeverReplaceAFileAndKeptHeadersShowEveryWrite) {
    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(3000, 1, 44100);
    const AudioFileWriteOptions kept{.exclusive = true, .headerAfterEachWrite = true};
    for (const char* extension : {"wav", "caf", "aiff"}) {
        SCOPED_TRACE(extension);
        const std::string path = dir.file(std::string("take.") + extension);
        auto file = AudioFile::openForWriting(path, pcmSettings(24, false, 1), kept);
        ASSERT_TRUE(file.ok()) << file.error().message;
        ASSERT_TRUE(file.value()->write(*bufferOf(source, 44100, 0, 1000)).ok());
        // A second writer of the same name fails and leaves the first one's frames alone.
        auto rival = AudioFile::openForWriting(path, pcmSettings(24, false, 1), kept);
        ASSERT_FALSE(rival.ok());
        EXPECT_EQ(rival.error().code, int(AudioFileError::alreadyExists));
        ASSERT_TRUE(file.value()->write(*bufferOf(source, 44100, 1000, 2000)).ok());
        // Read while the writer still holds the file open, as after a crash.
        auto reader = AudioFile::openForReading(path);
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        EXPECT_EQ(reader.value()->length(), 3000);
        EXPECT_LE(pcmLargestDifference(fixtures::readToEnd(*reader.value()), source), 1.0 / 8388608);
    }
    EXPECT_EQ(AudioFile::openForWriting(dir.file("none/take.wav"), pcmSettings(16, false), kept).error().code,
              int(AudioFileError::cannotCreate));
}

TEST(AudioFilePcm, AWriteThatFindsTheDiskFullLeavesTheFileAsItWasBeforeIt) {
    // Frame n of channel c holds a value of its own, so a frame out of place shows.
    auto frameValue = [](std::int64_t n, std::uint32_t c) {
        return float((n * 7 + c * 3) % 65536) / 65536.0f - 0.5f;
    };
    const std::uint32_t block = 1000;
    const AudioFormat format = *AudioFormat::standard(44100, 2);
    const AudioFileWriteOptions kept{.exclusive = true, .headerAfterEachWrite = true};
    using Case = std::tuple<std::uint32_t, const char*, std::uint32_t, bool, AudioFileWriteOptions>;
    const Case cases[] = {
        {1, "caf", 32, true, kept}, {4, "wav", 24, false, kept}, {16, "caf", 32, true, kept},
        {1, "aiff", 16, false, {}}, {1, "wav", 32, true, {}},
    };
    for (const auto& [megabytes, extension, bits, isFloat, options] : cases) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB " + extension);
        testsupport::SmallFilesystem disk(megabytes);
        if (!disk.mounted()) GTEST_SKIP() << "this machine does not let the test mount a file system";
        const std::string path = disk.file(std::string("take.") + extension);
        auto opened = AudioFile::openForWriting(path, pcmSettings(bits, isFloat), options);
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        AudioFile& file = *opened.value();
        auto buffer = PcmBuffer::make(format, block);
        std::int64_t written = 0;
        Result<void> result;
        for (int i = 0; i < 100000 && result.ok(); ++i) {
            for (std::uint32_t c = 0; c < 2; ++c)
                for (std::uint32_t f = 0; f < block; ++f)
                    buffer->channel(c)[f] = frameValue(written + f, c);
            buffer->setFrameLength(block);
            result = file.write(*buffer);
            if (result.ok()) written += block;
        }
        ASSERT_FALSE(result.ok()) << "the disk never filled";
        EXPECT_EQ(result.error().code, int(AudioFileError::writeFailed));
        EXPECT_EQ(file.length(), written);
        // A writer can also take its last write back itself.
        ASSERT_TRUE(file.truncate(written - block).ok());
        written -= block;
        EXPECT_EQ(std::pair(file.length(), file.framePosition()), std::pair(written, written));
        EXPECT_TRUE(file.close().ok());

        // Exactly the frames of the writes that succeeded, under a header that says so.
        auto reader = AudioFile::openForReading(path);
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        EXPECT_EQ(reader.value()->length(), written);
        const Channels got = fixtures::readToEnd(*reader.value());
        const double tolerance = isFloat ? 0.0 : 1.0 / (1 << (bits - 1));
        bool exact = got.size() == 2 && std::int64_t(got[0].size()) == written;
        for (std::uint32_t c = 0; exact && c < 2; ++c)
            for (std::int64_t n = 0; exact && n < written; ++n)
                exact = std::fabs(got[c][std::size_t(n)] - frameValue(n, c)) <= tolerance;
        EXPECT_TRUE(exact);
    }
}

namespace {

TEST(AudioFileExtensions, EveryListedExtensionNamesATypeInAnyCase) {
    const std::vector<std::string>& extensions = platform::audioFileExtensions();
    for (const char* expected : {"wav", "aiff", "caf", "flac", "ogg", "mp3", "m4a", "aac"})
        EXPECT_NE(std::find(extensions.begin(), extensions.end(), expected), extensions.end()) << expected;
    for (const std::string& extension : extensions) {
        std::string upper = extension;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(platform::audioFileTypeForPath("/m/song." + upper), platform::AudioFileType::unknown)
            << upper;
    }
    EXPECT_EQ(platform::audioFileTypeForPath("/m/notes.txt"), platform::AudioFileType::unknown);
}

} // namespace

// Another reader of an open file reads that file, from its own position, whatever its path names now.
TEST(AudioFilePcm, AnotherReaderReadsTheOpenFileEvenWhenItsPathNoLongerNamesIt) {
    fixtures::TempFolder dir;
    const double rate = 44100;
    const Channels source = fixtures::tone(5000, 2, rate), other = fixtures::tone(7000, 1, rate);
    const std::string path = dir.file("held.wav"), otherPath = dir.file("other.wav");
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "another file renamed over it" : "removed");
        ASSERT_TRUE(fixtures::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, source, int(rate)));
        auto file = AudioFile::openForReading(path);
        ASSERT_TRUE(file.ok());
        (*file)->setFramePosition(1000);
        if (replaced) {
            ASSERT_TRUE(
                fixtures::writeWithSndfile(otherPath, SF_FORMAT_WAV | SF_FORMAT_FLOAT, other, int(rate)));
            ASSERT_EQ(std::rename(otherPath.c_str(), path.c_str()), 0);
        } else {
            ASSERT_EQ(std::remove(path.c_str()), 0);
        }
        auto again = (*file)->openAgain();
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ((*again)->path(), path);
        EXPECT_EQ((*again)->framePosition(), 0);
        EXPECT_EQ(fixtures::readToEnd(**again), source);
        EXPECT_EQ((*file)->framePosition(), 1000);
    }
}
