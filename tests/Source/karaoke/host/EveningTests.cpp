#include "Source/karaoke/host/Evening.h"
#include "Source/karaoke/host/HostDatabase.h"
#include "tests/support/Clocks.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vantle::host;

namespace {

QueuedSong song(const std::string& title) {
    return QueuedSong{"/songs/" + title + ".zip", "Artist", title, ""};
}

class EveningTest : public ::testing::Test {
protected:
    std::unique_ptr<Evening> open() {
        return std::make_unique<Evening>(temporary.file("host.sqlite"), clock);
    }
    testsupport::TemporaryFolder temporary;
    testsupport::FakeClock clock{testsupport::utcDate(2026, 12, 4, 21)};
};

TEST_F(EveningTest, EachSingerKeepsTheirOwnKeyForASongAndGetsItBackNextTime) {
    auto evening = open();
    const SingerId ann = *evening->addSinger("Ann");
    const SingerId bob = *evening->addSinger("Bob");
    evening->queueSong(ann, song("Jolene"));
    evening->queueSong(bob, song("Jolene"));
    ASSERT_EQ(evening->startNext()->name, "Ann");
    evening->setCurrentStyle({-3, 0.95});
    clock.advance(240);
    const std::optional<Turn> bobs = evening->startNext();
    ASSERT_TRUE(bobs);
    EXPECT_EQ(bobs->style, SongStyle{}); // Ann's key is hers
    evening->setCurrentStyle({2, 1.0});

    // Another evening, the same song again: each gets their own key back.
    evening.reset();
    clock.advance(7 * 86400);
    evening = open();
    EXPECT_EQ(evening->style(ann, song("Jolene").path), (SongStyle{-3, 0.95}));
    evening->clearRotation();
    ASSERT_EQ(evening->addSinger("bob"), bob);
    ASSERT_EQ(evening->addSinger("ann"), ann);
    evening->queueSong(ann, song("Jolene"));
    evening->queueSong(bob, song("Jolene"));
    const std::optional<Turn> next = evening->next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->name, "Bob");
    EXPECT_EQ(next->style, (SongStyle{2, 1.0}));
    EXPECT_EQ(evening->afterNext()->style, (SongStyle{-3, 0.95}));

    // The history holds both evenings' songs with the key each was sung in at the end.
    const std::vector<HistoryEntry> sung = evening->history(ann);
    ASSERT_EQ(sung.size(), 1u);
    EXPECT_EQ(sung[0].song.title, "Jolene");
    EXPECT_EQ(sung[0].style, (SongStyle{-3, 0.95}));
    EXPECT_EQ(sung[0].sung, testsupport::utcDate(2026, 12, 4, 21));
}

