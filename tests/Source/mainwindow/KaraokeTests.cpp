// The karaoke panel in the main window: lit at the heard time, what it says without lyrics, nothing
// read outside the karaoke modes, the timing mode's keys and file, and the singers' screen between
// songs.

#include "Source/karaoke/LyricsTiming.h"
#include "Source/mainwindow/KaraokeView.h"
#include "Source/mainwindow/SingersScreen.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/CdgWriter.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/LyricsFiles.h"
#include "tests/support/SongArchives.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

namespace vantle::testing {
namespace {

constexpr const char* songLrc = "[ti:Test]\n"
                                "[00:05.00]First line sung\n"
                                "[00:09.50]Second line sung\n"
                                "[00:14.00]Third line\n";

class KaraokeTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        configureEnvironment = [this](MainViewEnvironment& environment) {
            environment.pasteboard = &pasteboard;
        };
    }

    KaraokeView& panel() { return *qobject_cast<KaraokeView*>(view().karaokeView()); }

    // A 60 s song (with its lyrics when given), loaded, in the mode.
    std::string loadSong(const std::string& name, const char* lrc, PlayerMode mode) {
        const platform::Url song = audioFile(name + ".wav", 60);
        if (lrc) {
            EXPECT_TRUE(testsupport::writeBytes(audioFolder.file(name + ".lrc"), lrc));
        }
        view().insertEntries({song});
        view().loadEntryAtRow(static_cast<std::ptrdiff_t>(playlist().allEntries.size() - 1));
        setMode(mode);
        return song.path();
    }

    // The mode set, and the timing's read or save off the main thread come back.
    void setMode(PlayerMode mode) {
        player->setMode(mode);
        view().updateForMode();
        EXPECT_TRUE(timingSettled());
    }

    // Lets the reads off the main thread come in.
    bool waitFor(const std::function<bool()>& done) { return platform::mainQueue().drainUntil(done, 20.0); }
    bool timingSettled() {
        return waitFor([&] { return !panel().timingBusy(); });
    }

    // "shared" with two lines, timed from its first at 2 s with another song after it in the list, and
    // its file then written elsewhere as `outside`; its path.
    std::string stampedThenChangedOutside(const std::string& outside) {
        const platform::Url other = audioFile("other.wav", 30);
        loadSong("shared", "Line one\nLine two\n", PlayerMode::karaokePrepare);
        view().insertEntries({other});
        hearAt(2.0);
        QTest::keyClick(&view().tableView(), Qt::Key_Return);
        const std::string lrc = audioFolder.file("shared.lrc");
        EXPECT_TRUE(testsupport::writeBytes(lrc, outside));
        return lrc;
    }

    QString notice() {
        auto* notices = view().findChild<QLabel*>("notices");
        return notices ? notices->text() : QString();
    }

    // The player heard at `seconds`, as the clock shows it, and one frame drawn.
    void hearAt(double seconds, bool playing = true) {
        if (playing && !player->fileRunning) view().transport().playPressed();
        player->fileTime = seconds;
        if (!playing) player->desired = seconds;
        panel().advanceFrame();
    }

    testsupport::FakePasteboard pasteboard;
};

TEST_F(KaraokeTest, TheLitPositionFollowsTheHeardTime) {
    start();
    loadSong("song", songLrc, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().lyrics() != nullptr; }));
    EXPECT_TRUE(panel().isVisible());
    // The lines run 5 → 9.5 → 14: 20 ms of a 4.5 s line are 0.0044 of it.
    const struct {
        double heard;
        int line;
        double fraction;
        int dots;
    } moments[] = {
        {1.0, -1, 0.0, 0},  {2.5, -1, 0.0, 3},        {4.5, -1, 0.0, 1},
        {5.0, 0, 0.0, 0},   {7.25, 0, 0.5, 0},        {9.49, 0, 0.998, 0},
        {11.75, 1, 0.5, 0}, {14.0 + 0.02, 2, 0.0, 0}, {7.25, 0, 0.5, 0}, // a seek back
    };
    for (const auto& moment : moments) {
        hearAt(moment.heard);
        EXPECT_EQ(panel().shownMoment().line, moment.line) << "at " << moment.heard;
        if (moment.line >= 0 && moment.line < 2) {
            EXPECT_NEAR(panel().shownMoment().litFraction, moment.fraction, 0.0045) << "at " << moment.heard;
        }
        EXPECT_EQ(panel().shownMoment().countdownDots, moment.dots) << "at " << moment.heard;
    }
    // Paused and sought: the position the clock shows, not the file player's last start.
    view().transport().pausePressed();
    player->setCurrentTime(11.75);
    panel().advanceFrame();
    EXPECT_EQ(panel().shownMoment().line, 1);
    EXPECT_NEAR(panel().shownMoment().litFraction, 0.5, 0.0045);
    // Redrawn at the screen's refresh while shown, not at the display's tick.
    EXPECT_GT(panel().frameInterval(), 0);
    EXPECT_LT(panel().frameInterval(), 50);
    setMode(PlayerMode::dance);
    EXPECT_EQ(panel().frameInterval(), 0);
}

