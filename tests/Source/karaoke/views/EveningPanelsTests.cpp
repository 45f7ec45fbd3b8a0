#include "Source/karaoke/views/RotationPanel.h"
#include "Source/karaoke/views/SongBookPanel.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/TemporaryFolder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vantle;

namespace {

// Seconds the song book's worker and folder watch may take on a busy machine: only a broken one takes so
// long.
constexpr double generousSeconds = 60;

class EveningPanelsTest : public ::testing::Test {
protected:
    void SetUp() override { platform::mainQueue().bindToCurrentThread(); }
    std::string seatsText() const {
        std::string text;
        for (const host::Seat& seat : evening.rotation().seats())
            text += evening.singer(seat.singer)->name + (seat.away ? "(away)" : "") +
                    (seat.skipRound ? "(skip)" : "") + " ";
        return text;
    }
    testsupport::TemporaryFolder temporary;
    host::Evening evening{temporary.file("host.sqlite")};
};

TEST_F(EveningPanelsTest, TheRotationIsRunByKeysAndNameKeysStayText) {
    RotationPanel panel(evening);
    panel.show();
    QLineEdit& name = panel.nameField();
    name.setFocus();
    for (const char* singer : {"Ann", "Bob", "Édith"}) {
        QTest::keyClicks(&name, singer);
        QTest::keyClick(&name, Qt::Key_Return);
    }
    EXPECT_EQ(seatsText(), "Ann Bob Édith ");
    EXPECT_TRUE(name.text().isEmpty());

    // The rotation's keys typed into the name field are letters of a name.
    panel.selectSinger(evening.rotation().seats()[1].singer);
    name.setFocus();
    QTest::keyClicks(&name, "as");
    QTest::keyClick(&name, Qt::Key_Delete);
    QTest::keyClick(&name, Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(&name, Qt::Key_Backspace);
    QTest::keyClicks(&name, "s");
    EXPECT_EQ(seatsText(), "Ann Bob Édith ");
    EXPECT_EQ(name.text(), "as");
    name.clear();

    // A regular is offered as the name is typed, by any part of it, accents aside.
    QTest::keyClicks(&name, "edi");
    EXPECT_EQ(name.completer()->model()->rowCount(), 1);
    EXPECT_EQ(name.completer()->model()->index(0, 0).data().toString(), QString("Édith"));
    name.clear();

    // In the list the same keys act on the selected singer.
    QListWidget& list = panel.singerList();
    list.setFocus();
    panel.selectSinger(evening.rotation().seats()[1].singer);
    QTest::keyClick(&list, Qt::Key_A);
    QTest::keyClick(&list, Qt::Key_S);
    EXPECT_EQ(seatsText(), "Ann Bob(away)(skip) Édith ");
    QTest::keyClick(&list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(seatsText(), "Bob(away)(skip) Ann Édith ");
    EXPECT_EQ(list.currentRow(), 0);
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(seatsText(), "Ann Édith ");

    // Who comes next is said, and marked once they sing.
    evening.queueSong(evening.rotation().seats()[1].singer, {"/songs/padam.zip", "Édith Piaf", "Padam", ""});
    panel.reload();
    EXPECT_EQ(panel.nextLabel().text(), QString("Next: Édith — Édith Piaf — Padam"));
    int loads = 0;
    panel.setLoadNextHandler([&] { ++loads; });
    QTest::keyClick(&list, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(loads, 1);
    evening.startNext();
    evening.setCurrentStyle({3, 0.9});
    panel.reload();
    EXPECT_TRUE(list.item(1)->text().startsWith(QString("▶ Édith")));
    EXPECT_TRUE(list.item(1)->toolTip().endsWith(QString("Édith Piaf — Padam  key +3  tempo 90%")))
        << list.item(1)->toolTip().toStdString();
    EXPECT_EQ(list.item(0)->toolTip(), QString("Has not sung here before"));

    // A new evening empties the rotation once the host says so; the singers come back as regulars.
    std::vector<QString> asked;
    bool answer = false;
    panel.setConfirm([&](const QString& question) {
        asked.push_back(question);
        return answer;
    });
    QPushButton& newEvening = *panel.findChild<QPushButton*>("newEveningButton");
    newEvening.click();
    EXPECT_EQ(seatsText(), "Ann Édith ");
    answer = true;
    newEvening.click();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(seatsText(), "");
    EXPECT_EQ(list.count(), 0);
}

TEST_F(EveningPanelsTest, SongsDroppedOnTheQueueGoToTheSelectedSinger) {
    RotationPanel panel(evening);
    std::vector<QString> notices;
    panel.setNoticeHandler([&](const QString& text) { notices.push_back(text); });
    panel.show();
    const host::SingerId ann = *evening.addSinger("Ann");
    panel.reload();
    panel.selectSinger(ann);
    panel.setDroppedSongs([](const QMimeData& data) {
        std::vector<std::string> paths;
        for (const QUrl& url : data.urls())
            if (url.path().endsWith(".zip")) paths.push_back(url.path().toStdString());
        return paths;
    });
    QWidget* target = panel.queueList().viewport();
    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };
    EXPECT_TRUE(drop("/songs/SC1234 - Queen - Bohemian Rhapsody.zip"));
    EXPECT_FALSE(drop("/songs/cover.jpg"));
    ASSERT_EQ(evening.queue(ann).size(), 1u);
    EXPECT_EQ(evening.queue(ann)[0].title, "Bohemian Rhapsody");
    EXPECT_EQ(evening.queue(ann)[0].disc, "SC1234");
    EXPECT_EQ(panel.queueList().item(0)->text(), QString("Queen — Bohemian Rhapsody"));
}

TEST_F(EveningPanelsTest, ASearchAnswersAsTypedAndReturnQueuesTheSong) {
    const std::string songs = temporary.file("songs");
    std::filesystem::create_directories(songs);
    std::ofstream(songs + "/SC8123-05 - Édith Piaf - La Vie en rose.zip") << "a";
    std::ofstream(songs + "/Queen - Bohemian Rhapsody.zip") << "bb";
    host::SongBook book(temporary.file("host.sqlite"), platform::mainQueue());
    SongBookPanel panel(book);
    book.setProgressHandler([&](const host::BookProgress& progress) { panel.showProgress(progress); });
    book.setFolders({songs});
    ASSERT_TRUE(
        platform::mainQueue().drainUntil([&] { return panel.resultList().count() == 2; }, generousSeconds));

    std::vector<std::string> chosen;
    panel.setChosenHandler([&](const host::BookSong& song) {
        chosen.push_back(song.title);
        return QString("queued");
    });
    panel.show();
    QTest::keyClicks(&panel.searchField(), "edith");
    ASSERT_TRUE(
        platform::mainQueue().drainUntil([&] { return panel.resultList().count() == 1; }, generousSeconds));
    EXPECT_EQ(panel.resultList().item(0)->text(), QString("Édith Piaf — La Vie en rose  [SC8123-05]"));
    QTest::keyClick(&panel.searchField(), Qt::Key_Return);
    EXPECT_EQ(chosen, std::vector<std::string>{"La Vie en rose"});
    EXPECT_EQ(panel.statusLabel().text(), QString("queued"));

    // A song gone from its folder stays in the book, said to be missing.
    std::filesystem::remove(songs + "/SC8123-05 - Édith Piaf - La Vie en rose.zip");
    ASSERT_TRUE(platform::mainQueue().drainUntil(
        [&] {
            return panel.resultList().count() == 1 &&
                   panel.resultList().item(0)->text().endsWith("missing from its folder");
        },
        generousSeconds));
}

// Delete in the lists takes prepared work away: Ctrl+Z in the rotation puts back what went last, where it
// was.
TEST_F(EveningPanelsTest, ARemovedSongOrSingerComesBackWithUndo) {
    RotationPanel panel(evening);
    std::vector<QString> notices;
    panel.setNoticeHandler([&](const QString& text) { notices.push_back(text); });
    panel.show();
    const host::SingerId ann = *evening.addSinger("Ann");
    evening.addSinger("Bob");
    for (const char* title : {"One", "Two", "Three"})
        evening.queueSong(ann, {std::string("/songs/") + title + ".zip", "Artist", title, ""});
    evening.startNext();
    panel.reload();
    panel.selectSinger(ann);
    QListWidget& queue = panel.queueList();
    queue.setFocus();
    queue.setCurrentRow(0);
    QTest::keyClick(&queue, Qt::Key_Delete);
    ASSERT_EQ(evening.queue(ann).size(), 1u);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], QString("Artist — Two left Ann's queue; Ctrl+Z in the rotation puts it back"));
    QTest::keyClick(&queue, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(evening.queue(ann).size(), 2u);
    EXPECT_EQ(evening.queue(ann)[0].title, "Two");

    // The current singer leaves and comes back: the seat, the turn and the song being sung with them.
    QListWidget& list = panel.singerList();
    list.setFocus();
    panel.selectSinger(ann);
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(seatsText(), "Bob ");
    QTest::keyClick(&list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(seatsText(), "Ann Bob ");
    ASSERT_TRUE(evening.current());
    EXPECT_EQ(evening.current()->song.title, "One");
    QTest::keyClick(&list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(notices.back(), QString("Nothing removed from the rotation to put back"));
}

TEST_F(EveningPanelsTest, TheSingersListFollowsTheCurrentSingerAndCountsTheirSongs) {
    RotationPanel panel(evening);
    QListWidget& list = panel.singerList();
    std::vector<host::SingerId> seated;
    for (int i = 0; i < 12; ++i) {
        seated.push_back(*evening.addSinger("Singer " + std::to_string(i)));
        for (int song = 0; song <= i % 2; ++song)
            evening.queueSong(seated.back(), {"/songs/" + std::to_string(i) + ".zip", "Artist", "Song", ""});
    }
    panel.reload();
    panel.show();
    list.setFixedHeight(list.sizeHintForRow(0) * 5 + 2 * list.frameWidth());
    list.setFocus();
    panel.selectSinger(seated[1]);
    EXPECT_EQ(list.item(0)->text().toStdString(), "    Singer 0 · 1 song");
    EXPECT_EQ(list.item(1)->text().toStdString(), "    Singer 1 · 2 songs");

    const auto inView = [&](int row) {
        return list.viewport()->rect().contains(list.visualItemRect(list.item(row)));
    };
    for (int turn = 0; turn < 12; ++turn) {
        evening.startNext();
        panel.reload();
        EXPECT_TRUE(inView(turn)) << "the current singer, row " << turn;
        EXPECT_EQ(list.currentRow(), 1) << "the host's selection stays";
        EXPECT_EQ(panel.focusWidget(), &list) << "the focus stays";
    }
    // The host scrolls to look at someone: reloading for the same current singer leaves the list there.
    list.scrollToTop();
    panel.reload();
    EXPECT_TRUE(inView(0));

    // Opened with a current singer far down the list, it shows them.
    RotationPanel opened(evening);
    QListWidget& fresh = opened.singerList();
    fresh.setFixedHeight(list.height());
    opened.show();
    QApplication::processEvents();
    EXPECT_TRUE(fresh.viewport()->rect().contains(fresh.visualItemRect(fresh.item(11))));
}

} // namespace
