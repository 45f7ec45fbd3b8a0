// The host's evening in the main window: its panels come with the karaoke modes, a singer's song loads
// in the key they sang it in last, a song whose file is gone is said and stays queued, and keys typed
// in its fields never reach the playlist or the player.

#include "Source/karaoke/host/HostDatabase.h"
#include "Source/karaoke/views/RotationPanel.h"
#include "Source/karaoke/views/SongBookPanel.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "tests/Source/mainwindow/RealPartsTestSupport.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace vantle::testing {
namespace {

// Over the stand-in parts, or the finished ones where the speed controls matter.
template <typename Window> class EveningTestOf : public Window {
protected:
    // An evening of its own: the host's database is in the data folder.
    testsupport::TemporaryFolder data;
    testsupport::ScopedEnvironment dataHome{"XDG_DATA_HOME", data.path};

    void enterKaraoke() {
        this->player->setMode(PlayerMode::karaoke);
        this->view().updateForMode();
        ASSERT_NE(this->view().karaokeEvening(), nullptr);
        ASSERT_NE(this->view().karaokeEvening()->evening(), nullptr);
    }
    host::Evening& evening() { return *this->view().karaokeEvening()->evening(); }
    bool waitFor(const std::function<bool()>& done) { return platform::mainQueue().drainUntil(done, 20.0); }
    QString notice() { return qobject_cast<QLabel*>(this->view().notices().widget())->text(); }
};
using KaraokeEveningTest = EveningTestOf<MainWindowTest>;
using KaraokeEveningRealPartsTest = EveningTestOf<RealPartsTest>;

TEST_F(KaraokeEveningTest, TheEveningComesWithTheKaraokeModesOnly) {
    start();
    EXPECT_EQ(view().karaokeEvening(), nullptr);
    enterKaraoke();
    QWidget* panels = view().karaokeEvening()->widget();
    EXPECT_TRUE(panels->isVisible());
    player->setMode(PlayerMode::dance);
    view().updateForMode();
    EXPECT_FALSE(panels->isVisible());
}

TEST_F(KaraokeEveningTest, ASingersSongLoadsInTheKeyTheySangItInLast) {
    start();
    enterKaraoke();
    const std::string song = audioFile("jolene.wav", 30).path();
    const host::SingerId ann = *evening().addSinger("Ann");
    const host::SingerId bob = *evening().addSinger("Bob");
    evening().queueSong(ann, {song, "Dolly Parton", "Jolene", ""});
    evening().queueSong(bob, {song, "Dolly Parton", "Jolene", ""});
    KaraokeEvening& wiring = *view().karaokeEvening();

    wiring.loadNextSinger();
    ASSERT_TRUE(waitFor([&] { return player->entry() && evening().current(); }));
    EXPECT_EQ(evening().current()->name, "Ann");
    EXPECT_EQ(player->keyShift(), 0);
    view().transport().keyDown();
    view().transport().keyDown();
    EXPECT_EQ(evening().style(ann, song)->key, -2);
    // The tempo she sang at is kept when the host moves on.
    view().transport().setTempo(0.9);

    wiring.loadNextSinger();
    ASSERT_TRUE(waitFor([&] { return evening().current()->name == "Bob"; }));
    EXPECT_EQ(player->keyShift(), 0); // Ann's key is hers
    EXPECT_EQ(view().transport().tempo(), 1.0);
    EXPECT_FALSE(evening().style(bob, song));
    EXPECT_EQ(*evening().style(ann, song), (host::SongStyle{-2, 0.9}));

    // Next time Ann sings it, it is in her key again, by itself.
    evening().queueSong(ann, {song, "Dolly Parton", "Jolene", ""});
    wiring.loadNextSinger();
    ASSERT_TRUE(waitFor([&] { return evening().current()->name == "Ann"; }));
    EXPECT_EQ(player->keyShift(), -2);
    EXPECT_EQ(view().transport().tempo(), 0.9);
}

TEST_F(KaraokeEveningRealPartsTest, ASpeedChangedByHandIsTheSingersAsItChanges) {
    start();
    enterKaraoke();
    const std::string song = audioFile("jolene.wav", 30).path();
    const host::SingerId ann = *evening().addSinger("Ann");
    evening().queueSong(ann, {song, "Dolly Parton", "Jolene", ""});
    view().karaokeEvening()->loadNextSinger();
    ASSERT_TRUE(waitFor([&] { return player->entry() && evening().current(); }));
    panel().slower(Qt::NoModifier);
    ASSERT_LT(view().transport().tempo(), 1.0);
    // Kept now, not only when the host moves on: a crash before then keeps it too.
    ASSERT_TRUE(evening().style(ann, song));
    EXPECT_EQ(evening().style(ann, song)->tempo, view().transport().tempo());
}

TEST_F(KaraokeEveningRealPartsTest, ARestartLoadsTheCurrentSingersSongInTheirKeyAndTempo) {
    const std::string song = audioFile("jolene.wav", 30).path();
    {
        host::Evening before(host::HostDatabase::defaultLocation());
        const host::SingerId ann = *before.addSinger("Ann");
        before.queueSong(ann, {song, "Dolly Parton", "Jolene", ""});
        before.startNext();
        before.setCurrentStyle({3, 0.9});
        before.flush();
    }
    start();
    enterKaraoke();
    ASSERT_TRUE(waitFor([&] { return player->entry() != nullptr; }));
    EXPECT_EQ(player->entry()->_url.path(), song);
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(player->keyShift(), 3);
    EXPECT_EQ(view().transport().tempo(), 0.9);
    // Set back, not sung anew: her history holds the one turn.
    EXPECT_EQ(evening().history(evening().current()->singer).size(), 1u);
}

// Keys as the window system delivers them, menus and their shortcuts included: in the name or the search
// field each is the field's, never the player's, the playlist's or the rotation's.
TEST_F(KaraokeEveningRealPartsTest, KeysTypedInTheFieldsNeverReachThePlayerOrTheRotation) {
    start();
    view().insertEntries({audioFile("one.wav", 30), audioFile("two.wav", 30)});
    view().loadEntryAtRow(0);
    enterKaraoke();
    evening().addSinger("Ann");
    const auto entryBefore = player->entry();
    const auto rowBefore = playlist().currentRow();
    const double tempoBefore = view().transport().tempo();
    const auto seatsBefore = evening().rotation().seats();
    const struct {
        int key;
        QString text;
    } keys[] = {{Qt::Key_Space, " "},    {Qt::Key_Z, "z"},     {Qt::Key_S, "s"},     {Qt::Key_A, "a"},
                {Qt::Key_Plus, "+"},     {Qt::Key_Minus, "-"}, {Qt::Key_Left, {}},   {Qt::Key_Right, {}},
                {Qt::Key_Up, {}},        {Qt::Key_Down, {}},   {Qt::Key_Delete, {}}, {Qt::Key_Backspace, {}},
                {Qt::Key_Home, {}},      {Qt::Key_End, {}},    {Qt::Key_PageUp, {}}, {Qt::Key_PageDown, {}},
                {Qt::Key_Escape, "\x1b"}};
    for (QLineEdit* field : {&view().karaokeEvening()->rotationPanel()->nameField(),
                             &view().karaokeEvening()->songBookPanel()->searchField()}) {
        focus(field);
        for (const auto& k : keys) {
            type(k.key, k.text);
            QApplication::processEvents();
            SCOPED_TRACE(text(field->objectName()) + " " + std::to_string(k.key));
            EXPECT_FALSE(player->playing());
            EXPECT_EQ(player->entry(), entryBefore);
            EXPECT_EQ(player->keyShift(), 0);
            EXPECT_EQ(view().transport().tempo(), tempoBefore);
            EXPECT_EQ(playlist().currentRow(), rowBefore);
            EXPECT_TRUE(entry(0)->zeros.empty());
            EXPECT_EQ(player->mode(), PlayerMode::karaoke);
            EXPECT_EQ(evening().rotation().seats(), seatsBefore);
        }
        // They were the field's: its text is what was typed.
        EXPECT_TRUE(field->text().startsWith(" zsa+")) << text(field->text());
    }
}

TEST_F(KaraokeEveningTest, AMissingSongIsSaidAndStaysQueued) {
    start();
    enterKaraoke();
    const host::SingerId ann = *evening().addSinger("Ann");
    evening().queueSong(ann, {audioFolder.file("gone.zip"), "Nobody", "Gone", ""});
    view().karaokeEvening()->loadNextSinger();
    ASSERT_TRUE(waitFor([&] { return notice().contains("gone.zip is missing"); })) << text(notice());
    EXPECT_EQ(evening().queue(ann).size(), 1u);
    EXPECT_FALSE(evening().current());
}

TEST_F(KaraokeEveningTest, KeysTypedInTheNameFieldStayThere) {
    start();
    for (const char* name : {"one.wav", "two.wav", "three.wav"})
        view().insertEntries({audioFile(name, 10)});
    view().loadEntryAtRow(0);
    enterKaraoke();
    window->activateWindow();
    RotationPanel& rotation = *view().karaokeEvening()->rotationPanel();
    QLineEdit& name = rotation.nameField();
    name.setFocus();
    const auto rowBefore = playlist().currentRow();
    // Down, Up and Return move the playlist's row when the list has the keyboard; a space plays.
    QTest::keyClicks(&name, "Ann Lee");
    QTest::keyClick(&name, Qt::Key_Down);
    QTest::keyClick(&name, Qt::Key_Up);
    EXPECT_EQ(name.text(), QString("Ann Lee"));
    QTest::keyClick(&name, Qt::Key_Return);
    EXPECT_EQ(playlist().currentRow(), rowBefore);
    EXPECT_FALSE(player->playing());
    ASSERT_EQ(evening().rotation().seats().size(), 1u);
    EXPECT_EQ(evening().singer(evening().rotation().seats()[0].singer)->name, "Ann Lee");
}

} // namespace
} // namespace vantle::testing
