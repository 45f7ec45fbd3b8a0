// Between singers in the main window: the singers read who sings next and after them, and the host's
// line along the bottom of their screen while songs play and between them, kept across runs; only the
// host's start (F5 or the button) starts the next singer's song, never a song's end, never a key typed
// into a text field.

#include "Source/karaoke/views/BreakPanel.h"
#include "Source/karaoke/views/KaraokePainter.h"
#include "Source/mainwindow/KaraokeBreaks.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "Source/mainwindow/KaraokeView.h"
#include "Source/mainwindow/SingersScreen.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace vantle::testing {
namespace {

class BetweenSingersTest : public MainWindowTest {
protected:
    testsupport::TemporaryFolder data;
    testsupport::ScopedEnvironment dataHome{"XDG_DATA_HOME", data.path};

    void enterKaraoke() {
        player->setMode(PlayerMode::karaoke);
        view().updateForMode();
        ASSERT_NE(view().karaokeBreaks(), nullptr);
        ASSERT_NE(view().karaokeEvening()->evening(), nullptr);
    }
    host::Evening& evening() { return *view().karaokeEvening()->evening(); }
    KaraokeBreaks& breaks() { return *view().karaokeBreaks(); }
    BreakPanel& panel() { return *breaks().panel(); }
    KaraokeView& karaoke() { return *qobject_cast<KaraokeView*>(view().karaokeView()); }
    bool waitFor(const std::function<bool()>& done) {
        return platform::mainQueue().drainUntil(
            [&] {
                breaks().tick();
                return done();
            },
            20.0);
    }
    QString notice() { return qobject_cast<QLabel*>(view().notices().widget())->text(); }
    // What the singers read now.
    QStringList singersRead() {
        breaks().tick();
        karaoke().advanceFrame();
        return karaoke().singersScreen()->shownMessage();
    }
    // Pixels of the host's line's colour in the bottom twelfth of the singers' screen, and above it.
    std::pair<int, int> tickerPixels() {
        karaoke().advanceFrame();
        const QImage shot = karaoke().singersScreen()->grab().toImage();
        const int band = shot.height() - shot.height() / 12;
        int in = 0, above = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (QColor(shot.pixel(x, y)) == QColor(255, 200, 40)) ++(y >= band ? in : above);
        return {in, above};
    }
    std::string song(const char* name) { return audioFile(name, 20).path(); }
};

TEST_F(BetweenSingersTest, OnlyTheHostStartsTheNextSingerAndTheSingersReadWhoComes) {
    start();
    enterKaraoke();
    window->activateWindow();
    const host::SingerId ann = *evening().addSinger("Ann");
    const host::SingerId bob = *evening().addSinger("Bob");
    const host::SingerId cat = *evening().addSinger("Cat");
    evening().queueSong(ann, {song("jolene.wav"), "Dolly Parton", "Jolene", ""});
    evening().queueSong(bob, {song("nine.wav"), "Dolly Parton", "9 to 5", ""});
    evening().queueSong(cat, {song("islands.wav"), "Kenny Rogers", "Islands", ""});
    karaoke().toggleSingersScreen();
    ASSERT_NE(karaoke().singersScreen(), nullptr);
    EXPECT_EQ(singersRead().join("|").toStdString(), "Next: Ann — Jolene|Then: Bob — 9 to 5");

    // The host's line, typed into its field in the break music's window: F5 and Return there are the
    // field's.
    panel().findChild<QPushButton*>("breakMusicButton")->click();
    ASSERT_TRUE(panel().settingsWindow().isVisible());
    QLineEdit& line = panel().tickerField();
    line.setFocus();
    QTest::keyClicks(&line, "Wi-Fi: vantle2026");
    QTest::keyClick(&line, Qt::Key_F5);
    QTest::keyClick(&line, Qt::Key_Return);
    EXPECT_EQ(line.text(), QString("Wi-Fi: vantle2026"));
    breaks().tick();
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(evening().current()) << "nothing typed into the field reaches the rotation";
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return platform::UserDefaults::standard().string("singersTicker") == "Wi-Fi: vantle2026"; },
        10000))
        << "kept for the next run once the typing rests";
    const auto [between, betweenAbove] = tickerPixels();
    EXPECT_GT(between, 50) << "the line is along the bottom edge between songs";
    EXPECT_EQ(betweenAbove, 0) << "and only there";

    // F5 from the playlist: Ann's song is loaded and started.
    panel().settingsWindow().hide();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }, 10000));
    view().tableView().setFocus();
    QTest::keyClick(&view().tableView(), Qt::Key_F5);
    ASSERT_TRUE(waitFor([&] { return player->playing(); }));
    EXPECT_EQ(evening().current()->name, "Ann");
    EXPECT_EQ(player->entry()->_url.path(), evening().current()->song.path);
    EXPECT_GT(tickerPixels().first, 50) << "and while a song plays";

    // While she sings the host's start does nothing but say why.
    QTest::keyClick(&view().tableView(), Qt::Key_F5);
    EXPECT_TRUE(notice().contains("A song is playing")) << text(notice());
    EXPECT_EQ(evening().current()->name, "Ann");

    // Her song's end starts nobody: the singers read who comes next.
    player->advance(30);
    breaks().tick();
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(evening().current()->name, "Ann");
    EXPECT_EQ(singersRead().join("|").toStdString(), "Next: Bob — 9 to 5|Then: Cat — Islands");

    // The button is the host's start as well.
    QTest::mouseClick(&panel().startButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return player->playing(); }));
    EXPECT_EQ(evening().current()->name, "Bob");
    EXPECT_EQ(player->entry()->_url.path(), song("nine.wav"));
}

