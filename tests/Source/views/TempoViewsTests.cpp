// The tempo's views: the Tempo column's text and order, the counter following the heard time at any
// speed and after a seek, and the dance table's editor.

#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/BeatCounterView.h"
#include "Source/views/DanceTableEditor.h"
#include "Source/views/PlaylistTableModel.h"

#include "tests/Source/views/ViewsTestSupport.h"
#include "tests/support/BeatGrids.h"
#include "tests/support/Clocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace vantle::testing {
namespace {

SongTempo steadyTempo(double bpm, int meter, double seconds, bool sure = true) {
    return testsupport::steadyBeatGrid(bpm, meter, seconds, 0.2, 0, sure);
}

} // namespace

TEST_F(PlaylistTableTest, TheTempoColumnTellsEachSongInItsDancesUnitAndSortsByIt) {
    auto entries =
        setEntries({"/m/waltz.wav", "/m/unknown.wav", "/m/patter.wav", "/m/tagged.wav", "/m/unsure.wav"});
    entries[0]->tempo.chosenDance = Dance::waltz;
    entries[0]->tempo.tempo = steadyTempo(88.2, 3, 10);
    entries[2]->tempo.tempo = steadyTempo(127.6, 4, 10);
    entries[3]->tags = "\u2605t";
    entries[3]->tempo.tempo = steadyTempo(124, 4, 10);
    entries[4]->tempo.tempo = steadyTempo(100, 4, 10, false);
    DanceTable dances;
    dances.set(Dance::tango, {defaultBand(Dance::tango), std::nullopt, "t"});
    table->playlistModel().setDanceTable(dances);
    const std::vector<std::string> texts{cell(0, Column::Tempo), cell(1, Column::Tempo),
                                         cell(2, Column::Tempo), cell(3, Column::Tempo),
                                         cell(4, Column::Tempo)};
    EXPECT_EQ(texts, (std::vector<std::string>{"29.4 MPM", "?", "128 BPM", "31.0 MPM", "?"}));
    EXPECT_EQ(table->playlistModel()
                  .headerData(PlaylistTableModel::columnIndex(Column::Tempo), Qt::Horizontal)
                  .toString(),
              "Tempo");

    table->clickColumn(PlaylistTableModel::identifier(Column::Tempo));
    EXPECT_EQ(order(), (std::vector<std::string>{"waltz.wav", "tagged.wav", "patter.wav", "unknown.wav",
                                                 "unsure.wav"}));
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(),
              PlaylistTableModel::columnIndex(Column::Tempo));
    EXPECT_EQ(undoItem.title, "Undo sort");
    // Shown after the length, where a teacher looks for it.
    EXPECT_EQ(table->horizontalHeader()->visualIndex(PlaylistTableModel::columnIndex(Column::Tempo)),
              table->horizontalHeader()->visualIndex(PlaylistTableModel::columnIndex(Column::Duration)) + 1);
}

// The window's table goes before the table view: a reload after it must not read what is gone. The table
// that went is replaced in its place by one where the tag names no dance, so a model that kept the
// address would show that one.
TEST_F(PlaylistTableTest, TheTempoColumnKeepsItsDanceTableAfterTheGivenOneIsGone) {
    auto entries = setEntries({"/m/tagged.wav"});
    entries[0]->tags = "\u2605t";
    entries[0]->tempo.tempo = steadyTempo(124, 4, 10);
    std::optional<DanceTable> given(std::in_place);
    given->set(Dance::tango, {defaultBand(Dance::tango), std::nullopt, "t"});
    table->playlistModel().setDanceTable(*given);
    given.emplace();
    table->reloadTable();
    EXPECT_EQ(cell(0, Column::Tempo), "31.0 MPM");
}

// A song playing from `start` at `speed` since the clock read `since`: what the player reports as heard.
struct HeardSong {
    testsupport::FakeClock& clock;
    double start = 0;
    double speed = 1;
    double since = 0;
    bool playing = true;
    double heard() const {
        return start + (clock.now().timeIntervalSinceReferenceDate - since) * (playing ? speed : 0);
    }
    void seek(double seconds) {
        start = seconds;
        since = clock.now().timeIntervalSinceReferenceDate;
    }
};

