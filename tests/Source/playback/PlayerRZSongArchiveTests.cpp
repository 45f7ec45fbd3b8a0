// Songs packed with their graphics in a zip archive: played from memory as the file they hold, and
// watched on disk as any song file is.

#include "tests/Source/playback/PlayerRZFixture.h"

#include "platform/files/SongArchive.h"
#include "tests/support/SongArchives.h"

#include <gmock/gmock.h>

namespace {

// Noise, so that any frame out of place shows, as an MP3 zipped with its graphics.
bool writeZippedNoise(const std::string& folderPath, const std::string& name, double seconds,
                      std::uint32_t seed) {
    const std::string plain = folderPath + "/" + name + ".mp3";
    const std::vector<float> noise = testsupport::lcgNoise(std::size_t(seconds * 44100.0), seed);
    return testsupport::writeWithSndfile(plain, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, {noise, noise},
                                         44100) &&
           testsupport::writeZip(folderPath + "/" + name + ".zip",
                                 {{name + ".mp3", testsupport::readWholeFile(plain)},
                                  {name + ".cdg", testsupport::blankCdg()}});
}

} // namespace

TEST_F(PlayerRZTest, AZippedSongPlaysAndSeeksAsItsFileDoes) {
    ASSERT_TRUE(writeZippedNoise(folder.path, "Song", 4.0, 7));
    auto heard = [&](const std::string& path) {
        auto entry = offlineEntry(path);
        EXPECT_TRUE(player->playable()) << path;
        player->setKeyShift(2);
        player->setCurrentTime(1.7);
        player->play();
        auto buffer = platform::PcmBuffer::make(player->engine().avEngine().manualRenderingFormat(), 512);
        std::vector<float> out;
        for (int cycle = 0; cycle < 120; ++cycle) {
            EXPECT_TRUE(player->engine().avEngine().renderOffline(512, *buffer).ok());
            const std::vector<float> left = channelSamples(*buffer, 0);
            out.insert(out.end(), left.begin(), left.end());
            mainQueue().drain();
        }
        return std::pair(entry, out);
    };
    const auto [plainEntry, plain] = heard(folder.file("Song.mp3"));
    const auto [zippedEntry, zipped] = heard(folder.file("Song.zip"));
    ASSERT_GT(testsupport::rms(plain), 0.05);
    EXPECT_EQ(zipped, plain);
    EXPECT_EQ(zippedEntry->_cachedDuration, plainEntry->_cachedDuration);
    EXPECT_EQ(zippedEntry->archivedAudio, "Song.mp3");
    EXPECT_EQ(plainEntry->archivedAudio, "");
}