// The host's line and the break music's tracks and fade out are as they were at the next run.
TEST_F(BetweenSingersTest, TheHostsLineAndBreakMusicAreKept) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setString("singersTicker", "Two for one until nine");
    defaults.set("breakMusicTracks",
                 platform::PlistValue(platform::PlistArray{platform::PlistValue("/music/a.mp3")}));
    defaults.setDouble("breakMusicFadeOutSeconds", 3.5);
    start();
    enterKaraoke();
    EXPECT_EQ(panel().tickerField().text(), QString("Two for one until nine"));
    EXPECT_EQ(panel().tracks(), QStringList{"/music/a.mp3"});
    EXPECT_EQ(panel().fadeOutField().value(), 3.5);
    EXPECT_EQ(breaks().between().rules().fadeOutSeconds(), 3.5);
    karaoke().toggleSingersScreen();
    EXPECT_GT(tickerPixels().first, 50);
    panel().fadeOutField().setValue(1.0);
    EXPECT_EQ(defaults.doubleValue("breakMusicFadeOutSeconds"), 1.0);
}

// A crash in the break after a singer's song ended: after the restart that singer is done, and the host's
// start is the next singer's, not the same song again.
TEST_F(BetweenSingersTest, AfterARestartInTheBreakTheHostsStartIsTheNextSingers) {
    start();
    enterKaraoke();
    evening().queueSong(*evening().addSinger("Ann"), {song("jolene.wav"), "Dolly Parton", "Jolene", ""});
    evening().queueSong(*evening().addSinger("Bob"), {song("nine.wav"), "Dolly Parton", "9 to 5", ""});
    breaks().startNextSinger();
    ASSERT_TRUE(waitFor([&] { return player->playing(); }));
    player->advance(30);
    breaks().tick();
    ASSERT_FALSE(player->playing());
    evening().flush();

    stop();
    start();
    enterKaraoke();
    platform::mainQueue().drain();
    breaks().startNextSinger();
    ASSERT_TRUE(waitFor([&] { return player->playing(); }));
    EXPECT_EQ(evening().current()->name, "Bob");
    EXPECT_EQ(player->entry()->_url.path(), song("nine.wav"));
}

} // namespace
} // namespace vantle::testing
