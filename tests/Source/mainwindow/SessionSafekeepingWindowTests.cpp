// What a crash or a quit would lose: the state file written off the window's thread, a killed run's
// unsaved changes offered at the next start, the title's unsaved mark, and the mode a quit leaves.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/session/SessionRecovery.h"
#include "platform/foundation/PropertyList.h"
#include "tests/support/Wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace vantle::testing {

// Only a broken program waits this long for the worker's write.
constexpr std::chrono::seconds generousWait{30};
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SafekeepingWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        a = audioFile("a.wav", 90);
        b = audioFile("b.wav", 90);
        c = audioFile("c.wav", 90);
        writeSession(session, {a, b, c}, 1);
    }
    std::optional<platform::FileStamp> stateStamp() { return platform::fileStamp(appStateFileURL().path()); }

    platform::Url a, b, c, session = audioFolder.url("Milonga.vantle");
};

// A key held down changes it 67 times a second: the window's thread writes nothing for any of them, and
// the state file is written once the changes pause.
TEST_F(SafekeepingWindowTest, KeyChangesWriteTheStateFileOnceTheyPause) {
    start();
    activate();
    ASSERT_TRUE(view().loadSession(session));
    // The opening's own write, once it is made.
    tick(40);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            platform::Result<AppState> state = readAppState();
            return state && state->playlistURL == session;
        },
        generousWait));
    const std::optional<platform::FileStamp> opened = stateStamp();
    // Key Up and Key Down as the keyboard gives them, each its own turn of the window's loop.
    window->activateWindow();
    for (int i = 1; i <= 21; ++i) {
        QTest::keyClick(window.get(), i % 2 ? Qt::Key_Equal : Qt::Key_Minus, Qt::ControlModifier);
        QApplication::processEvents();
    }
    EXPECT_EQ(entry(1)->keyShift, 1);
    EXPECT_EQ(stateStamp(), opened);
    tick(6);
    EXPECT_TRUE(testsupport::waitUntil([&] { return stateStamp() != opened; }, generousWait));
}

// Unsaved changes show as "*" after the session's name, from the change until a save.
TEST_F(SafekeepingWindowTest, TheTitleMarksUnsavedChanges) {
    start();
    activate();
    ASSERT_TRUE(view().loadSession(session));
    tick();
    EXPECT_EQ(text(window->windowTitle()), "Milonga");
    player->setKeyShift(3);
    tick();
    EXPECT_EQ(text(window->windowTitle()), "Milonga*");
    view().saveSessionAction();
    tick();
    EXPECT_EQ(text(window->windowTitle()), "Milonga");
}

// What a run killed while the second song played left: its listening in the state file, never logged,
// and the unsaved order and key in the recovery file. The next start brings the listening back and
// offers the changes; either answer keeps the listening, which gets its line in the log.
TEST_F(SafekeepingWindowTest, AKilledRunsChangesAreOfferedAtTheNextStart) {
    for (const bool recover : {true, false}) {
        SCOPED_TRACE(recover ? "Recover" : "Discard");
        AppState state(session, 42, 2, heardSpans({{10, 42}}), std::vector<double>{});
        state.currentListeningLogged = false;
        writeAppState(state);
        SessionRecovery recovery;
        recovery.playlistURL = session;
        recovery.order = std::vector<platform::Url>{c, a, b};
        recovery.keys = {{b, 2}};
        ASSERT_TRUE(platform::writeFileAtomically(sessionRecoveryFileURL().path(),
                                                  platform::encodePlist(recovery).value()));
        start();
        activate();
        EXPECT_EQ(player->entry()->_url, b);
        EXPECT_DOUBLE_EQ(player->playbackTime(), 42);
        EXPECT_EQ(player->entry()->currentTimeRangeSet->ranges, (std::vector<TimeRange>{{10, 42}}));
        ASSERT_EQ(alerts.pendingAlerts(), 1u);
        EXPECT_THAT(alerts.requests().back().options.messageText,
                    HasSubstr("“Milonga.vantle” can be recovered"));
        EXPECT_THAT(alerts.requests().back().options.informativeText,
                    HasSubstr("the order of its 3 entries and the key of 1 song"));
        ASSERT_TRUE(alerts.answerAlert(recover ? 0 : 1));
        tick();
        view().safekeeping().flush();
        if (recover) {
            EXPECT_THAT(names(), ElementsAre("c.wav", "a.wav", "b.wav"));
            EXPECT_EQ(player->keyShift(), 2);
            EXPECT_EQ(text(window->windowTitle()), "Milonga*");
            EXPECT_EQ(readSessionRecovery().value(), recovery);
        } else {
            EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav"));
            EXPECT_EQ(player->keyShift(), 0);
            EXPECT_EQ(text(window->windowTitle()), "Milonga");
            EXPECT_FALSE(platform::fileExists(sessionRecoveryFileURL().path()));
        }
        EXPECT_FALSE(platform::fileExists(waitingRecoveryFileURL(session).path()));
        // The song left, the killed run's listening gets its line.
        view().loadEntry(entry(0) == player->entry() ? entry(1) : entry(0));
        EXPECT_THAT(log->loggedEntries, ElementsAre("b.wav"));
        stop();
    }
}

