// The playing file changed on disk: read again once per change, and the music goes on.

#include "tests/Source/playback/PlayerRZFixture.h"

TEST_F(PlayerRZTest, ARewriteOnDiskReloadsTheEntryOncePerChange) {
    QuickDevice& device = makeQuickPlayer(1.0, false);
    auto entry = loaded("edit.mp3", 2.0, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    const std::string path = entry->_url.path();
    // Encoded aside and written over it in one write: an encoder pausing half a second midway on a
    // busy machine would be a change of its own.
    auto rewrite = [&](double seconds, const Tags& tags = {}) {
        const std::string aside = folder.file("aside.mp3");
        return writeTone(aside, seconds, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, tags) &&
               writeOverInOneWrite(aside, path);
    };

    // Paused at 1.5 s: read again in place, the position kept within the new length.
    player->setCurrentTime(1.5);
    console.clear();
    ASSERT_TRUE(rewrite(1.0, {"Take two", ""}));
    ASSERT_TRUE(reloadSettled(path));
    EXPECT_EQ(console.lines(), (std::vector<std::string>{kPlayerEventLine, changeLine(path)}));
    EXPECT_EQ(player->entry(), entry);
    EXPECT_NEAR(player->duration(), 1.0, 1e-6);
    EXPECT_NEAR(player->desiredTime(), 0.9, 1e-9);
    EXPECT_FALSE(player->playing());
    ASSERT_TRUE(player->fileMonitor());
    EXPECT_TRUE(player->fileMonitor()->isWatching());

    // While playing: the music goes on, from where it was, in the new file.
    player->setCurrentTime(0.0);
    player->play();
    ASSERT_TRUE(player->isPlaying());
    ASSERT_TRUE(playedPast(0.3));
    // Held there, the rest of the song outlasts the rewrite however long it takes.
    device.allowPeriods(device.periodsRendered());
    console.clear();
    ASSERT_TRUE(rewrite(1.5));
    ASSERT_TRUE(reloadSettled(path));
    EXPECT_EQ(console.lines(), (std::vector<std::string>{kPlayerEventLine, changeLine(path)}));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_TRUE(player->rzplayer()->isPlaying());
    EXPECT_GE(player->rzplayer()->editStartTime(), 0.3);
    EXPECT_NEAR(player->duration(), 1.5, 1e-6);
}

TEST_F(PlayerRZTest, ChangeEventsOnThePlayingFileNeverStopTheMusic) {
    const std::string path = folder.file("song.wav"), same = folder.file("same.wav");
    const std::string longer = folder.file("longer.wav"), shorter = folder.file("shorter.wav");
    ASSERT_TRUE(writeTone(longer, 30.0) && writeTone(shorter, 10.0));
    auto copyOver = [](const std::string& from, const std::string& to) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool readAgain; // else nothing at all happens
        double length;
    } cases[] = {
        {"touched", [&] { ASSERT_TRUE(touchFile(path)); }, false, 20.0},
        {"the same bytes copied over", [&] { copyOver(same, path); }, false, 20.0},
        {"the same bytes renamed over",
         [&] {
             copyOver(same, path + ".part");
             std::filesystem::rename(path + ".part", path);
         },
         false, 20.0},
        {"a longer song copied over", [&] { copyOver(longer, path); }, true, 30.0},
    };
    QuickDevice* device = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeTone(path, 20.0));
        copyOver(path, same);
        device = &makeQuickPlayer(4.0, false);
        auto entry = entryFor(path);
        player->setEntry(entry);
        player->play();
        ASSERT_TRUE(playedPast(1.0));
        // Held there, the song outlasts the case however long it takes.
        device->allowPeriods(device->periodsRendered());
        console.clear();
        c.change();
        ASSERT_TRUE(waitFor([&] { return consoleHas(console, kPlayerEventLine); }));
        // A copy sets the mode of the file it has emptied before it writes: that event may come first.
        if (c.readAgain) {
            ASSERT_TRUE(waitFor([&] { return consoleHas(console, changeLine(path)); }));
        }
        EXPECT_TRUE(player->isPlaying() && player->rzplayer()->isPlaying() && player->entry() == entry);
        EXPECT_NEAR(player->duration(), c.length, 1e-6);
        if (c.readAgain)
            EXPECT_GE(player->rzplayer()->editStartTime(), 1.0) << "goes on where it was";
        else
            EXPECT_EQ(player->rzplayer()->editStartTime(), 0.0) << "never restarted";

        // The watch is on the file the path names now: a later change of it is read. Its events come
        // after all of the first change's, so once it is read a late reload of the first would show.
        copyOver(shorter, path);
        ASSERT_TRUE(waitFor([&] { return std::abs(player->duration() - 10.0) < 1e-6; }));
        const auto lines = console.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), changeLine(path)), int(c.readAgain) + 1);
        EXPECT_TRUE(player->isPlaying());
    }

    // Shorter than the position: the new song's last moment plays, and it ends as songs do.
    EXPECT_EQ(delegate.finishes, 0);
    device->renderOn();
    ASSERT_TRUE(playedPast(3.0));
    ASSERT_TRUE(writeTone(shorter, 2.0));
    copyOver(shorter, path);
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    EXPECT_NEAR(player->duration(), 2.0, 1e-6);
}