TEST_F(KaraokeTest, ASongWithoutLyricsSaysSoAndNamesTheFilesLookedFor) {
    start();
    loadSong("plain", nullptr, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().shownMessage().contains("Looked for:"); }));
    const QStringList message = panel().shownMessage();
    EXPECT_EQ(message.first(), "No lyrics for this song");
    EXPECT_TRUE(message.contains("plain.lrc")) << message.join('|').toStdString();
    EXPECT_TRUE(message.contains("plain.t.txt")) << message.join('|').toStdString();
    EXPECT_EQ(panel().lyrics(), nullptr);
}

// Lines not yet timed are lyrics to time, not a song without lyrics.
TEST_F(KaraokeTest, LyricsWithoutTimesSayHowToTimeThem) {
    start();
    loadSong("untimed", "[ti:Untimed]\nFirst line to sing\nSecond line\n", PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().shownMessage().contains("untimed.lrc"); }))
        << panel().shownMessage().join('|').toStdString();
    const QStringList message = panel().shownMessage();
    EXPECT_EQ(message.first(), "The lyrics of this song have no times yet");
    EXPECT_TRUE(message.last().contains("Press x"));
}

TEST_F(KaraokeTest, NothingIsReadOrShownOutsideTheKaraokeModes) {
    start();
    loadSong("disc", songLrc, PlayerMode::dance);
    EXPECT_TRUE(testsupport::writeBytes(audioFolder.file("disc.cdg"), [] {
        const std::vector<std::uint8_t> bytes = testsupport::cdg::karaokeSong(20);
        return std::string(bytes.begin(), bytes.end());
    }()));
    for (PlayerMode mode : {PlayerMode::dance, PlayerMode::prepare}) {
        setMode(mode);
        platform::mainQueue().drain();
        EXPECT_FALSE(panel().isVisible());
        EXPECT_FALSE(panel().readsLyrics());
        EXPECT_FALSE(panel().hasPicture());
    }
    // In karaoke the disc's picture wins over the text.
    setMode(PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().hasPicture(); }));
    hearAt(3.0);
    EXPECT_TRUE(panel().showingPicture());
    setMode(PlayerMode::dance);
    EXPECT_FALSE(panel().hasPicture());
    EXPECT_EQ(panel().lyrics(), nullptr);
}

// A disc's picture of one colour all over.
std::string plainCdg(std::uint16_t rgb12) {
    testsupport::cdg::CdgWriter writer;
    writer.append(testsupport::cdg::loadColours(false, {0, rgb12, 0, 0, 0, 0, 0, 0}));
    writer.append(testsupport::cdg::memoryPreset(1));
    writer.append(testsupport::cdg::borderPreset(1));
    writer.padTo(300 * 5);
    return std::string(writer.bytes().begin(), writer.bytes().end());
}

TEST_F(KaraokeTest, APictureChangedOnDiskIsReadAgain) {
    start();
    const std::string cdg = audioFolder.file("disc.cdg");
    ASSERT_TRUE(testsupport::writeBytes(cdg, plainCdg(0xF00)));
    loadSong("disc", nullptr, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().hasPicture(); }));
    auto centre = [&] {
        hearAt(2.0);
        QWidget* canvas = panel().findChild<QWidget*>("karaokeCanvas");
        return canvas->grab().toImage().pixelColor(canvas->rect().center());
    };
    EXPECT_EQ(centre(), QColor(255, 0, 0));
    panel().lookForChanges();
    EXPECT_TRUE(panel().hasPicture()) << "unchanged: kept";
    ASSERT_TRUE(testsupport::writeBytes(cdg, plainCdg(0x0F0) + std::string(24, '\0')));
    panel().lookForChanges();
    ASSERT_TRUE(waitFor([&] { return centre() == QColor(0, 255, 0); }));
}

