#include "platform/files/AudioFile.h"
#include "platform/files/SongArchive.h"
#include "tests/platform/files/AudioFileFixtures.h"
#include "tests/support/SongArchives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace fixtures;
using platform::AudioFile;

namespace {

// Reads `frames` frames from `at` on, first channel.
std::vector<float> framesAt(AudioFile& file, std::int64_t at, std::uint32_t frames) {
    file.setFramePosition(at);
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), frames);
    if (!file.read(*buffer).ok()) return {};
    return {buffer->channel(0), buffer->channel(0) + buffer->frameLength()};
}

} // namespace

struct SongArchiveTest : ::testing::Test {
    void TearDown() override { platform::songArchiveLimits() = {}; }
    TempFolder folder;
};

// A zipped song reads as the same file unzipped, seeks included, in each kind the archives carry, and
// nothing of it is unpacked beside the archive.
TEST_F(SongArchiveTest, AZippedSongReadsAsTheFileItHolds) {
    const Channels data{testsupport::sine(44100 * 2, 440.0, 44100.0, 0.5),
                        testsupport::sine(44100 * 2, 660.0, 44100.0, 0.5)};
    for (auto [name, format] : {std::pair{"Song.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                {"Song.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                                {"Song.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}}) {
        SCOPED_TRACE(name);
        const std::string plain = folder.file(name);
        ASSERT_TRUE(writeWithSndfile(plain, format, data, 44100));
        const std::string zipped = folder.file(std::string(name) + ".zip");
        ASSERT_TRUE(testsupport::writeZip(
            zipped, {{name, testsupport::readWholeFile(plain)}, {"Song.CDG", testsupport::blankCdg()}}));
        auto direct = AudioFile::openForReading(plain);
        auto packed = AudioFile::openForReading(zipped);
        ASSERT_TRUE(direct.ok());
        ASSERT_TRUE(packed.ok()) << packed.error().message;
        EXPECT_EQ((*packed)->length(), (*direct)->length());
        EXPECT_EQ((*packed)->path(), zipped);
        for (std::int64_t at :
             {std::int64_t(0), std::int64_t(30000), std::int64_t(12345), std::int64_t(70000)})
            EXPECT_EQ(framesAt(**packed, at, 2048), framesAt(**direct, at, 2048)) << "at " << at;
        // Another reader of the same song, as the player opens one to count or draw it.
        auto again = (*packed)->openAgain();
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ(framesAt(**again, 5000, 512), framesAt(**direct, 5000, 512));
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(folder.path))
        ++files;
    EXPECT_EQ(files, 6u) << "three songs and their archives, nothing unpacked";
}

// What is not one song is refused, with its reason in the error.
TEST_F(SongArchiveTest, WhatIsNotOneSongIsRefusedWithItsReason) {
    const std::vector<std::uint8_t> wav = [&] {
        EXPECT_TRUE(writeWithSndfile(folder.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                     {testsupport::sine(44100, 440.0, 44100.0)}, 44100));
        return testsupport::readWholeFile(folder.file("a.wav"));
    }();
    using Members = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;
    struct Case {
        const char* what;
        Members members;
        std::uint64_t audioBound;
        const char* reason;
        const char* password = nullptr;
    };
    const Case cases[] = {
        {"extra",
         {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}, {"cover.jpg", {1, 2, 3}}},
         256u << 20,
         "holds \"cover.jpg\" beside"},
        {"no graphics", {{"a.wav", wav}}, 256u << 20, "holds no .cdg graphics"},
        {"no audio", {{"a.cdg", testsupport::blankCdg()}}, 256u << 20, "holds no audio file"},
        {"two songs",
         {{"a.wav", wav}, {"b.wav", wav}, {"a.cdg", testsupport::blankCdg()}},
         256u << 20,
         "more than one song"},
        {"other names", {{"a.wav", wav}, {"b.cdg", testsupport::blankCdg()}}, 256u << 20, "different names"},
        {"too large", {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}}, wav.size() - 1, "audio is over"},
        // A name is shown escaped: its line break and direction override would fake the alert's text.
        {"crafted name",
         {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}, {"x\nfake line \u202Etxt.exe", {1}}},
         256u << 20,
         "holds \"x\\nfake line \\u202Etxt.exe\" beside"},
        {"encrypted",
         {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}},
         256u << 20,
         "\"a.wav\" in the zip archive is encrypted: it cannot be read without its password",
         "secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.file(std::string(c.what) + ".zip");
        ASSERT_TRUE(testsupport::writeZip(path, c.members, c.password));
        platform::songArchiveLimits().audioBytes = c.audioBound;
        auto opened = AudioFile::openForReading(path);
        ASSERT_FALSE(opened.ok());
        EXPECT_NE(opened.error().message.find(c.reason), std::string::npos) << opened.error().message;
        auto inspected = platform::inspectSongArchive(path, platform::songArchiveLimits());
        ASSERT_FALSE(inspected.ok());
        EXPECT_EQ(inspected.error().message.find_first_of("\n\r"), std::string::npos);
    }
    platform::songArchiveLimits() = {};

    // A damaged archive: garbage, and a good one cut short.
    ASSERT_TRUE(
        testsupport::writeZip(folder.file("good.zip"), {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}}));
    std::vector<std::uint8_t> cut = testsupport::readWholeFile(folder.file("good.zip"));
    cut.resize(cut.size() / 2);
    std::ofstream(folder.file("cut.zip"), std::ios::binary)
        .write(reinterpret_cast<const char*>(cut.data()), std::streamsize(cut.size()));
    std::ofstream(folder.file("garbage.zip"), std::ios::binary) << "this is no archive at all";
    for (const char* name : {"cut.zip", "garbage.zip"}) {
        auto opened = AudioFile::openForReading(folder.file(name));
        ASSERT_FALSE(opened.ok()) << name;
        EXPECT_NE(opened.error().message.find("not a zip archive that can be read"), std::string::npos)
            << opened.error().message;
    }
    EXPECT_TRUE(AudioFile::openForReading(folder.file("good.zip")).ok());
    auto graphics = platform::readSongArchiveGraphics(folder.file("good.zip"));
    ASSERT_TRUE(graphics.ok());
    EXPECT_EQ(*graphics, testsupport::blankCdg());
}

