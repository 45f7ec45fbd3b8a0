// Play, pause, seek, the end of a song, modes, volume and what the render thread is spared.

#include "tests/Source/playback/PlayerRZFixture.h"

TEST_F(PlayerRZTest, SeeksAreClampedAndRestartPlaybackWhilePlaying) {
    makePacedPlayer();
    auto entry = loaded("seek.wav", 2.0);

    for (const auto& [to, clamped] :
         std::vector<std::pair<double, double>>{{-5, 0}, {1e9, 1.9}, {std::nan(""), 0}}) {
        player->setCurrentTime(to);
        EXPECT_NEAR(player->desiredTime(), clamped, 1e-9) << to;
    }
    player->setCurrentTime(1.25);
    EXPECT_EQ(player->desiredTime(), 1.25);
    EXPECT_EQ(player->playbackTime(), 1.25);
    EXPECT_EQ(delegate.refreshes, 4);
    // Not playing: playback stays off.
    EXPECT_FALSE(player->rzplayer()->isPlaying());

    player->play();
    ASSERT_TRUE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->rzplayer()->editStartTime(), 1.25);
    player->setCurrentTime(0.5);
    EXPECT_FALSE(player->suspended());
    EXPECT_TRUE(player->rzplayer()->isPlaying());
    EXPECT_DOUBLE_EQ(player->rzplayer()->editStartTime(), 0.5);
    EXPECT_EQ(delegate.refreshes, 5);

    // Paused: the position is the time reached, not the file player's.
    renderOnly(1.2);
    ASSERT_TRUE(playedPast(1.0));
    player->stop();
    EXPECT_GT(player->desiredTime(), 1.0);
    EXPECT_EQ(player->playbackTime(), player->desiredTime());
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.5);

    // A file shorter than the margin never gets a negative position.
    auto blip = loaded("blip.wav", 0.05);
    ASSERT_TRUE(player->playable());
    player->setCurrentTime(1.0);
    EXPECT_EQ(player->desiredTime(), 0.0);
}

TEST_F(PlayerRZTest, PlayAndStopTellTheDelegateAndShowTheBadge) {
    makePacedPlayer();
    auto entry = loaded("badge.wav", 3.0);
    const int idle = delegate.idleResets;

    player->play();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "►");
    EXPECT_EQ(delegate.prevEntryClears, 1);
    EXPECT_EQ(delegate.idleResets, idle + 1);
    // A second play while the file plays does nothing.
    player->play();
    EXPECT_EQ(delegate.prevEntryClears, 1);
    EXPECT_EQ(delegate.idleResets, idle + 1);

    renderOnly(1.0);
    ASSERT_TRUE(playedPast(0.5));
    player->stop();
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
    EXPECT_EQ(delegate.idleResets, idle + 2);
    const double reached = player->desiredTime();
    EXPECT_GT(reached, 0.5);

    // start goes on from there.
    player->start();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->rzplayer()->editStartTime(), reached);

    // The same entry again (as the file monitor sets it) stops and goes back to 0.
    player->setEntry(entry);
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(player->rzplayer()->isPlaying());
    EXPECT_EQ(player->playbackTime(), 0.0);
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");

    // start during a seek only marks the intent; the end of the seek plays.
    player->suspend();
    player->start();
    EXPECT_TRUE(player->playing());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(player->rzplayer()->isPlaying());
    player->resume();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_TRUE(player->rzplayer()->isPlaying());

    // Without a delegate nothing is told and no badge is shown.
    player->stop();
    player->setDelegate(nullptr);
    player->play();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
    // Told at every start: play, start, the start during the seek and the play that ended it.
    EXPECT_EQ(delegate.prevEntryClears, 4);
}