// A position far into large graphics (a seek, or a position restored) never holds the window while it
// is decoded: the picture of that time comes from a worker, exact. The graphics are made of scrolls,
// the costliest packets, and turn green only at 1,000 s.
TEST_F(KaraokeTest, AFarPositionInLargeGraphicsComesFromAWorker) {
    start();
    namespace cdg = testsupport::cdg;
    cdg::CdgWriter writer;
    writer.append(cdg::loadColours(false, {0, 0xF00, 0, 0, 0, 0, 0, 0}));
    writer.append(cdg::memoryPreset(1));
    writer.append(cdg::borderPreset(1));
    const std::size_t turn = 1000 * 300;
    while (writer.packetCount() < turn)
        writer.append(cdg::scroll(true, 1, 1, 0, 2, 0));
    writer.append(cdg::loadColours(false, {0, 0x0F0, 0, 0, 0, 0, 0, 0}));
    writer.padTo(turn + 300 * 60);
    ASSERT_TRUE(writer.write(audioFolder.file("far.cdg")));
    loadSong("far", nullptr, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().hasPicture(); }));
    QWidget* canvas = panel().findChild<QWidget*>("karaokeCanvas");
    auto centre = [&] { return canvas->grab().toImage().pixelColor(canvas->rect().center()); };
    hearAt(2.0);
    EXPECT_EQ(centre(), QColor(255, 0, 0));
    // Far on (the song playing), the frames come from the panel's own timer, as in the program.
    player->fileTime = 1000.5;
    ASSERT_GT(panel().frameInterval(), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            platform::mainQueue().drain();
            return centre() == QColor(0, 255, 0);
        },
        20000));
    hearAt(2.0);
    EXPECT_EQ(centre(), QColor(255, 0, 0)) << "and back";
}

// Graphics put beside the song while it is shown come up; graphics taken away take the picture with
// them.
TEST_F(KaraokeTest, GraphicsPutBesideOrTakenAwayAreSeen) {
    start();
    loadSong("late", songLrc, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().lyrics() != nullptr; }));
    EXPECT_FALSE(panel().hasPicture());
    const std::string cdg = audioFolder.file("late.cdg");
    struct Step {
        const char* what;
        bool present;
    };
    for (const Step& step : {Step{"put beside", true}, Step{"taken away", false}}) {
        if (step.present) {
            ASSERT_TRUE(testsupport::writeBytes(cdg, plainCdg(0x00F)));
        } else
            ASSERT_TRUE(std::filesystem::remove(cdg));
        EXPECT_TRUE(waitFor([&] {
            panel().lookForChanges();
            return panel().hasPicture() == step.present;
        })) << step.what;
    }
    hearAt(6.0);
    EXPECT_EQ(panel().shownMoment().line, 0) << "the lyrics again without the picture";
}

TEST_F(KaraokeTest, ThePlaylistStaysInReachBesideThePanel) {
    start();
    loadSong("one", songLrc, PlayerMode::karaoke);
    const platform::Url other = audioFile("two.wav", 30);
    view().insertEntries({other});
    auto* splitter = view().findChild<QSplitter*>("filesSplitter");
    ASSERT_NE(splitter, nullptr);
    EXPECT_TRUE(view().tableView().isVisible());
    EXPECT_FALSE(view().tableView().geometry().intersects(panel().geometry()));
    // A double-click on the other row loads it, as in the other modes.
    PlaylistTableView& table = view().tableView();
    const QRect row = table.visualRect(table.model()->index(1, 0));
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    EXPECT_EQ(player->entry()->_url, other);
}

TEST_F(KaraokeTest, TheTimingModeStampsTakesBackAndSaves) {
    start();
    const platform::Url second = audioFile("other.wav", 30);
    const std::string path =
        loadSong("timed", "[00:01.00]Kept line\nUntimed one\nUntimed two\n", PlayerMode::karaoke);
    view().insertEntries({second});
    view().tableView().selectRows({0});
    setMode(PlayerMode::karaokePrepare);
    const std::vector<std::shared_ptr<PlaylistEntry>> order = playlist().allEntries;
    ASSERT_EQ(panel().timingList().count(), 3);
    EXPECT_TRUE(panel().timingList().item(1)->text().startsWith("▶")) << "the next line without a time";

    hearAt(3.25);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    EXPECT_EQ(playlist().allEntries, order) << "Return stamps here, it does not promote";
    EXPECT_TRUE(panel().timingList().item(1)->text().contains("00:03.25"));
    hearAt(4.5);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    QTest::keyClick(&view().tableView(), Qt::Key_Backspace);
    EXPECT_TRUE(panel().timingList().item(2)->text().startsWith("▶")) << "the last stamp taken back";
    EXPECT_EQ(playlist().allEntries.size(), 2u) << "Backspace removed no entry";
    hearAt(6.0);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);

    // Leaving the mode writes the file with every line kept.
    setMode(PlayerMode::karaoke);
    const std::string lrc = audioFolder.file("timed.lrc");
    EXPECT_EQ(testsupport::readBytes(lrc),
              "[00:01.00]Kept line\n[00:03.25]Untimed one\n[00:06.00]Untimed two\n");
    // And sung at once with the new times.
    ASSERT_TRUE(waitFor([&] { return panel().lyrics() && panel().lyrics()->lines.size() == 3; }));
    hearAt(4.0);
    EXPECT_EQ(panel().shownMoment().line, 1);
    EXPECT_NE(view().entryName().text().indexOf("💬"), -1) << "the title line marks a song with lyrics";
    (void)path;
}

