// The display the tick refreshes, and how entries become current, finish and advance.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/FittedFont.h"
#include "Source/session/TextNote.h"
#include "Source/views/PlaylistTableModel.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/support/ConsoleCapture.h"

#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QSlider>
#include <QTest>

#include <QFontMetricsF>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

class DisplayTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        tango = audioFile("Music/Tango/b.wav", 90);
        salsa = audioFile("Music/Salsa/x.m4a.mp3", 30);
        outside = audioFile("Outside/y.mp3.m4a", 30);
        ASSERT_TRUE(platform::writeFileAtomically(audioFolder.path + "/Music/Tango/b.txt",
                                                  tango.path() + "\n1:05 Turn left\n"));
        ASSERT_TRUE(platform::writeFileAtomically(audioFolder.path + "/Music/Tango/b.t.txt",
                                                  std::string_view("WEBVTT\n\n\nHello there\n0:10.000 --> "
                                                                   "0:12.000\n\n")));
        platform::UserDefaults::standard().setString("directoryPrefix", audioFolder.path + "/Music");
        start();
        view().setFirst(false);
    }

    std::string since() { return text(view().timeSinceZeroText().text()); }
    std::string remaining() { return text(view().timeRemainingText().text()); }
    std::string name() { return text(view().entryName().text()); }
    std::string context() { return text(view().noteTextField().text()); }
    QColor remainingColour() { return view().timeRemainingText().palette().color(QPalette::WindowText); }

    platform::Url tango, salsa, outside;
};

TEST_F(DisplayTest, TheTickShowsTimesNameAndContextLine) {
    view().insertEntries({tango, salsa, outside});
    ASSERT_EQ(playlist().allEntries.size(), 3u);
    // No entry yet.
    EXPECT_EQ(since(), "--:--");
    EXPECT_EQ(remaining(), "--:--");
    EXPECT_FALSE(view().timeSinceZeroText().isEnabled());
    EXPECT_EQ(name(), "");
    EXPECT_EQ(context(), "");

    playlist().allEntries[0]->tags = "ab";
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), playlist().allEntries[0]);
    EXPECT_EQ(since(), " 0:00");
    EXPECT_EQ(remaining(), " 1:30");
    EXPECT_TRUE(view().timeRemainingText().isEnabled());
    EXPECT_EQ(remainingColour(), QColor(255, 59, 48));
    EXPECT_EQ(name(), "💬ab b.wav 💬ab");
    EXPECT_EQ(context(), "Tango/");

    view().transport().playPressed();
    tick(101);
    EXPECT_EQ(since(), " 0:10");
    EXPECT_EQ(context(), "Hello there");
    tick(558);
    // 65.9 s: the note at 1:05 is near, and wins over the cue.
    EXPECT_EQ(since(), " 1:05");
    EXPECT_EQ(remaining(), " 0:25");
    EXPECT_EQ(context(), "Turn left");
    ASSERT_TRUE(view().currentNote());
    EXPECT_EQ(view().currentNote()->text(), "Turn left");
    EXPECT_NEAR(playlist().currentTime, 65.9, 1e-6);

    // While the time slider is held, the position in green.
    view().setShowingRemaining(false);
    view().refreshDisplay();
    EXPECT_EQ(remaining(), " 1:05");
    EXPECT_EQ(remainingColour(), QColor(40, 205, 65));
    view().setShowingRemaining(true);

    // Paused, the tick leaves the display alone; a seek refreshes it once.
    view().transport().pausePressed();
    view().timeSinceZeroText().setText("untouched");
    tick(5);
    EXPECT_EQ(since(), "untouched");
    player->setCurrentTime(61.0);
    EXPECT_EQ(since(), " 1:01");

    // A zero mark counts from itself, also exactly at the position; later marks do not count.
    playlist().allEntries[0]->zeros = {61.0, 80.0};
    view().refreshDisplay();
    EXPECT_EQ(since(), " 0:00");
    EXPECT_EQ(remaining(), " 0:29");

    // Only the final ".mp3", then the final ".m4a", leave the name; no tags and no cues leave one
    // blank on each side.
    view().tableView().selectRows({1});
    EXPECT_EQ(name(), " x ");
    EXPECT_EQ(context(), "Salsa/");
    view().tableView().selectRows({2});
    EXPECT_EQ(name(), " y.mp3 ");
    EXPECT_EQ(context(), audioFolder.path + "/Outside/");

    // Without any prefix the folder loses only its leading slash. Which prefix counts is the
    // document's rule.
    platform::UserDefaults::standard().removeObject("directoryPrefix");
    view().refreshDisplay();
    EXPECT_EQ(context(), audioFolder.path.substr(1) + "/Outside/");
}

