// Finding a song's `.cdg` beside it, and reading it bounded.

#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/CdgFile.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vantle {
namespace {

void touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(CdgBesidePath, FindsTheGraphicsOfTheSameBaseNameInAnyCase) {
    struct Case {
        std::string what;
        std::vector<std::string> files; // a trailing '/' makes a folder
        std::string audio;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"disc rip in capitals", {"SONG.MP3", "SONG.CDG"}, "SONG.MP3", "SONG.CDG"},
        {"lower case", {"song.mp3", "song.cdg"}, "song.mp3", "song.cdg"},
        {"mixed-case extension found by listing", {"Song.mp3", "Song.Cdg"}, "Song.mp3", "Song.Cdg"},
        {"base name differing in case only", {"SONG.MP3", "Song.cdg"}, "SONG.MP3", "Song.cdg"},
        {"the same base name wins over a caseless one",
         {"Song.mp3", "SONG.cdg", "Song.cDg"},
         "Song.mp3",
         "Song.cDg"},
        {"dots inside the name", {"A. B - C.flac", "A. B - C.cdg"}, "A. B - C.flac", "A. B - C.cdg"},
        {"another song's graphics do not count",
         {"one.mp3", "two.cdg", "one.cdg.txt"},
         "one.mp3",
         std::nullopt},
        {"a longer name does not count", {"song.mp3", "song 2.cdg"}, "song.mp3", std::nullopt},
        {"a folder is not graphics", {"song.mp3", "song.cdg/"}, "song.mp3", std::nullopt},
        {"no graphics", {"song.mp3"}, "song.mp3", std::nullopt},
    };
    for (const Case& c : cases) {
        testsupport::TemporaryFolder folder;
        for (const std::string& name : c.files) {
            if (name.back() == '/')
                std::filesystem::create_directory(folder.file(name.substr(0, name.size() - 1)));
            else
                touch(folder.file(name));
        }
        const auto found = cdgBesidePath(folder.file(c.audio));
        const std::optional<std::string> expected =
            c.expected ? std::optional<std::string>(folder.file(*c.expected)) : std::nullopt;
        EXPECT_EQ(found, expected) << c.what;
    }
}

TEST(CdgBesidePath, ListingChoiceDoesNotDependOnOrderOrLimit) {
    const std::vector<std::string> names = {"b.CDG", "B.cdg", "b.mp3", "b.cdg"};
    const std::vector<std::string> reversed(names.rbegin(), names.rend());
    EXPECT_EQ(cdgNameInListing("b.mp3", names), "b.CDG");
    EXPECT_EQ(cdgNameInListing("b.mp3", reversed), "b.CDG");
    EXPECT_EQ(cdgNameInListing("b.cdg", {"b.cdg"}), std::nullopt);

    testsupport::TemporaryFolder folder;
    for (int i = 0; i < 30; ++i)
        touch(folder.file("f" + std::to_string(i)));
    EXPECT_EQ(listFileNames(folder.path, 10).size(), 10u);
    EXPECT_EQ(listFileNames(folder.path).size(), 30u);
    EXPECT_TRUE(listFileNames(folder.file("absent")).empty());
}

TEST(CdgFile, ReadsBoundedAndRefusesWhatCannotBeRead) {
    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("song.cdg");
    std::ofstream(path, std::ios::binary) << std::string(48, '\x09');
    const auto bytes = readCdgFile(path);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 48u);
    EXPECT_FALSE(readCdgFile(folder.file("absent.cdg")));
    EXPECT_FALSE(readCdgFile(folder.path));
    // Over the limit, without reading it all: a sparse file.
    const std::string huge = folder.file("huge.cdg");
    touch(huge);
    std::filesystem::resize_file(huge, CdgTimeline::maximumBytes + 1);
    const auto refused = readCdgFile(huge);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("larger than"), std::string::npos);
}

} // namespace
} // namespace vantle
