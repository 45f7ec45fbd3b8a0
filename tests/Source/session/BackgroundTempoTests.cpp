// Every listed song's tempo is found in the background, the loaded one first, one file at a time; a grid
// of the file as it is stays, a changed file or another dance is analysed again, a grid set by hand never
// is, and the session keeps it all under a key older readers pass over.

#include "Source/session/BackgroundTempo.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/PropertyList.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/HeldQueue.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vantle;
using namespace vantle::testing;

namespace {

// An analysis that finds 120 beats per minute in 3/4 (or none in a file named "silence"), and notes
// what it was asked.
struct AnalysisRig {
    testsupport::HeldQueue worker;
    std::vector<std::shared_ptr<PlaylistEntry>> entries;
    std::shared_ptr<PlaylistEntry> current;
    std::map<std::int64_t, Dance> dances;
    // The teacher's table: a dance not in it has its default band.
    std::map<Dance, DanceBand> bands;
    std::vector<std::pair<std::string, DanceBand>> asked;
    std::vector<std::shared_ptr<PlaylistEntry>> told;
    BackgroundTempo background{
        {[this]() -> const std::vector<std::shared_ptr<PlaylistEntry>>& { return entries; },
         [this] { return current; },
         [this](const PlaylistEntry& entry) {
             return dances.contains(entry.id) ? dances[entry.id] : Dance::none;
         },
         [this](Dance dance) { return bands.contains(dance) ? bands[dance] : defaultBand(dance); }},
        [this](const std::string& path, const DanceBand& band,
               const std::atomic<bool>*) -> std::optional<SongTempo> {
            asked.emplace_back(platform::Url::fileURLWithPath(path, false).lastPathComponent(), band);
            if (path.find("silence") != std::string::npos) return std::nullopt;
            SongTempo found;
            found.bpm = 120;
            found.beatsPerBar = 3;
            found.beats = {0.5, 1.0, 1.5, 2.0};
            found.downbeats = {0.5, 2.0};
            found.sure = true;
            return found;
        },
        [this](const std::shared_ptr<PlaylistEntry>& entry) { told.push_back(entry); },
        worker};

    // Runs the analyses one by one and gives the files in the order analysed; two held at once fail.
    std::vector<std::string> analyseAll() {
        std::vector<std::string> order;
        background.update();
        while (worker.held() > 0 && order.size() < 20) {
            EXPECT_EQ(worker.held(), 1u) << "one analysis at a time";
            order.push_back(background.analysing()->_url.lastPathComponent());
            worker.runNext();
            platform::mainQueue().drain();
        }
        return order;
    }
};

std::shared_ptr<PlaylistEntry> wavEntry(const SessionTempFolder& folder, const std::string& name) {
    return PlaylistEntry::make(writeSilentWav(folder.url(name), 1.0));
}

} // namespace

TEST(BackgroundTempo, AnalysesTheLoadedSongFirstThenEachListedOneOnceForItsDance) {
    SessionTempFolder folder;
    auto a = wavEntry(folder, "a.wav"), b = wavEntry(folder, "b.wav"),
         loaded = wavEntry(folder, "loaded.wav"), silence = wavEntry(folder, "silence.wav");
    AnalysisRig rig;
    rig.entries = {a, b, loaded, silence};
    rig.current = loaded;
    rig.dances[b->id] = Dance::waltz;
    EXPECT_EQ(rig.analyseAll(), (std::vector<std::string>{"loaded.wav", "a.wav", "b.wav", "silence.wav"}));
    EXPECT_EQ(rig.asked[2], (std::pair<std::string, DanceBand>{"b.wav", defaultBand(Dance::waltz)}));
    EXPECT_EQ(rig.asked[0].second.beatsPerBar, 0) << "no dance: a band of no meter";
    EXPECT_EQ(rig.told, (std::vector{loaded, a, b}));
    ASSERT_TRUE(b->tempo.tempo);
    EXPECT_EQ(b->tempo.tempo->bpm, 120);
    EXPECT_EQ(b->tempo.analysedFor, Dance::waltz);
    EXPECT_FALSE(silence->tempo.tempo) << "nothing found is shown as unknown";

    // Each once; a song given another dance is analysed again for it.
    EXPECT_TRUE(rig.analyseAll().empty());
    rig.dances[a->id] = Dance::tango;
    rig.background.listChanged();
    EXPECT_EQ(rig.analyseAll(), (std::vector<std::string>{"a.wav"}));
    EXPECT_EQ(a->tempo.analysedFor, Dance::tango);

    // The teacher edits the waltz's band: its song is analysed again by it, though its file is the same.
    const DanceBand edited{.beatsPerBar = 3, .lowBarsPerMinute = 56, .highBarsPerMinute = 60};
    rig.bands[Dance::waltz] = edited;
    rig.background.listChanged();
    EXPECT_EQ(rig.analyseAll(), (std::vector<std::string>{"b.wav"}));
    EXPECT_EQ(rig.asked.back().second, edited);
}