TEST_F(DisplayTest, AFileWhoseLengthIsUnknownShowsNoRemainingTime) {
    view().insertEntries({tango});
    view().tableView().selectRows({0});
    player->setCurrentTime(65.0);
    ASSERT_EQ(remaining(), " 0:25");
    // The file goes away under the entry: its length can no longer be read.
    playlist().assignedEntry->relocate(platform::Url::fileURLWithPath(audioFolder.path + "/gone.wav"));
    ASSERT_FALSE(playlist().assignedEntry->duration());
    for (std::vector<double> zeros : {std::vector<double>{}, std::vector<double>{61.0}}) {
        playlist().assignedEntry->zeros = zeros;
        view().refreshDisplay();
        EXPECT_EQ(remaining(), "--:--");
        EXPECT_EQ(since(), zeros.empty() ? " 1:05" : " 0:04");
    }
    // While the slider is held the position shows, length or not.
    view().setShowingRemaining(false);
    view().refreshDisplay();
    EXPECT_EQ(remaining(), " 1:05");
}

// The last text notice shown (the stand-in keeps it as its label's text).
std::string noticeText(MainViewController& view) {
    auto* label = dynamic_cast<QLabel*>(view.notices().widget());
    return label ? label->text().toStdString() : std::string("(no notices)");
}