// The title line's mark agrees with the lyrics reader, in every mode: an LRC file whose extension is in
// any case, and no folder named like one.
TEST_F(KaraokeTest, TheLyricsMarkFindsTheLrcFileAsTheReaderDoes) {
    start();
    struct Case {
        const char* beside;
        bool folder;
        PlayerMode mode;
        bool marked;
    };
    const Case cases[] = {
        {"lower.lrc", false, PlayerMode::dance, true},   {"mixed.Lrc", false, PlayerMode::dance, true},
        {"upper.LRC", false, PlayerMode::prepare, true}, {"odd.lRc", false, PlayerMode::prepare, true},
        {"folder.lrc", true, PlayerMode::dance, false},  {"none.txt", false, PlayerMode::dance, false},
    };
    for (const Case& c : cases) {
        const std::string beside = c.beside;
        SCOPED_TRACE(beside);
        const std::string stem = beside.substr(0, beside.find('.'));
        const platform::Url song = audioFile(stem + ".wav", 10);
        if (c.folder)
            std::filesystem::create_directory(audioFolder.file(beside));
        else
            ASSERT_TRUE(testsupport::writeBytes(audioFolder.file(beside), "[00:01.00]Sung\n"));
        setMode(c.mode);
        view().insertEntries({song});
        view().loadEntryAtRow(static_cast<std::ptrdiff_t>(playlist().allEntries.size() - 1));
        // Every look begun has come back.
        std::atomic<bool> looked{false};
        platform::globalQueue().asyncBarrier([&] { looked = true; });
        ASSERT_TRUE(waitFor([&] { return looked.load(); }));
        platform::mainQueue().drain();
        EXPECT_EQ(view().entryName().text().count(QStringLiteral("💬")), c.marked ? 2 : 0)
            << view().entryName().text().toStdString();
    }
}

TEST_F(KaraokeTest, ALongLineIsWrappedInTheTimingList) {
    start();
    const std::string words = "A line far too long for the panel, sung slowly over a long held phrase "
                              "that goes on and on until the very end of the verse";
    loadSong("long", ("Short\n" + words + "\n").c_str(), PlayerMode::karaokePrepare);
    QListWidget& list = panel().timingList();
    ASSERT_EQ(list.count(), 2);
    QTest::qWait(0);
    const QRect shown = list.visualItemRect(list.item(1));
    EXPECT_LE(shown.right(), list.viewport()->width()) << "the line runs past the panel's edge";
}

TEST_F(KaraokeTest, AFileChangedOutsideIsNotWrittenOverAndTheUserIsTold) {
    start();
    loadSong("shared", "Line one\nLine two\n", PlayerMode::karaokePrepare);
    hearAt(2.0);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    const std::string lrc = audioFolder.file("shared.lrc");
    const std::string outside = "Line one changed in an editor\nLine two\nLine three\n";
    ASSERT_TRUE(testsupport::writeBytes(lrc, outside));
    setMode(PlayerMode::karaoke);
    EXPECT_EQ(testsupport::readBytes(lrc), outside);
    auto* notices = view().findChild<QLabel*>("notices");
    ASSERT_NE(notices, nullptr);
    EXPECT_TRUE(notices->text().contains("shared.lrc was changed by another program"))
        << text(notices->text());
}

// Leaving the song, not just the mode: there is no later leaving, so the stamps laid over the file
// as changed outside are written then, the outside change whole.
TEST_F(KaraokeTest, StampsOverAFileChangedOutsideAreKeptWhenTheSongIsLeft) {
    start();
    const std::string lrc = stampedThenChangedOutside("Line one\nLine two\n[ar:Added in an editor]\n");
    view().loadEntryAtRow(1);
    ASSERT_TRUE(timingSettled());
    EXPECT_EQ(testsupport::readBytes(lrc), "[00:02.00]Line one\nLine two\n[ar:Added in an editor]\n");
}