TEST_F(EveningTest, ARegularIsFoundByNameAndTheirQueueWaitsForThem) {
    auto evening = open();
    const SingerId edith = *evening->addSinger("  Édith  ");
    evening->addSinger("Eddie");
    evening->addSinger("Fred");
    evening->queueSong(edith, song("Padam"));
    evening->queueSong(edith, song("Milord"));
    evening->removeSinger(edith);
    EXPECT_FALSE(evening->rotation().indexOf(edith));
    EXPECT_FALSE(evening->addSinger(" "));

    std::vector<std::string> names;
    for (const Singer& singer : evening->singersMatching("ed"))
        names.push_back(singer.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Eddie", "Édith", "Fred"}));

    evening.reset();
    evening = open();
    EXPECT_EQ(evening->addSinger("EDITH"), edith);
    EXPECT_EQ(evening->singer(edith)->name, "Édith");
    ASSERT_EQ(evening->queue(edith).size(), 2u);
    EXPECT_EQ(evening->queue(edith)[1].title, "Milord");
}

TEST_F(EveningTest, TheEveningIsAsItWasAfterOpeningAgain) {
    auto evening = open();
    std::vector<SingerId> singers;
    for (const char* name : {"Ann", "Bob", "Cy", "Di"})
        singers.push_back(*evening->addSinger(name));
    for (const SingerId singer : singers) {
        evening->queueSong(singer, song("One " + std::to_string(singer)));
        evening->queueSong(singer, song("Two " + std::to_string(singer)));
    }
    evening->setNewcomerRule(NewcomerRule::afterCurrentRound);
    evening->startNext();
    evening->startNext();
    evening->setAway(singers[2], true);
    evening->setSkipRound(singers[3], true);
    evening->moveSinger(0, 3);
    evening->moveSong(singers[0], 0, 1);
    evening->songMoved(song("Two " + std::to_string(singers[3])).path, "/elsewhere/two.zip");
    const std::vector<Seat> seats = evening->rotation().seats();
    const std::optional<Turn> current = evening->current();
    const std::optional<Turn> next = evening->next();

    evening.reset();
    evening = open();
    EXPECT_EQ(evening->rotation().seats(), seats);
    EXPECT_EQ(evening->newcomerRule(), NewcomerRule::afterCurrentRound);
    ASSERT_TRUE(evening->current());
    EXPECT_EQ(evening->current()->name, current->name);
    EXPECT_EQ(evening->current()->song, current->song);
    EXPECT_EQ(evening->next()->song, next->song);
    EXPECT_EQ(evening->queue(singers[0]).front().title, "Two " + std::to_string(singers[0]));
    EXPECT_EQ(evening->queue(singers[3]).back().path, "/elsewhere/two.zip");
}

// A song sung to its end closes its singer's turn, kept across a restart: the next start is the next
// singer's, and a removal of that singer taken back leaves the turn closed.
TEST_F(EveningTest, ASongSungToItsEndIsDoneAfterOpeningAgain) {
    auto evening = open();
    const SingerId ann = *evening->addSinger("Ann");
    const SingerId bob = *evening->addSinger("Bob");
    evening->queueSong(ann, song("Jolene"));
    evening->queueSong(bob, song("Islands"));
    evening->startNext();
    evening->currentSongEnded();
    evening->removeSinger(ann);
    ASSERT_TRUE(evening->undoRemoval());

    evening.reset();
    evening = open();
    EXPECT_TRUE(evening->currentEnded());
    EXPECT_EQ(evening->current()->singer, ann);
    EXPECT_EQ(evening->next()->singer, bob);
    EXPECT_EQ(evening->startNext()->song, song("Islands"));
    EXPECT_FALSE(evening->currentEnded());
    EXPECT_EQ(evening->history(ann).size(), 1u);
}

// A write refused by the disk (here by a trigger that fails it) is said, and written with the next change
// that goes through: nothing that was on the screen is lost, however the changes fell.
TEST_F(EveningTest, AChangeTheDiskRefusedIsSaidAndWrittenWithTheNextOne) {
    auto evening = open();
    std::vector<std::string> said;
    evening->setFailureHandler([&](const std::string& why) { said.push_back(why); });
    const SingerId ann = *evening->addSinger("Ann");
    evening->flush();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(temporary.file("host.sqlite").c_str(), &other), SQLITE_OK);
    const auto run = [&](const char* sql) { return sqlite3_exec(other, sql, nullptr, nullptr, nullptr); };
    ASSERT_EQ(
        run("CREATE TRIGGER refuse BEFORE INSERT ON singers BEGIN SELECT RAISE(FAIL, 'disk full'); END"),
        SQLITE_OK);
    const SingerId bob = *evening->addSinger("Bob");
    evening->queueSong(bob, song("Jolene"));
    evening->flush();
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.front().find("disk full"), std::string::npos) << said.front();
    ASSERT_EQ(run("DROP TRIGGER refuse"), SQLITE_OK);
    sqlite3_close(other);
    // A change to someone else carries them.
    evening->queueSong(ann, song("Padam"));
    evening->flush();

    evening.reset();
    evening = open();
    ASSERT_EQ(evening->rotation().seats().size(), 2u);
    ASSERT_TRUE(evening->singer(bob));
    EXPECT_EQ(evening->singer(bob)->name, "Bob");
    ASSERT_EQ(evening->queue(bob).size(), 1u);
    EXPECT_EQ(evening->queue(bob).front().title, "Jolene");
    EXPECT_EQ(evening->queue(ann).size(), 1u);
}

// A database that cannot be made or read is refused at once, with why: the window says it and goes on.
TEST_F(EveningTest, ADatabaseThatCannotBeMadeOrReadIsRefusedWithWhy) {
    // A data folder that cannot be made (a file stands where it would be).
    std::ofstream(temporary.file("data")) << "not a folder";
    EXPECT_THROW(Evening(temporary.file("data/host.sqlite"), clock), std::runtime_error);
    // A file that is no database.
    std::ofstream(temporary.file("host.sqlite")) << std::string(4096, 'x');
    try {
        open();
        ADD_FAILURE() << "a damaged database was taken";
    } catch (const std::runtime_error& refused) {
        EXPECT_NE(std::string(refused.what()).find("host.sqlite"), std::string::npos) << refused.what();
    }
}

} // namespace
