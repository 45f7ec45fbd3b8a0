#include "Source/karaoke/KaraokeZip.h"
#include "tests/support/SongArchives.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

// The graphics come out of a song archive as they went in, or from beside a song file; else none.
TEST(KaraokeZip, ReadsTheGraphicsInsideASongArchiveOrBesideTheSong) {
    testsupport::TemporaryFolder folder;
    const std::vector<std::uint8_t> audio(1000, 7), graphics = testsupport::blankCdg(600);
    ASSERT_TRUE(
        testsupport::writeZip(folder.file("Song.zip"), {{"Song.mp3", audio}, {"Song.cdg", graphics}}));
    ASSERT_TRUE(
        testsupport::writeZip(folder.file("Two.zip"), {{"Song.mp3", audio}, {"Other.cdg", graphics}}));
    const std::optional<std::vector<std::uint8_t>> read = vantle::readCdgForSong(folder.file("Song.zip"));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, graphics);
    const std::vector<std::uint8_t> beside = testsupport::blankCdg(5);
    std::ofstream(folder.file("Disc.CDG"), std::ios::binary)
        .write(reinterpret_cast<const char*>(beside.data()), std::streamsize(beside.size()));
    EXPECT_EQ(vantle::readCdgForSong(folder.file("Disc.mp3")), beside);
    for (const char* none : {"Two.zip", "Missing.zip", "Song.mp3"})
        EXPECT_FALSE(vantle::readCdgForSong(folder.file(none))) << none;
}