TEST_F(KaraokeTest, PastedLinesStartTheLyricsOfASongWithoutThem) {
    start();
    loadSong("bare", nullptr, PlayerMode::karaokePrepare);
    platform::PasteboardItem item;
    item.setString(platform::PasteboardType::string, "Hello world\n\nSecond line\n");
    pasteboard.writeItems({item});
    QAction* paste = window->findChild<QAction*>("actionPasteLyrics");
    ASSERT_NE(paste, nullptr);
    ASSERT_TRUE(paste->isEnabled());
    paste->trigger();
    ASSERT_EQ(panel().timingList().count(), 2);
    hearAt(1.5);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    setMode(PlayerMode::karaoke);
    EXPECT_EQ(testsupport::readBytes(audioFolder.file("bare.lrc")).find("[00:01.50]Hello world"), 0u);
    setMode(PlayerMode::dance);
    EXPECT_FALSE(paste->isEnabled()) << "outside the timing mode the fields paste for themselves";
}

// A lyrics file too large to read is never written: the timing mode says so, rather than taking
// pasted lines that could never be saved.
TEST_F(KaraokeTest, ALyricsFileTooLargeIsNotTimedOver) {
    start();
    const std::string huge = "[00:01.00]" + std::string(std::size_t(3) << 20, 'a') + "\n";
    loadSong("huge", huge.c_str(), PlayerMode::karaokePrepare);
    platform::PasteboardItem item;
    item.setString(platform::PasteboardType::string, "Pasted line\n");
    pasteboard.writeItems({item});
    window->findChild<QAction*>("actionPasteLyrics")->trigger();
    QListWidget& list = panel().timingList();
    ASSERT_EQ(list.count(), 1);
    EXPECT_TRUE(list.item(0)->text().contains("larger than 2 MiB")) << text(list.item(0)->text());
}

// The song's folder listed, its lyrics read and the folder's lock waited for are no work for the window's
// thread: the mode is shown at once, the lines come when they are read, and the save is made elsewhere.
TEST_F(KaraokeTest, TheTimingIsReadAndSavedOffTheWindowsThread) {
    start();
    loadSong("slow", "First\nSecond\n", PlayerMode::karaoke);
    player->setMode(PlayerMode::karaokePrepare);
    view().updateForMode();
    ASSERT_EQ(panel().timingList().count(), 1);
    EXPECT_EQ(text(panel().timingList().item(0)->text()), "Reading the lines…");
    ASSERT_TRUE(timingSettled());
    ASSERT_EQ(panel().timingList().count(), 2);

    // A stamp changes its own lines in the list, which a song of thousands of lines is not built again for.
    const QListWidgetItem* second = panel().timingList().item(1);
    hearAt(1.0);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    EXPECT_EQ(panel().timingList().item(1), second);
    EXPECT_TRUE(second->text().startsWith("▶")) << text(second->text());
    std::atomic<bool> savedOnWindowsThread{false};
    const std::thread::id windowsThread = std::this_thread::get_id();
    platform::setFileWriteHooks({[&](platform::SaveStep step, const std::string&) {
                                     if (step == platform::SaveStep::locked &&
                                         std::this_thread::get_id() == windowsThread)
                                         savedOnWindowsThread = true;
                                 },
                                 {}});
    setMode(PlayerMode::karaoke);
    platform::setFileWriteHooks();
    EXPECT_FALSE(savedOnWindowsThread);
    EXPECT_EQ(testsupport::readBytes(audioFolder.file("slow.lrc")), "[00:01.00]First\nSecond\n");
}

// An editor's save under way (the file just cut to nothing) is not taken as the song's lines: the timing
// says so and reads the file once it rests; an untouched timing shows what is written there later.
TEST_F(KaraokeTest, ALyricsFileBeingWrittenIsReadOnceItRests) {
    start();
    const std::string lrc = audioFolder.file("editing.lrc");
    testsupport::FakeClock clock;
    LyricsTiming::setClockForNewTimings(&clock);
    loadSong("editing", "", PlayerMode::karaoke);
    clock.set(testsupport::dateAfterWritten(lrc, 0.2));
    setMode(PlayerMode::karaokePrepare);
    QListWidget& list = panel().timingList();
    ASSERT_EQ(list.count(), 1);
    EXPECT_TRUE(list.item(0)->text().contains("being written by another program"))
        << text(list.item(0)->text());

    clock.advance(2.0);
    panel().lookForChanges();
    ASSERT_TRUE(timingSettled());
    EXPECT_TRUE(list.item(0)->text().startsWith("No lines")) << "taken as empty once it rests";
    ASSERT_TRUE(testsupport::writeBytes(lrc, "Written at last\nSecond\n"));
    clock.set(testsupport::dateAfterWritten(lrc, 2.0));
    panel().lookForChanges();
    ASSERT_TRUE(timingSettled());
    EXPECT_EQ(list.count(), 2);
    LyricsTiming::setClockForNewTimings(nullptr);
}

