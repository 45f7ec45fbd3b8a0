#include "Source/playback/PlayerRZ.h"

#include "PlaybackTestSupport.h"
#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "Source/playback/AudioModel.h"
#include "Source/playback/FileMonitor.h"
#include "Source/session/Bookmark.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/RenderCycleHooks.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/KeyedCoding.h"
#include "platform/ui/Badge.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

using namespace playbacktest;
using platform::mainQueue;
using vantle::PlayerMode;
using vantle::PlayerRZ;

namespace {

const std::string kPlayerEventLine = "=== in eventHandler";

// What the player says when the file at `path` does not open.
std::string cannotOpen(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    return "154 error " + (file ? std::string("(opens)") : file.error().message) + " can't open " +
           fileURL(path);
}

std::string changeLine(const std::string& path) {
    return "🎈change entry for " + fileURL(path);
}

// The ranges played of the entry, none when it has no set.
std::vector<vantle::TimeRange> played(const vantle::PlaylistEntry& entry) {
    return entry.currentTimeRangeSet ? entry.currentTimeRangeSet->ranges : std::vector<vantle::TimeRange>{};
}

std::vector<std::string> withoutEventLines(std::vector<std::string> lines) {
    std::erase(lines, kPlayerEventLine);
    return lines;
}

double playerRms(const platform::PcmBuffer& buffer, std::uint32_t channel, std::uint32_t from = 0) {
    return testsupport::rms(channelSamples(buffer, channel), from);
}

struct PlayerTrapHooks {
    PlayerTrapHooks() {
        testsupport::AllocationTrap::resetCounts();
        platform::setRenderCycleHooks(&testsupport::AllocationTrap::renderCycleBegan,
                                      &testsupport::AllocationTrap::renderCycleEnded);
    }
    ~PlayerTrapHooks() { platform::setRenderCycleHooks(nullptr, nullptr); }
};

} // namespace

class PlayerRZTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
        platform::dockTile().setBadgeLabel("");
    }
    void TearDown() override {
        player.reset();
        mainQueue().drain();
        platform::dockTile().setBadgeLabel("");
    }

    PlayerRZ& makePlayer(std::unique_ptr<platform::AudioDevice> device = fastDevice()) {
        player = std::make_unique<PlayerRZ>(std::move(device));
        player->setDelegate(&delegate);
        return *player;
    }
    std::shared_ptr<vantle::PlaylistEntry> toneEntry(const std::string& name, double seconds,
                                                     int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                                     const Tags& tags = {}) {
        if (!writeTone(folder.file(name), seconds, format, tags)) return nullptr;
        return entryFor(folder.file(name));
    }
    // The entry of a new tone file, set in the player.
    std::shared_ptr<vantle::PlaylistEntry> loaded(const std::string& name, double seconds,
                                                  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        auto entry = toneEntry(name, seconds, format);
        player->setEntry(entry);
        return entry;
    }
    // A new player rendering offline at full volume, with the song at `path` set in it.
    std::shared_ptr<vantle::PlaylistEntry> offlineEntry(const std::string& path) {
        makePlayer();
        EXPECT_TRUE(player->engine().startTest(0.0));
        auto entry = entryFor(path);
        player->setEntry(entry);
        player->setVolume(1.0f);
        return entry;
    }
    // A new player on a device paced at `speed` times real time, which pacedDevice then names. Held,
    // the device renders nothing until renderOnly() or renderOn() allows it.
    QuickDevice& makeQuickPlayer(double speed, bool held) {
        auto device = std::make_unique<QuickDevice>(speed);
        pacedDevice = device.get();
        if (held) pacedDevice->allowPeriods(0);
        makePlayer(std::move(device));
        return *pacedDevice;
    }
    // Paced: at rate 1 the chain costs next to nothing, and an unpaced device would play the file
    // out before the test looks. Held.
    PlayerRZ& makePacedPlayer() {
        makeQuickPlayer(8.0, true);
        return *player;
    }
    // The paced device renders `seconds` more and waits there: a song longer than that is not over
    // when the test looks, however late.
    void renderOnly(double seconds) { pacedDevice->renderOnly(seconds); }
    void renderOn() { pacedDevice->renderOn(); }
    // Runs the main queue for a while; true when a console line came meanwhile.
    bool anyLineWithin(double seconds) {
        const std::size_t now = console.lines().size();
        return mainQueue().drainUntil([&] { return console.lines().size() > now; }, seconds);
    }
    // Waits for the monitor's reload of the file at `path` to begin and the main queue to fall quiet.
    bool reloadSettled(const std::string& path) {
        return waitFor([&] { return consoleHas(console, changeLine(path)); }) && !anyLineWithin(0.3);
    }
    // After an entry that does not open: nothing to play, to watch or to find again.
    void expectEmptied(const vantle::PlaylistEntry& entry) {
        EXPECT_FALSE(player->entry());
        EXPECT_FALSE(player->playable());
        EXPECT_FALSE(player->fileMonitor());
        EXPECT_FALSE(entry.storedBookmark);
        const int refusals = delegate.refusals;
        player->play();
        EXPECT_EQ(delegate.refusals, refusals + 1) << "the delegate hears that nothing can play";
        EXPECT_FALSE(player->playing());
        EXPECT_FALSE(player->rzplayer()->isPlaying());
    }
    // Waits until the file player's own clock has passed `seconds`.
    bool playedPast(double seconds) {
        return waitFor([&] { return player->rzplayer()->currentTime() > seconds; });
    }

    testsupport::ScopedConsoleCapture console;
    fixtures::TempFolder folder;
    RecordingDelegate delegate;
    std::unique_ptr<PlayerRZ> player;
    QuickDevice* pacedDevice = nullptr;
};

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
        if (c.readAgain) ASSERT_TRUE(waitFor([&] { return consoleHas(console, changeLine(path)); }));
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