TEST_F(PlayerRZTest, AReplacedFileGivesItsNewLengthToTheEntryAndTheDelegateOncePerChange) {
    makePlayer();
    auto entry = toneEntry("song.wav", 3.0);
    const std::string path = entry->_url.path();
    ASSERT_EQ(entry->_cachedDuration, 3.0);
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());
    // In place, as `cp` does.
    auto copyOver = [&](double seconds) {
        ASSERT_TRUE(writeTone(folder.file("source.wav"), seconds));
        std::filesystem::copy_file(folder.file("source.wav"), path,
                                   std::filesystem::copy_options::overwrite_existing);
    };
    // Its line is printed as the reload begins.
    auto monitorReloaded = [&] {
        console.clear();
        return waitFor([&] { return consoleHas(console, changeLine(path)); });
    };

    // Copied over while it plays: the monitor reloads it.
    copyOver(2.0);
    ASSERT_TRUE(monitorReloaded());
    EXPECT_EQ(player->duration(), 2.0);
    EXPECT_EQ(entry->duration(), 2.0);
    ASSERT_EQ(delegate.toldLengths.size(), 1u);
    EXPECT_EQ(delegate.toldLengths[0].first, entry);
    EXPECT_EQ(delegate.toldLengths[0].second, 2.0) << "cached before the delegate is told";

    // Replaced again once it has played to its end, before the next play: play's own reopen takes the
    // length, and the monitor's reload that follows finds nothing new.
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0 && !player->rzplayer()->isPlaying(); }));
    copyOver(4.5);
    player->play();
    EXPECT_EQ(entry->duration(), 4.5);
    ASSERT_EQ(delegate.toldLengths.size(), 2u);
    ASSERT_TRUE(monitorReloaded());
    EXPECT_EQ(delegate.toldLengths.size(), 2u);

    // Written again with the same song: not even read again, nothing to tell. A copy sets the mode of
    // the file it has just emptied, an event of its own. The song copied over next marks the end: its
    // watch reports in order, so any reload of the first copy would come before the mark's.
    console.clear();
    copyOver(4.5);
    copyOver(1.0);
    ASSERT_TRUE(waitFor([&] { return player->duration() == 1.0; }));
    EXPECT_EQ(withoutEventLines(console.lines()), (std::vector<std::string>{changeLine(path)}));
    ASSERT_EQ(delegate.toldLengths.size(), 3u);
    EXPECT_EQ(delegate.toldLengths[2].second, 1.0);
}

// Read while its writer is still at it, a file would be heard half.
TEST_F(PlayerRZTest, AFileIsReadOnceItsWriterIsDoneAndEachWriteIsRead) {
    // Nothing rendered: it plays, and never ends, however long the test takes.
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    auto entry = loaded("song.wav", 3.0);
    const std::string path = entry->_url.path();
    player->play();
    ASSERT_TRUE(player->isPlaying());
    ASSERT_TRUE(writeTone(folder.file("two.wav"), 2.0) && writeTone(folder.file("four.wav"), 4.5));

    // Its mode set on the emptied file, as a copy does before it writes: nothing is read yet.
    {
        const std::string bytes = fileBytes(folder.file("two.wav"));
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size() / 2)).flush();
        console.clear();
        player->fileChanged(entry, platform::FileSystemEvent::attrib);
        EXPECT_TRUE(console.lines().empty());
        EXPECT_EQ(player->duration(), 3.0);
        EXPECT_TRUE(delegate.toldLengths.empty());
        out.write(bytes.data() + bytes.size() / 2, std::streamsize(bytes.size() - bytes.size() / 2));
    }
    ASSERT_TRUE(waitFor([&] { return player->duration() == 2.0; }));
    EXPECT_EQ(entry->duration(), 2.0);

    EXPECT_TRUE(player->isPlaying());

    // Copied over again while the player reads the first copy, before it looks at the file anew, and
    // seen by the watches by then: that copy is read in turn. Paused, so that no play reads the file.
    player->stop();
    std::atomic<bool> written{false};
    auto seen = platform::FileSystemWatch::watch(path, platform::FileSystemEvent::write,
                                                 [&](platform::FileSystemEvent) { written = true; });
    ASSERT_TRUE(seen);
    bool copied = false;
    delegate.onLength = [&] {
        if (std::exchange(copied, true)) return;
        written = false;
        std::filesystem::copy_file(folder.file("four.wav"), path,
                                   std::filesystem::copy_options::overwrite_existing);
        EXPECT_TRUE(testsupport::waitUntil([&] { return written.load(); }));
    };
    ASSERT_TRUE(writeTone(folder.file("one.wav"), 1.0));
    std::filesystem::copy_file(folder.file("one.wav"), path,
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(testsupport::waitUntil([&] { return written.load(); }));
    ASSERT_TRUE(waitFor([&] { return player->duration() == 4.5; }));
    EXPECT_EQ(entry->duration(), 4.5);
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(PlayerRZTest, AFileRenamedOverThatDoesNotOpenYetIsWatchedForItsNextWrite) {
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    auto entry = loaded("song.wav", 3.0);
    const std::string path = entry->_url.path();
    player->play();
    std::ofstream(folder.file("aside.wav"), std::ios::binary) << "RIFF";
    console.clear();
    std::filesystem::rename(folder.file("aside.wav"), path);
    ASSERT_TRUE(waitFor([&] { return consoleHas(console, "220 can't reopen " + fileURL(path)); }));
    EXPECT_EQ(player->duration(), 3.0);
    EXPECT_TRUE(player->isPlaying());

    // Written whole in place: read.
    ASSERT_TRUE(writeTone(folder.file("two.wav"), 2.0));
    ASSERT_TRUE(writeOverInOneWrite(folder.file("two.wav"), path));
    ASSERT_TRUE(waitFor([&] { return player->duration() == 2.0; }));
    EXPECT_EQ(entry->duration(), 2.0);
    EXPECT_TRUE(player->isPlaying());
}