TEST_F(PlayerRZTest, AZippedSongChangedOrGoneOnDiskIsReadAgainOrPlaysOn) {
    makePacedPlayer();
    ASSERT_TRUE(writeZippedNoise(folder.path, "Song", 3.0, 1));
    const std::string path = folder.file("Song.zip");
    auto entry = entryFor(path);
    ASSERT_TRUE(entry);
    // As read from a document: the audio's name comes with the first load.
    entry->archivedAudio.clear();
    ASSERT_TRUE(setAndLoad(entry));
    EXPECT_EQ(entry->archivedAudio, "Song.mp3");
    player->play();
    renderOnly(0.5);
    ASSERT_TRUE(playedPast(0.2));

    // Another song written over it in one write: read anew, the music going on.
    const std::string aside = folder.file("aside");
    std::filesystem::create_directory(aside);
    ASSERT_TRUE(writeZippedNoise(aside, "Song", 5.0, 2));
    console.clear();
    const std::uint64_t readsBefore = platform::songArchiveAudioReads();
    const std::uint64_t readsHereBefore = platform::songArchiveAudioReadsOnThisThread();
    ASSERT_TRUE(writeOverInOneWrite(aside + "/Song.zip", path));
    ASSERT_TRUE(reloadSettled(path));
    EXPECT_NEAR(player->duration(), 5.0, 0.1);
    EXPECT_EQ(delegate.archiveChanges,
              std::vector<std::string>{"“Song.zip” changed on disk and was read again"});
    EXPECT_GT(platform::songArchiveAudioReads(), readsBefore);
    EXPECT_EQ(platform::songArchiveAudioReadsOnThisThread(), readsHereBefore)
        << "the changed archive is read off the main thread";
    // Played again, the new copy is not read again.
    const std::uint64_t readsSettled = platform::songArchiveAudioReads();
    player->pause();
    player->play();
    EXPECT_EQ(platform::songArchiveAudioReads(), readsSettled);
    EXPECT_TRUE(player->isPlaying());

    // No longer a song (a file dropped into it): it plays on from the copy in memory, and the window
    // says why.
    delegate.archiveChanges.clear();
    const std::vector<std::uint8_t> audio = testsupport::readWholeFile(aside + "/Song.mp3");
    ASSERT_TRUE(testsupport::writeZip(
        aside + "/Song.zip",
        {{"Song.mp3", audio}, {"Song.cdg", testsupport::blankCdg()}, {"cover\n.jpg", {1}}}));
    ASSERT_TRUE(writeOverInOneWrite(aside + "/Song.zip", path));
    ASSERT_TRUE(waitFor([&] { return !delegate.archiveChanges.empty(); }));
    EXPECT_THAT(delegate.archiveChanges.back(),
                ::testing::AllOf(::testing::HasSubstr("“Song.zip” changed on disk and cannot be read ("),
                                 ::testing::HasSubstr("holds \"cover\\n.jpg\" beside"),
                                 ::testing::HasSubstr("what was read before plays on")));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_NEAR(player->duration(), 5.0, 0.1);

    // Gone: it plays on from the copy in memory, and is marked missing.
    std::filesystem::remove(path);
    ASSERT_TRUE(waitFor([&] { return entry->fileMissing; }));
    EXPECT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying() && player->entry() == entry);
    renderOn();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    EXPECT_EQ(delegate.refusals, 0);
}

// A zipped song's audio, up to hundreds of MiB, is read for its first load on a worker: the place and the
// play asked for meanwhile are taken once it is loaded, and one that does not read is refused then.
TEST_F(PlayerRZTest, AZippedSongIsReadForItsLoadOffTheMainThreadAndStartsOnceReady) {
    ASSERT_TRUE(writeZippedNoise(folder.path, "Song", 3.0, 3));
    std::ofstream(folder.file("Bad.zip"), std::ios::binary) << "no archive at all";
    makePacedPlayer();
    // As read from a document: no length, the audio's name unknown.
    auto entry = vantle::PlaylistEntry::make(platform::Url::fileURLWithPath(folder.file("Song.zip")),
                                             vantle::AudioFileLength{});
    entry->_cachedDuration.reset();
    const std::uint64_t readsHere = platform::songArchiveAudioReadsOnThisThread();
    player->setEntry(entry);
    player->setCurrentTime(1.0);
    player->play();
    EXPECT_EQ(player->entry(), entry);
    ASSERT_TRUE(waitFor([&] { return player->playing(); }));
    EXPECT_EQ(platform::songArchiveAudioReadsOnThisThread(), readsHere) << "read on the main thread";
    EXPECT_EQ(entry->archivedAudio, "Song.mp3");
    ASSERT_TRUE(entry->_cachedDuration);
    EXPECT_NEAR(*entry->_cachedDuration, 3.0, 0.1);
    renderOnly(0.2);
    EXPECT_TRUE(playedPast(1.05)) << "from the place asked for during the read";

    auto bad = vantle::PlaylistEntry::make(platform::Url::fileURLWithPath(folder.file("Bad.zip")),
                                           vantle::AudioFileLength{});
    const int refusals = delegate.refusals;
    player->setEntry(bad);
    player->play();
    ASSERT_TRUE(waitFor([&] { return delegate.refusals > refusals; }));
    EXPECT_FALSE(player->entry());
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(platform::songArchiveAudioReadsOnThisThread(), readsHere);
}
