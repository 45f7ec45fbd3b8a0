#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

using namespace platform;
using fixtures::Channels;

namespace {

struct PcmCase {
    const char* extension;
    std::uint32_t bits;
    bool isFloat;
    double tolerance;
};

double maxDifference(const Channels& a, const Channels& b) {
    double worst = 0;
    for (std::size_t c = 0; c < a.size(); ++c)
        for (std::size_t i = 0; i < a[c].size(); ++i)
            worst = std::max(worst, double(std::fabs(a[c][i] - b[c][i])));
    return worst;
}

} // namespace

TEST(AudioFilePcm, RoundTripEveryContainerAndSampleFormat) {
    fixtures::TempFolder dir;
    const double rate = 48000;
    const std::int64_t frames = 10007;
    const Channels source = fixtures::tone(frames, 2, rate);
    const PcmCase cases[] = {
        {"wav", 8, false, 1.0 / 128},
        {"wav", 16, false, 1.0 / 32768},
        {"wav", 24, false, 1.0 / 8388608},
        {"wav", 32, false, 1e-7},
        {"wav", 32, true, 0},
        {"wav", 64, true, 0},
        {"aiff", 16, false, 1.0 / 32768},
        {"aif", 24, false, 1.0 / 8388608},
        {"aiff", 32, false, 1e-7},
        {"aiff", 32, true, 0},
        {"caf", 16, false, 1.0 / 32768},
        {"caf", 24, false, 1.0 / 8388608},
        {"caf", 32, false, 1e-7},
        {"caf", 32, true, 0},
        {"caf", 64, true, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.extension) + " " + std::to_string(k.bits) +
                     (k.isFloat ? " float" : " int"));
        const std::string path =
            dir.file(std::string("tone") + std::to_string(k.bits) + (k.isFloat ? "f." : ".") + k.extension);
        AudioFileSettings settings;
        settings.sampleRate = rate;
        settings.numberOfChannels = 2;
        settings.linearPCMBitDepth = k.bits;
        settings.linearPCMIsFloat = k.isFloat;
        {
            auto writer = AudioFile::openForWriting(path, settings);
            ASSERT_TRUE(writer.ok()) << writer.error().message;
            // Two writes of odd sizes, one interleaved: the file holds them back to back.
            ASSERT_TRUE((*writer)->write(*fixtures::bufferOf(source, rate, 0, 3001)).ok());
            ASSERT_TRUE((*writer)->write(*fixtures::bufferOf(source, rate, 3001, frames - 3001, true)).ok());
            EXPECT_EQ((*writer)->length(), frames);
            EXPECT_EQ((*writer)->framePosition(), frames);
        }
        auto reader = AudioFile::openForReading(path);
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        AudioFile& file = **reader;
        EXPECT_EQ(file.length(), frames);
        EXPECT_EQ(file.processingFormat(), *AudioFormat::standard(rate, 2));
        EXPECT_EQ(file.fileFormat().formatID, audioFormatID::linearPCM);
        EXPECT_EQ(file.fileFormat().bitsPerChannel, k.bits);
        EXPECT_EQ(file.fileFormat().isFloat, k.isFloat);
        EXPECT_EQ(file.fileFormat().sampleRate, rate);
        EXPECT_EQ(file.fileFormat().channelsPerFrame, 2u);
        const Channels back = fixtures::readToEnd(file, 1000);
        ASSERT_EQ(back[0].size(), std::size_t(frames));
        EXPECT_LE(maxDifference(source, back), k.tolerance * 1.01);
    }
}

