// The player starts, loads an entry, reads its tags and finds a moved or broken file.

#include "tests/Source/playback/PlayerRZFixture.h"

TEST_F(PlayerRZTest, ANewPlayerRunsItsEngineWithNothingLoaded) {
    makePlayer();
    EXPECT_TRUE(player->engine().isRunning());
    EXPECT_EQ(player->engine().output(), player->highShelfFilter());
    EXPECT_EQ(player->timePitch()->rate(), 1.0f);
    EXPECT_EQ(player->timePitch()->overlap(), 8.0f);
    EXPECT_EQ(player->mode(), PlayerMode::dance);
    EXPECT_FALSE(player->entry());
    EXPECT_FALSE(player->playable());
    EXPECT_EQ(player->duration(), 0.0);
    EXPECT_EQ(player->volume(), 0.5f);
    EXPECT_EQ(player->mixer()->volume(), 0.5f);
    // Nothing is said when a device is given.
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(PlayerRZTest, WithoutASoundCardTheDefaultDeviceIsTheNullDeviceSaidOnce) {
    // As on a machine without a sound card, whatever this one has.
    ::setenv(platform::audioDeviceEnvironmentVariable, "null", 1);
    player = std::make_unique<PlayerRZ>();
    EXPECT_TRUE(player->engine().isRunning());
    EXPECT_NE(dynamic_cast<platform::NullAudioDevice*>(&player->engine().avEngine().outputDevice()), nullptr);
    player = std::make_unique<PlayerRZ>();
    ::unsetenv(platform::audioDeviceEnvironmentVariable);
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"no sound card could be opened: playing to the null device"});
}

TEST_F(PlayerRZTest, LoadingPrintsTheTagsWatchesTheFileAndKeepsItsBookmark) {
    makePlayer();
    // Which tags each format carries is the metadata reader's; here which ones are printed.
    auto entry = toneEntry("waltz.wav", 2.0, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {"Blue Danube", "Waltzes"});
    ASSERT_TRUE(entry);
    console.clear();
    player->setEntry(entry);
    ASSERT_TRUE(waitFor([&] { return console.lines().size() >= 2; }));
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"Blue Danube", "Waltzes"}));
    EXPECT_TRUE(player->playable());
    EXPECT_NEAR(player->duration(), 2.0, 1e-6);
    EXPECT_EQ(player->rzplayer()->volume(), 1.0f);
    ASSERT_TRUE(entry->storedBookmark);
    EXPECT_EQ(vantle::resolveBookmark(*entry->storedBookmark), entry->_url);
    ASSERT_TRUE(player->fileMonitor());
    EXPECT_TRUE(player->fileMonitor()->isWatching());
    EXPECT_EQ(player->fileMonitor()->url(), entry->_url);

    // No entry: nothing loaded, nothing watched, nothing to play.
    player->setEntry(nullptr);
    EXPECT_FALSE(player->playable());
    EXPECT_FALSE(player->fileMonitor());
    player->play();
    EXPECT_FALSE(player->rzplayer()->isPlaying());
}