TEST_F(DisplayTest, AnEntryWhoseFileDoesNotOpenSaysWhyAndPlaySaysItAgain) {
    const platform::Url spoilt = audioFile("Music/Spoilt/z.wav", 30);
    const platform::Url system = audioFile("Music/Spoilt/environ.wav", 30);
    view().insertEntries({tango, salsa, spoilt, system});
    ASSERT_TRUE(platform::writeFileAtomically(spoilt.path(), "not audio"));
    std::filesystem::remove(salsa.path());
    std::filesystem::remove(system.path());
    std::filesystem::create_symlink("/proc/self/environ", system.path());
    const struct {
        std::size_t row;
        std::string says;
    } cases[] = {
        {1, "File not found: " + salsa.path() + " — Entry › File Moved… can relocate it"},
        {2, "Cannot play " + spoilt.path() + ": not an audio file this player can open"},
        {3, "Cannot play " + system.path() + ": it is a system file, not audio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        view().tableView().selectRows({0});
        view().tableView().selectRows({c.row});
        ASSERT_EQ(playlist().assignedEntry, entry(c.row));
        ASSERT_EQ(player->entry(), nullptr);
        EXPECT_EQ(since(), " 0:00");
        // Its length cannot be read: nothing to count down.
        EXPECT_EQ(remaining(), "--:--");
        EXPECT_EQ(context(), c.says);
        EXPECT_EQ(view().noteTextField().cursorPosition(), 0) << "shown from its start";
        EXPECT_EQ(view().unplayableEntryText().toStdString(), c.says);
        EXPECT_EQ(entry(c.row)->fileMissing, c.row == 1);

        view().notices().showText(QString(), 1.0, std::nullopt);
        view().transport().playPressed();
        EXPECT_FALSE(player->playing());
        EXPECT_EQ(noticeText(view()), c.says);
    }
    // A file that opens says nothing of the kind.
    view().tableView().selectRows({0});
    EXPECT_EQ(view().unplayableEntryText(), QString());
    EXPECT_EQ(context(), "Tango/");
}

// The mark "missing" lasts only while the file is gone: once it is back (copied again), loading its row
// again opens it without another row chosen first, and the window no longer says it is not found.
TEST_F(DisplayTest, AMissingEntryWhoseFileIsPutBackOpensFromItsOwnRow) {
    view().insertEntries({tango, salsa});
    const std::string aside = audioFolder.file("x.aside");
    const std::string says = "File not found: " + salsa.path() + " — Entry › File Moved… can relocate it";
    const struct {
        const char* how;
        std::function<void()> load;
    } cases[] = {
        {"double click", [&] { view().tableView().doubleClickRow(1); }},
        {"its row loaded as the keys do", [&] { view().loadEntryAtRow(1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        view().tableView().selectRows({0});
        std::filesystem::rename(salsa.path(), aside);
        view().tableView().selectRows({1});
        ASSERT_EQ(player->entry(), nullptr);
        ASSERT_EQ(context(), says);

        std::filesystem::rename(aside, salsa.path());
        c.load();
        EXPECT_EQ(player->entry(), entry(1));
        EXPECT_FALSE(entry(1)->fileMissing);
        EXPECT_EQ(view().unplayableEntryText(), QString());
        EXPECT_EQ(context(), "Salsa/");
        EXPECT_EQ(remaining(), " 0:30");
    }
}

// A name with a line break or a tab in it is shown and printed on one line, the break and the tab spelled
// out, wherever it appears: the window title, the name under it, the context line, the list's cells, the
// notice and the console.
TEST_F(DisplayTest, NamesWithLineBreaksAndTabsStayOnOneLine) {
    const platform::Url odd = audioFile("Music/Odd\nFolder/two\nlines\tsong.wav", 30);
    const platform::Url gone = audioFile("Music/Odd\nFolder/fake\n220 can't reopen x.wav", 30);
    view().insertEntries({odd, gone});
    std::filesystem::remove(gone.path());
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), entry(0));
    EXPECT_EQ(name(), " two\\nlines\\tsong.wav ");
    EXPECT_EQ(context(), "Odd\\nFolder/");
    const PlaylistTableModel& model = view().tableView().playlistModel();
    const auto cell = [&](PlaylistColumn column) {
        return text(model.index(0, PlaylistTableModel::columnIndex(column)).data().toString());
    };
    EXPECT_EQ(cell(PlaylistColumn::Title), "two\\nlines\\tsong.wav");
    EXPECT_EQ(cell(PlaylistColumn::Directory), "Odd\\nFolder/");

    testsupport::ScopedConsoleCapture console;
    view().tableView().selectRows({1});
    view().transport().playPressed();
    const std::string says = "File not found: " + audioFolder.path +
                             "/Music/Odd\\nFolder/fake\\n220 can't reopen x.wav — Entry › File Moved… can "
                             "relocate it";
    EXPECT_EQ(context(), says);
    EXPECT_EQ(noticeText(view()), says);
    EXPECT_THAT(console.lines(), ::testing::Contains(says));
    for (const std::string& line : console.lines())
        EXPECT_EQ(line.find_first_of("\n\t"), std::string::npos) << line;

    view().saveAsSession();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Mon\nday\tclass.vantle")));
    EXPECT_EQ(text(window->windowTitle()), "Mon\\nday\\tclass");
}

class EntriesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        a = audioFile("a.wav", 30);
        b = audioFile("b.wav", 20);
        c = audioFile("c.wav", 30);
        session = audioFolder.url("Evening.vantle");
        writeSession(session, {a, b, c}, 0);
        start();
        view().setFirst(false);
        ASSERT_TRUE(view().loadSession(session));
        ASSERT_EQ(player->entry(), playlist().allEntries[0]);
    }

    QPoint rowCenter(int row) {
        PlaylistTableView& table = view().tableView();
        return table.visualRect(table.playlistModel().index(row, 0)).center();
    }

    platform::Url a, b, c, session;
};

