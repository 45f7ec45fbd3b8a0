#include "Source/karaoke/host/Evening.h"
#include "Source/karaoke/host/SongBook.h"
#include "Source/karaoke/host/SongIndex.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/SongArchives.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

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
        {"EDITH", piaf},
        {"Edi", piaf},
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
        // What the index's own query language would take as syntax is only ever text to find.
        {"\"", {}},
        {"*", {}},
        {"NEAR(", {}},
        {"near(rose", {}},
        {"rose\" OR \"queen", {}},
        {"words: rose", {}},
        {"-rose ^vie", {}},
        {"(ace) AND", {}},
        {"'; DROP TABLE songs; --", {}},
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

TEST_F(SongIndexTest, AZipWhoseNameSaysLittleIsReadFromItsAudiosTags) {
    const auto packed = [&](const std::string& stem, const char* artist, const char* title) {
        const std::string mp3 = temporary.file(stem + ".mp3");
        ASSERT_TRUE(testsupport::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                                  {std::vector<float>(8000, 0.0f)}, 8000, -1.0, -1,
                                                  {{SF_STR_ARTIST, artist}, {SF_STR_TITLE, title}}));
        ASSERT_TRUE(testsupport::writeZip(
            songs + "/" + stem + ".zip",
            {{stem + ".mp3", testsupport::readWholeFile(mp3)}, {stem + ".cdg", testsupport::blankCdg()}}));
    };
    packed("SC0042-07", "Édith Piaf", "Milord");
    packed("Nena - 99 Luftballons", "Someone Else", "Another Title");
    index->setRoots({songs});
    refresh();
    EXPECT_EQ(titles("piaf"), std::set<std::string>{"Milord"});
    EXPECT_EQ(titles("sc0042"), std::set<std::string>{"Milord"});
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

// A delivery queue that holds the first sender until the test lets it go.
struct HeldQueue final : platform::DispatchQueue {
    void async(Work) override {
        std::unique_lock lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    const std::string& label() const override { return name; }
    bool isCurrent() const override { return false; }
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool released = false;
    std::string name = "held";
};

TEST_F(SongIndexTest, ABookBeingListedIsLeftAtItsNextFolderWhenItCloses) {
    constexpr int folders = 640;
    for (int i = 0; i < folders; ++i) {
        std::filesystem::create_directories(songs + "/" + std::to_string(i));
        write(std::to_string(i) + "/Artist - Song " + std::to_string(i) + ".mp3");
    }
    index->setRoots({songs});
    HeldQueue held;
    auto book = std::make_unique<SongBook>(temporary.file("host.sqlite"), held);
    book->setProgressHandler([](const BookProgress&) {});
    book->refresh();
    {
        // The worker tells its first few hundred songs and waits here.
        std::unique_lock lock(held.mutex);
        held.changed.wait(lock, [&] { return held.reached; });
    }
    book->stop();
    {
        std::lock_guard lock(held.mutex);
        held.released = true;
    }
    held.changed.notify_all();
    book.reset();
    const std::size_t listed = index->count();
    EXPECT_GE(listed, 500u);
    EXPECT_LT(listed, std::size_t(folders));
}

// The book reads a new file's tags before it writes, so the evening's writer, on the same file, never waits
// for a folder of files whose names say too little.
TEST_F(SongIndexTest, TheEveningIsWrittenWhileTheBookReadsTags) {
    write("track01.mp3");
    std::mutex mutex;
    std::condition_variable changed;
    bool reading = false;
    bool released = false;
    std::thread indexer([&] {
        const std::unique_ptr<HostDatabase> own = HostDatabase::open(temporary.file("host.sqlite"));
        SongIndex held(*own, [&](const std::string& path) {
            std::unique_lock lock(mutex);
            reading = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
            return songNameFromFile(path);
        });
        held.setRoots({songs});
        SongIndex::Changes changes;
        held.refresh(songs, changes);
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return reading; });
    }
    std::vector<std::string> failures;
    {
        Evening evening(temporary.file("host.sqlite"));
        evening.setFailureHandler([&](const std::string& why) { failures.push_back(why); });
        evening.addSinger("Ann");
        evening.flush();
    }
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    indexer.join();
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(index->count(), 1u);
}

// A book the disk refuses to update or that cannot be searched says so, and the bar stops.
TEST_F(SongIndexTest, TheBookSaysWhenItCannotBeUpdatedOrSearched) {
    platform::mainQueue().bindToCurrentThread();
    write("Queen - Bohemian Rhapsody.zip");
    ASSERT_NO_THROW(database->execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON songs BEGIN SELECT RAISE(FAIL, 'disk full'); END"));
    SongBook book(temporary.file("host.sqlite"), platform::mainQueue());
    std::vector<std::string> said;
    std::vector<BookProgress> progress;
    book.setFailureHandler([&](const std::string& why) { said.push_back(why); });
    book.setProgressHandler([&](const BookProgress& p) { progress.push_back(p); });
    book.setFolders({songs});
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !said.empty(); }, 10));
    EXPECT_NE(said.back().find("disk full"), std::string::npos) << said.back();
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !progress.empty(); }, 10));
    EXPECT_FALSE(progress.back().indexing);

    said.clear();
    ASSERT_NO_THROW(database->execute("DROP TABLE song_words"));
    book.search("queen", 10, [](std::vector<BookSong>) {});
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !said.empty(); }, 10));
    EXPECT_NE(said.back().find("searched"), std::string::npos) << said.back();
}

// Stopped while it reads a folder's tags, the book reads no more of them and writes nothing of the folder,
// which is listed whole by the next refresh.
TEST_F(SongIndexTest, AStopInAFolderOfUntidyNamesReadsNoFurther) {
    for (const char* name : {"track01.mp3", "track02.mp3", "track03.mp3"})
        write(name);
    std::atomic<bool> stopped{false};
    int read = 0;
    SongIndex reading(*database, [&](const std::string& path) {
        ++read;
        stopped = true;
        return songNameFromFile(path);
    });
    reading.setRoots({songs});
    SongIndex::Changes changes;
    reading.refresh(songs, changes, {}, false, [&] { return stopped.load(); });
    EXPECT_EQ(read, 1);
    EXPECT_EQ(reading.count(), 0u);
    stopped = false;
    SongIndex::Changes again;
    reading.refresh(songs, again);
    EXPECT_EQ(reading.count(), 3u);
}

} // namespace
