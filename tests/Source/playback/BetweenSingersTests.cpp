// The change of singers measured on the player's rendered output: how long the room hears nothing after
// a song's music and after the host's start, that the break music is never heard with a song, and that
// it goes on where it stopped; the fades are ramps on the render thread, which allocates nothing.

#include "tests/Source/playback/PlayerRZFixture.h"
#include "tests/support/BetweenSingersRig.h"
#include "tests/support/HeldQueue.h"
#include "tests/support/Signals.h"

namespace {

// The amplitude of the tone at `hz` over [from, to) seconds of the output.
double toneIn(const std::vector<float>& out, double hz, double from, double to) {
    const auto rate = testsupport::BetweenSingersRig::rate;
    const std::vector<float> part(out.begin() + long(from * rate), out.begin() + long(to * rate));
    return testsupport::toneAmplitude(part, rate, hz);
}

} // namespace

TEST_F(PlayerRZTest, TheRoomIsNeverSilentForASecondBetweenSingers) {
    using Rig = testsupport::BetweenSingersRig;
    Rig rig(folder.path);
    ASSERT_TRUE(rig.written());
    PlayerTrapHooks trap;
    std::vector<float> out;
    const testsupport::BetweenSingersTimes times = rig.run(4.0, &out);

    // The song's file runs on for six silent seconds: the break music is there long before.
    EXPECT_LT(times.silenceAfterEnd, 1.0);
    EXPECT_GT(times.silenceAfterEnd, 0.0) << "the break music fades in from silence";
    EXPECT_LT(times.silenceAfterStart, 1.0);
    // The song starts as the two seconds' fade out ends (and the key and tempo stage's latency), not before.
    EXPECT_GE(times.nextSongStarts - times.hostStarts, 2.0);
    EXPECT_LT(times.nextSongStarts - times.hostStarts, 2.25);

    // The break music plays in the break, and never with a song.
    EXPECT_NEAR(toneIn(out, Rig::breakHz, times.hostStarts - 1.0, times.hostStarts), 0.5, 0.02);
    EXPECT_LT(toneIn(out, Rig::breakHz, 0.1, Rig::musicSeconds - 0.1), 1e-3) << "with the first song";
    EXPECT_LT(toneIn(out, Rig::breakHz, times.nextSongStarts + 0.05, times.nextSongStarts + 2.9), 1e-3)
        << "with the next song";
    EXPECT_NEAR(toneIn(out, Rig::nextHz, times.nextSongStarts + 0.05, times.nextSongStarts + 2.9), 0.5, 0.02)
        << "the next song at its own level";

    // Held through the song, the break music took up where it stopped.
    EXPECT_GT(times.breakPausedAt, 4.0);
    EXPECT_GT(times.breakResumedAt, times.breakPausedAt);
    EXPECT_LT(times.breakResumedAt, times.breakPausedAt + 2.0);

    RecordProperty("silenceAfterEnd", std::to_string(times.silenceAfterEnd));
    RecordProperty("silenceAfterStart", std::to_string(times.silenceAfterStart));
    EXPECT_GT(testsupport::AllocationTrap::renderCycles(), 1000u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
}

// The break music's tracks play in turn and round again; a track that does not open is named and passed
// over, and taking the playing track off the list starts the break again from the first.
TEST_F(PlayerRZTest, BreakTracksPlayInTurnAndRoundAgain) {
    ASSERT_TRUE(testsupport::writeSineFile(folder.file("one.wav"), 0.3, 330.0));
    ASSERT_TRUE(testsupport::writeSineFile(folder.file("two.wav"), 0.3, 392.0));
    makeQuickPlayer(8.0, false);
    vantle::BreakMusic music(*player);
    std::vector<std::string> refused;
    music.setRefusedHandler([&](const std::string& path, const std::string&) { refused.push_back(path); });
    music.setTracks({folder.file("one.wav"), folder.file("gone.wav"), folder.file("two.wav")});
    ASSERT_TRUE(music.fadeIn(0.1));
    ASSERT_TRUE(mainQueue().drainUntil([&] { return music.track().has_value(); }, 20.0));
    EXPECT_EQ(music.track(), 0u);
    std::vector<std::size_t> heard{0};
    ASSERT_TRUE(mainQueue().drainUntil(
        [&] {
            if (music.track() && *music.track() != heard.back()) heard.push_back(*music.track());
            return heard.size() >= 3;
        },
        20.0));
    EXPECT_EQ(heard, (std::vector<std::size_t>{0, 2, 0}));
    EXPECT_EQ(refused, std::vector<std::string>{folder.file("gone.wav")});

    music.setTracks({folder.file("two.wav")});
    EXPECT_FALSE(music.track()) << "the track playing was taken off";
    EXPECT_FALSE(music.playing());
    ASSERT_TRUE(music.fadeIn(0.1));
    ASSERT_TRUE(mainQueue().drainUntil([&] { return music.track().has_value(); }, 20.0));
    EXPECT_EQ(music.track(), 0u);
    EXPECT_TRUE(music.playing());
    music.setTracks({});
    EXPECT_FALSE(music.fadeIn(0.1)) << "nothing to play";
}

// Break music that does not open leaves the break silent, with the host's start at once, and is tried
// again at the next break.
TEST_F(PlayerRZTest, ABreakWhoseMusicDoesNotOpenIsSilent) {
    makePlayer();
    ASSERT_TRUE(player->engine().startTest(0.0));
    testsupport::FakeClock clock;
    int starts = 0;
    vantle::BetweenSingers between(*player, clock, {[&] { ++starts; }, {}});
    between.setTracks({folder.file("not yet.wav")});
    between.songStarted();
    between.songEnded();
    ASSERT_TRUE(mainQueue().drainUntil(
        [&] { return between.rules().phase() == vantle::BreakRules::Phase::ended; }, 20.0));
    EXPECT_FALSE(between.music()->playing());
    EXPECT_TRUE(between.startNext());
    EXPECT_EQ(starts, 1) << "at once, with no fade of nothing";

    ASSERT_TRUE(testsupport::writeSineFile(folder.file("not yet.wav"), 1.0, 330.0));
    between.songEnded();
    EXPECT_EQ(between.rules().phase(), vantle::BreakRules::Phase::fadingIn);
    ASSERT_TRUE(mainQueue().drainUntil([&] { return between.music()->playing(); }, 20.0));
}

// The break's track is opened on a worker: the window goes on while the disk is slow, and the fade in
// starts once the file is open, unless the song came back first.
TEST_F(PlayerRZTest, ABreakTrackIsOpenedOffTheWindowsThread) {
    ASSERT_TRUE(testsupport::writeSineFile(folder.file("one.wav"), 1.0, 330.0));
    makeQuickPlayer(8.0, false);
    testsupport::HeldQueue slowDisk;
    vantle::BreakMusic music(*player, &slowDisk);
    music.setTracks({folder.file("one.wav")});

    ASSERT_TRUE(music.fadeIn(0.1));
    EXPECT_FALSE(music.track()) << "nothing opened on the window's thread";
    EXPECT_FALSE(music.playing());
    ASSERT_EQ(slowDisk.held(), 1u);
    ASSERT_TRUE(slowDisk.runNext());
    ASSERT_TRUE(mainQueue().drainUntil([&] { return music.playing(); }, 20.0));
    EXPECT_EQ(music.track(), 0u);

    music.pause();
    ASSERT_TRUE(testsupport::writeSineFile(folder.file("two.wav"), 1.0, 392.0));
    music.setTracks({folder.file("two.wav")});
    ASSERT_TRUE(music.fadeIn(0.1));
    music.pause();
    ASSERT_TRUE(slowDisk.runNext());
    ASSERT_TRUE(mainQueue().drainUntil([&] { return music.track().has_value(); }, 20.0));
    EXPECT_FALSE(music.playing()) << "paused while it opened";
}