TEST_F(EntriesTest, DoubleClickLoadsTheRowAndFinishesTheEntryLeft) {
    view().transport().playPressed();
    tick(100);
    QWidget* viewport = view().tableView().viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, rowCenter(2));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, rowCenter(2));
    // A click while the music plays only marks the row.
    EXPECT_EQ(player->entry(), entry(0));
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, rowCenter(2));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, rowCenter(2));
    EXPECT_EQ(player->entry(), entry(2));
    EXPECT_EQ(playlist().assignedEntry, entry(2));
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(player->plays, 1);
    // The entry left was logged with what was heard, then its listening closed.
    EXPECT_THAT(log->loggedEntries, ElementsAre("a.wav"));
    EXPECT_NEAR(log->loggedShares.at(0), 10.0 / 30.0, 1e-6);
    ASSERT_EQ(entry(0)->prevTimeRangeSet.ranges.size(), 1u);
    EXPECT_NEAR(entry(0)->prevTimeRangeSet.ranges[0].end, 10.0, 1e-6);
    EXPECT_EQ(text(view().timeRemainingText().text()), " 0:30");
    // The state file follows the entry.
    EXPECT_EQ(writtenAppState()->currentEntryIndex, 2);

    // Loading the current entry again only brings its row into view: the position stays.
    player->setCurrentTime(12.0);
    const int loads = player->entrySets;
    view().loadEntry(entry(2));
    EXPECT_EQ(player->entrySets, loads);
    EXPECT_DOUBLE_EQ(player->playbackTime(), 12.0);
}

TEST_F(EntriesTest, TheEndOfAnEntryInDanceArmsTheBreakAndLoadsTheNextRowWithoutPlaying) {
    view().transport().playPressed();
    tick(305);
    ASSERT_EQ(breakTimer->arms.size(), 1u);
    EXPECT_EQ(breakTimer->arms[0], std::nullopt);
    EXPECT_EQ(view().prevEntry(), entry(0));
    EXPECT_EQ(player->entry(), entry(1));
    EXPECT_FALSE(player->playing());
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));
    // The finished entry counts as played; the document is saved with the new current entry.
    EXPECT_EQ(entry(0)->playedDates.size(), 1u);
    platform::Result<std::shared_ptr<Playlist>> document = Playlist::read(session);
    ASSERT_TRUE(document);
    EXPECT_EQ((*document)->_currentItem, 1);
    EXPECT_EQ((*document)->allEntries[0]->playedDates.size(), 1u);

    // A row marked while the entry plays starts at once when it ends, and the break is off.
    view().transport().playPressed();
    EXPECT_EQ(view().prevEntry(), nullptr);
    tick(10);
    view().tableView().selectRows({0});
    EXPECT_EQ(player->entry(), entry(1));
    tick(200);
    EXPECT_EQ(player->entry(), entry(0));
    EXPECT_TRUE(player->playing());
    EXPECT_FALSE(breakTimer->armed);
    EXPECT_EQ(view().prevEntry(), nullptr);

    // In another mode no break is armed; after the last row no entry is current.
    player->setMode(PlayerMode::prepare);
    view().tableView().selectRows({2});
    view().loadEntryAtRow(2);
    view().transport().playPressed();
    const std::size_t arms = breakTimer->arms.size();
    tick(305);
    EXPECT_EQ(breakTimer->arms.size(), arms);
    EXPECT_EQ(player->entry(), nullptr);
    EXPECT_EQ(playlist().assignedEntry, nullptr);
    EXPECT_EQ(text(view().timeSinceZeroText().text()), "--:--");
}

TEST_F(EntriesTest, RemovingThePlayingEntryLetsItPlayOnToItsEnd) {
    const std::shared_ptr<PlaylistEntry> playing = entry(0), second = entry(1);
    view().transport().playPressed();
    tick(50);
    const int loads = player->entrySets;
    view().tableView().selectRows({0});
    view().removeSelectedEntries();
    EXPECT_THAT(names(), ElementsAre("b.wav", "c.wav"));
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(0u));
    auto untouched = [&](double at) {
        EXPECT_TRUE(player->entry() == playing && playlist().assignedEntry == playing && player->playing());
        EXPECT_EQ(player->entrySets, loads);
        EXPECT_NEAR(player->playbackTime(), at, 1e-6);
    };
    untouched(5.0);
    tick(10);
    untouched(6.0);

    // Undo brings the row back and redo takes it away again; the music goes on through both.
    delegate->actionUndo();
    EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav"));
    untouched(6.0);
    delegate->actionRedo();
    EXPECT_THAT(names(), ElementsAre("b.wav", "c.wav"));
    untouched(6.0);

    // At its end the usual rule applies: the row the removal selected is the one marked to follow.
    tick(240);
    EXPECT_EQ(view().prevEntry(), nullptr);
    EXPECT_EQ(player->entry(), second);
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(playing->playedDates.size(), 1u);
}

