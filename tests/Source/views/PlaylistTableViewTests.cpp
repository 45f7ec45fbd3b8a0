#include "Source/views/PlaylistTableView.h"

#include "tests/Source/views/ViewsTestSupport.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

QPoint rowCenter(PlaylistTableView& table, int row) {
    return table.visualRect(table.playlistModel().index(row, 0)).center();
}

// The events of a real double click: press, release, double click, release.
void doubleClick(QWidget* widget, QPoint at) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void clickHeader(PlaylistTableView& table, PlaylistColumn column) {
    QHeaderView* header = table.horizontalHeader();
    const int section = PlaylistTableModel::columnIndex(column);
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

TEST_F(PlaylistTableTest, SelectingRowsLoadsTheLowestOneUnlessThePlayerPlays) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3", "/a/2.mp3", "/a/3.mp3"});
    ASSERT_TRUE(mainView.loadedEntries.empty());

    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(*table, 2));
    EXPECT_THAT(table->selectedRows(), ElementsAre(2u));
    ASSERT_EQ(mainView.loadedEntries.size(), 1u);
    EXPECT_EQ(mainView.loadedEntries.back(), entries[2]);

    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCenter(*table, 1));
    EXPECT_THAT(table->selectedRows(), ElementsAre(1u, 2u));
    ASSERT_EQ(mainView.loadedEntries.size(), 2u);
    EXPECT_EQ(mainView.loadedEntries.back(), entries[1]);

    // While the music plays, selecting only marks rows.
    mainView.playing = true;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(*table, 0));
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u));
    EXPECT_EQ(mainView.loadedEntries.size(), 2u);
    EXPECT_EQ(playlist().assignedEntry, entries[1]);

    // The rows map to the visible entries of the moment.
    mainView.playing = false;
    playlist().filterText = "3";
    table->reloadTable();
    table->selectRows({0});
    EXPECT_EQ(mainView.loadedEntries.back(), entries[3]);
}

TEST_F(PlaylistTableTest, ReloadsSelectTheCurrentEntryOrTheGivenRows) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3", "/a/2.mp3"});
    playlist().assignedEntry = entries[2];
    table->reloadTable();
    EXPECT_THAT(table->selectedRows(), ElementsAre(2u));

    table->reloadTableSelecting({0, 1, 7});
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u, 1u));

    // A filtered-out current entry selects nothing new.
    playlist().filterText = "1";
    table->reloadTable();
    EXPECT_TRUE(table->selectedRows().empty());
    EXPECT_EQ(table->playlistModel().rowCount(), 1);
}

TEST_F(PlaylistTableTest, DoubleClickChecksLikeTheClickedRowAndLoadsIt) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3", "/a/2.mp3", "/a/3.mp3", "/a/4.mp3"});
    entries[1]->isCheckmarked = true;
    entries[2]->isCheckmarked = true;
    table->selectRows({1, 2, 4});
    mainView.loadedRows.clear();

    table->doubleClickRow(4);
    EXPECT_TRUE(entries[1]->isCheckmarked);
    EXPECT_TRUE(entries[2]->isCheckmarked);
    EXPECT_TRUE(entries[4]->isCheckmarked);
    EXPECT_FALSE(entries[0]->isCheckmarked);
    EXPECT_THAT(table->selectedRows(), ElementsAre(4u));
    EXPECT_THAT(mainView.loadedRows, ElementsAre(4));
    EXPECT_EQ(playlist().assignedEntry, entries[4]);
    EXPECT_TRUE(playlist().dirty);
    EXPECT_TRUE(playlist().undoer.undoStack().empty());

    // Again, with row 4 alone selected: only its check mark goes.
    table->doubleClickRow(4);
    EXPECT_FALSE(entries[4]->isCheckmarked);
    EXPECT_TRUE(entries[1]->isCheckmarked);
    EXPECT_TRUE(entries[2]->isCheckmarked);

    // Below the last row nothing happens.
    playlist().dirty = false;
    table->doubleClickRow(5);
    EXPECT_FALSE(playlist().dirty);
    EXPECT_THAT(mainView.loadedRows, ElementsAre(4, 4));

    // With the mouse: a double click on row 0 checks it and loads it; one below the rows does not.
    doubleClick(table->viewport(), rowCenter(*table, 0));
    EXPECT_TRUE(entries[0]->isCheckmarked);
    EXPECT_THAT(mainView.loadedRows, ElementsAre(4, 4, 0));
    const QPoint below(10, table->viewport()->height() - 5);
    ASSERT_EQ(table->rowAt(below.y()), -1);
    doubleClick(table->viewport(), below);
    EXPECT_THAT(mainView.loadedRows, ElementsAre(4, 4, 0));
}

