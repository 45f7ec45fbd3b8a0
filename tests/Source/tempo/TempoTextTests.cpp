// What the teacher reads of a tempo (bars per minute with a dance, beats per minute without, "?" while
// unknown or unsure), the list's order by it, and the speed that plays a song at its target.

#include "Source/tempo/DanceTable.h"
#include "Source/tempo/EntryTempo.h"
#include "Source/tempo/TempoText.h"
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

using namespace vantle;

namespace {

SongTempo sureTempo(double bpm, int meter) {
    SongTempo tempo;
    tempo.bpm = bpm;
    tempo.beatsPerBar = meter;
    tempo.sure = true;
    return tempo;
}

} // namespace

TEST(TempoText, ShowsBarsPerMinuteForADanceBeatsPerMinuteOtherwiseAndAQuestionMarkWhenUnsure) {
    SongTempo unsure = sureTempo(88.2, 3);
    unsure.sure = false;
    struct Case {
        std::optional<SongTempo> tempo;
        Dance dance;
        const char* text;
    };
    const Case cases[] = {
        {sureTempo(88.2, 3), Dance::waltz, "29.4 MPM"},
        {sureTempo(127.4, 4), Dance::none, "127 BPM"},
        {sureTempo(128, 4), Dance::squareDance, "32.0 MPM"},
        {unsure, Dance::waltz, "?"},
        {std::nullopt, Dance::none, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tempoText(shownTempo(c.tempo, c.dance), c.dance), c.text);
    }
}

TEST(TempoText, TheColumnSortsSlowestFirstAndTheUnknownLast) {
    std::vector<std::optional<double>> shown{std::nullopt, 31.0, 127.0, std::nullopt, 28.5};
    std::stable_sort(shown.begin(), shown.end(), tempoColumnOrder);
    EXPECT_EQ(shown, (std::vector<std::optional<double>>{28.5, 31.0, 127.0, std::nullopt, std::nullopt}));
}

TEST(TempoText, TheTargetSpeedPlaysASongAtItsOwnTargetElseItsDances) {
    DanceTable table;
    table.set(Dance::waltz, {defaultBand(Dance::waltz), 29.0, ""});
    EntryTempo waltz;
    waltz.tempo = sureTempo(90, 3); // 30 bars per minute
    EXPECT_NEAR(*targetRate(waltz, Dance::waltz, table, 0.5, 2), 29.0 / 30.0, 1e-12);
    waltz.targetBeatsPerMinute = 84; // 28 bars per minute: the song's own goes first
    EXPECT_NEAR(*targetRate(waltz, Dance::waltz, table, 0.5, 2), 28.0 / 30.0, 1e-12);
    EXPECT_NEAR(*targetRate(waltz, Dance::none, table, 0.5, 2), 84.0 / 90.0, 1e-12)
        << "without a dance, in BPM";
    EXPECT_EQ(*targetRate(waltz, Dance::none, table, 0.95, 2), 0.95)
        << "held within the speed control's range";

    EntryTempo tango;
    tango.tempo = sureTempo(128, 4);
    EXPECT_FALSE(targetRate(tango, Dance::tango, table, 0.5, 2)) << "no target: the speed is the teacher's";
    waltz.tempo->sure = false;
    EXPECT_FALSE(targetRate(waltz, Dance::waltz, table, 0.5, 2)) << "an unsure tempo sets no speed";
}

TEST(EntryTempo, RoundTripsItsKeysAndDropsWhatDoesNotRead) {
    EntryTempo stored;
    stored.chosenDance = Dance::vienneseWaltz;
    stored.targetBeatsPerMinute = 174;
    stored.tempo = sureTempo(176, 3);
    // The analysis may carry a grid back a moment before the file's start.
    stored.tempo->beats = {-0.002197265625, 0.5, 0.84375, 1.1875, 1.53125};
    stored.tempo->downbeats = {-0.002197265625, 1.1875};
    stored.tempo->corrected = true;
    stored.fileSize = 1234567;
    stored.fileModified = 1700000000123456789;
    stored.analysedFor = Dance::vienneseWaltz;
    const platform::PlistValue tree = platform::encodePlistValue(stored).value();
    const EntryTempo read = platform::decodePlistValue<EntryTempo>(tree).value();
    EXPECT_EQ(read.chosenDance, stored.chosenDance);
    EXPECT_EQ(read.targetBeatsPerMinute, stored.targetBeatsPerMinute);
    EXPECT_EQ(read.tempo, stored.tempo);
    EXPECT_TRUE(read.analysedAt(1234567, 1700000000123456789));
    EXPECT_EQ(read.analysedFor, Dance::vienneseWaltz);
    EXPECT_TRUE(platform::encodePlistValue(EntryTempo{}).value().asDictionary()->empty());

    // A grid that runs backwards, or of data that is not whole times, is dropped; the rest is kept.
    auto damaged = [&](const char* key, platform::PlistValue value) {
        platform::PlistDictionary dictionary = *tree.asDictionary();
        dictionary.set(key, std::move(value));
        return platform::decodePlistValue<EntryTempo>(platform::PlistValue(dictionary)).value();
    };
    platform::Bytes backwards = *tree.find("beats")->asData();
    std::swap_ranges(backwards.begin(), backwards.begin() + 4, backwards.begin() + 4);
    EXPECT_FALSE(damaged("beats", backwards).tempo);
    EXPECT_FALSE(damaged("downbeats", platform::Bytes{1, 2, 3}).tempo);
    EXPECT_FALSE(damaged("bpm", "fast").tempo);
    EXPECT_EQ(damaged("bpm", "fast").chosenDance, Dance::vienneseWaltz);
    EXPECT_FALSE(damaged("dance", "hula").chosenDance);
    EXPECT_FALSE(damaged("targetBPM", -3.0).targetBeatsPerMinute);
    EXPECT_EQ(damaged("beatsPerBar", 9).tempo->beatsPerBar, 4);
}
