// A file replaced on disk gives the player, the entry's cached duration and the delegate its new length.

#include "Source/playback/PlayerRZ.h"

#include "PlaybackTestSupport.h"
#include "platform/foundation/Console.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace playbacktest;

namespace {

class LengthRecordingDelegate final : public vantle::PlayerDelegate {
public:
    void refreshDisplay() override {}
    void playerDidFinish() override {}
    void updateForMode() override {}
    void resetScreensaverIdle() override {}
    void clearPrevEntry() override {}
    void entryDurationChanged(const std::shared_ptr<vantle::PlaylistEntry>& entry) override {
        told.push_back({entry, entry->_cachedDuration});
    }

    std::vector<std::pair<std::shared_ptr<vantle::PlaylistEntry>, std::optional<double>>> told;
};

class PlayerReloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::mainQueue().bindToCurrentThread();
        platform::mainQueue().drain();
        player = std::make_unique<vantle::PlayerRZ>(fastDevice());
        player->setDelegate(&delegate);
    }
    void TearDown() override {
        player.reset();
        platform::mainQueue().drain();
    }

    // Copies a tone of `seconds` over the file, in place, as `cp` does.
    void copyOver(const std::string& path, double seconds) {
        const std::string source = folder.file("source.wav");
        ASSERT_TRUE(writeTone(source, seconds));
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    }
    // Waits for the monitor's reload of the file (its line is printed as the reload begins).
    bool monitorReloaded() {
        console.clear();
        return platform::mainQueue().drainUntil(
            [&] {
                for (const std::string& line : console.lines())
                    if (line.rfind("🎈change entry for ", 0) == 0) return true;
                return false;
            },
            10.0);
    }

    platform::ScopedConsoleCapture console;
    fixtures::TempFolder folder;
    LengthRecordingDelegate delegate;
    std::unique_ptr<vantle::PlayerRZ> player;
};

TEST_F(PlayerReloadTest, AReplacedFileGivesItsNewLengthToTheEntryAndTheDelegateOncePerChange) {
    const std::string path = folder.file("song.wav");
    ASSERT_TRUE(writeTone(path, 3.0));
    auto entry = entryFor(path);
    ASSERT_EQ(entry->_cachedDuration, 3.0);
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());

    // Copied over while it plays: the monitor reloads it.
    copyOver(path, 2.0);
    ASSERT_TRUE(monitorReloaded());
    EXPECT_EQ(player->duration(), 2.0);
    EXPECT_EQ(entry->duration(), 2.0);
    ASSERT_EQ(delegate.told.size(), 1u);
    EXPECT_EQ(delegate.told[0].first, entry);
    EXPECT_EQ(delegate.told[0].second, 2.0) << "cached before the delegate is told";

    // Replaced again before the next play: play's own reopen takes the length, and the monitor's
    // reload that follows finds nothing new.
    copyOver(path, 4.5);
    player->play();
    EXPECT_EQ(entry->duration(), 4.5);
    ASSERT_EQ(delegate.told.size(), 2u);
    ASSERT_TRUE(monitorReloaded());
    EXPECT_EQ(delegate.told.size(), 2u);

    // Rewritten with the same length: nothing to tell.
    copyOver(path, 4.5);
    ASSERT_TRUE(monitorReloaded());
    EXPECT_EQ(delegate.told.size(), 2u);
}

} // namespace
