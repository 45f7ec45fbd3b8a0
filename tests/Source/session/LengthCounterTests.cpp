// The listed files whose length is only an estimate (MP3s of takes joined end to end), and the song
// archives with none yet, are counted in the background one at a time, the current song's first, and keep
// their counted length in the session.

#include "Source/session/LengthCounter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/PropertyList.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/HeldQueue.h"
#include "tests/support/SongArchives.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantle;
using namespace vantle::testing;

namespace {

// A quiet take of 2 s joined to a louder one of 3 s: the header states the first take alone.
std::shared_ptr<PlaylistEntry> joinedEntry(const SessionTempFolder& folder, const std::string& name) {
    auto take = [](double seconds, float amplitude) {
        testsupport::Channels channels(2, std::vector<float>(std::size_t(seconds * 44100)));
        for (auto& channel : channels)
            for (std::size_t i = 0; i < channel.size(); ++i)
                channel[i] = amplitude * float(std::sin(double(i) * 0.0627));
        return channels;
    };
    const std::string path =
        testsupport::writeJoinedMp3(folder.path + "/" + name, {take(2, 0.1f), take(3, 0.5f)});
    return path.empty() ? nullptr : PlaylistEntry::make(platform::Url::fileURLWithPath(path, false));
}

// A counter over a list, the current song and the player's own count, whose counts wait in a queue until
// the test runs them.
struct CounterRig {
    testsupport::HeldQueue worker;
    std::vector<std::shared_ptr<PlaylistEntry>> entries;
    std::shared_ptr<PlaylistEntry> current;
    bool playerCounting = false;
    std::vector<std::shared_ptr<PlaylistEntry>> told;
    LengthCounter counter{{[this]() -> const std::vector<std::shared_ptr<PlaylistEntry>>& { return entries; },
                           [this] { return current; }, [this] { return playerCounting; }},
                          [this](const std::shared_ptr<PlaylistEntry>& entry) { told.push_back(entry); },
                          worker};

    // Runs the counts one by one, each with what it sent back, and gives the entries in the order counted;
    // a second count held at once fails the test.
    std::vector<std::shared_ptr<PlaylistEntry>> countAll() {
        std::vector<std::shared_ptr<PlaylistEntry>> order;
        counter.update();
        while (worker.held() > 0 && order.size() < 20) {
            EXPECT_EQ(worker.held(), 1u) << "one count at a time";
            order.push_back(counter.counting());
            worker.runNext();
            platform::mainQueue().drain();
        }
        return order;
    }
};

// The length an entry stores, none when it stores none.
std::optional<double> storedLength(const PlaylistEntry& entry) {
    const platform::PlistValue tree = platform::encodePlistValue(entry).value();
    const platform::PlistValue* duration = tree.find("_cachedDuration");
    return duration ? duration->asReal() : std::nullopt;
}

} // namespace

TEST(LengthCounter, CountsTheCurrentSongFirstThenEachListedEstimateOneAtATime) {
    SessionTempFolder folder;
    auto plain = PlaylistEntry::make(writeSilentWav(folder.url("plain.wav"), 2.0));
    auto first = joinedEntry(folder, "first.mp3"), second = joinedEntry(folder, "second.mp3"),
         current = joinedEntry(folder, "current.mp3"), unmeasured = joinedEntry(folder, "unmeasured.mp3");
    ASSERT_TRUE(plain && first && second && current && unmeasured);
    ASSERT_TRUE(first->durationIsEstimate && second->durationIsEstimate && current->durationIsEstimate);
    EXPECT_FALSE(plain->durationIsEstimate);
    // Not measured yet (its row never shown): it may be an estimate, which the count's own open tells.
    unmeasured->_cachedDuration.reset();
    unmeasured->durationIsEstimate = false;

    CounterRig rig;
    rig.entries = {plain, first, unmeasured, second, current};
    rig.current = current;
    rig.playerCounting = true;
    rig.counter.update();
    EXPECT_EQ(rig.worker.held(), 0u) << "nothing while the player counts the current song";
    rig.playerCounting = false;

    const auto order = rig.countAll();
    EXPECT_EQ(order, (std::vector{current, first, unmeasured, second}));
    EXPECT_EQ(rig.told, order);
    for (const auto& entry : order) {
        SCOPED_TRACE(entry->_url.lastPathComponent());
        EXPECT_FALSE(entry->durationIsEstimate);
        EXPECT_FALSE(entry->durationIsProvisional);
        ASSERT_TRUE(entry->_cachedDuration);
        EXPECT_GE(*entry->_cachedDuration, 5.0);
        EXPECT_LT(*entry->_cachedDuration, 5.1);
    }
    EXPECT_EQ(plain->_cachedDuration, 2.0);

    // Each is counted once; one listed later is counted in its turn.
    EXPECT_TRUE(rig.countAll().empty());
    auto later = joinedEntry(folder, "later.mp3");
    ASSERT_TRUE(later);
    rig.entries.insert(rig.entries.begin(), later);
    rig.counter.listChanged();
    EXPECT_EQ(rig.countAll(), (std::vector{later}));
    EXPECT_FALSE(later->durationIsEstimate);
}