// A killed run's changes to a session that cannot be opened at the next start (its stick not in) wait
// for it: another session's changes meanwhile do not write over them, and they are offered once it opens.
TEST_F(SafekeepingWindowTest, AKilledRunsChangesWaitForTheirSessionToOpen) {
    const std::string stick = audioFolder.path + "/stick", away = audioFolder.path + "/away";
    std::filesystem::create_directories(stick);
    const platform::Url onStick = platform::Url::fileURLWithPath(stick + "/Friday.vantle");
    writeSession(onStick, {a, b, c}, 0);
    writeAppState(AppState(onStick, 0, 0, nullptr, std::nullopt));
    const SessionRecovery recovery{onStick, std::vector<platform::Url>{c, b, a}, {{a, 3}}};
    ASSERT_TRUE(platform::writeFileAtomically(sessionRecoveryFileURL().path(),
                                              platform::encodePlist(recovery).value()));
    std::filesystem::rename(stick, away);
    start();
    activate();
    ASSERT_EQ(alerts.pendingAlerts(), 1u);
    EXPECT_THAT(alerts.requests().back().options.messageText, HasSubstr("could not be opened"));
    ASSERT_TRUE(alerts.answerAlert(0));

    ASSERT_TRUE(view().loadSession(session));
    player->setKeyShift(1);
    tick(10);
    view().safekeeping().flush();
    EXPECT_EQ(readSessionRecovery().value().playlistURL, session);

    std::filesystem::rename(away, stick);
    ASSERT_TRUE(view().loadSession(onStick));
    ASSERT_EQ(alerts.pendingAlerts(), 1u);
    EXPECT_THAT(alerts.requests().back().options.messageText, HasSubstr("“Friday.vantle” can be recovered"));
    ASSERT_TRUE(alerts.answerAlert(0));
    tick();
    view().safekeeping().flush();
    EXPECT_THAT(names(), ElementsAre("c.wav", "b.wav", "a.wav"));
    EXPECT_EQ(entry(2)->keyShift, 3);
    EXPECT_EQ(text(window->windowTitle()), "Friday*");
    // Now this run's own unsaved changes.
    EXPECT_EQ(readSessionRecovery().value(), recovery);
    EXPECT_FALSE(platform::fileExists(waitingRecoveryFileURL(onStick).path()));
}

// A session never saved: the killed run's list comes back when asked for.
TEST_F(SafekeepingWindowTest, AKilledRunsUnsavedListIsOfferedAtTheNextStart) {
    SessionRecovery recovery;
    recovery.order = std::vector<platform::Url>{c, a};
    recovery.keys = {{a, -1}};
    ASSERT_TRUE(platform::writeFileAtomically(sessionRecoveryFileURL().path(),
                                              platform::encodePlist(recovery).value()));
    start();
    activate();
    EXPECT_TRUE(names().empty());
    ASSERT_EQ(alerts.pendingAlerts(), 1u);
    EXPECT_EQ(alerts.requests().back().options.messageText,
              "Vantle did not quit normally: the unsaved session can be recovered.");
    EXPECT_THAT(alerts.requests().back().options.informativeText,
                HasSubstr("never saved: its 2 entries and the key of 1 song."));
    ASSERT_TRUE(alerts.answerAlert(0));
    tick();
    EXPECT_THAT(names(), ElementsAre("c.wav", "a.wav"));
    EXPECT_EQ(entry(1)->keyShift, -1);
    EXPECT_EQ(text(window->windowTitle()), "Vantle*");
}

