#include "AudioFileFixtures.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

using namespace platform;

namespace {

std::string writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// A damaged file either fails to open with a message, or opens with a length that reading, seeking and
// reading again all agree with.
void expectErrorOrConsistent(const std::string& path) {
    auto opened = AudioFile::openForReading(path);
    if (!opened.ok()) {
        EXPECT_EQ(opened.error().domain, audioFileErrorDomain);
        EXPECT_FALSE(opened.error().message.empty());
        return;
    }
    AudioFile& file = **opened;
    EXPECT_EQ(std::int64_t(fixtures::readToEnd(file)[0].size()), file.length());
    auto buffer = PcmBuffer::make(file.processingFormat(), 64);
    for (const std::int64_t p : {file.length() / 2, std::int64_t(0), file.length()}) {
        file.setFramePosition(p);
        ASSERT_TRUE(file.read(*buffer).ok());
        EXPECT_EQ(buffer->frameLength(), std::uint32_t(std::min<std::int64_t>(64, file.length() - p)));
    }
}

} // namespace

TEST(AudioFileDamage, MissingEmptyFolderAndGarbagePathsAreErrorsThatNameTheFile) {
    fixtures::TempFolder dir;
    auto expectError = [](const std::string& path, AudioFileError code) {
        auto opened = AudioFile::openForReading(path);
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.error().code, int(code));
        EXPECT_NE(opened.error().message.find(path), std::string::npos) << opened.error().message;
    };
    expectError(dir.file("nothing.wav"), AudioFileError::notFound);
    expectError(dir.path, AudioFileError::unreadable);
    for (const char* name : {"empty.wav", "empty.mp3", "empty.m4a", "empty"})
        expectError(writeBytes(dir.file(name), {}), AudioFileError::emptyFile);
    std::mt19937 random(7);
    for (const char* ext :
         {"wav", "aiff", "caf", "flac", "ogg", "mp3", "au", "m4a", "mp4", "mov", "aac", "ts", "bin"})
        for (const std::size_t size : {1u, 7u, 100u, 4096u, 100000u}) {
            SCOPED_TRACE(std::string(ext) + " " + std::to_string(size));
            Bytes bytes(size);
            for (auto& b : bytes)
                b = std::uint8_t(random());
            expectError(writeBytes(dir.file("garbage." + std::string(ext)), bytes),
                        AudioFileError::unreadable);
        }
}

TEST(AudioFileDamage, TruncatedOrScribbledFilesFailOrReadWhatIsThere) {
    fixtures::TempFolder dir;
    const int rate = 44100;
    const fixtures::Channels source = fixtures::tone(rate, 2, rate);
    for (const auto& [ext, format] : {std::pair("wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16),
                                      {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                                      {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}})
        ASSERT_TRUE(fixtures::writeWithSndfile(dir.file(std::string("whole.") + ext), format, source, rate));
    ASSERT_TRUE(fixtures::writeAac(dir.file("whole.m4a"), source, rate));
    ASSERT_TRUE(fixtures::writeAac(dir.file("whole.mp4"), source, rate, true));
    // The first `fraction` of a whole file, as a file of its own.
    auto cut = [&](const std::string& ext, double fraction) {
        const Bytes whole = readFile(dir.file("whole." + ext)).value();
        const auto size = std::max<std::size_t>(1, std::size_t(double(whole.size()) * fraction));
        return writeBytes(dir.file("cut." + ext), Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size)));
    };
    std::mt19937 random(11);
    for (const std::string ext : {"wav", "mp3", "flac", "m4a", "mp4"}) {
        for (const double fraction : {0.001, 0.01, 0.1, 0.5, 0.9, 0.999}) {
            SCOPED_TRACE(ext + " cut to " + std::to_string(fraction));
            expectErrorOrConsistent(cut(ext, fraction));
        }
        if (ext != "mp3" && ext != "m4a") continue;
        // Scribbled over the middle third, headers and index left alone: reading goes on.
        SCOPED_TRACE(ext + " scribbled");
        Bytes bytes = readFile(dir.file("whole." + ext)).value();
        for (std::size_t i = bytes.size() / 3; i < 2 * bytes.size() / 3; i += 97)
            bytes[i] = std::uint8_t(random());
        expectErrorOrConsistent(writeBytes(dir.file("scribbled." + ext), bytes));
    }
    // A WAV file cut inside its samples still holds those samples, and only those.
    auto half = AudioFile::openForReading(cut("wav", 0.5));
    ASSERT_TRUE(half.ok());
    EXPECT_GT((*half)->length(), rate / 2 - 100);
    EXPECT_LT((*half)->length(), rate / 2);
    // The header is cut: no audio at all.
    const Bytes wav = readFile(dir.file("whole.wav")).value();
    EXPECT_EQ(
        AudioFile::openForReading(writeBytes(dir.file("head.wav"), Bytes(wav.begin(), wav.begin() + 30)))
            .error()
            .code,
        int(AudioFileError::unreadable));
    // Without the index at its end an MPEG-4 file cannot be read; with the index first, half a file is
    // half the audio.
    EXPECT_FALSE(AudioFile::openForReading(cut("m4a", 0.5)).ok());
    auto halfMp4 = AudioFile::openForReading(cut("mp4", 0.5));
    ASSERT_TRUE(halfMp4.ok()) << halfMp4.error().message;
    EXPECT_GT((*halfMp4)->length(), rate / 3);
    EXPECT_LT((*halfMp4)->length(), 2 * rate / 3);
}