TEST(LengthCounter, ACountedLengthIsStoredSoThatTheSessionReadAgainNeedsNoCount) {
    SessionTempFolder folder;
    auto entry = joinedEntry(folder, "joined.mp3");
    ASSERT_TRUE(entry);
    EXPECT_EQ(storedLength(*entry), std::nullopt) << "an estimate is never stored";
    CounterRig rig;
    rig.entries = {entry};
    ASSERT_EQ(rig.countAll().size(), 1u);
    ASSERT_TRUE(entry->_cachedDuration);
    const double counted = *entry->_cachedDuration;
    EXPECT_EQ(storedLength(*entry), counted);

    // Read again from the session, it shows the counted length and is not counted again.
    auto again = platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(
        platform::encodePlistValue(*entry).value());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->_cachedDuration, counted);
    EXPECT_FALSE((*again)->durationIsEstimate);
    CounterRig reopened;
    reopened.entries = {*again};
    EXPECT_TRUE(reopened.countAll().empty());

    // Listed anew in this run, the file's count is known at once.
    auto listedAgain = PlaylistEntry::make(entry->_url);
    ASSERT_TRUE(listedAgain);
    EXPECT_FALSE(listedAgain->durationIsEstimate);
    EXPECT_EQ(listedAgain->_cachedDuration, counted);
}

// A song archive's audio is read whole to be measured: the window never does it (a table's paint asks for
// every row shown, again and again); the counter does, once, and again for a failed one only once it
// changed on disk.
TEST(LengthCounter, SongArchivesAreMeasuredOnlyByTheCounterAndAFailedOneAgainOnceChanged) {
    SessionTempFolder folder;
    const std::vector<std::uint8_t> wav =
        testsupport::readWholeFile(writeSilentWav(folder.url("a.wav"), 2.0).path());
    const std::string goodPath = folder.path + "/good.zip", badPath = folder.path + "/bad.zip";
    ASSERT_TRUE(testsupport::writeZip(goodPath, {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}}));
    ASSERT_TRUE(
        testsupport::writeZip(badPath, {{"a.wav", wav}, {"a.cdg", testsupport::blankCdg()}, {"x.txt", {1}}}));
    // As read from a document that stored no length.
    auto unmeasured = [](const std::string& path) {
        auto entry = PlaylistEntry::make(platform::Url::fileURLWithPath(path, false), AudioFileLength{});
        entry->_cachedDuration.reset();
        return entry;
    };
    auto good = unmeasured(goodPath), bad = unmeasured(badPath);

    const std::uint64_t readsHere = platform::songArchiveAudioReadsOnThisThread();
    for (int repaint = 0; repaint < 3; ++repaint) {
        EXPECT_FALSE(good->duration());
        EXPECT_FALSE(bad->duration());
    }
    EXPECT_EQ(platform::songArchiveAudioReadsOnThisThread(), readsHere) << "read where the window asks";

    CounterRig rig;
    rig.entries = {good, bad};
    EXPECT_EQ(rig.countAll(), (std::vector{good, bad}));
    ASSERT_TRUE(good->duration());
    EXPECT_NEAR(*good->duration(), 2.0, 0.001);
    EXPECT_EQ(good->archivedAudio, "a.wav");
    EXPECT_FALSE(bad->duration());
    EXPECT_EQ(rig.told, std::vector{good});

    // Looked through again, unchanged: the failed archive is not read again.
    const std::uint64_t reads = platform::songArchiveAudioReads();
    rig.counter.listChanged();
    EXPECT_TRUE(rig.countAll().empty());
    EXPECT_EQ(platform::songArchiveAudioReads(), reads);
    // Mended on disk, it is.
    ASSERT_TRUE(testsupport::writeZip(badPath, {{"b.wav", wav}, {"b.cdg", testsupport::blankCdg()}}));
    rig.counter.listChanged();
    EXPECT_EQ(rig.countAll(), std::vector{bad});
    ASSERT_TRUE(bad->duration());
    EXPECT_NEAR(*bad->duration(), 2.0, 0.001);
}