// Leaving the timing mode by its key while another program holds the song folder's lock: the save waits
// for the lock on its worker, the window's thread goes straight back to its loop.
TEST_F(KaraokeTest, LeavingTheTimingWaitsForAFolderLockOffTheWindowsThread) {
    start();
    loadSong("locked", "First\nSecond\n", PlayerMode::karaokePrepare);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    view().tableView().setFocus();
    hearAt(1.0);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    const platform::FileDescriptor folder(
        ::open(audioFolder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(folder.get(), LOCK_EX | LOCK_NB), 0);
    platform::setFolderLockPatience(0.5);
    QTest::keyClick(&view().tableView(), Qt::Key_X);
    EXPECT_EQ(player->mode(), PlayerMode::karaoke);
    ASSERT_TRUE(timingSettled());
    platform::setFolderLockPatience();
    EXPECT_EQ(testsupport::readBytes(audioFolder.file("locked.lrc")), "[00:01.00]First\nSecond\n");
}

// The window closing with stamps unsaved while another program holds the song folder's lock: closing
// (watched) waits neither for the lock nor for the save, which ends after the window, before the exit.
TEST_F(KaraokeTest, ClosingTheWindowLeavesTheTimingsLastSaveToAfterIt) {
    start();
    loadSong("locked", "First\nSecond\n", PlayerMode::karaokePrepare);
    hearAt(1.0);
    ASSERT_TRUE(panel().stampLine());
    const platform::FileDescriptor folder(
        ::open(audioFolder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(folder.get(), LOCK_EX | LOCK_NB), 0);
    platform::setFolderLockPatience(0.5);
    stop();
    platform::setFolderLockPatience();
    EXPECT_EQ(testsupport::readBytes(audioFolder.file("locked.lrc")), "[00:01.00]First\nSecond\n");
}

// A typo fixed in an editor while lines were stamped: the stamp of that line is counted and said, not
// reported as saved, and kept with its time in the log and the list.
TEST_F(KaraokeTest, AStampWhoseLineChangedOutsideIsCountedAndKept) {
    start();
    const std::string lrc = stampedThenChangedOutside("Line one, fixed\nLine two\n");
    testsupport::ScopedConsoleCapture console;
    // Leaving the mode: kept in the list.
    setMode(PlayerMode::karaoke);
    EXPECT_TRUE(notice().contains("1 of your stamps found no line")) << text(notice());
    EXPECT_FALSE(notice().contains("saved")) << text(notice());
    setMode(PlayerMode::karaokePrepare);
    QListWidget& list = panel().timingList();
    ASSERT_EQ(list.count(), 4);
    EXPECT_TRUE(list.item(3)->text().contains("[00:02.00]Line one")) << text(list.item(3)->text());
    // Leaving the song: in the log.
    view().loadEntryAtRow(1);
    ASSERT_TRUE(timingSettled());
    EXPECT_EQ(testsupport::readBytes(lrc), "Line one, fixed\nLine two\n");
    const std::vector<std::string> lines = console.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line == "stamp that found no line in " + lrc + ": [00:02.00]Line one";
    }));
}

// Stamps that cannot be written when the program quits hold the quit once, with the reason, and are
// printed; the quit goes on the second time.
TEST_F(KaraokeTest, StampsThatCannotBeWrittenAtQuitHoldItOnceAndAreLogged) {
    start();
    loadSong("blocked", nullptr, PlayerMode::karaokePrepare);
    platform::PasteboardItem item;
    item.setString(platform::PasteboardType::string, "Only line\n");
    pasteboard.writeItems({item});
    window->findChild<QAction*>("actionPasteLyrics")->trigger();
    hearAt(2.5);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    // A folder where the file would go.
    const std::string lrc = audioFolder.file("blocked.lrc");
    std::filesystem::create_directory(lrc);
    testsupport::ScopedConsoleCapture console;
    delegate->terminate();
    ASSERT_TRUE(
        panels.answerSavePanel(platform::Url::fileURLWithPath(audioFolder.file("Evening.vantle"), false)));
    ASSERT_TRUE(timingSettled());
    EXPECT_EQ(quits, 0);
    ASSERT_FALSE(alerts.requests().empty());
    EXPECT_TRUE(alerts.requests().back().options.messageText.find("blocked.lrc") != std::string::npos)
        << alerts.requests().back().options.messageText;
    const std::vector<std::string> lines = console.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line == "not written to " + lrc + ": [00:02.50]Only line";
    }));
    alerts.answerAlert(0);
    delegate->terminate();
    ASSERT_TRUE(timingSettled());
    EXPECT_EQ(quits, 1);
}

