// What reaches the listening log when a song heard is left, however the next one is chosen, with the
// song's folder renamed away while it played and still away then.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
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

} // namespace
} // namespace vantle::testing
