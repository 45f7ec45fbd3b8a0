#include "Source/karaoke/host/SongBook.h"
#include "Source/karaoke/host/SongIndex.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace vantle::host;

namespace {

// Seconds a watched folder's change may take to be heard on a busy machine: only a broken watch takes so
// long.
constexpr double generousSeconds = 60;

// A song book over a folder of its own; each file's size is its own, so no two look like one renamed.
class SongIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = HostDatabase::open(temporary.file("host.sqlite"));
        ASSERT_TRUE(database);
        index = std::make_unique<SongIndex>(*database);
        std::filesystem::create_directories(songs + "/disc 2");
    }
    void write(const std::string& name) { std::ofstream(songs + "/" + name) << std::string(++sizes, 'x'); }
    SongIndex::Changes refresh() {
        SongIndex::Changes changes;
        index->refresh(songs, changes);
        return changes;
    }
    std::set<std::string> titles(const std::string& query) {
        std::set<std::string> found;
        for (const BookSong& song : index->search(query, 100))
            found.insert(song.title + (song.present ? "" : " (missing)"));
        return found;
    }

    testsupport::TemporaryFolder temporary;
    const std::string songs = temporary.file("songs");
    std::unique_ptr<HostDatabase> database;
    std::unique_ptr<SongIndex> index;
    int sizes = 0;
};

