// The playing file or its folder gone: the music goes on from the open file, or stops with a word.

#include "tests/Source/playback/PlayerRZFixture.h"

TEST_F(PlayerRZTest, ADeletedPlayingFilePlaysOnFromWhatIsOpenAndIsMarkedMissing) {
    makePacedPlayer();
    auto entry = loaded("gone.wav", 6.0);
    const std::string path = entry->_url.path();
    player->play();
    renderOnly(1.0);
    ASSERT_TRUE(playedPast(0.5));
    console.clear();
    std::filesystem::remove(path);
    ASSERT_TRUE(waitFor([&] { return entry->fileMissing; }));
    EXPECT_EQ(console.lines(),
              (std::vector<std::string>{kPlayerEventLine,
                                        "🎈file gone, playing on from the open file: " + fileURL(path)}));
    EXPECT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying() && player->entry() == entry);
    EXPECT_FALSE(player->fileMonitor());

    // It plays to its end, and ends as any song does.
    renderOn();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    EXPECT_EQ(played(*entry), (std::vector<vantle::TimeRange>{{0.0, 6.0}}));
    EXPECT_EQ(delegate.refusals, 0);

    // Its next load finds it missing.
    console.clear();
    player->setEntry(entry);
    EXPECT_TRUE(entry->fileMissing);
    expectEmptied(*entry);
}

// Music in front of a class must not stop: with the current entry's file gone, a seek, a skip back,
// a pause and a play go on from the file that is open, heard where they ask.
TEST_F(PlayerRZTest, ADeletedPlayingFileStillSeeksPausesAndPlaysFromWhatIsOpen) {
    ASSERT_TRUE(writeSineFile(folder.file("gone.wav"), 6.0, 1000.0));
    auto entry = offlineEntry(folder.file("gone.wav"));
    player->play();
    const double loud = playerRms(*player->engine().render(0.6), 0, 13230);
    ASSERT_GT(loud, 0.3);
    std::filesystem::remove(entry->_url.path());
    ASSERT_TRUE(waitFor([&] { return entry->fileMissing; }));

    struct Step {
        const char* what;
        std::function<void()> act;
        double from;
    };
    const std::vector<Step> steps{
        {"seek", [&] { player->setCurrentTime(3.0); }, 3.0},
        {"skip back", [&] { player->setCurrentTime(1.0); }, 1.0},
        {"pause, then play",
         [&] {
             player->stop();
             EXPECT_FALSE(player->isPlaying());
             player->start();
         },
         1.6},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying());
        EXPECT_TRUE(player->playable());
        EXPECT_EQ(player->entry(), entry);
        auto heard = player->engine().render(0.6);
        EXPECT_NEAR(playerRms(*heard, 0, 13230), loud, loud * 0.05) << "the file's tone, not silence";
        EXPECT_NEAR(player->rzplayer()->currentTime(), step.from + 0.6, 0.05);
    }
    EXPECT_EQ(delegate.refusals, 0);
    EXPECT_EQ(player->duration(), 6.0);

    // Loaded anew, it is missing.
    player->setEntry(entry);
    EXPECT_TRUE(entry->fileMissing);
    EXPECT_FALSE(player->entry());
    player->stop();
}