// A stamp earlier than the timed line above it is said and marked, and Backspace takes it back.
TEST_F(KaraokeTest, AStampEarlierThanTheLineBeforeItIsToldAndCanBeTakenBack) {
    start();
    loadSong("order", "[00:30.00]Before\nBetween\n[00:45.00]After\n[00:10.00]Written so\n",
             PlayerMode::karaokePrepare);
    hearAt(1.0);
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    EXPECT_TRUE(notice().contains("00:01.00 is earlier than the line before it (00:30.00)"))
        << text(notice());
    EXPECT_TRUE(panel().timingList().item(1)->text().startsWith("⚠"))
        << text(panel().timingList().item(1)->text());
    EXPECT_FALSE(panel().timingList().item(3)->text().startsWith("⚠")) << "the file's own order is not told";
    QTest::keyClick(&view().tableView(), Qt::Key_Backspace);
    EXPECT_TRUE(panel().timingList().item(1)->text().startsWith("▶"));
}

// Keys typed into a text field edit it: in the timing mode Backspace and Return in the search field
// neither take back nor make stamps; Return checks and promotes nothing there but ends the search and
// gives the list the keys; the list's own keys do nothing there; in karaoke Backspace removes no entry.
TEST_F(KaraokeTest, KeysTypedIntoTheSearchFieldEditIt) {
    start();
    const platform::Url second = audioFile("other.wav", 30);
    loadSong("timed", "First\nSecond\nThird\n", PlayerMode::karaokePrepare);
    view().insertEntries({second});
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const std::vector<std::shared_ptr<PlaylistEntry>> order = playlist().allEntries;
    hearAt(2.0);
    view().tableView().setFocus();
    QTest::keyClick(&view().tableView(), Qt::Key_Return);
    ASSERT_TRUE(panel().timingList().item(0)->text().contains("00:02.00"));

    QLineEdit& search = window->searchField();
    search.setFocus();
    QTest::keyClicks(&search, "ex");
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_S, Qt::Key_Z, Qt::Key_Delete})
        QTest::keyClick(&search, key);
    hearAt(3.0);
    QTest::keyClick(&search, Qt::Key_Backspace);
    EXPECT_EQ(text(search.text()), "ex s");
    EXPECT_TRUE(panel().timingList().item(0)->text().contains("00:02.00")) << "a stamp was taken back";
    QTest::keyClick(&search, Qt::Key_Return);
    EXPECT_TRUE(panel().timingList().item(1)->text().startsWith("▶")) << "a line was stamped";
    EXPECT_EQ(QApplication::focusWidget(), &view().tableView()) << "the list has the keys";
    EXPECT_EQ(player->mode(), PlayerMode::karaokePrepare);
    EXPECT_EQ(playlist().allEntries, order);
    EXPECT_TRUE(entry(0)->zeros.empty());

    for (const PlayerMode mode : {PlayerMode::karaoke, PlayerMode::dance}) {
        setMode(mode);
        view().tableView().selectRows({1});
        search.setFocus();
        QTest::keyClick(&search, Qt::Key_Backspace);
        QTest::keyClick(&search, Qt::Key_Return);
        EXPECT_EQ(playlist().allEntries, order) << "an entry removed or promoted";
        EXPECT_FALSE(entry(1)->isCheckmarked);
        EXPECT_EQ(QApplication::focusWidget(), &view().tableView());
    }
    EXPECT_EQ(text(search.text()), "ex");
}