TEST(AudioFilePcm, ContainersAndByteOrderAreDescribed) {
    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(100, 1, 44100);
    struct Case {
        const char* name;
        std::optional<bool> bigEndian;
        std::uint32_t bits;
        bool isFloat;
        AudioFileType type;
        bool expectBig;
    } cases[] = {
        {"a.wav", std::nullopt, 16, false, AudioFileType::wave, false},
        {"b.wav", true, 16, false, AudioFileType::wave, false}, // WAV stays little-endian
        {"c.aiff", std::nullopt, 16, false, AudioFileType::aiff, true},
        {"d.aiff", false, 16, false, AudioFileType::aifc, false},
        {"e.aiff", std::nullopt, 32, true, AudioFileType::aifc, true},
        {"f.caf", std::nullopt, 24, false, AudioFileType::caf, true},
        {"g.caf", false, 24, false, AudioFileType::caf, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        AudioFileSettings settings;
        settings.numberOfChannels = 1;
        settings.linearPCMBitDepth = k.bits;
        settings.linearPCMIsFloat = k.isFloat;
        settings.linearPCMIsBigEndian = k.bigEndian;
        AudioStreamDescription written;
        {
            auto writer = AudioFile::openForWriting(dir.file(k.name), settings);
            ASSERT_TRUE(writer.ok()) << writer.error().message;
            ASSERT_TRUE((*writer)->write(*fixtures::bufferOf(source, 44100)).ok());
            written = (*writer)->fileFormat();
        }
        auto reader = AudioFile::openForReading(dir.file(k.name));
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        EXPECT_EQ((*reader)->fileFormat().fileType, k.type);
        EXPECT_EQ((*reader)->fileFormat().isBigEndian, k.expectBig);
        EXPECT_EQ((*reader)->fileFormat(), written);
        // A file made again from a file's own settings has the same format (as a recorder that
        // clears its file does).
        const std::string again = dir.file(std::string("again-") + k.name);
        {
            auto copy = AudioFile::openForWriting(again, (*reader)->fileFormat().settings());
            ASSERT_TRUE(copy.ok()) << copy.error().message;
            ASSERT_TRUE((*copy)->write(*fixtures::bufferOf(source, 44100)).ok());
        }
        EXPECT_EQ(AudioFile::openForReading(again).value()->fileFormat(), written);
    }
    EXPECT_EQ(AudioStreamDescription{}.description(), "<0 ch, 0 Hz, unknown, unknown>");
    auto wav = AudioFile::openForReading(dir.file("a.wav"));
    EXPECT_EQ((*wav)->fileFormat().description(),
              "<1 ch, 44100 Hz, 'lpcm' 16-bit little-endian signed integer, WAVE>");
}

TEST(AudioFilePcm, SettingsOfABufferFormatWriteItsSamples) {
    auto settings = AudioFileSettings::forFormat(*AudioFormat::standard(22050, 3));
    EXPECT_EQ(settings.formatID, audioFormatID::linearPCM);
    EXPECT_EQ(settings.sampleRate, 22050);
    EXPECT_EQ(settings.numberOfChannels, 3u);
    EXPECT_EQ(settings.linearPCMBitDepth, 32u);
    EXPECT_TRUE(settings.linearPCMIsFloat);
    EXPECT_TRUE(settings.linearPCMIsNonInterleaved);
    EXPECT_FALSE(settings.linearPCMIsBigEndian);
    auto ints = AudioFileSettings::forFormat(*AudioFormat::make(CommonFormat::pcmInt16, 8000, 1, false));
    EXPECT_EQ(ints.linearPCMBitDepth, 16u);
    EXPECT_FALSE(ints.linearPCMIsFloat);

    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(5000, 3, 22050, 1.0f);
    {
        auto writer = AudioFile::openForWriting(dir.file("rec.caf"), settings);
        ASSERT_TRUE(writer.ok());
        ASSERT_TRUE((*writer)->write(*fixtures::bufferOf(source, 22050)).ok());
    }
    auto reader = AudioFile::openForReading(dir.file("rec.caf"));
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ(maxDifference(source, fixtures::readToEnd(**reader)), 0.0);
}

TEST(AudioFilePcm, IntegerFilesClipInsteadOfWrapping) {
    fixtures::TempFolder dir;
    Channels loud = {{1.5f, -1.5f, 1.0f, -1.0f, 0.5f}};
    for (bool isFloat : {false, true}) {
        AudioFileSettings settings;
        settings.numberOfChannels = 1;
        settings.linearPCMBitDepth = isFloat ? 32 : 16;
        settings.linearPCMIsFloat = isFloat;
        const std::string path = dir.file(isFloat ? "loud-f.wav" : "loud.wav");
        ASSERT_TRUE(
            AudioFile::openForWriting(path, settings).value()->write(*fixtures::bufferOf(loud, 44100)).ok());
        auto back = fixtures::readToEnd(*AudioFile::openForReading(path).value());
        ASSERT_EQ(back[0].size(), 5u);
        if (isFloat) {
            EXPECT_EQ(back, loud);
        } else {
            EXPECT_NEAR(back[0][0], 1.0f, 1e-4);
            EXPECT_NEAR(back[0][1], -1.0f, 1e-4);
            EXPECT_NEAR(back[0][4], 0.5f, 1e-4);
        }
    }
}

TEST(AudioFilePcm, PositionsLengthsAndBufferRules) {
    fixtures::TempFolder dir;
    const double rate = 44100;
    const Channels source = fixtures::tone(20000, 2, rate);
    const std::string path = dir.file("pos.wav");
    AudioFileSettings settings;
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    {
        auto writer = AudioFile::openForWriting(path, settings);
        ASSERT_TRUE(writer.ok());
        AudioFile& w = **writer;
        EXPECT_TRUE(w.isOpenForWriting());
        ASSERT_TRUE(w.write(*fixtures::bufferOf(source, rate)).ok());
        // Going back overwrites without changing the length.
        Channels marks = {{0.9f, 0.8f}, {-0.9f, -0.8f}};
        w.setFramePosition(100);
        ASSERT_TRUE(w.write(*fixtures::bufferOf(marks, rate)).ok());
        EXPECT_EQ(w.framePosition(), 102);
        EXPECT_EQ(w.length(), 20000);
        auto into = PcmBuffer::make(w.processingFormat(), 10);
        EXPECT_EQ(w.read(*into).error().code, int(AudioFileError::wrongMode));
        EXPECT_EQ(w.write(*fixtures::bufferOf({{0.1f}}, rate)).error().code,
                  int(AudioFileError::wrongBufferFormat));
        EXPECT_EQ(w.write(*fixtures::bufferOf(source, 48000, 0, 10)).error().code,
                  int(AudioFileError::wrongBufferFormat));
        ASSERT_TRUE(w.close().ok());
        EXPECT_TRUE(w.close().ok());
        EXPECT_FALSE(w.write(*fixtures::bufferOf(source, rate, 0, 10)).ok());
    }
    auto reader = AudioFile::openForReading(path);
    ASSERT_TRUE(reader.ok());
    AudioFile& file = **reader;
    EXPECT_FALSE(file.isOpenForWriting());
    EXPECT_EQ(file.path(), path);
    auto buffer = PcmBuffer::make(file.processingFormat(), 500);

    file.setFramePosition(99);
    ASSERT_TRUE(file.read(*buffer, 4).ok());
    EXPECT_EQ(buffer->frameLength(), 4u);
    EXPECT_EQ(buffer->channel(0)[0], source[0][99]);
    EXPECT_EQ(buffer->channel(0)[1], 0.9f);
    EXPECT_EQ(buffer->channel(1)[2], -0.8f);
    EXPECT_EQ(buffer->channel(0)[3], source[0][102]);
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
    for (std::uint32_t i = 0; i < 300; ++i) {
        ASSERT_EQ(interleaved->floatChannelData()[0][2 * i], source[0][5000 + i]);
        ASSERT_EQ(interleaved->floatChannelData()[0][2 * i + 1], source[1][5000 + i]);
    }

    auto mono = PcmBuffer::make(*AudioFormat::standard(rate, 1), 10);
    EXPECT_EQ(file.read(*mono).error().code, int(AudioFileError::wrongBufferFormat));
    auto ints = PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmInt16, rate, 2, false), 10);
    EXPECT_EQ(file.read(*ints).error().code, int(AudioFileError::wrongBufferFormat));
    EXPECT_EQ(file.write(*fixtures::bufferOf(source, rate, 0, 10)).error().code,
              int(AudioFileError::wrongMode));
}