// A file whose header states more than it holds is still being written (or was cut short): it reads
// what is there, and says it is not complete; the same file once whole, or with a header that states
// no more than it holds, is.
TEST(AudioFileDamage, AFileHoldingLessThanItsHeaderStatesIsNotComplete) {
    fixtures::TempFolder dir;
    const int rate = 44100;
    const fixtures::Channels source = fixtures::tone(rate * 2, 1, rate);
    const struct {
        const char* name;
        int format;
        double kept; // of the whole file's bytes
        std::ptrdiff_t added;
        bool complete;
    } cases[] = {
        {"whole.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0, 0, true},
        {"growing.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.25, 0, false},
        {"growing.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0.25, 0, false},
        {"trailing.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0, 100, true},
        {"no-pad-byte.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1.0, -1, true},
        {"whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1.0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string whole = dir.file(std::string("source-") + c.name);
        // One frame more makes the 8-bit file's data odd-sized, and its pad byte the file's last.
        const fixtures::Channels samples = c.added < 0 ? fixtures::tone(rate * 2 + 1, 1, rate) : source;
        ASSERT_TRUE(fixtures::writeWithSndfile(whole, c.format, samples, rate));
        Bytes bytes = readFile(whole).value();
        if (c.added < 0) {
            ASSERT_EQ(bytes.size() % 2, 0u);
        }
        bytes.resize(std::size_t(double(bytes.size()) * c.kept + double(c.added)));
        auto file = AudioFile::openForReading(writeBytes(dir.file(c.name), bytes));
        ASSERT_TRUE(file.ok()) << file.error().message;
        EXPECT_EQ((*file)->isComplete(), c.complete);
        EXPECT_EQ(std::int64_t(fixtures::readToEnd(**file)[0].size()), (*file)->length());
        if (!c.complete) {
            EXPECT_LT((*file)->length(), rate) << "what is there, not what is stated";
        }
    }
}

TEST(AudioFileDamage, AFileWithTagsAndHeadersButNoAudioSaysSo) {
    fixtures::TempFolder dir;
    const std::string whole = dir.file("whole.mp3");
    ASSERT_TRUE(fixtures::writeWithSndfile(whole, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                           fixtures::tone(44100, 2, 44100), 44100));
    // The encoder's first frame is its header (Xing or Info), which holds no audio.
    const Bytes mp3 = readFile(whole).value();
    ASSERT_GT(mp3.size(), 4u);
    ASSERT_EQ(mp3[0], 0xff);
    ASSERT_EQ(mp3[1] & 0xfe, 0xfa) << "MPEG-1 layer III";
    static constexpr int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr int rates[] = {44100, 48000, 32000};
    const std::size_t frameSize =
        144000 * std::size_t(kbps[mp3[2] >> 4]) / std::size_t(rates[(mp3[2] >> 2) & 3]) + ((mp3[2] >> 1) & 1);
    ASSERT_LT(frameSize, mp3.size());
    const Bytes header(mp3.begin(), mp3.begin() + std::ptrdiff_t(frameSize));
    const std::string text(header.begin(), header.end());
    ASSERT_TRUE(text.find("Info") != std::string::npos || text.find("Xing") != std::string::npos);
    // An ID3v2.3 tag with a title.
    const std::string title = std::string("\0Only the header", 16);
    Bytes tag = {'I', 'D',
                 '3', 3,
                 0,   0,
                 0,   0,
                 0,   std::uint8_t(10 + title.size()),
                 'T', 'I',
                 'T', '2',
                 0,   0,
                 0,   std::uint8_t(title.size()),
                 0,   0};
    tag.insert(tag.end(), title.begin(), title.end());
    Bytes both = tag;
    both.insert(both.end(), header.begin(), header.end());

    for (const auto& [name, bytes] : {std::pair("header only.mp3", both), {"tag only.mp3", tag}}) {
        SCOPED_TRACE(name);
        const std::string path = writeBytes(dir.file(name), bytes);
        auto opened = AudioFile::openForReading(path);
        ASSERT_FALSE(opened.ok());
        const std::string& message = opened.error().message;
        EXPECT_EQ(opened.error().code, int(AudioFileError::unreadable));
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_EQ(message.find("does not exist"), std::string::npos) << message;
        EXPECT_EQ(message.find("regular file"), std::string::npos) << message;
        EXPECT_NE(message.find("no audio"), std::string::npos) << message;
    }
}

// A recorder writes its WAV header with a data size of 0 and fills the sizes in when it stops; one still
// recording, or one that died, leaves the 0, with a RIFF size of 0 or one kept up with the whole file. Its
// samples run to the end of the file. A RIFF size filled in otherwise, or a chunk that follows at once,
// says the data is really empty: the bytes after it are never played.
TEST(AudioFileDamage, AWavWhoseDataSizeWasNeverFilledInReadsToTheEndOfTheFile) {
    fixtures::TempFolder dir;
    const int rate = 44100;
    const fixtures::Channels source = fixtures::tone(rate, 2, rate);
    const std::string whole = dir.file("whole.wav");
    ASSERT_TRUE(fixtures::writeWithSndfile(whole, SF_FORMAT_WAV | SF_FORMAT_PCM_16, source, rate));
    const Bytes bytes = readFile(whole).value();
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t data = text.find("data");
    ASSERT_NE(data, std::string::npos);
    auto setSize = [](Bytes& into, std::size_t at, std::uint32_t size) {
        for (int i = 0; i < 4; ++i)
            into[at + std::size_t(i)] = std::uint8_t(size >> (8 * i));
    };
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    const Bytes other = {'a', 'b', 'c', 'd', 4, 0, 0, 0, 1, 2, 3, 4};
    const auto withSamples = std::uint32_t(bytes.size() - 8);
    const struct {
        const char* name;
        std::uint32_t riffSize;
        const Bytes* after; // the samples replaced by a chunk that follows an empty data chunk
        std::int64_t length;
    } cases[] = {
        {"riff-zero.wav", 0, nullptr, rate},
        {"riff-of-the-whole-file.wav", withSamples, nullptr, rate},
        {"riff-placeholder.wav", 0xffffffffu, nullptr, rate},
        {"riff-ending-at-the-data-chunk.wav", std::uint32_t(data), nullptr, 0},
        {"riff-ending-inside-what-follows.wav", std::uint32_t(data + 1000), nullptr, 0},
        {"riff-zero-before-a-known-chunk.wav", 0, &list, 0},
        {"really-empty.wav", std::uint32_t(data + list.size()), &list, 0},
        {"really-empty-unknown-chunk.wav", std::uint32_t(data + other.size()), &other, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes unfinished(bytes.begin(), bytes.begin() + std::ptrdiff_t(data + 8));
        if (c.after)
            unfinished.insert(unfinished.end(), c.after->begin(), c.after->end());
        else
            unfinished.insert(unfinished.end(), bytes.begin() + std::ptrdiff_t(data + 8), bytes.end());
        setSize(unfinished, 4, c.riffSize);
        setSize(unfinished, data + 4, 0);
        auto file = AudioFile::openForReading(writeBytes(dir.file(c.name), unfinished));
        ASSERT_TRUE(file.ok()) << file.error().message;
        EXPECT_EQ((*file)->length(), c.length);
        const fixtures::Channels read = fixtures::readToEnd(**file);
        EXPECT_EQ(std::int64_t(read[0].size()), c.length);
        if (std::int64_t(read[0].size()) != c.length) continue;
        for (std::size_t i = 0; i < read[0].size(); i += 997)
            for (std::size_t ch = 0; ch < 2; ++ch)
                EXPECT_NEAR(read[ch][i], source[ch][i], 1.0 / 16384) << "frame " << i;
    }
}
