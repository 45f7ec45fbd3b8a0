// The songs' tempo in the main window: the target speed set on load and what the speed then means, the
// teacher's hand on the speed, the entry menu's corrections each one undo step, and the tap key.

#include "Source/mainwindow/TempoWiring.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/tempo/DanceTable.h"
#include "Source/views/DanceTableEditor.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/TextNotifierView.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/Source/mainwindow/RealPartsTestSupport.h"
#include "tests/support/BeatGrids.h"
#include "tests/support/RhythmSignals.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSlider>

#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vantle::testing {

class TempoTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        DanceTable dances;
        dances.set(Dance::waltz, {defaultBand(Dance::waltz), 29.0, "w"});
        platform::UserDefaults::standard().set(DanceTable::defaultsKey, dances.encoded());
        const platform::Url waltz = audioFile("waltz.wav", 60), tango = audioFile("tango.wav", 60),
                            plain = audioFile("plain.wav", 60);
        const platform::Url session = audioFolder.url("Class.vantle");
        writeSession(session, {waltz, tango, plain});
        start();
        view().setFirst(false);
        ASSERT_TRUE(view().loadSession(session));
        // Grids of the files as they are, so that no analysis replaces them.
        seed(entry(0), testsupport::steadyBeatGrid(90, 3, 60), Dance::waltz);
        entry(0)->tags = "w";
        seed(entry(1), testsupport::steadyBeatGrid(128, 4, 60), Dance::tango);
        entry(1)->tempo.chosenDance = Dance::tango;
        seed(entry(2), testsupport::steadyBeatGrid(120, 4, 60), Dance::none);
    }

    static void seed(const std::shared_ptr<PlaylistEntry>& entry, SongTempo tempo, Dance dance) {
        const std::optional<platform::FileStamp> stamp = platform::fileStamp(entry->_url.path());
        ASSERT_TRUE(stamp);
        entry->tempo.tempo = std::move(tempo);
        entry->tempo.fileSize = stamp->size;
        entry->tempo.fileModified = stamp->modified;
        entry->tempo.analysedFor = dance;
    }

    std::string heard() { return view().tempo().heardTempoLabel()->text().toStdString(); }
    std::string column(int row) {
        const PlaylistTableModel& model = view().tableView().playlistModel();
        return model.index(row, PlaylistTableModel::columnIndex(PlaylistColumn::Tempo))
            .data()
            .toString()
            .toStdString();
    }
    void trigger(const char* name) {
        QAction* action = view().findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
};

TEST_F(TempoTest, ASongWithATargetStartsAtItAndTheTeacherCanStillChangeTheSpeed) {
    view().loadEntry(entry(0));
    EXPECT_NEAR(player->rate, 29.0 / 30.0, 1e-6);
    EXPECT_EQ(panel().rateSlider()->value(), 44);
    EXPECT_EQ(heard(), "29.0 MPM target");

    // A target changed in the preferences is kept in the user defaults and plays the loaded song at it.
    std::unique_ptr<QWidget> editor(view().tempo().makeDanceTableEditor(nullptr));
    QTableWidgetItem* waltzTarget = static_cast<DanceTableEditor&>(*editor).item(
        DanceTableEditor::rowOf(Dance::waltz), DanceTableEditor::TargetColumn);
    waltzTarget->setText("28");
    EXPECT_NEAR(player->rate, 28.0 / 30.0, 1e-6);
    EXPECT_EQ(heard(), "28.0 MPM target");
    EXPECT_EQ(DanceTable::decoded(*platform::UserDefaults::standard().object(DanceTable::defaultsKey))
                  .settings(Dance::waltz)
                  .target,
              28.0);
    waltzTarget->setText("29");

    // By hand, for this playing: the speed means what it plays at.
    panel().fasterButtonPressed();
    EXPECT_NEAR(player->rate, 1.0, 1e-6);
    EXPECT_EQ(heard(), "30.0 MPM");

    // A song without a target keeps the speed the teacher set...
    view().loadEntry(entry(1));
    EXPECT_NEAR(player->rate, 1.0, 1e-6);
    EXPECT_EQ(heard(), "32.0 MPM");
    panel().slowerButtonPressed();
    EXPECT_EQ(heard(), "31.3 MPM");
    // ...but not the last song's target: it starts at its own tempo.
    view().loadEntry(entry(0));
    EXPECT_NEAR(player->rate, 29.0 / 30.0, 1e-6);
    view().loadEntry(entry(2));
    EXPECT_NEAR(player->rate, 1.0, 1e-6);
    EXPECT_EQ(panel().rateSlider()->value(), 45);
    EXPECT_EQ(heard(), "120 BPM");

    // A song's own target, in its own unit, goes before its dance's.
    view().tableView().selectRows({2});
    view().tempo().setSongTarget(126);
    EXPECT_NEAR(player->rate, 126.0 / 120.0, 1e-6);
    EXPECT_EQ(heard(), "126 BPM target");
    EXPECT_EQ(entry(2)->tempo.targetBeatsPerMinute, 126.0);
    playlist().undoer.undo();
    EXPECT_FALSE(entry(2)->tempo.targetBeatsPerMinute);
}