TEST(AudioFilePcm, DestroyingAWriterFinishesTheFile) {
    fixtures::TempFolder dir;
    const Channels source = fixtures::tone(3000, 1, 8000);
    AudioFileSettings settings;
    settings.sampleRate = 8000;
    settings.numberOfChannels = 1;
    settings.linearPCMBitDepth = 24;
    for (const char* name : {"end.wav", "end.aiff", "end.caf"}) {
        SCOPED_TRACE(name);
        {
            auto writer = AudioFile::openForWriting(dir.file(name), settings);
            ASSERT_TRUE(writer.ok());
            // The file is on disk from the moment it is opened.
            EXPECT_TRUE(fileExists(dir.file(name)));
            ASSERT_TRUE((*writer)->write(*fixtures::bufferOf(source, 8000)).ok());
        }
        auto reader = AudioFile::openForReading(dir.file(name));
        ASSERT_TRUE(reader.ok());
        EXPECT_EQ((*reader)->length(), 3000);
    }
}

TEST(AudioFilePcm, SettingsThatCannotBeWrittenAreRefused) {
    fixtures::TempFolder dir;
    auto refused = [&](const std::string& name, AudioFileSettings settings) {
        auto file = AudioFile::openForWriting(dir.file(name), settings);
        EXPECT_FALSE(file.ok()) << name;
        if (file.ok()) return 0;
        EXPECT_FALSE(file.error().message.empty());
        return file.error().code;
    };
    const int invalid = int(AudioFileError::invalidSettings);
    AudioFileSettings good;
    AudioFileSettings s = good;
    s.formatID = audioFormatID::mpeg4AAC;
    EXPECT_EQ(refused("a.wav", s), invalid);
    s = good, s.linearPCMBitDepth = 12;
    EXPECT_EQ(refused("b.wav", s), invalid);
    s = good, s.linearPCMIsFloat = true, s.linearPCMBitDepth = 16;
    EXPECT_EQ(refused("c.wav", s), invalid);
    s = good, s.sampleRate = 0;
    EXPECT_EQ(refused("d.wav", s), invalid);
    s = good, s.sampleRate = 44100.5;
    EXPECT_EQ(refused("e.wav", s), invalid);
    s = good, s.numberOfChannels = 0;
    EXPECT_EQ(refused("f.wav", s), invalid);
    s = good, s.numberOfChannels = AudioFormat::maxChannels + 1;
    EXPECT_EQ(refused("g.wav", s), invalid);
    EXPECT_EQ(refused("h.mp3", good), invalid);
    EXPECT_EQ(refused("noextension", good), invalid);
    EXPECT_EQ(refused("missing/folder/x.wav", good), int(AudioFileError::cannotCreate));
    // An explicit type wins over the extension.
    s = good, s.fileType = AudioFileType::caf;
    auto caf = AudioFile::openForWriting(dir.file("named.dat"), s);
    ASSERT_TRUE(caf.ok());
    EXPECT_EQ((*caf)->fileFormat().fileType, AudioFileType::caf);
    EXPECT_EQ(AudioFile::openForWriting(dir.path, good).error().code, int(AudioFileError::cannotCreate));
}