TEST_F(PlaylistTableTest, TitleAndDirectoryHeadersSortStablyAsOneUndoableStep) {
    setEntries({"/b/y.mp3", "/a/x.mp3", "/c/x.mp3", "/a/X.mp3"});
    table->selectRows({2});
    mainView.loadedRows.clear();

    clickHeader(*table, PlaylistColumn::Title);
    // Case-sensitive; the two x.mp3 keep their order.
    EXPECT_THAT(order(), ElementsAre("X.mp3", "x.mp3", "x.mp3", "y.mp3"));
    EXPECT_EQ(playlist().allEntries[1]->_url.path(), "/a/x.mp3");
    EXPECT_EQ(playlist().allEntries[2]->_url.path(), "/c/x.mp3");
    EXPECT_EQ(undoItem.title, "Undo sort");
    EXPECT_TRUE(undoItem.enabled);
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u));
    EXPECT_EQ(playlist().assignedEntry, playlist().allEntries[0]);
    EXPECT_TRUE(playlist().dirty);
    // The header does not move the indicator: it stays on the folder column, pointing up.
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(),
              PlaylistTableModel::columnIndex(PlaylistColumn::Directory));
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // Clicking again gives the same order, as a second step.
    clickHeader(*table, PlaylistColumn::Title);
    EXPECT_THAT(order(), ElementsAre("X.mp3", "x.mp3", "x.mp3", "y.mp3"));
    EXPECT_EQ(playlist().undoer.undoStack().size(), 2u);

    clickHeader(*table, PlaylistColumn::Directory);
    std::vector<std::string> paths;
    for (const auto& entry : playlist().allEntries)
        paths.push_back(entry->_url.path());
    EXPECT_THAT(paths, ElementsAre("/a/X.mp3", "/a/x.mp3", "/b/y.mp3", "/c/x.mp3"));

    // Undo walks back through the sorts to the first order with its selection.
    playlist().undoer.undo();
    playlist().undoer.undo();
    playlist().undoer.undo();
    EXPECT_THAT(order(), ElementsAre("y.mp3", "x.mp3", "x.mp3", "X.mp3"));
    EXPECT_THAT(table->selectedRows(), ElementsAre(2u));
    EXPECT_EQ(undoItem.title, "Undo");
    EXPECT_EQ(redoItem.title, "Redo sort");
    playlist().undoer.redo();
    EXPECT_THAT(order(), ElementsAre("X.mp3", "x.mp3", "x.mp3", "y.mp3"));
}

TEST_F(PlaylistTableTest, AgeHeaderPutsNeverPlayedFirstAndTheLatestPlayedLast) {
    auto entries =
        setEntries({"/a/recent.mp3", "/a/never1.mp3", "/a/old.mp3", "/a/never2.mp3", "/a/middle.mp3"});
    const platform::Date now = clock.now();
    entries[0]->playedDates = {now.addingTimeInterval(-60.0)};
    entries[2]->playedDates = {now.addingTimeInterval(-86400.0 * 30)};
    entries[4]->playedDates = {now.addingTimeInterval(-86400.0 * 30), now.addingTimeInterval(-3600.0)};

    clickHeader(*table, PlaylistColumn::Age);
    EXPECT_THAT(order(), ElementsAre("never1.mp3", "never2.mp3", "old.mp3", "middle.mp3", "recent.mp3"));
    EXPECT_EQ(undoItem.title, "Undo sort");
    EXPECT_EQ(playlist().assignedEntry, entries[1]);
}