TEST_F(EntriesTest, AMarkedNextEntryWhoseFileIsGoneIsNamedAndTheBreakBegins) {
    view().transport().playPressed();
    tick(10);
    std::filesystem::remove(b.path());
    view().tableView().selectRows({1});
    const int plays = player->plays;
    tick(295);
    EXPECT_EQ(playlist().assignedEntry, entry(1));
    EXPECT_EQ(player->entry(), nullptr);
    EXPECT_EQ(player->plays, plays);
    EXPECT_FALSE(player->playing());
    // As after the last song: the break runs, and the window names the file it could not play.
    ASSERT_EQ(breakTimer->arms.size(), 1u);
    EXPECT_TRUE(breakTimer->armed);
    const std::string says = "File not found: " + b.path() + " — Entry › File Moved… can relocate it";
    EXPECT_EQ(noticeText(view()), says);
    EXPECT_EQ(text(view().noteTextField().text()), says);
    // Its length cannot be read: nothing to count down.
    EXPECT_EQ(text(view().timeRemainingText().text()), "--:--");
}

TEST_F(EntriesTest, APictureForAnEntryLeftIsDropped) {
    ASSERT_FALSE(waveform->requests.empty());
    WaveformPart::Delivery late = waveform->requests.back().second;
    view().tableView().selectRows({1});
    WaveformPart::Delivery current = waveform->requests.back().second;
    ASSERT_EQ(waveform->requests.back().first, entry(1));
    QImage picture(40, 10, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    late(picture);
    EXPECT_TRUE(view().waveformView().pixmap().isNull());
    current(picture);
    EXPECT_FALSE(view().waveformView().pixmap().isNull());
}

TEST_F(EntriesTest, TrebleAndBalanceReachThePlayer) {
    // Applied once when the view loaded.
    EXPECT_FLOAT_EQ(player->trebleGain, 0.707f);
    // The sound panel's sliders reach the player at once (the mapping is the audio model's).
    auto* treble = window->findChild<QSlider*>("trebleSlider");
    auto* balance = window->findChild<QSlider*>("balanceSlider");
    ASSERT_TRUE(treble && balance);
    treble->setValue(5);
    EXPECT_NEAR(player->treble(), 0.08333f, 1e-5);
    balance->setValue(-20);
    EXPECT_FLOAT_EQ(player->pan(), -1.0f);
}

// Fitting fonts to frames, as the main view sizes its texts.
TEST(FittedFont, FillsTheFrameAndNeverVanishes) {
    const QString sample = QStringLiteral("-88:88");
    const QFont base(QStringLiteral("Sans"), 30);
    // Filled (one side used to its 5-point margin), the smallest font, or none for an empty frame.
    const struct {
        QSizeF frame;
        std::optional<double> pointSize;
        bool made;
    } cases[] = {{{200, 60}, {}, true}, {{600, 300}, {}, true}, {{4, 4}, 1.0, true}, {{0, 60}, {}, false}};
    for (const auto& c : cases) {
        const std::optional<QFont> font = fittedFont(sample, base, c.frame);
        ASSERT_EQ(font.has_value(), c.made);
        if (!font) continue;
        const QFontMetricsF metrics(*font);
        const double used = std::max(metrics.horizontalAdvance(sample) / (c.frame.width() - 5.0),
                                     0.77 * metrics.height() / (c.frame.height() - 5.0));
        if (c.pointSize)
            EXPECT_EQ(font->pointSizeF(), *c.pointSize);
        else
            EXPECT_NEAR(used, 1.0, 0.08);
    }
}

} // namespace
} // namespace vantle::testing
