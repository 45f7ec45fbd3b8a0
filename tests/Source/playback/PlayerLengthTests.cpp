// An entry whose length is only an estimate at first (an MP3 of takes joined end to end, whose header
// states the first take alone): shown at once, counted off the main thread for the current entry, then
// stored and played to its true end.

#include "PlayerRZFixture.h"

#include "platform/files/SongArchive.h"
#include "tests/support/SongArchives.h"
#include "tests/support/TestDevices.h"

#include <atomic>

namespace {

// The length an entry stores, none when it stores none.
std::optional<double> storedLength(const vantle::PlaylistEntry& entry) {
    const platform::PlistValue tree = platform::encodePlistValue(entry).value();
    const platform::PlistValue* duration = tree.find("_cachedDuration");
    return duration ? std::optional<double>(duration->asReal().value_or(-1.0)) : std::nullopt;
}

} // namespace

class PlayerLengthTest : public PlayerRZTest {
protected:
    // A quiet take of 2 s joined to a loud one of 3 s, under a name of its own.
    std::shared_ptr<vantle::PlaylistEntry> joinedEntry(const std::string& name) {
        const std::string path =
            testsupport::writeJoinedMp3(folder.file(name), {fixtures::tone(2 * 44100, 2, 44100, 0.1f),
                                                            fixtures::tone(3 * 44100, 2, 44100, 0.5f)});
        return path.empty() ? nullptr : entryFor(path);
    }
    // The same takes zipped with blank graphics as one song, "Song.zip".
    std::shared_ptr<vantle::PlaylistEntry> zippedJoinedEntry() {
        const std::string plain =
            testsupport::writeJoinedMp3(folder.file("Song.mp3"), {fixtures::tone(2 * 44100, 2, 44100, 0.1f),
                                                                  fixtures::tone(3 * 44100, 2, 44100, 0.5f)});
        if (plain.empty() ||
            !testsupport::writeZip(folder.file("Song.zip"), {{"Song.mp3", testsupport::readWholeFile(plain)},
                                                             {"Song.cdg", testsupport::blankCdg()}}))
            return nullptr;
        return entryFor(folder.file("Song.zip"));
    }
    // Every count begun has come back to the main queue, and what it posted has run.
    bool countsSettled() {
        std::atomic<bool> done{false};
        platform::globalQueue().asyncBarrier([&] { done = true; });
        if (!waitFor([&] { return done.load(); })) return false;
        mainQueue().drain();
        return true;
    }
};

TEST_F(PlayerLengthTest, AJoinedMp3ShowsAnEstimateThenItsCountedLengthWhichIsStoredAndPlayedToTheEnd) {
    auto entry = joinedEntry("joined.mp3");
    ASSERT_TRUE(entry);
    ASSERT_TRUE(entry->_cachedDuration);
    EXPECT_NEAR(*entry->_cachedDuration, 5.0, 0.5) << "from the file's size, not the header's 2 s";
    EXPECT_TRUE(entry->durationIsProvisional);
    EXPECT_TRUE(entry->durationIsEstimate);
    EXPECT_EQ(storedLength(*entry), std::nullopt) << "an estimate is never stored";

    makePlayer();
    player->setEntry(entry);
    ASSERT_TRUE(player->playable());
    EXPECT_TRUE(player->countingLength()) << "the list's own counts wait for this one";
    ASSERT_TRUE(waitFor([&] { return !entry->durationIsProvisional; }));
    EXPECT_FALSE(player->countingLength());
    EXPECT_FALSE(entry->durationIsEstimate);
    const double counted = *entry->_cachedDuration;
    EXPECT_GE(counted, 5.0);
    EXPECT_LT(counted, 5.1);
    EXPECT_EQ(player->duration(), counted);
    EXPECT_EQ(storedLength(*entry), counted);
    ASSERT_FALSE(delegate.toldLengths.empty());
    EXPECT_EQ(delegate.toldLengths.back(), std::pair(entry, std::optional<double>(counted)));

    // Near the end, past all that the header states, it plays and finishes there.
    player->setCurrentTime(counted - 1.0);
    EXPECT_DOUBLE_EQ(player->desiredTime(), counted - 1.0);
    player->play();
    ASSERT_TRUE(player->playing());
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    ASSERT_TRUE(entry->currentTimeRangeSet);
    ASSERT_FALSE(entry->currentTimeRangeSet->ranges.empty());
    EXPECT_NEAR(entry->currentTimeRangeSet->ranges.back().start, counted - 1.0, 0.01);
    EXPECT_NEAR(entry->currentTimeRangeSet->ranges.back().end, counted, 0.05);
}