// A recovery file that is none (cut short, garbage, larger than any list's) is named at the start, which
// opens the session as it was saved.
TEST_F(SafekeepingWindowTest, AnUnreadableRecoveryFileIsNamedAndTheStartGoesOn) {
    const std::string file = sessionRecoveryFileURL().path();
    const platform::Bytes whole =
        platform::encodePlist(SessionRecovery{session, std::nullopt, {{b, 2}}}).value();
    const struct {
        const char* kind;
        std::function<void()> write;
        const char* reason;
    } cases[] = {
        {"cut short",
         [&] {
             ASSERT_TRUE(
                 platform::writeFileAtomically(file, platform::Bytes(whole.begin(), whole.end() - 9)));
         },
         ""},
        {"too large",
         [&] {
             ASSERT_TRUE(platform::writeFileAtomically(file, whole));
             ASSERT_EQ(::truncate(file.c_str(), off_t(sessionRecoveryFileSizeLimit) + 1), 0);
         },
         "larger than 67108864 bytes"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.kind);
        writeAppState(AppState(session, 0, 1, nullptr, std::nullopt));
        each.write();
        start();
        activate();
        EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav"));
        EXPECT_EQ(entry(1)->keyShift, 0);
        ASSERT_EQ(alerts.pendingAlerts(), 1u);
        EXPECT_THAT(alerts.requests().back().options.messageText, HasSubstr("could not be read"));
        EXPECT_THAT(alerts.requests().back().options.informativeText, HasSubstr(each.reason));
        EXPECT_EQ(text(window->windowTitle()), "Milonga");
        ASSERT_TRUE(alerts.answerAlert(0));
        stop();
    }
}

// The session's folder replaced (a stick pulled leaves its mount point; here a folder made again): no
// save writes there. The saves after songs ask once while the question is open; Save As… writes where
// the panel says.
TEST_F(SafekeepingWindowTest, ASaveIntoAnotherFolderUnderTheSameNameAsksForSaveAs) {
    const std::string stick = audioFolder.path + "/stick";
    const platform::Url onStick = platform::Url::fileURLWithPath(stick + "/Milonga.vantle");
    std::filesystem::create_directories(stick);
    writeSession(onStick, {a, b}, 0);
    start();
    activate();
    ASSERT_TRUE(view().loadSession(onStick));
    player->setKeyShift(2);
    // Held open, the folder keeps its inode from the one made in its place.
    const platform::FileDescriptor held(::open(stick.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::remove_all(stick);
    std::filesystem::create_directories(stick);
    view().savePlaylist();
    view().savePlaylist();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.messageText, HasSubstr("its folder is no longer the one"));
    EXPECT_EQ(alerts.requests()[0].options.buttons, (std::vector<std::string>{"Save As…", "Cancel"}));
    ASSERT_TRUE(alerts.answerAlert(1));
    EXPECT_FALSE(platform::fileExists(onStick.path()));
    EXPECT_TRUE(playlist().dirty);

    view().saveSessionAction();
    ASSERT_EQ(alerts.requests().size(), 2u);
    ASSERT_TRUE(alerts.answerAlert(0));
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Kept.vantle")));
    EXPECT_FALSE(platform::fileExists(onStick.path()));
    EXPECT_EQ(Playlist::read(audioFolder.url("Kept.vantle")).value()->allEntries.at(0)->keyShift, 2);
    EXPECT_EQ(view().sessionURL(), audioFolder.url("Kept.vantle"));
}

// Each mode a quit leaves is the mode of the next start; a quit saves the changes, and the recovery file
// goes with them.
TEST_F(SafekeepingWindowTest, TheModeAQuitLeavesComesBack) {
    for (const PlayerMode mode :
         {PlayerMode::karaoke, PlayerMode::karaokePrepare, PlayerMode::prepare, PlayerMode::dance}) {
        SCOPED_TRACE(static_cast<int>(mode));
        start();
        activate();
        ASSERT_TRUE(view().loadSession(session));
        window->setMode(mode);
        player->setKeyShift(player->keyShift() + 1);
        tick(10);
        view().safekeeping().flush();
        EXPECT_TRUE(platform::fileExists(sessionRecoveryFileURL().path()));
        delegate->terminate();
        ASSERT_EQ(quits, 1);
        // Written after the window, before the exit.
        stop();
        EXPECT_FALSE(platform::fileExists(sessionRecoveryFileURL().path()));
        quits = 0;
        start();
        activate();
        EXPECT_EQ(player->mode(), mode);
        stop();
    }
}

// A killed run starts again in the mode it was in: a host's evening comes back in karaoke, not dance.
TEST_F(SafekeepingWindowTest, AKilledRunStartsInTheModeItWasIn) {
    for (const PlayerMode mode : {PlayerMode::karaoke, PlayerMode::prepare, PlayerMode::dance}) {
        SCOPED_TRACE(static_cast<int>(mode));
        start();
        activate();
        window->setMode(mode);
        // No quit: the window goes as a kill leaves it.
        stop();
        start();
        activate();
        EXPECT_EQ(player->mode(), mode);
        stop();
    }
}

} // namespace
} // namespace vantle::testing
