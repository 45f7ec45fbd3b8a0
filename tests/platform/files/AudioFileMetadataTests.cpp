#include "platform/files/AudioFileMetadata.h"

#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <fstream>

using platform::readMetadata;

namespace {

// Writes a short tone with libsndfile, tagged with the given strings (SF_STR_…, text) before the audio.
bool writeTaggedTone(const std::string& path, int format,
                     const std::vector<std::pair<int, std::string>>& tags) {
    const fixtures::Channels data = fixtures::tone(4410, 2, 44100.0);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    for (const auto& [kind, text] : tags)
        if (sf_set_string(file, kind, text.c_str()) != 0) {
            sf_close(file);
            return false;
        }
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < data[0].size(); ++i)
        for (const auto& channel : data)
            interleaved.push_back(channel[i]);
    const bool wrote =
        sf_writef_float(file, interleaved.data(), sf_count_t(data[0].size())) == sf_count_t(data[0].size());
    return sf_close(file) == 0 && wrote;
}

} // namespace

TEST(AudioFileMetadata, ReadsTheCommonTagsOfEveryFormat) {
    fixtures::TempFolder folder;
    struct Case {
        std::string name;
        int format;
        std::string album;
    };
    // libsndfile hands its MP3 encoder Latin-1 only, so that album stays ASCII.
    const std::vector<Case> cases = {
        {"tagged.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "Waltzes Ä"},
        {"tagged.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "Waltzes Ä"},
        {"tagged.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Waltzes Ä"},
        {"tagged.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "Waltzes A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::pair<int, std::string>> tags = {
            {SF_STR_TITLE, "Blue Danube"}, {SF_STR_ALBUM, c.album}, {SF_STR_GENRE, "Waltz"}};
        ASSERT_TRUE(writeTaggedTone(folder.file(c.name), c.format, tags));
        auto metadata = readMetadata(folder.file(c.name));
        ASSERT_TRUE(metadata.ok()) << metadata.error().message;
        EXPECT_EQ(metadata->value("title"), "Blue Danube");
        EXPECT_EQ(metadata->value("TITLE"), "Blue Danube");
        EXPECT_EQ(metadata->value("album"), c.album);
        EXPECT_EQ(metadata->value("genre"), "Waltz");
        EXPECT_FALSE(metadata->value("composer"));
        for (const auto& item : metadata->items)
            EXPECT_EQ(item.key, [&] {
                std::string lowered = item.key;
                for (char& ch : lowered)
                    ch = char(std::tolower(static_cast<unsigned char>(ch)));
                return lowered;
            }());
    }
}

TEST(AudioFileMetadata, UntaggedFilesGiveNoTagsAndBadFilesAnError) {
    fixtures::TempFolder folder;
    ASSERT_TRUE(writeTaggedTone(folder.file("plain.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}));
    auto plain = readMetadata(folder.file("plain.wav"));
    ASSERT_TRUE(plain.ok());
    EXPECT_FALSE(plain->value("title"));
    EXPECT_FALSE(plain->value("album"));

    ASSERT_TRUE(fixtures::writeAac(folder.file("plain.m4a"), fixtures::tone(8192, 2, 44100.0), 44100));
    auto m4a = readMetadata(folder.file("plain.m4a"));
    ASSERT_TRUE(m4a.ok());
    EXPECT_FALSE(m4a->value("title"));

    auto missing = readMetadata(folder.file("missing.mp3"));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("missing.mp3"), std::string::npos);

    std::ofstream(folder.file("garbage.mp3"), std::ios::binary) << std::string(64, '\0');
    EXPECT_FALSE(readMetadata(folder.file("garbage.mp3")).ok());
    std::ofstream(folder.file("empty.wav"), std::ios::binary).flush();
    EXPECT_FALSE(readMetadata(folder.file("empty.wav")).ok());
}