TEST_F(PlaylistTableTest, CheckedHeaderClearsTheSearchAndSortsCheckedFirst) {
    auto entries = setEntries({"/a/one.mp3", "/a/two.mp3", "/a/three.mp3", "/a/four.mp3"});
    entries[1]->isCheckmarked = true;
    entries[3]->isCheckmarked = true;
    playlist().filterText = "one";
    table->reloadTable();
    ASSERT_EQ(table->playlistModel().rowCount(), 1);

    clickHeader(*table, PlaylistColumn::Checked);
    EXPECT_EQ(mainView.searchFieldClears, 1);
    EXPECT_EQ(playlist().filterText, "");
    EXPECT_THAT(order(), ElementsAre("two.mp3", "four.mp3", "one.mp3", "three.mp3"));
    EXPECT_EQ(table->playlistModel().rowCount(), 4);
    EXPECT_EQ(undoItem.title, "Undo sort by checkmark");
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u));
    EXPECT_EQ(playlist().assignedEntry, entries[1]);

    playlist().undoer.undo();
    EXPECT_THAT(order(), ElementsAre("one.mp3", "two.mp3", "three.mp3", "four.mp3"));
    EXPECT_EQ(redoItem.title, "Redo sort by checkmark");
}

TEST_F(PlaylistTableTest, DurationAndPlayedHeadersChangeNothing) {
    setEntries({"/a/b.mp3", "/a/a.mp3"});
    playlist().dirty = false;
    clickHeader(*table, PlaylistColumn::Duration);
    clickHeader(*table, PlaylistColumn::Played);
    table->clickColumn("NoSuchColumn");
    EXPECT_THAT(order(), ElementsAre("b.mp3", "a.mp3"));
    EXPECT_TRUE(playlist().undoer.undoStack().empty());
    EXPECT_FALSE(playlist().dirty);
    EXPECT_EQ(mainView.searchFieldClears, 0);
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(),
              PlaylistTableModel::columnIndex(PlaylistColumn::Directory));
    EXPECT_EQ(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(PlaylistTableTest, ReturnChecksTheSelectionAndPromotesEveryCheckedEntry) {
    auto entries = setEntries({"/a/a0.mp3", "/a/b1.mp3", "/a/a2.mp3", "/a/b3.mp3", "/a/a4.mp3", "/a/b5.mp3"});
    entries[4]->isCheckmarked = true;
    playlist().filterText = "b";
    table->reloadTable();
    // Rows 1 and 2 of the filtered table: b3 and b5.
    table->selectRows({1, 2});
    mainView.loadedEntries.clear();
    playlist().dirty = false;

    table->setFocus();
    QTest::keyClick(table.get(), Qt::Key_Return);
    EXPECT_TRUE(entries[3]->isCheckmarked);
    EXPECT_TRUE(entries[5]->isCheckmarked);
    EXPECT_FALSE(entries[1]->isCheckmarked);
    EXPECT_THAT(order(), ElementsAre("b3.mp3", "a4.mp3", "b5.mp3", "a0.mp3", "b1.mp3", "a2.mp3"));
    ASSERT_FALSE(mainView.loadedEntries.empty());
    EXPECT_EQ(mainView.loadedEntries.front(), entries[3]);
    EXPECT_EQ(playlist().assignedEntry, entries[3]);
    EXPECT_EQ(mainView.searchFieldClears, 1);
    EXPECT_EQ(playlist().filterText, "");
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u));
    EXPECT_TRUE(playlist().dirty);
    EXPECT_TRUE(playlist().undoer.undoStack().empty());

    // An empty playlist makes no entry current.
    playlist().allEntries.clear();
    table->reloadTable();
    mainView.loadedEntries.clear();
    table->checkAndPromoteSelectedRows();
    ASSERT_EQ(mainView.loadedEntries.size(), 1u);
    EXPECT_FALSE(mainView.loadedEntries.front());
}