TEST_F(PlayerRZTest, OnlyDanceModeRecordsThePlayedRanges) {
    makePacedPlayer();
    auto entry = loaded("dance.wav", 3.0);
    player->play();
    ASSERT_TRUE(entry->currentTimeRangeSet);
    ASSERT_EQ(entry->currentTimeRangeSet->ranges.size(), 1u);
    EXPECT_EQ(entry->currentTimeRangeSet->ranges[0].start, 0.0);

    renderOnly(1.5);
    ASSERT_TRUE(playedPast(0.4));
    player->recordPlayedRange(); // the display tick
    EXPECT_GT(entry->currentTimeRangeSet->ranges[0].end, 0.3);
    ASSERT_TRUE(playedPast(0.8));
    player->stop();
    // The pause records up to where it stopped; ticks while paused change nothing.
    const std::vector<vantle::TimeRange> upToPause{{0.0, player->desiredTime()}};
    EXPECT_EQ(played(*entry), upToPause);
    player->recordPlayedRange();
    EXPECT_EQ(played(*entry), upToPause);

    for (PlayerMode mode : {PlayerMode::prepare, PlayerMode::karaoke, PlayerMode::karaokePrepare}) {
        auto other = toneEntry("other.wav", 2.0);
        player->setMode(mode);
        player->setEntry(other);
        player->play();
        renderOnly(0.8);
        ASSERT_TRUE(playedPast(0.3));
        player->recordPlayedRange();
        player->setCurrentTime(1.0);
        player->stop();
        EXPECT_TRUE(played(*other).empty());
    }
}

TEST_F(PlayerRZTest, AStoppedEngineIsRestartedByPlayAndABrokenDeviceNeverPlays) {
    auto entry = toneEntry("engine.wav", 2.0);
    // Loading into a stopped engine says so, and the entry is playable all the same.
    auto playStopped = [&] {
        console.clear();
        player->setEntry(entry);
        EXPECT_EQ(console.lines(), std::vector<std::string>{"🎈restarting rzplayer"});
        EXPECT_TRUE(player->playable());
        player->play();
    };
    makePlayer().engine().stop();
    playStopped();
    EXPECT_TRUE(player->engine().isRunning());
    EXPECT_TRUE(player->isPlaying());
    player->stop();

    const int clears = delegate.prevEntryClears;
    makePlayer(std::make_unique<BrokenDevice>());
    EXPECT_FALSE(player->engine().isRunning());
    playStopped();
    // Nothing is heard, so nothing claims to play.
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
    EXPECT_EQ(delegate.prevEntryClears, clears);
}

TEST_F(PlayerRZTest, AFailedReopenPlaysNothingAndReloadNeedsAnEntry) {
    makePlayer();
    console.clear();
    player->reload();
    EXPECT_EQ(console.lines(), std::vector<std::string>{"can't reload()"});
    EXPECT_FALSE(player->playable());

    auto entry = loaded("spoilt.wav", 2.0);
    const std::string path = entry->_url.path();
    // Spoilt on disk; the monitor's reload is still on its way when play reopens the file.
    console.clear();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(200, 'z');
    player->play();
    EXPECT_EQ(withoutEventLines(console.lines()),
              std::vector<std::string>{"220 can't reopen " + fileURL(path)});
    EXPECT_FALSE(player->playable());
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(player->rzplayer()->isPlaying());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
}

TEST_F(PlayerRZTest, SkipToEndJumpsOnlyWhilePlayingAndNearTheEnd) {
    makePacedPlayer();
    player->setEntry(toneEntry("skip.wav", 2.0));
    player->skipToEndIfWithin(10);
    EXPECT_EQ(player->desiredTime(), 0.0);
    EXPECT_FALSE(player->rzplayer()->isPlaying());

    player->play();
    player->skipToEndIfWithin(0.5);
    EXPECT_EQ(player->rzplayer()->editStartTime(), 0.0);
    player->skipToEndIfWithin(10);
    EXPECT_NEAR(player->desiredTime(), 1.9, 1e-9);
    EXPECT_TRUE(player->rzplayer()->isPlaying());
    EXPECT_NEAR(player->rzplayer()->editStartTime(), 1.9, 1e-9);
}