TEST_F(PlayerRZTest, TagsComeAfterTheLoadAndOnlyWhileTheirEntryIsStillCurrent) {
    auto first = toneEntry("first.wav", 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {"First", "One"});
    auto second = toneEntry("second.wav", 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {"Second", "Two"});
    ASSERT_TRUE(first && second);
    const std::vector<std::string> firstTags = {"First", "One"}, secondTags = {"Second", "Two"};
    struct Case {
        const char* then;
        std::function<void()> action;
        std::vector<std::string> printed;
    };
    const Case cases[] = {
        {"nothing", [] {}, firstTags},
        {"another entry", [&] { player->setEntry(second); }, secondTags},
        {"the same entry again", [&] { player->setEntry(first); }, firstTags},
        {"no entry", [&] { player->setEntry(nullptr); }, {}},
        {"the player goes", [&] { player.reset(); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.then);
        makePlayer();
        console.clear();
        player->setEntry(first);
        // The window goes on before the tags are read.
        EXPECT_TRUE(console.lines().empty());
        c.action();
        // Every read finished (and posted what it found) before the barrier runs.
        std::atomic<bool> readsDone{false};
        platform::globalQueue().asyncBarrier([&] { readsDone = true; });
        ASSERT_TRUE(waitFor([&] { return readsDone.load(); }));
        mainQueue().drain();
        EXPECT_EQ(console.lines(), c.printed);
    }
}

TEST_F(PlayerRZTest, ATenHourWavWhoseSizesWrappedLoadsAtOnceAndPlaysToItsTrueEnd) {
    const std::uint64_t frames = 36000ull * 44100;
    const std::string path =
        testsupport::writeWrappedWav(folder.file("night.wav"), frames, {{frames - 4, 1000}}, "Night");
    ASSERT_FALSE(path.empty());
    if (!testsupport::isSparse(path)) GTEST_SKIP() << "the temporary folder keeps no sparse files";
    makePlayer();
    auto entry = entryFor(path);
    console.clear();
    player->setEntry(entry);
    ASSERT_TRUE(player->playable());
    EXPECT_DOUBLE_EQ(player->duration(), 36000.0);
    ASSERT_TRUE(waitFor([&] { return consoleHas(console, "Night"); }));

    player->setCurrentTime(35998.5);
    EXPECT_DOUBLE_EQ(player->desiredTime(), 35998.5);
    player->play();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    const std::vector<vantle::TimeRange> ranges = played(*entry);
    ASSERT_FALSE(ranges.empty());
    EXPECT_NEAR(ranges.back().start, 35998.5, 0.01);
    EXPECT_NEAR(ranges.back().end, 36000.0, 0.1);
}

TEST_F(PlayerRZTest, AnEntryThatDoesNotOpenLeavesThePlayerEmptyAndUnwatched) {
    makePlayer();
    auto good = toneEntry("good.wav", 1.0);
    ASSERT_TRUE(good);
    player->setEntry(good);
    ASSERT_TRUE(player->playable());

    const std::string bad = folder.file("bad.mp3");
    std::ofstream(bad, std::ios::binary) << std::string(300, 'x');
    auto entry = toneEntry("other.wav", 1.0);
    entry->_url = platform::Url::fileURLWithPath(bad);
    console.clear();
    player->setEntry(entry);
    // Without a bookmark the entry is tried twice, as with one.
    const std::string line = cannotOpen(bad);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{line, line}));
    expectEmptied(*entry);
    player->setCurrentTime(0.5);
    EXPECT_EQ(player->desiredTime(), 0.0);

    // Neither the file that did not open nor the one before is watched any more.
    console.clear();
    std::ofstream(bad, std::ios::binary | std::ios::app) << "more";
    ASSERT_TRUE(writeTone(good->_url.path(), 0.5));
    EXPECT_FALSE(anyLineWithin(0.3));
}

TEST_F(PlayerRZTest, AMovedFileIsFoundThroughItsBookmark) {
    vantle::testing::ScopedFakeApp app;
    makePlayer();
    auto entry = toneEntry("before.wav", 1.0);
    ASSERT_TRUE(entry);
    player->setEntry(entry);
    player->setEntry(nullptr);
    const std::string before = folder.file("before.wav"), after = folder.file("after.wav");
    std::filesystem::rename(before, after);

    console.clear();
    player->setEntry(entry);
    EXPECT_EQ(console.lines(), std::vector<std::string>{cannotOpen(before)});
    EXPECT_EQ(player->entry(), entry);
    EXPECT_TRUE(player->playable());
    EXPECT_EQ(entry->_url.path(), after);
    EXPECT_EQ(app.window.reloadedRows, std::vector<std::shared_ptr<vantle::PlaylistEntry>>{entry});
    ASSERT_TRUE(entry->storedBookmark);
    EXPECT_EQ(vantle::resolveBookmark(*entry->storedBookmark)->path(), after);

    // Gone altogether: the bookmark that leads nowhere is dropped.
    player->setEntry(nullptr);
    std::filesystem::remove(after);
    console.clear();
    player->setEntry(entry);
    const std::string line = cannotOpen(after);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{line, line}));
    expectEmptied(*entry);
    EXPECT_EQ(app.window.reloadedRows.size(), 1u);
}