// A WAV file whose header states its full length while its writer is still at it (a recording, a slow
// copy): the player follows it as it grows, and the entry's length is stored only once it is whole.
TEST_F(PlayerRZTest, AFileStillBeingWrittenIsFollowedAsItGrowsAndItsLengthIsStoredOnceWhole) {
    auto stored = [](const vantle::PlaylistEntry& entry) {
        const platform::PlistValue tree = platform::encodePlistValue(entry).value();
        const platform::PlistValue* duration = tree.find("_cachedDuration");
        return duration ? std::optional<double>(duration->asReal().value_or(-1.0)) : std::nullopt;
    };
    ASSERT_TRUE(writeTone(folder.file("whole.wav"), 12.0));
    std::ifstream in(folder.file("whole.wav"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::string path = folder.file("growing.wav");
    std::size_t written = bytes.size() / 6;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(written));

    auto entry = entryFor(path);
    ASSERT_TRUE(entry);
    EXPECT_NEAR(entry->_cachedDuration.value_or(0), 2.0, 0.01);
    EXPECT_EQ(stored(*entry), std::nullopt) << "not stored while the file grows";
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());

    // Written a little at a time, never pausing, until the player has taken a longer length (or the
    // wait below has given up). Near the end it goes on a frame at a time, so however slow the machine,
    // the player finds it still being written.
    std::atomic<bool> longer{false}, closed{false};
    std::thread writer([&] {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        const std::size_t tail = bytes.size() - bytes.size() / 6;
        while (!longer && written + 4 < bytes.size()) {
            const std::size_t step = written + 4096 < tail ? 4096 : 4;
            out.write(bytes.data() + written, std::streamsize(step)).flush();
            written += step;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        out.write(bytes.data() + written, std::streamsize(bytes.size() - written)).flush();
        out.close();
        closed = true;
    });
    const bool followed = waitFor([&] { return player->duration() > 2.05; }, 50.0);
    const bool whileWritten = !closed;
    longer = true;
    writer.join();
    EXPECT_TRUE(followed && whileWritten) << "taken while its writer was still at it";
    EXPECT_TRUE(entry->durationIsProvisional);

    ASSERT_TRUE(waitFor([&] { return player->duration() == 12.0; }));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_FALSE(entry->durationIsProvisional);
    EXPECT_EQ(stored(*entry), 12.0);
    ASSERT_FALSE(delegate.toldLengths.empty());
    EXPECT_EQ(delegate.toldLengths.back().second, 12.0);

    // A whole file being written over in place is not read until its writer is done, however it grows.
    console.clear();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size() / 2));
    player->fileChanged(entry, platform::FileSystemEvent::extend);
    EXPECT_EQ(withoutEventLines(console.lines()), std::vector<std::string>{});
    EXPECT_EQ(player->duration(), 12.0);
}