TEST_F(PlayerRZTest, SlowerWithTrebleAFileEndsWhenAllOfItWasHeardWithItsWholeRangePlayed) {
    QuickDevice& device = makeQuickPlayer(8.0, false);
    auto entry = loaded("end.wav", 2.0);
    player->setRate(0.8f);
    vantle::trebleChanged(*player, 30.0); // treble +1: the filter's most

    // The device renders up to a given period and waits there: the periods counted when the end is
    // told on the main thread are then those rendered by the end, not by the time the main thread got
    // to it.
    device.allowPeriods(0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return device.holding(); }));
    const std::uint64_t periodsAtStart = device.periodsRendered();
    std::uint64_t periodsAtEnd = 0;
    delegate.onFinish = [&] { periodsAtEnd = device.periodsRendered(); };
    player->play();
    // Not before all of it was heard.
    const std::uint64_t beforeTheEnd = periodsAtStart + QuickDevice::periodsOf(2.3);
    device.allowPeriods(beforeTheEnd);
    ASSERT_TRUE(waitFor([&] { return device.periodsRendered() == beforeTheEnd && device.holding(); }));
    (void)waitFor([&] { return delegate.finishes > 0; }, 0.3);
    EXPECT_EQ(delegate.finishes, 0);
    device.allowPeriods(periodsAtStart + QuickDevice::periodsOf(2.7));
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    const double heard = double(periodsAtEnd - periodsAtStart) * 512.0 / 44100.0;
    EXPECT_NEAR(heard, 2.5, 0.2);

    EXPECT_EQ(played(*entry), (std::vector<vantle::TimeRange>{{0.0, 2.0}}));
    // Nothing follows: the player has stopped playing.
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "");
    EXPECT_EQ(player->entry(), entry);
}

TEST_F(PlayerRZTest, AtTheEndTheDelegateMayGoOnWithTheNextEntry) {
    makePlayer();
    auto first = toneEntry("first.wav", 1.0);
    auto second = toneEntry("second.wav", 2.0);
    player->setMode(PlayerMode::prepare);
    player->setEntry(first);
    delegate.onFinish = [&] {
        player->setEntry(second);
        player->start();
    };
    player->play();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    EXPECT_EQ(player->entry(), second);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(platform::dockTile().badgeLabel(), "►");
    EXPECT_TRUE(played(*first).empty());
}

TEST_F(PlayerRZTest, TheVolumeIsHeardAndASeekKeepsTheLoudness) {
    makePlayer();
    ASSERT_TRUE(writeSineFile(folder.file("low.wav"), 3.0, 1000.0));
    ASSERT_TRUE(player->engine().startTest(0.0));

    player->setEntry(entryFor(folder.file("low.wav")));
    player->setVolume(0.5f);
    player->play();
    ASSERT_TRUE(player->rzplayer()->isPlaying());
    auto before = player->engine().render(0.6);
    const double loud = playerRms(*before, 0, 13230);
    // 0.5 amplitude at half volume.
    EXPECT_NEAR(loud, 0.25 / std::sqrt(2.0), 0.02);
    player->setCurrentTime(1.0);
    auto after = player->engine().render(0.6);
    EXPECT_NEAR(playerRms(*after, 0, 13230), loud, loud * 0.05);
    EXPECT_EQ(player->rzplayer()->volume(), 1.0f);
    EXPECT_EQ(player->mixer()->volume(), 0.5f);
    player->stop();
}

TEST_F(PlayerRZTest, NothingIsAllocatedOnTheRenderThreadWhileAnEntryPlaysSeeksAndTheToneMoves) {
    makePlayer();
    auto entry = loaded("trap.wav", 3.0);
    player->setRate(0.9f);
    PlayerTrapHooks hooks;
    player->play();
    ASSERT_TRUE(player->isPlaying());
    // Counted in render cycles, whatever the machine's pace; the deadline only ends a stuck run.
    int i = 0;
    testsupport::waitUntil(
        [&] {
            vantle::trebleChanged(*player, double(i % 41 - 20) / 2.0);
            vantle::panChanged(*player, double(i % 21 - 10));
            if (i++ % 100 == 99) player->setCurrentTime(0.5); // a seek empties the stretcher
            return testsupport::AllocationTrap::renderCycles() >= 400;
        },
        std::chrono::seconds(60));
    player->stop();
    const auto counts = testsupport::AllocationTrap::renderThreadCounts();
    EXPECT_GE(testsupport::AllocationTrap::renderCycles(), 400u);
    EXPECT_EQ(counts.allocations, 0u) << "last size " << counts.lastSize;
    EXPECT_EQ(counts.deallocations, 0u);
}

