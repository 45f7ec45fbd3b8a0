// What reaches the listening log when a song heard is left, however the next one is chosen, with the
// song's folder renamed away while it played and still away then.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/Logger.h"
#include "Source/session/AppState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

enum class NextChosen { byAClickAfterAPause, byADoubleClickWhileItPlays, byItsEnd };

class ListeningLogTest : public MainWindowTest, public ::testing::WithParamInterface<NextChosen> {};

TEST_P(ListeningLogTest, ASongHeardFromAVanishedFolderGetsItsLine) {
    const platform::Url session = audioFolder.url("Class.vantle");
    writeSession(session, {audioFile("Class/waltz.wav", 20), audioFile("Other/tango.wav", 30)}, 0);
    start();
    view().setFirst(false);
    ASSERT_TRUE(view().loadSession(session));
    view().transport().playPressed();
    tick(50);
    std::filesystem::rename(audioFolder.file("Class"), audioFolder.file("Class away"));
    tick(50);
    switch (GetParam()) {
    case NextChosen::byAClickAfterAPause:
        view().transport().pausePressed();
        view().tableView().selectRows({1});
        break;
    case NextChosen::byADoubleClickWhileItPlays:
        view().tableView().doubleClickRow(1);
        break;
    case NextChosen::byItsEnd:
        tick(200);
        break;
    }
    ASSERT_EQ(playlist().assignedEntry, entry(1));
    EXPECT_THAT(log->loggedEntries, ElementsAre("waltz.wav"));
    ASSERT_EQ(log->loggedShares.size(), 1u);
    EXPECT_GE(log->loggedShares[0], 0.45) << "at least the 9 s heard of its 20";
}

std::string chosenName(const ::testing::TestParamInfo<NextChosen>& info) {
    static const char* const names[] = {"ClickAfterAPause", "DoubleClickWhileItPlays", "ItsEnd"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(NextChosen, ListeningLogTest,
                         ::testing::Values(NextChosen::byAClickAfterAPause,
                                           NextChosen::byADoubleClickWhileItPlays, NextChosen::byItsEnd),
                         chosenName);

// The listening held in the state file across a restart is logged exactly once: not again after a quit
// logged it, and still once after a kill that left it unlogged.
class ListeningAcrossRestartsTest : public MainWindowTest {
protected:
    ListeningAcrossRestartsTest() {
        configureEnvironment = [this](MainViewEnvironment& environment) {
            environment.parts.log = [this](MainViewController&) {
                return std::make_unique<Logger>(logFile, platform::Clock::system());
            };
        };
    }
    // The log's lines for the song.
    int linesOf(const std::string& name) {
        const platform::Bytes bytes = platform::readFile(logFile.path()).valueOr(platform::Bytes{});
        std::istringstream text(std::string(bytes.begin(), bytes.end()));
        int count = 0;
        for (std::string line; std::getline(text, line);)
            count += line.ends_with("% " + name);
        return count;
    }
    // Starts again, waits a moment paused on the restored song (the display ticking), then clicks the
    // other row.
    void restartAndClickTheOther() {
        start();
        activate();
        ASSERT_TRUE(playlist().currentRow());
        const std::size_t other = 1 - *playlist().currentRow();
        tick(5);
        view().tableView().selectRows({other});
        ASSERT_EQ(playlist().assignedEntry, entry(other));
        stop();
    }

    platform::Url logFile = stateFolder.url("listening.log.txt");
};

TEST_F(ListeningAcrossRestartsTest, QuitRestartClickLogsTheSongOnce) {
    const platform::Url session = audioFolder.url("Class.vantle");
    writeSession(session, {audioFile("waltz.wav", 20), audioFile("tango.wav", 30)}, 0);
    writeAppState(AppState(session, 0, 0, nullptr, std::nullopt));
    start();
    activate();
    view().transport().playPressed();
    tick(50);
    delegate->terminate();
    ASSERT_EQ(quits, 1);
    stop();
    ASSERT_EQ(linesOf("waltz.wav"), 1);
    // Twice: back on the waltz, and away from it again.
    for (int round = 0; round < 3; ++round) {
        restartAndClickTheOther();
        EXPECT_EQ(linesOf("waltz.wav"), 1) << "round " << round;
    }
}

TEST_F(ListeningAcrossRestartsTest, KillRestartClickLogsWhatTheStateFileHeldUnlogged) {
    const platform::Url session = audioFolder.url("Class.vantle");
    writeSession(session, {audioFile("waltz.wav", 20), audioFile("tango.wav", 30)}, 0);
    const struct {
        const char* stateFile;
        std::optional<bool> logged;
        int lines;
    } cases[] = {
        {"written while the song played (a kill)", false, 1},
        {"written at a quit, after the line", true, 0},
        {"written by a version that did not say", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stateFile);
        std::filesystem::remove(logFile.path());
        AppState state(session, 8, 0, std::make_shared<TimeRangeSet>(), std::nullopt);
        state.currentTimeRangeSet->addRange(0, 8, 0);
        state.currentListeningLogged = c.logged;
        writeAppState(state);
        restartAndClickTheOther();
        EXPECT_EQ(linesOf("waltz.wav"), c.lines);
    }
}

} // namespace
} // namespace vantle::testing