// A song whose header states its full length while its writer is still at it: each new length is taken
// without a break in what is heard, and the song ends once, at its last frame.
TEST_F(PlayerRZTest, AGrowingSongPlaysOnIntoEachNewLengthWithoutABreak) {
    constexpr double hz = 997.0, rate = 44100.0; // no whole number of frames per period
    constexpr std::size_t frameBytes = 8;        // stereo 32-bit float
    ASSERT_TRUE(writeSineFile(folder.file("whole.wav"), 6.0, hz));
    testsupport::GrowingWav growing(folder.file("whole.wav"), folder.file("growing.wav"));
    ASSERT_TRUE(growing.ok() && growing.writeFrames(std::size_t(2.0 * rate), frameBytes));
    auto entry = offlineEntry(growing.path());
    player->play();
    std::vector<float> heard;
    // The main queue runs between short renders, as it does while a device plays.
    auto listen = [&](double seconds) {
        for (int piece = 0; piece < int(std::lround(seconds * 10)); ++piece) {
            const std::vector<float> samples = channelSamples(*player->engine().render(0.1), 0);
            heard.insert(heard.end(), samples.begin(), samples.end());
            mainQueue().drain();
        }
    };
    listen(1.0);
    // A second of playing between the writer's steps; its last step closes the file.
    for (const double length : {3.5, 5.0, 6.0}) {
        const bool last = length == 6.0;
        ASSERT_TRUE(last ? growing.finish() : growing.writeFrames(std::size_t(length * rate), frameBytes));
        player->fileChanged(entry, last ? platform::FileSystemEvent::write | platform::FileSystemEvent::extend
                                        : platform::FileSystemEvent::extend);
        EXPECT_EQ(std::tuple(player->duration(), entry->_cachedDuration, player->isPlaying()),
                  std::tuple(length, std::optional(length), true));
        listen(1.0);
    }
    EXPECT_FALSE(entry->durationIsProvisional);
    EXPECT_NEAR(player->rzplayer()->currentTime(), 4.0, 0.01);
    listen(2.5);
    // Unbroken from the first frame heard to the last, through the old ends at 2, 3.5 and 5 seconds,
    // and six seconds long: nothing left out or heard twice.
    const std::size_t first = testsupport::onset(heard, 0.01f) + 1, window = 4410;
    const std::size_t end = first + std::size_t(6.0 * rate) - 1;
    ASSERT_LT(first, window);
    const testsupport::SineBreak worst = testsupport::largestSineBreak(heard, hz, rate, first, end - 1);
    EXPECT_LT(worst.size, 1e-4) << "broken at " << double(worst.at) / rate << " s";
    const double level = testsupport::rms(heard, first, first + window);
    EXPECT_NEAR(testsupport::rms(heard, end - window, end), level, level * 0.02) << "the end heard";
    EXPECT_LT(testsupport::rms(heard, end + 441, end + 441 + window), level * 0.01) << "silent after it";
    player->stop();
}

// The end of what was there when the song started is no end once more was taken, however many steps its
// writer took before any of it was heard: it finishes once, after its last frame.
TEST_F(PlayerRZTest, AGrowingSongFinishesOnceAtItsNewEnd) {
    ASSERT_TRUE(writeSineFile(folder.file("whole.wav"), 3.0, 1000.0));
    testsupport::GrowingWav growing(folder.file("whole.wav"), folder.file("growing.wav"));
    ASSERT_TRUE(growing.ok() && growing.writeFrames(22050, 8));
    makePacedPlayer();
    auto entry = entryFor(growing.path());
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());
    for (const double length : {1.0, 1.5, 2.0, 2.5}) {
        ASSERT_TRUE(growing.writeFrames(std::size_t(length * 44100), 8));
        player->fileChanged(entry, platform::FileSystemEvent::extend);
    }
    ASSERT_TRUE(growing.finish());
    player->fileChanged(entry, platform::FileSystemEvent::write | platform::FileSystemEvent::extend);
    ASSERT_EQ(player->duration(), 3.0);
    ASSERT_EQ(pacedDevice->periodsRendered(), 0u);
    renderOn();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    // The file player runs ahead of the output by the stretcher's latency, a tenth of a second or so.
    EXPECT_GE(double(pacedDevice->periodsRendered() * 512), 2.75 * 44100) << "not before its last frames";
    EXPECT_FALSE(mainQueue().drainUntil([&] { return delegate.finishes > 1; }, 0.2));
    EXPECT_EQ(delegate.finishes, 1);
}