TEST(BackgroundTempo, AGridOfTheFileAsItIsIsKeptAChangedFileIsAnalysedAgainAndAHandSetGridNever) {
    SessionTempFolder folder;
    auto kept = wavEntry(folder, "kept.wav"), changed = wavEntry(folder, "changed.wav"),
         corrected = wavEntry(folder, "corrected.wav");
    AnalysisRig first;
    first.entries = {kept, changed, corrected};
    ASSERT_EQ(first.analyseAll().size(), 3u);

    // Read again from the session in another run: the grids come back with the files' stamps.
    auto reread = [](const std::shared_ptr<PlaylistEntry>& entry) {
        return platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(
                   platform::encodePlistValue(*entry).value())
            .value();
    };
    std::ofstream(changed->_url.path(), std::ios::app) << "more";
    corrected->tempo.tempo->corrected = true;
    corrected->tempo.tempo->bpm = 87;
    std::ofstream(corrected->_url.path(), std::ios::app) << "more";
    AnalysisRig second;
    second.entries = {reread(kept), reread(changed), reread(corrected)};
    second.analyseAll();
    ASSERT_EQ(second.asked.size(), 1u) << "the unchanged file's stamp is looked at, the file not analysed";
    EXPECT_EQ(second.asked[0].first, "changed.wav");
    EXPECT_EQ(second.entries[0]->tempo.tempo, kept->tempo.tempo);
    EXPECT_EQ(second.entries[2]->tempo.tempo->bpm, 87) << "a grid set by hand is the teacher's";

    // Within a run, a file written again is analysed again once its song is looked at again (loaded).
    second.analyseAll();
    EXPECT_EQ(second.asked.size(), 1u) << "each file is looked at once a run";
    std::ofstream(kept->_url.path(), std::ios::app) << "more";
    second.background.recheck(*second.entries[0]);
    second.analyseAll();
    ASSERT_EQ(second.asked.size(), 2u);
    EXPECT_EQ(second.asked[1].first, "kept.wav");

    // Corrected while its analysis ran: what the analysis found is dropped.
    auto racing = wavEntry(folder, "racing.wav");
    AnalysisRig third;
    third.entries = {racing};
    third.background.update();
    racing->tempo.tempo = SongTempo{};
    racing->tempo.tempo->corrected = true;
    third.worker.runNext();
    platform::mainQueue().drain();
    EXPECT_EQ(racing->tempo.tempo->bpm, 0);
    EXPECT_TRUE(third.told.empty());
}

TEST(BackgroundTempo, TheEntryKeepsItsTempoUnderOneKeyThatAReaderWithoutItPassesOver) {
    SessionTempFolder folder;
    auto entry = wavEntry(folder, "song.wav");
    const platform::PlistValue plain = platform::encodePlistValue(*entry).value();
    EXPECT_EQ(plain.find("tempo"), nullptr) << "an entry with no tempo is stored as before";
    entry->tempo.chosenDance = Dance::rumba;
    const platform::PlistValue tree = platform::encodePlistValue(*entry).value();
    ASSERT_NE(tree.find("tempo"), nullptr);
    // Every other key is as before, so a reader that knows none of this reads the entry as it was.
    platform::PlistDictionary withoutTempo = *tree.asDictionary();
    withoutTempo.remove("tempo");
    EXPECT_EQ(platform::PlistValue(withoutTempo), plain);
    // A tempo this reader cannot read is passed over, and the entry kept.
    platform::PlistDictionary damaged = *tree.asDictionary();
    damaged.set("tempo", "allegro");
    auto read = platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(platform::PlistValue(damaged));
    ASSERT_TRUE(read.ok());
    EXPECT_TRUE((*read)->tempo.empty());
    EXPECT_EQ((*read)->_url, entry->_url);
}