TEST_F(SongIndexTest, SearchFindsAnyPartOfAnyWordWithoutCaseOrAccents) {
    write("SC8123-05 - Édith Piaf - La Vie en rose.zip");
    write("Queen - Bohemian Rhapsody.zip");
    write("disc 2/ABBA - Waterloo - SF123-04.zip");
    write("Motörhead - Ace of Spades.mp3");
    write("cover.jpg");
    write("Queen - Bohemian Rhapsody.cdg");
    index->setRoots({songs});
    EXPECT_EQ(refresh().added, 4u);
    EXPECT_EQ(index->count(), 4u);
    const std::set<std::string> piaf{"La Vie en rose"};
    const struct {
        const char* query;
        std::set<std::string> titles;
    } cases[] = {
        {"edith", piaf},
        {"ÉDITH", piaf},
        {"dith pia", piaf},
        {"vie edith", piaf},
        {"sc8123", piaf},
        {"8123-05", piaf},
        {"motorhead", {"Ace of Spades"}},
        {"hapso", {"Bohemian Rhapsody"}},
        {"sf123", {"Waterloo"}},
        {"qu rhap", {"Bohemian Rhapsody"}},
        {"e", {"La Vie en rose", "Bohemian Rhapsody", "Waterloo", "Ace of Spades"}},
        {"", {"La Vie en rose", "Bohemian Rhapsody", "Waterloo", "Ace of Spades"}},
        {"zeppelin", {}},
        {"\"%_", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(titles(c.query), c.titles) << c.query;
}

TEST_F(SongIndexTest, AFileWhoseNameSaysLittleIsReadFromItsTags) {
    const auto tagged = [&](const std::string& name, const char* artist, const char* title) {
        SF_INFO format{};
        format.samplerate = 8000;
        format.channels = 1;
        format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open((songs + "/" + name).c_str(), SFM_WRITE, &format);
        ASSERT_NE(file, nullptr);
        sf_set_string(file, SF_STR_ARTIST, artist);
        sf_set_string(file, SF_STR_TITLE, title);
        const short silence[800] = {};
        sf_write_short(file, silence, 800);
        sf_close(file);
    };
    tagged("track01.wav", "Édith Piaf", "Padam");
    // The name wins where it says who and what.
    tagged("Nena - 99 Luftballons.wav", "Someone Else", "Another Title");
    index->setRoots({songs});
    refresh();
    EXPECT_EQ(titles("piaf"), std::set<std::string>{"Padam"});
    EXPECT_EQ(titles("nena"), std::set<std::string>{"99 Luftballons"});
    EXPECT_TRUE(titles("someone").empty());
}

TEST_F(SongIndexTest, ChangesAreFoundFolderByFolderAndAGoneSongIsSaid) {
    write("Queen - Bohemian Rhapsody.zip");
    write("disc 2/ABBA - Waterloo.zip");
    index->setRoots({songs});
    EXPECT_EQ(refresh().foldersListed.size(), 2u);
    // Nothing changed: no folder is listed again.
    EXPECT_TRUE(refresh().foldersListed.empty());

    std::filesystem::rename(songs + "/Queen - Bohemian Rhapsody.zip",
                            songs + "/Queen - Bohemian Rhapsody (live).zip");
    std::filesystem::remove(songs + "/disc 2/ABBA - Waterloo.zip");
    SongIndex::Changes changes = refresh();
    ASSERT_EQ(changes.moved.size(), 1u);
    EXPECT_EQ(changes.moved[0].first, songs + "/Queen - Bohemian Rhapsody.zip");
    EXPECT_EQ(changes.moved[0].second, songs + "/Queen - Bohemian Rhapsody (live).zip");
    EXPECT_EQ(changes.missing, 1u);
    EXPECT_EQ(changes.added, 0u);
    EXPECT_EQ(titles("queen"), std::set<std::string>{"Bohemian Rhapsody (live)"});
    EXPECT_EQ(titles("waterloo"), std::set<std::string>{"Waterloo (missing)"});

    // Back again, it is present; a folder removed takes its songs out of sight but not out of the book.
    write("disc 2/ABBA - Waterloo.zip");
    EXPECT_EQ(refresh().added, 0u);
    EXPECT_EQ(titles("waterloo"), std::set<std::string>{"Waterloo"});
    std::filesystem::remove_all(songs + "/disc 2");
    EXPECT_EQ(refresh().missing, 1u);
    EXPECT_EQ(titles("waterloo"), std::set<std::string>{"Waterloo (missing)"});

    // A file written after it was listed leaves its folder's date as it was: only a look asked for (a watch
    // heard the write) finds its new size, by which a rename after it is known.
    std::ofstream(songs + "/Queen - Bohemian Rhapsody (live).zip", std::ios::app) << "more";
    EXPECT_TRUE(refresh().foldersListed.empty());
    SongIndex::Changes heard;
    index->refresh(songs, heard, {}, true);
    EXPECT_EQ(heard.foldersListed, std::vector<std::string>{songs});
    std::filesystem::rename(songs + "/Queen - Bohemian Rhapsody (live).zip", songs + "/Queen - Live.zip");
    EXPECT_EQ(refresh().moved.size(), 1u);

    // A folder no longer among the host's leaves the book.
    index->setRoots({});
    EXPECT_EQ(index->count(), 0u);
    EXPECT_TRUE(titles("").empty());
}

TEST_F(SongIndexTest, TheBookHearsAFolderChangeAndAnswersOnTheDeliveryQueue) {
    platform::mainQueue().bindToCurrentThread();
    write("Queen - Bohemian Rhapsody.zip");
    SongBook book(temporary.file("host.sqlite"), platform::mainQueue());
    std::vector<BookProgress> progress;
    std::vector<std::pair<std::string, std::string>> moved;
    book.setProgressHandler([&](const BookProgress& p) { progress.push_back(p); });
    book.setMovedHandler(
        [&](const std::string& from, const std::string& to) { moved.emplace_back(from, to); });
    book.setFolders({songs});
    ASSERT_TRUE(platform::mainQueue().drainUntil(
        [&] { return !progress.empty() && !progress.back().indexing; }, generousSeconds));
    EXPECT_EQ(progress.back().songs, 1u);

    const auto found = [&](const std::string& query) {
        std::optional<std::vector<BookSong>> answer;
        book.search(query, 10, [&](std::vector<BookSong> songs) { answer = std::move(songs); });
        EXPECT_TRUE(platform::mainQueue().drainUntil([&] { return answer.has_value(); }, generousSeconds));
        return answer.value_or(std::vector<BookSong>{});
    };
    EXPECT_EQ(found("rhapsody").size(), 1u);
    // A file dropped in a watched folder is in the book without a refresh asked for.
    write("disc 2/Édith Piaf - Non, je ne regrette rien.zip");
    ASSERT_TRUE(platform::mainQueue().drainUntil(
        [&] {
            progress.clear();
            return found("edith").size() == 1;
        },
        generousSeconds));
    std::filesystem::rename(songs + "/disc 2/Édith Piaf - Non, je ne regrette rien.zip",
                            songs + "/disc 2/Piaf - Non.zip");
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !moved.empty(); }, generousSeconds));
    EXPECT_EQ(moved.front().second, songs + "/disc 2/Piaf - Non.zip");

    // Only the latest of searches asked in a row is answered.
    int answers = 0;
    for (const char* query : {"e", "ed", "edi"})
        book.search(query, 10, [&](std::vector<BookSong>) { ++answers; });
    book.flush();
    platform::mainQueue().drain();
    EXPECT_EQ(answers, 1);
}

} // namespace