// The stretcher's work per render cycle through a seek and a load; how it goes on across rate changes
// and stops is the time-pitch unit's own.
TEST(PlayerRZChainCost, SeeksAndLoadsStayCheap) {
    platform::mainQueue().bindToCurrentThread();
    testsupport::TemporaryFolder folder;
    ASSERT_TRUE(writeSineFile(folder.file("a.wav"), 8.0, 440.0));
    ASSERT_TRUE(writeSineFile(folder.file("b.wav"), 8.0, 660.0));
    vantle::PlayerRZ player(fastDevice());
    ASSERT_TRUE(player.engine().startTest(0.0));
    auto buffer = platform::PcmBuffer::make(player.engine().avEngine().manualRenderingFormat(), 512);
    const platform::TimePitchUnit& unit = player.timePitch()->timePitchAU();

    player.setEntry(entryFor(folder.file("a.wav")));
    player.setRate(0.9f);
    player.play();
    std::vector<std::uint64_t> work;
    std::vector<double> heard;
    for (int cycle = 0; cycle < 120; ++cycle) {
        if (cycle == 40) player.setCurrentTime(3.0);
        if (cycle == 80) {
            player.setEntry(entryFor(folder.file("b.wav")));
            player.play();
        }
        const std::uint64_t before = unit.stretchedFrames();
        ASSERT_EQ(*player.engine().avEngine().renderOffline(512, *buffer),
                  platform::ManualRenderingStatus::success);
        work.push_back(unit.stretchedFrames() - before);
        heard.push_back(player.rzplayer()->currentTime());
        platform::mainQueue().drain();
    }

    // Before, the first cycle after the seek and after the load took in the stretcher's whole pipeline
    // (a dozen cycles' worth); now no cycle takes in more than a steady one and a starting share.
    for (std::size_t i = 0; i < work.size(); ++i)
        EXPECT_LE(work[i], std::uint64_t((1.25 + 1.1) * 512 + 2)) << "cycle " << i;
    // The seek is heard from its place on.
    EXPECT_NEAR(heard[40], 3.0, 0.001);
}

// A song of more frames than 32 bits count (a recording of two days and more, joined from takes): it is
// played, not refused as no audio, with its whole length, and a seek far into it is heard there. The
// file is a hole on disk but for a loud half second past frame 2^32.
TEST_F(PlayerRZTest, ASongOfMoreFramesThan32BitsCountPlaysAndSeeksPastThem) {
    constexpr std::int64_t frames32 = std::int64_t(1) << 32, length = 2 * frames32 + 10 * 44100;
    constexpr std::int64_t loud = frames32 + 2 * 44100;
    std::vector<testsupport::WavMark> marks;
    for (std::int64_t frame = loud; frame < loud + 22050; frame += 4)
        marks.push_back({std::uint64_t(frame), 16000});
    const std::string path =
        testsupport::writeMarkedSparseCaf(folder.file("two days.caf"), std::uint64_t(length), marks);
    ASSERT_FALSE(path.empty());
    auto entry = offlineEntry(path);
    ASSERT_TRUE(player->playable());
    EXPECT_DOUBLE_EQ(player->duration(), double(length) / 44100.0);
    ASSERT_TRUE(entry->_cachedDuration);
    EXPECT_DOUBLE_EQ(*entry->_cachedDuration, double(length) / 44100.0);

    player->play();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(delegate.refusals, 0);
    player->setCurrentTime(double(loud) / 44100.0 - 0.25);
    EXPECT_TRUE(player->isPlaying());
    const auto heard = player->engine().render(0.7);
    ASSERT_TRUE(heard);
    const double rate = heard->format().sampleRate();
    const std::vector<float> left = channelSamples(*heard, 0);
    // Silence until the loud part, and the loud part after it, whatever the stages' delay.
    EXPECT_LT(testsupport::rms(left, 0, std::size_t(0.15 * rate)), 0.01);
    EXPECT_GT(testsupport::rms(left, std::size_t(0.4 * rate), std::size_t(0.6 * rate)), 0.3);
    EXPECT_EQ(delegate.refusals, 0);
    player->stop();
}
