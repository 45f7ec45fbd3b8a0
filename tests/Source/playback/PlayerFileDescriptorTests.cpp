// What the player holds of a song's file and says of one it cannot open: one descriptor per reader
// however often the song is played, sought and opened again, and one line for an entry that names no
// regular file.

#include "PlayerRZFixture.h"

#include "tests/support/OpenDescriptors.h"
#include "tests/support/Wait.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace {

using PlayerFilesTest = PlayerRZTest;

} // namespace

// The song's watch, the file the player holds, and the reader of the segment that plays: segments a seek
// or a stop dropped give theirs back, and a song opened again by its path keeps no earlier reader.
TEST_F(PlayerFilesTest, ASongKeepsOneDescriptorPerReaderThroughPlaysSeeksAndReopensWithItsFolderAwayAndBack) {
    const std::string home = folder.file("Class"), away = folder.file("Class moved");
    const std::string path = home + "/song.wav";
    std::filesystem::create_directories(home);
    ASSERT_TRUE(writeSineFile(path, 20.0, 1000.0));
    const std::optional<testsupport::FileIdentity> song = testsupport::fileIdentity(path);
    ASSERT_TRUE(song);
    auto entry = offlineEntry(path);
    ASSERT_TRUE(player->playable());

    constexpr int watch = 1, heldFile = 1, playingSegment = 1;
    constexpr int stopped = watch + heldFile, playing = stopped + playingSegment;
    // Dropped segments are freed on the player's completion thread, a moment later, and each load reads
    // the tags on a worker through a descriptor of its own for a moment: the count is the one seen once
    // it fell to what is expected, not a second look that such a read may have started in between.
    auto holds = [&](int expected) {
        int seen = -1;
        testsupport::waitUntil([&] { return (seen = testsupport::descriptorsOn(*song)) <= expected; });
        return seen;
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        int descriptors;
    };
    const std::vector<Step> steps{
        {"play", [&] { player->start(); }, playing},
        {"folder away", [&] { std::filesystem::rename(home, away); }, playing},
        {"seek away", [&] { player->setCurrentTime(7.0); }, playing},
        {"stop away", [&] { player->stop(); }, stopped},
        {"play away", [&] { player->start(); }, playing},
        {"reopen away", [&] { player->reload(); }, playing},
        {"folder back", [&] { std::filesystem::rename(away, home); }, playing},
        {"seek back", [&] { player->setCurrentTime(2.0); }, playing},
        {"reopen back", [&] { player->reload(); }, playing},
        {"stop back", [&] { player->stop(); }, stopped},
    };
    for (int cycle = 0; cycle < 50; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            step.act();
            if (player->playing()) (void)player->engine().render(0.1);
            mainQueue().drain();
            ASSERT_EQ(holds(step.descriptors), step.descriptors);
        }
    }
    EXPECT_EQ(player->entry(), entry);
    EXPECT_EQ(delegate.refusals, 0);
    player.reset();
    EXPECT_EQ(holds(0), 0);
}

// A session's entry whose file was replaced by a FIFO (or a device, or a socket), or that names a system
// file, is made current again and again as the window starts (the session restored, then the same session
// handed over) and the user tries it: the console says what it is, once.
TEST_F(PlayerFilesTest, AnEntryAtAFifoIsSaidOnceToBeNoRegularFileHoweverOftenItIsSet) {
    const std::string good = folder.file("good.wav"), fifo = folder.file("song.wav"),
                      system = folder.file("environ.wav");
    ASSERT_TRUE(writeSineFile(good, 1.0, 440.0));
    offlineEntry(good);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/proc/self/environ", system);
    const struct {
        std::string path;
        const char* said;
    } cases[] = {{fifo, "not a regular file but a FIFO"}, {system, "it is a system file, not audio"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        // As a session read it: the song's file is a FIFO by now.
        auto readFromSession = [&] {
            auto entry = entryFor(good);
            entry->_url = platform::Url::fileURLWithPath(c.path);
            return entry;
        };
        auto entry = readFromSession();
        console.clear();
        player->setEntry(entry);
        player->setEntry(entry);
        player->setEntry(readFromSession());
        player->setEntry(entry);
        player->play();
        EXPECT_FALSE(player->playable());
        EXPECT_FALSE(player->entry());

        std::vector<std::string> said = console.lines();
        auto mentions = [&](const std::string& path) {
            return std::count_if(said.begin(), said.end(), [&](const std::string& line) {
                return line.find(path) != std::string::npos;
            });
        };
        ASSERT_EQ(mentions(c.path), 1) << ::testing::PrintToString(said);
        const std::string line = *std::find_if(said.begin(), said.end(), [&](const std::string& text) {
            return text.find(c.path) != std::string::npos;
        });
        EXPECT_NE(line.find(c.said), std::string::npos) << line;
        EXPECT_EQ(line.find("empty"), std::string::npos) << line;

        // Another song in between: coming back to the entry is a new try, said anew.
        player->setEntry(entryFor(good));
        ASSERT_TRUE(player->playable());
        player->setEntry(entry);
        said = console.lines();
        EXPECT_EQ(mentions(c.path), 2);
    }
}

// The refusal is kept quiet only while the path stays a FIFO: a path that failed otherwise since, as a
// FIFO removed, is a new state of it, and a FIFO made there again is said again.
TEST_F(PlayerFilesTest, AFifoMadeAgainAfterItsPathFailedOtherwiseIsSaidAgain) {
    const std::string good = folder.file("good.wav"), fifo = folder.file("song.wav");
    ASSERT_TRUE(writeSineFile(good, 1.0, 440.0));
    offlineEntry(good);
    auto entry = entryFor(good);
    entry->_url = platform::Url::fileURLWithPath(fifo);
    auto said = [&](const std::string& words) {
        const std::vector<std::string> lines = console.lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(fifo) != std::string::npos && line.find(words) != std::string::npos;
        });
    };

    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    console.clear();
    player->setEntry(entry);
    ASSERT_EQ(said("not a regular file"), 1);

    std::filesystem::remove(fifo);
    player->setEntry(entry);
    EXPECT_GE(said("No audio file"), 1);

    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    player->setEntry(entry);
    EXPECT_EQ(said("not a regular file"), 2) << ::testing::PrintToString(console.lines());
    EXPECT_FALSE(player->playable());
}