TEST_F(KaraokeTest, TheSingersScreenShowsWhatComesNextBetweenSongs) {
    start();
    loadSong("Next Song", songLrc, PlayerMode::karaoke);
    ASSERT_TRUE(waitFor([&] { return panel().lyrics() != nullptr; }));
    view().karaoke().toggleSingersScreen();
    SingersScreen* singers = panel().singersScreen();
    ASSERT_NE(singers, nullptr);
    EXPECT_TRUE(singers->isVisible());
    EXPECT_EQ(singers->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(singers->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    panel().advanceFrame();
    EXPECT_EQ(singers->shownMessage(), (QStringList{"Next:", "Next Song"}));
    view().breakTimer().arm(300.0);
    panel().advanceFrame();
    EXPECT_EQ(singers->shownMessage().size(), 3) << "and the break's time left";

    hearAt(7.0);
    EXPECT_TRUE(singers->shownMessage().isEmpty());
    EXPECT_EQ(singers->shownLine(), 0);

    // A song heard in dance mode has nothing for the singers: dark.
    setMode(PlayerMode::dance);
    panel().advanceFrame();
    EXPECT_TRUE(singers->shownMessage().isEmpty());
    EXPECT_EQ(singers->shownLine(), -1);

    // Closing it leaves the music playing.
    view().karaoke().toggleSingersScreen();
    EXPECT_FALSE(singers->isVisible());
    EXPECT_TRUE(player->playing());
    EXPECT_FALSE(SingersScreen::wasShown());
}

// A song's end in karaoke loads what follows and shows it to the singers; only the host starts it,
// whether the row was clicked while the song played or not.
TEST_F(KaraokeTest, ASongsEndNeverStartsTheNextSinger) {
    start();
    loadSong("First Singer", songLrc, PlayerMode::karaoke);
    loadSong("Second Singer", songLrc, PlayerMode::karaoke);
    loadSong("Third Singer", songLrc, PlayerMode::karaoke);
    view().loadEntryAtRow(0);
    view().karaoke().toggleSingersScreen();
    SingersScreen* singers = panel().singersScreen();
    ASSERT_NE(singers, nullptr);
    const struct {
        const char* name;
        std::optional<std::size_t> clicked;
        std::size_t next;
        const char* title;
    } ends[] = {{"nothing clicked", std::nullopt, 1, "Second Singer"},
                {"a row clicked", 0, 0, "First Singer"}};
    for (const auto& end : ends) {
        view().transport().playPressed();
        player->advance(10);
        if (end.clicked) view().tableView().selectRows({*end.clicked});
        player->advance(60);
        EXPECT_EQ(player->entry(), playlist().allEntries[end.next]) << end.name;
        EXPECT_FALSE(player->playing()) << end.name;
        panel().advanceFrame();
        EXPECT_EQ(singers->shownMessage(), (QStringList{"Next:", end.title})) << end.name;
    }
}

// Escape is a host's reflex for menus: while a song plays in karaoke it never takes the picture off
// the projector nor changes the mode.
TEST_F(KaraokeTest, EscapeWhileASongPlaysKeepsTheSingersPicture) {
    start();
    loadSong("song", songLrc, PlayerMode::karaoke);
    view().karaoke().setSingersFullScreen(SingersScreen::screenLabel(QGuiApplication::primaryScreen()));
    SingersScreen* singers = panel().singersScreen();
    ASSERT_NE(singers, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return singers->isVisible() && singers->fullScreenOn(); }, 10000));
    view().transport().playPressed();
    for (int press = 0; press < 3; ++press) {
        QTest::keyClick(&view().tableView(), Qt::Key_Escape);
        EXPECT_EQ(player->mode(), PlayerMode::karaoke) << "press " << press;
        EXPECT_TRUE(singers->fullScreenOn()) << "press " << press;
        EXPECT_TRUE(player->playing()) << "press " << press;
    }
}

// A disc's zip is often named by its catalogue number: the singers read the song's own title.
TEST_F(KaraokeTest, TheSingersReadAZipSongByItsTitle) {
    start();
    const platform::Url wav = audioFile("inside.wav", 10);
    const std::string zip = audioFolder.file("SC8105-01.zip");
    ASSERT_TRUE(testsupport::writeZip(zip, {{"Moon River.wav", testsupport::readWholeFile(wav.path())},
                                            {"Moon River.cdg", testsupport::blankCdg()}}));
    view().insertEntries({platform::Url::fileURLWithPath(zip, false)});
    ASSERT_EQ(playlist().allEntries.size(), 1u);
    view().loadEntryAtRow(0);
    setMode(PlayerMode::karaoke);
    view().karaoke().toggleSingersScreen();
    panel().advanceFrame();
    EXPECT_EQ(panel().singersScreen()->shownMessage(), (QStringList{"Next:", "Moon River"}));
}

} // namespace
} // namespace vantle::testing