TEST(BeatCounterView, FollowsTheHeardTimeWithin20MillisecondsAtAnySpeedAndAfterASeek) {
    testsupport::FakeClock clock;
    HeardSong song{clock};
    const SongTempo tempo = steadyTempo(120, 4, 120);
    BeatCounterView view(
        {[&] { return song.heard(); }, [&] { return song.playing; }, [&] { return &tempo; }});
    view.update();
    EXPECT_TRUE(view.running()) << "frames run while the song plays";
    ASSERT_LE(BeatCounterView::frameMilliseconds, 10);

    // Each frame of the view's timer shows the position at the heard time; a beat appears no later than
    // one frame after it is heard, which at twice the speed is 20 ms of the song.
    for (double speed : {1.0, 0.6, 2.0}) {
        SCOPED_TRACE(speed);
        song.speed = speed;
        song.seek(10.0);
        double worstLag = 0;
        clock.advance(BeatCounterView::frameMilliseconds / 1000.0);
        view.showFrame();
        std::optional<BeatPosition> last = view.shownPosition();
        for (int frame = 0; frame < 500; ++frame) {
            clock.advance(BeatCounterView::frameMilliseconds / 1000.0);
            view.showFrame();
            const double heard = song.heard();
            EXPECT_EQ(view.shownPosition(), beatPositionAt(tempo, heard));
            if (view.shownPosition() != last) {
                const auto beat = std::upper_bound(tempo.beats.begin(), tempo.beats.end(), heard) - 1;
                worstLag = std::max(worstLag, heard - *beat);
                last = view.shownPosition();
            }
        }
        EXPECT_LE(worstLag, 0.020 + 1e-9);
    }

    // A seek shows its bar at the next frame, not at the next beat.
    song.seek(60.2 + 0.01);
    clock.advance(BeatCounterView::frameMilliseconds / 1000.0);
    view.showFrame();
    EXPECT_EQ(view.barBeat().toStdString(), "31.1");
    EXPECT_EQ(view.phrase().toStdString(), "1/8  57/64");

    song.playing = false;
    view.update();
    EXPECT_FALSE(view.running()) << "stopped, the counter rests";
    EXPECT_EQ(view.barBeat().toStdString(), "31.1");
}

TEST(BeatCounterView, ShowsNothingForASongWithoutAGridOrWithAnUnsureOne) {
    testsupport::FakeClock clock;
    HeardSong song{clock};
    SongTempo unsure = steadyTempo(120, 4, 60, false);
    const SongTempo* shown = nullptr;
    BeatCounterView view({[&] { return song.heard(); }, [&] { return song.playing; }, [&] { return shown; }});
    view.showFrame();
    EXPECT_EQ(view.barBeat().toStdString(), "\u2013");
    EXPECT_EQ(view.phrase().toStdString(), "");
    shown = &unsure;
    view.showFrame();
    EXPECT_EQ(view.barBeat().toStdString(), "\u2013")
        << "a grid the analysis is unsure of is not counted to a room";
}

TEST(DanceTableEditor, EachEditIsCheckedAndShownAsKept) {
    std::vector<DanceTable> told;
    DanceTableEditor editor(DanceTable(), [&](const DanceTable& table) { told.push_back(table); });
    ASSERT_EQ(editor.rowCount(), 13);
    const int waltz = DanceTableEditor::rowOf(Dance::waltz), tango = DanceTableEditor::rowOf(Dance::tango);
    EXPECT_EQ(editor.item(waltz, DanceTableEditor::DanceColumn)->text(), "waltz");
    EXPECT_EQ(editor.item(waltz, DanceTableEditor::LowColumn)->text(), "28");

    editor.item(waltz, DanceTableEditor::TargetColumn)->setText("29");
    editor.item(waltz, DanceTableEditor::TagColumn)->setText("w");
    editor.item(waltz, DanceTableEditor::MeterColumn)->setText("7");
    editor.item(tango, DanceTableEditor::TagColumn)->setText("w");
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told.back().settings(Dance::waltz).target, 29.0);
    EXPECT_EQ(editor.item(waltz, DanceTableEditor::MeterColumn)->text(), "3") << "a meter of 7 is not kept";
    EXPECT_EQ(editor.item(waltz, DanceTableEditor::TagColumn)->text(), "") << "the tag went to the tango";
    EXPECT_EQ(told.back().danceForTags("w"), Dance::tango);
    editor.item(waltz, DanceTableEditor::TargetColumn)->setText("");
    EXPECT_FALSE(told.back().settings(Dance::waltz).target) << "emptied: no target";
}

} // namespace vantle::testing
