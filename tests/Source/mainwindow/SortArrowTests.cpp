// The playlist header's sort arrow across the session commands.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QAction>
#include <QHeaderView>

namespace vantle::testing {
namespace {

using SortArrowTest = MainWindowTest;

// A new session was sorted by nothing: a folder added to it, its files in title order, shows no arrow
// though the session before was sorted by title.
TEST_F(SortArrowTest, ANewSessionShowsNoArrowUntilItIsSorted) {
    for (const char* name : {"Set/a.wav", "Set/b.wav", "Set/c.wav"})
        audioFile(name, 5);
    start();
    activate();
    PlaylistTableView& table = view().tableView();
    auto arrow = [&] { return table.horizontalHeader()->sortIndicatorSection(); };
    view().insertEntries({audioFile("z.wav", 5), audioFile("y.wav", 5)});
    table.clickColumn(PlaylistTableModel::identifier(PlaylistColumn::Title));
    ASSERT_EQ(names(), (std::vector<std::string>{"y.wav", "z.wav"}));
    ASSERT_EQ(arrow(), PlaylistTableModel::columnIndex(PlaylistColumn::Title));
    view().saveSessionAction();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Sorted.vantle")));

    window->findChild<QAction*>("newSessionAction")->trigger();
    ASSERT_TRUE(names().empty());
    EXPECT_EQ(arrow(), -1) << "an empty new session";
    window->findChild<QAction*>("actionAddEntry")->trigger();
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("Set")}));
    ASSERT_EQ(names(), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(arrow(), -1) << "a folder added to it";

    table.clickColumn(PlaylistTableModel::identifier(PlaylistColumn::Title));
    EXPECT_EQ(arrow(), PlaylistTableModel::columnIndex(PlaylistColumn::Title)) << "sorted in the new session";
}

} // namespace
} // namespace vantle::testing