TEST_F(PlaylistTableTest, TaggingTheSelectionIsOneUndoableStep) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3", "/a/2.mp3"});
    entries[0]->tags = "ab";
    entries[2]->tags = "c";
    table->selectRows({0, 2});
    playlist().dirty = false;
    const int refreshes = mainView.displayRefreshes;

    table->tagSelectedRows("b");
    EXPECT_EQ(entries[0]->tags, "a");
    EXPECT_EQ(entries[2]->tags, "cb");
    EXPECT_EQ(entries[1]->tags, std::nullopt);
    EXPECT_EQ(undoItem.title, "Undo update tags");
    EXPECT_TRUE(playlist().dirty);
    EXPECT_GT(mainView.displayRefreshes, refreshes);
    EXPECT_EQ(cell(2, PlaylistColumn::Title), "2cb");

    playlist().dirty = false;
    playlist().undoer.undo();
    EXPECT_EQ(entries[0]->tags, "ab");
    EXPECT_EQ(entries[2]->tags, "c");
    EXPECT_TRUE(playlist().dirty);
    EXPECT_EQ(redoItem.title, "Redo update tags");
    EXPECT_EQ(cell(2, PlaylistColumn::Title), "2c");
    playlist().undoer.redo();
    EXPECT_EQ(entries[2]->tags, "cb");

    // A tag toggled on and undone leaves no tags, not an empty text.
    table->selectRows({1});
    table->tagSelectedRows("x");
    EXPECT_EQ(entries[1]->tags, "x");
    table->tagSelectedRows("x");
    EXPECT_EQ(entries[1]->tags, std::nullopt);
    playlist().undoer.undo();
    playlist().undoer.undo();
    EXPECT_EQ(entries[1]->tags, std::nullopt);

    // With nothing selected the step is still recorded and changes nothing.
    table->selectRows({});
    const std::size_t steps = playlist().undoer.undoStack().size();
    table->tagSelectedRows("q");
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps + 1);
    EXPECT_EQ(undoItem.title, "Undo update tags");
    playlist().undoer.undo();
    EXPECT_EQ(entries[0]->tags, "a");
}

TEST_F(PlaylistTableTest, AnUndoneTagStepOutlivesTheTable) {
    auto entries = setEntries({"/a/0.mp3"});
    table->selectRows({0});
    table->tagSelectedRows("k");
    ASSERT_EQ(entries[0]->tags, "k");
    mainView.table = nullptr;
    table.reset();
    playlist().undoer.undo();
    EXPECT_EQ(entries[0]->tags, std::nullopt);
    EXPECT_TRUE(playlist().dirty);
}

TEST_F(PlaylistTableTest, ScrollRowToCenterScrollsOnlyRowsOutOfView) {
    std::vector<std::string> paths;
    for (int i = 0; i < 200; ++i)
        paths.push_back("/a/" + std::to_string(1000 + i) + ".mp3");
    setEntries(paths);
    QScrollBar* bar = table->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);

    table->scrollRowToCenter(2);
    EXPECT_EQ(bar->value(), 0);

    table->scrollRowToCenter(150);
    const QRect row = table->visualRect(table->playlistModel().index(150, 0));
    EXPECT_NEAR(row.center().y(), table->viewport()->height() / 2, row.height());
    const int scrolled = bar->value();
    EXPECT_GT(scrolled, 0);

    // Now in view: nothing moves.
    table->scrollRowToCenter(151);
    EXPECT_EQ(bar->value(), scrolled);
    table->scrollRowToCenter(-1);
    table->scrollRowToCenter(200);
    EXPECT_EQ(bar->value(), scrolled);
}

TEST_F(PlaylistTableTest, ContextMenuPopsUpTheEntryMenu) {
    setEntries({"/a/0.mp3"});
    QMenu menu;
    menu.addAction("Clear Times");
    table->setEntryContextMenu(&menu);
    QContextMenuEvent event(QContextMenuEvent::Mouse, rowCenter(*table, 0),
                            table->mapToGlobal(rowCenter(*table, 0)));
    QCoreApplication::sendEvent(table->viewport(), &event);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

} // namespace
} // namespace vantle::testing