// A folder renamed or unplugged is no event of its file's watch: the player finds out at the next play
// or seek, and goes on from the file it has open, whatever state the song was in. Once the path names a
// song again, that song is the one played.
TEST_F(PlayerRZTest, ASongWhoseFolderMovesAwayPlaysOnFromWhatIsOpenUntilTheFolderIsBack) {
    const std::string home = folder.file("Class"), away = folder.file("Class moved");
    const std::string path = home + "/song.wav";
    const struct {
        const char* state;
        bool started, paused;
    } cases[] = {{"playing", true, false}, {"paused", true, true}, {"loaded", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        std::filesystem::remove_all(away);
        std::filesystem::create_directories(home);
        ASSERT_TRUE(writeSineFile(path, 6.0, 1000.0));
        auto entry = offlineEntry(path);
        double at = 0.0;
        if (c.started) {
            player->play();
            (void)player->engine().render(0.6);
            at = 0.6;
        }
        if (c.paused) player->stop();
        std::filesystem::rename(home, away);

        struct Step {
            const char* what;
            std::function<void()> act;
            double from;
        };
        const std::vector<Step> steps{
            {"play", [&] { player->start(); }, at},
            {"seek", [&] { player->setCurrentTime(3.0); }, 3.0},
            {"skip back", [&] { player->setCurrentTime(1.0); }, 1.0},
            {"pause, then play", [&] { player->stop(), player->start(); }, 1.6},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            step.act();
            ASSERT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying());
            EXPECT_EQ(player->entry(), entry);
            auto heard = player->engine().render(0.6);
            EXPECT_GT(playerRms(*heard, 0, 13230), 0.3) << "the song, not silence";
            EXPECT_NEAR(player->rzplayer()->currentTime(), step.from + 0.6, 0.05);
        }
        EXPECT_EQ(delegate.refusals, 0);
        EXPECT_TRUE(entry->fileMissing);
        // Each play looked for the file again; the console was told once.
        const std::vector<std::string> said = console.lines();
        EXPECT_EQ(std::count(said.begin(), said.end(), "220 can't reopen " + fileURL(path)), 1);
        console.clear();

        // Back, with another take of the song in it: the next seek plays that one, and watches it.
        std::filesystem::create_directories(home);
        ASSERT_TRUE(writeSineFile(path, 4.0, 1000.0));
        player->setCurrentTime(1.0);
        EXPECT_TRUE(player->isPlaying());
        EXPECT_EQ(player->duration(), 4.0);
        EXPECT_FALSE(entry->fileMissing);
        ASSERT_TRUE(player->fileMonitor());
        EXPECT_TRUE(player->fileMonitor()->isWatching());
        player->stop();
        std::filesystem::remove_all(home);
    }
}

// When the file open no longer reads either (its device gone), the music stops and the delegate hears of
// it at once; the entry is missing until its folder is back, and then Play plays it.
TEST_F(PlayerRZTest, ASongThatNoLongerReadsStopsWithAWordAndPlaysOnceItsFolderIsBack) {
    const std::string home = folder.file("Stick"), away = folder.file("Stick gone");
    const std::string path = home + "/song.wav";
    std::filesystem::create_directories(home);
    ASSERT_TRUE(writeSineFile(path, 6.0, 1000.0));
    auto entry = offlineEntry(path);
    player->play();
    (void)player->engine().render(0.6);
    std::filesystem::rename(home, away);
    ASSERT_TRUE(spoilInPlace(away + "/song.wav"));

    for (const char* action : {"seek", "play"}) {
        SCOPED_TRACE(action);
        const int refusals = delegate.refusals;
        if (std::string(action) == "seek")
            player->setCurrentTime(2.0);
        else
            player->play();
        EXPECT_EQ(delegate.refusals, refusals + 1);
        EXPECT_FALSE(player->playing() || player->rzplayer()->isPlaying());
        EXPECT_EQ(platform::dockTile().badgeLabel(), "");
        EXPECT_TRUE(entry->fileMissing);
        EXPECT_EQ(player->entry(), entry) << "still the current song";
    }
    EXPECT_NEAR(player->desiredTime(), 2.0, 1e-9) << "the seek is kept for when it is back";

    std::filesystem::remove_all(away);
    std::filesystem::create_directories(home);
    ASSERT_TRUE(writeSineFile(path, 6.0, 1000.0));
    player->play();
    EXPECT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying());
    EXPECT_FALSE(entry->fileMissing);
    EXPECT_GT(playerRms(*player->engine().render(0.6), 0, 13230), 0.3);
    EXPECT_NEAR(player->rzplayer()->currentTime(), 2.6, 0.05);
    player->stop();
}