TEST_F(PlayerLengthTest, AZippedJoinedMp3IsCountedAndPlayedAtItsCountedLength) {
    auto entry = zippedJoinedEntry();
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->durationIsEstimate);
    // Counted already in the background, as the list's counts do, before it is ever loaded.
    auto counter = platform::AudioFile::openForReading(folder.file("Song.zip"));
    ASSERT_TRUE(counter && (*counter)->measureLength());
    entry->_cachedDuration = double((*counter)->length()) / (*counter)->processingFormat().sampleRate();
    entry->durationIsEstimate = entry->durationIsProvisional = false;
    counter->reset();
    // Nothing rendered: it plays, and never ends, however long a busy machine takes between the steps.
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    ASSERT_TRUE(setAndLoad(entry));
    // Play opens the archive again: its audio is the copy loaded, which the count has not seen yet.
    player->play();
    ASSERT_TRUE(player->playing());
    player->pause();
    ASSERT_TRUE(waitFor([&] { return !entry->durationIsProvisional; }));
    ASSERT_TRUE(countsSettled());
    EXPECT_FALSE(entry->durationIsEstimate);
    EXPECT_GE(*entry->_cachedDuration, 5.0);
    EXPECT_EQ(player->duration(), *entry->_cachedDuration);
}

// Play and seek open the song again: an unchanged archive's audio is neither read nor counted again.
TEST_F(PlayerLengthTest, AZippedSongIsReadAndCountedOnceHoweverOftenItIsPlayedOrSought) {
    auto entry = zippedJoinedEntry();
    ASSERT_TRUE(entry);
    // Nothing rendered: the song never reaches its end between a play and the pause after it.
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    ASSERT_TRUE(setAndLoad(entry));
    ASSERT_TRUE(waitFor([&] { return !entry->durationIsProvisional; }));
    ASSERT_TRUE(countsSettled());
    const std::uint64_t loaded = platform::songArchiveAudioReads();
    for (const double at : {1.0, 3.5, 0.5}) {
        player->play();
        ASSERT_TRUE(player->playing());
        EXPECT_FALSE(player->countingLength()) << "the copy played is the one counted";
        player->setCurrentTime(at);
        player->pause();
    }
    ASSERT_TRUE(countsSettled());
    EXPECT_EQ(platform::songArchiveAudioReads(), loaded);
    EXPECT_FALSE(entry->durationIsEstimate);
    EXPECT_EQ(player->duration(), *entry->_cachedDuration);
}

TEST_F(PlayerLengthTest, ACountIsTakenOnlyWhileItsEntryIsStillCurrent) {
    struct Case {
        const char* then;
        std::function<void()> action;
        bool taken;
    };
    std::shared_ptr<vantle::PlaylistEntry> other;
    const Case cases[] = {
        {"nothing", [] {}, true},
        {"another entry", [&] { player->setEntry(other); }, false},
        {"no entry", [&] { player->setEntry(nullptr); }, false},
        {"the player goes", [&] { player.reset(); }, false},
    };
    int made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.then);
        // A file of its own each time: a count is kept for every later open of the file it counted.
        auto entry = joinedEntry("joined " + std::to_string(++made) + ".mp3");
        ASSERT_TRUE(entry);
        ASSERT_TRUE(writeTone(folder.file("other.wav"), 0.5));
        other = entryFor(folder.file("other.wav"));
        const double estimate = entry->_cachedDuration.value_or(0);
        delegate.toldLengths.clear();
        makePlayer();
        player->setEntry(entry);
        c.action();
        ASSERT_TRUE(countsSettled());
        EXPECT_EQ(entry->durationIsProvisional, !c.taken);
        EXPECT_EQ(delegate.toldLengths.size(), c.taken ? 1u : 0u);
        if (!c.taken) {
            EXPECT_EQ(entry->_cachedDuration, estimate);
        }
    }
}

TEST_F(PlayerLengthTest, APlaceAskedPastAShortEstimateIsTakenOnceTheCountSaysWhereTheEndIs) {
    const struct {
        double asked, then; // the place asked, and where it stands once counted (< 0: just before the end)
    } cases[] = {{6.5, 6.5}, {30.0, -1}};
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        // Takes of 8 s in all, whose header states little more than half the frames for its bytes.
        const std::string path = testsupport::writeJoinedMp3(
            folder.file("short " + std::to_string(++made) + ".mp3"),
            {fixtures::tone(2 * 44100, 2, 44100, 0.1f), fixtures::tone(3 * 44100, 2, 44100, 0.3f),
             fixtures::tone(3 * 44100, 2, 44100, 0.5f)});
        ASSERT_FALSE(path.empty());
        std::string bytes = testsupport::readBytes(path);
        const std::size_t tag = std::min(bytes.find("Xing"), bytes.find("Info"));
        ASSERT_NE(tag, std::string::npos);
        std::uint32_t frames = 0;
        for (int i = 0; i < 4; ++i)
            frames = frames << 8 | std::uint8_t(bytes[tag + 8 + std::size_t(i)]);
        frames = frames * 5 / 9;
        for (int i = 0; i < 4; ++i)
            bytes[tag + 8 + std::size_t(i)] = char(frames >> (24 - 8 * i));
        ASSERT_TRUE(testsupport::writeBytes(path, bytes));

        makePlayer();
        player->setEntry(entryFor(path));
        const double estimate = player->duration();
        ASSERT_LT(estimate, 5.0);
        player->setCurrentTime(c.asked);
        EXPECT_LT(player->desiredTime(), estimate) << "within the estimate meanwhile";
        ASSERT_TRUE(countsSettled());
        const double counted = player->duration();
        EXPECT_GE(counted, 8.0);
        EXPECT_DOUBLE_EQ(player->desiredTime(), c.then >= 0 ? c.then : counted - 0.1);
    }
}