// A target set on songs of different dances is in each song's own unit; one the speed cannot reach plays
// as near as it goes and is not called the target.
TEST_F(TempoTest, ATargetIsInEachSongsUnitAndOneOutOfReachIsNotCalledTheTarget) {
    view().tableView().selectRows({0, 1, 2});
    view().tempo().setSongTarget(30);
    EXPECT_EQ(entry(0)->tempo.targetBeatsPerMinute, 90.0) << "30 bars of three beats";
    EXPECT_EQ(entry(1)->tempo.targetBeatsPerMinute, 120.0) << "30 bars of four beats";
    EXPECT_EQ(entry(2)->tempo.targetBeatsPerMinute, 30.0) << "30 beats: no dance";

    view().loadEntry(entry(1));
    EXPECT_NEAR(player->rate, 120.0 / 128.0, 1e-6);
    EXPECT_EQ(heard(), "30.0 MPM target");
    view().tableView().selectRows({1});
    view().tempo().setSongTarget(90);
    EXPECT_LT(player->rate, 90.0 / 32.0) << "as fast as the speed goes";
    EXPECT_GT(player->rate, 1.0);
    EXPECT_EQ(heard().find("target"), std::string::npos) << heard();
}

TEST_F(TempoTest, EachCorrectionInTheEntryMenuIsOneUndoStep) {
    struct Case {
        const char* action;
        const char* shown;
        const char* undoTitle;
    };
    const Case cases[] = {
        {"tempoHalve", "15.0 MPM", "Undo halve tempo"},
        {"tempoDouble", "60.0 MPM", "Undo double tempo"},
        {"tempoTwoThirds", "20.0 MPM", "Undo tempo \u00d7 2/3"},
        {"tempoThreeHalves", "45.0 MPM", "Undo tempo \u00d7 3/2"},
        {"barLineLater", "30.0 MPM", "Undo bar line later"},
        {"barLineEarlier", "30.0 MPM", "Undo bar line earlier"},
        {"dance-none", "90 BPM", "Undo choose dance"},
    };
    view().tableView().selectRows({0});
    const EntryTempo before = entry(0)->tempo;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const std::size_t steps = playlist().undoer.undoStack().size();
        playlist().dirty = false;
        trigger(c.action);
        EXPECT_EQ(column(0), c.shown);
        EXPECT_EQ(playlist().undoer.undoStack().size(), steps + 1);
        EXPECT_EQ(playlist().undoer.undoStack().back()->undoName(), c.undoTitle);
        EXPECT_TRUE(playlist().dirty);
        const EntryTempo after = entry(0)->tempo;
        if (c.action != std::string("dance-none")) {
            EXPECT_TRUE(after.tempo->corrected) << "no analysis replaces it";
        }
        playlist().undoer.undo();
        EXPECT_EQ(column(0), "30.0 MPM");
        EXPECT_EQ(entry(0)->tempo.tempo, before.tempo);
        EXPECT_EQ(entry(0)->tempo.chosenDance, before.chosenDance);
        playlist().undoer.redo();
        EXPECT_EQ(entry(0)->tempo.tempo, after.tempo);
        playlist().undoer.undo();
    }
    // The bar lines a beat later start on the second beat.
    trigger("barLineLater");
    EXPECT_DOUBLE_EQ(entry(0)->tempo.tempo->downbeats.front(), before.tempo->beats[1]);
}