// The player opens its song again at each play and seek: an unchanged archive is read once for all its
// readers, one changed on disk is read again, and no copy outlives its last reader.
TEST_F(SongArchiveTest, AnUnchangedArchiveIsReadOnceForAllItsReaders) {
    const auto zippedTone = [&](double seconds) {
        EXPECT_TRUE(writeWithSndfile(folder.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                     {testsupport::sine(std::size_t(seconds * 44100), 440.0, 44100.0)},
                                     44100));
        return std::vector<std::pair<std::string, std::vector<std::uint8_t>>>{
            {"a.wav", testsupport::readWholeFile(folder.file("a.wav"))}, {"a.cdg", testsupport::blankCdg()}};
    };
    const std::string path = folder.file("a.zip");
    const auto writeInPlace = [&](double seconds) {
        // Same file, other bytes: only its size and times tell the change.
        ASSERT_TRUE(testsupport::writeZip(folder.file("other.zip"), zippedTone(seconds)));
        const std::vector<std::uint8_t> bytes = testsupport::readWholeFile(folder.file("other.zip"));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    struct Change {
        const char* what;
        std::function<void(double)> write;
    };
    const Change changes[] = {
        {"replaced", [&](double seconds) { ASSERT_TRUE(testsupport::writeZip(path, zippedTone(seconds))); }},
        {"written in place", writeInPlace},
    };
    ASSERT_TRUE(testsupport::writeZip(path, zippedTone(1.0)));
    double seconds = 1.0;
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::uint64_t before = platform::songArchiveAudioReads();
        auto first = AudioFile::openForReading(path);
        ASSERT_TRUE(first.ok()) << first.error().message;
        EXPECT_EQ(platform::songArchiveAudioReads(), before + 1);
        auto second = AudioFile::openForReading(path);
        ASSERT_TRUE(second.ok()) << second.error().message;
        EXPECT_EQ(platform::songArchiveAudioReads(), before + 1) << "the unchanged archive is not read again";
        EXPECT_TRUE((*second)->sharesArchiveCopyWith(**first));
        EXPECT_EQ(framesAt(**second, 1000, 256), framesAt(**first, 1000, 256));

        seconds += 1.0;
        change.write(seconds);
        auto changed = AudioFile::openForReading(path);
        ASSERT_TRUE(changed.ok()) << changed.error().message;
        EXPECT_EQ(platform::songArchiveAudioReads(), before + 2) << "the changed archive is read again";
        EXPECT_FALSE((*changed)->sharesArchiveCopyWith(**first));
        EXPECT_EQ((*changed)->length(), std::int64_t(seconds * 44100));
        EXPECT_EQ((*first)->length(), std::int64_t((seconds - 1.0) * 44100)) << "what was open reads on";

        // With its last reader gone, nothing of the song stays in memory.
        first->reset();
        second->reset();
        changed->reset();
        ASSERT_TRUE(AudioFile::openForReading(path).ok());
        EXPECT_EQ(platform::songArchiveAudioReads(), before + 3);
    }
}
