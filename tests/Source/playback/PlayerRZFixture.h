#pragma once
// The player fixture shared by the PlayerRZ test files: a player on a chosen device with its delegate,
// tone entries in a temporary folder, the console captured, and what the player says in its lines.

#include "Source/playback/PlayerRZ.h"

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
#include "tests/Source/playback/PlaybackTestSupport.h"
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

// Inline, not file-local: a test file uses some of these and no others.
inline const std::string kPlayerEventLine = "=== in eventHandler";

// What the player says when the file at `path` does not open.
inline std::string cannotOpen(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    return "154 error " + (file ? std::string("(opens)") : file.error().message) + " can't open " +
           fileURL(path);
}

inline std::string changeLine(const std::string& path) {
    return "🎈change entry for " + fileURL(path);
}

// The ranges played of the entry, none when it has no set.
inline std::vector<vantle::TimeRange> played(const vantle::PlaylistEntry& entry) {
    return entry.currentTimeRangeSet ? entry.currentTimeRangeSet->ranges : std::vector<vantle::TimeRange>{};
}

inline std::vector<std::string> withoutEventLines(std::vector<std::string> lines) {
    std::erase(lines, kPlayerEventLine);
    return lines;
}

inline double playerRms(const platform::PcmBuffer& buffer, std::uint32_t channel, std::uint32_t from = 0) {
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
    // Sets the entry and waits for its load: a song archive's audio is read on a worker first. True
    // once it is playable.
    bool setAndLoad(const std::shared_ptr<vantle::PlaylistEntry>& entry) {
        player->setEntry(entry);
        return waitFor([&] { return player->playable() || !player->entry(); }) && player->playable();
    }
    // A new player rendering offline at full volume, with the song at `path` set in it.
    std::shared_ptr<vantle::PlaylistEntry> offlineEntry(const std::string& path) {
        makePlayer();
        EXPECT_TRUE(player->engine().startTest(0.0));
        auto entry = entryFor(path);
        setAndLoad(entry);
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
