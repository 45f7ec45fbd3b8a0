#include "platform/files/AudioFileMetadata.h"

#include "AudioFileFixtures.h"

#include "platform/foundation/Text.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>

using platform::readMetadata;

TEST(AudioFileMetadata, ReadsTheCommonTagsOfEveryFormatAndNoneOfAnUntaggedFile) {
    fixtures::TempFolder folder;
    const fixtures::Channels tone = fixtures::tone(8192, 2, 44100.0);
    // Format 0: AAC, untagged; an empty album: untagged.
    using Case = std::tuple<std::string, int, std::string>;
    const Case cases[] = {
        {"tagged.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "Waltzes Ä"},
        {"tagged.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "Waltzes Ä"},
        {"tagged.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Waltzes Ä"},
        // libsndfile hands its MP3 encoder Latin-1 only, so that album stays ASCII.
        {"tagged.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "Waltzes A"},
        {"plain.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, ""},
        {"plain.m4a", 0, ""},
    };
    for (const auto& [name, format, album] : cases) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        if (album.empty()) {
            ASSERT_TRUE(format ? fixtures::writeWithSndfile(path, format, tone, 44100)
                               : fixtures::writeAac(path, tone, 44100));
        } else {
            ASSERT_TRUE(fixtures::writeWithSndfile(
                path, format, tone, 44100, -1.0, -1,
                {{SF_STR_TITLE, "Blue Danube"}, {SF_STR_ALBUM, album}, {SF_STR_GENRE, "Waltz"}}));
        }
        auto metadata = readMetadata(path);
        ASSERT_TRUE(metadata.ok()) << metadata.error().message;
        EXPECT_EQ(metadata->value("TITLE"), album.empty() ? std::nullopt : std::optional("Blue Danube"));
        EXPECT_EQ(metadata->value("album"), album.empty() ? std::nullopt : std::optional(album));
        EXPECT_EQ(metadata->value("genre"), album.empty() ? std::nullopt : std::optional("Waltz"));
        EXPECT_FALSE(metadata->value("composer"));
        for (const auto& item : metadata->items)
            EXPECT_EQ(item.key, platform::lowercased(item.key));
    }
}

TEST(AudioFileMetadata, MissingAndDamagedFilesAreErrors) {
    fixtures::TempFolder folder;
    auto missing = readMetadata(folder.file("missing.mp3"));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("missing.mp3"), std::string::npos);
    std::ofstream(folder.file("garbage.mp3"), std::ios::binary) << std::string(64, '\0');
    EXPECT_FALSE(readMetadata(folder.file("garbage.mp3")).ok());
    std::ofstream(folder.file("empty.wav"), std::ios::binary).flush();
    EXPECT_FALSE(readMetadata(folder.file("empty.wav")).ok());
}

TEST(AudioFileMetadata, ReadingStopsAtWhatTagsCanTakeAndAtWhatIsNoFile) {
    fixtures::TempFolder folder;
    // Ten hours of stereo samples: sizes that wrap past 4 GiB send a header walk through gigabytes.
    const std::string wrapped =
        testsupport::writeWrappedWav(folder.file("ten hours.wav"), 36000ull * 44100, {}, "Night");
    ASSERT_FALSE(wrapped.empty());
    if (!testsupport::isSparse(wrapped)) GTEST_SKIP() << "the temporary folder keeps no sparse files";
    // A FIFO with no writer would hold an open that waits for one.
    const std::string fifo = folder.file("song.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    using Read = std::shared_ptr<std::optional<platform::Result<platform::AudioFileMetadata>>>;
    for (const std::string& path : {wrapped, fifo}) {
        SCOPED_TRACE(path);
        Read read = std::make_shared<Read::element_type>();
        ASSERT_TRUE(testsupport::finishesWithin([path, read] { *read = readMetadata(path); }));
        ASSERT_TRUE(*read);
        if (path == fifo) {
            EXPECT_FALSE((*read)->ok());
            continue;
        }
        ASSERT_TRUE((*read)->ok()) << (*read)->error().message;
        EXPECT_EQ((**read)->value("title"), std::optional<std::string>("Night"));
    }
}