TEST_F(TempoTest, EightTapsOfTheKeyWhilePlayingSetTheTempoAsOneUndoStep) {
    view().loadEntry(entry(2));
    focus();
    // A tap with the music stopped counts nothing, and says so.
    type(Qt::Key_T, QStringLiteral("t"));
    std::vector<std::string> shown;
    for (TextNotifierView* notice :
         window->findChild<QWidget*>("noticeArea")->findChildren<TextNotifierView*>())
        if (notice->isVisible()) shown.push_back(text(notice->text()));
    EXPECT_EQ(shown, std::vector<std::string>{"Tap the beat while the song plays"});
    view().transport().playPressed();
    ASSERT_TRUE(player->isPlaying());
    const std::size_t steps = playlist().undoer.undoStack().size();
    const SongTempo before = *entry(2)->tempo.tempo;
    // A teacher tapping at 100 beats per minute, the music running on between the taps.
    for (int i = 0; i < 9; ++i) {
        type(Qt::Key_T, QStringLiteral("t"));
        player->advance(0.6);
    }
    EXPECT_EQ(entry(2)->tempo.tempo->bpm, 120) << "nothing changes before the run of taps ends";
    view().tempo().finishTaps();
    ASSERT_TRUE(entry(2)->tempo.tempo);
    EXPECT_NEAR(entry(2)->tempo.tempo->bpm, 100, 0.01);
    EXPECT_TRUE(entry(2)->tempo.tempo->corrected);
    EXPECT_EQ(column(2), "100 BPM");
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps + 1);
    playlist().undoer.undo();
    EXPECT_EQ(*entry(2)->tempo.tempo, before);

    // Fewer than eight set nothing.
    for (int i = 0; i < 5; ++i) {
        type(Qt::Key_T, QStringLiteral("t"));
        player->advance(0.6);
    }
    view().tempo().finishTaps();
    EXPECT_EQ(*entry(2)->tempo.tempo, before);
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
}

// The program's own analysis, on its own worker, of a samba whose beat is at 102 a minute with its
// eighths sounding too: the band decides which of the two levels is the beat.
class TempoBandTest : public RealPartsTest {
protected:
    std::optional<SongTempo> analysedSamba(const DanceTable& dances) {
        platform::UserDefaults::standard().set(DanceTable::defaultsKey, dances.encoded());
        const testsupport::RhythmPiece piece =
            testsupport::rhythmPiece({.bpm = 102, .beatsPerBar = 2, .bars = 16});
        const std::string path = audioFolder.file("samba.wav");
        EXPECT_TRUE(testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {piece.samples},
                                                  int(piece.rate)));
        const platform::Url session = audioFolder.url("Samba.vantle");
        writeSession(session, {platform::Url::fileURLWithPath(path, false)});
        start();
        view().setFirst(false);
        EXPECT_TRUE(view().loadSession(session));
        entry(0)->tempo.chosenDance = Dance::samba;
        // A generous deadline: the analysis runs at idle priority on a busy machine.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!entry(0)->tempo.tempo && std::chrono::steady_clock::now() < deadline) {
            view().tempo().tick();
            QApplication::processEvents();
            platform::mainQueue().drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return entry(0)->tempo.tempo;
    }
};

TEST_F(TempoBandTest, TheBandTheTeacherEditedPicksTheLevel) {
    struct Case {
        const char* name;
        DanceBand band;
        double bpm;
    };
    const Case cases[] = {
        {"the default band", defaultBand(Dance::samba), 102},
        // A teacher who counts this samba's eighths as its beat.
        {"a band of twice the bars",
         {.beatsPerBar = 2, .lowBarsPerMinute = 100, .highBarsPerMinute = 104},
         204},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DanceTable dances;
        dances.set(Dance::samba, {c.band, std::nullopt, {}});
        const std::optional<SongTempo> found = analysedSamba(dances);
        ASSERT_TRUE(found);
        EXPECT_NEAR(found->bpm, c.bpm, c.bpm * 0.02);
        stop();
    }
}

// A window that closes while a song is analysed does not wait for the analysis: nobody wants it any more.
TEST_F(TempoTest, ClosingWaitsForNoAnalysisUnderWay) {
    auto songs = std::make_shared<Playlist>();
    songs->allEntries.push_back(PlaylistEntry::make(audioFile("rumba.wav", 60)));
    ASSERT_TRUE(songs->allEntries.front());
    QMenu menu;
    std::atomic<bool> started{false}, letGo{false}, ended{false};
    auto wiring = std::make_unique<TempoWiring>(TempoWiring::Context{
        &view(),
        &view().tableView(),
        nullptr,
        &menu,
        player,
        [songs] { return songs; },
        {},
        nullptr,
        [&](const std::string&, const DanceBand&, const std::atomic<bool>*) {
            started = true;
            // An analysis that does not look at its cancel flag for a long stretch; only a close that waits
            // for it reaches the deadline.
            (void)testsupport::waitUntil([&] { return letGo.load(); }, std::chrono::seconds(10));
            ended = true;
            return std::optional<SongTempo>();
        },
        nullptr});
    wiring->tick();
    ASSERT_TRUE(testsupport::waitUntil([&] { return started.load(); }));
    wiring.reset();
    EXPECT_FALSE(ended) << "the close waited for the analysis under way";
    letGo = true;
    ASSERT_TRUE(testsupport::waitUntil([&] { return ended.load(); }));
}

} // namespace vantle::testing
