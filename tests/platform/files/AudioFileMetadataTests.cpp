#include "platform/files/AudioFileMetadata.h"

#include "AudioFileFixtures.h"

#include "platform/foundation/Text.h"

#include <gtest/gtest.h>

#include <fstream>

using platform::readMetadata;

namespace {

// A short tone written with libsndfile, tagged with the given strings (SF_STR_…, text).
bool writeTaggedTone(const std::string& path, int format,
                     const std::vector<std::pair<int, std::string>>& tags) {
    return fixtures::writeWithSndfile(path, format, fixtures::tone(4410, 2, 44100.0), 44100, -1.0, -1, tags);
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
            EXPECT_EQ(item.key, platform::lowercased(item.key));
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
