#include "Source/views/PlaylistTableView.h"

#include "Source/views/UpdateTagsTransaction.h"
#include "tests/Source/views/ViewsTestSupport.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

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
    auto checks = [&] {
        std::vector<bool> marks;
        for (const auto& entry : entries)
            marks.push_back(entry->isCheckmarked);
        return marks;
    };
    EXPECT_EQ(checks(), (std::vector<bool>{false, true, true, false, true}));
    EXPECT_THAT(table->selectedRows(), ElementsAre(4u));
    EXPECT_THAT(mainView.loadedRows, ElementsAre(4));
    EXPECT_TRUE(playlist().dirty);
    EXPECT_TRUE(playlist().undoer.undoStack().empty());

    // Again, with row 4 alone selected: only its check mark goes.
    table->doubleClickRow(4);
    EXPECT_EQ(checks(), (std::vector<bool>{false, true, true, false, false}));

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

// The orders themselves, their stability and their undo steps are the session model's; here each
// header picks its order, and the arrow marks the column sorted by.
TEST_F(PlaylistTableTest, HeadersSortByTheirColumnAsOneUndoableStep) {
    const struct {
        PlaylistColumn column;
        std::vector<std::string> order;
        const char* undoTitle;
    } headers[] = {
        {PlaylistColumn::Title, {"/a/X.mp3", "/a/x.mp3", "/c/x.mp3", "/b/y.mp3"}, "Undo sort"},
        {PlaylistColumn::Directory, {"/a/X.mp3", "/a/x.mp3", "/b/y.mp3", "/c/x.mp3"}, "Undo sort"},
        {PlaylistColumn::Age, {"/c/x.mp3", "/a/X.mp3", "/b/y.mp3", "/a/x.mp3"}, "Undo sort"},
        {PlaylistColumn::Checked, {"/c/x.mp3", "/b/y.mp3", "/a/x.mp3", "/a/X.mp3"}, "Undo sort by checkmark"},
        {PlaylistColumn::Duration, {"/b/y.mp3", "/a/x.mp3", "/c/x.mp3", "/a/X.mp3"}, "untouched"},
        {PlaylistColumn::Played, {"/b/y.mp3", "/a/x.mp3", "/c/x.mp3", "/a/X.mp3"}, "untouched"},
    };
    for (const auto& header : headers) {
        auto entries = setEntries({"/b/y.mp3", "/a/x.mp3", "/c/x.mp3", "/a/X.mp3"});
        entries[1]->playedDates = {clock.now().addingTimeInterval(-60.0)};
        entries[0]->playedDates = {clock.now().addingTimeInterval(-86400.0 * 30)};
        entries[2]->isCheckmarked = true;
        undoItem.title = "untouched";
        const std::size_t steps = playlist().undoer.undoStack().size();
        clickHeader(*table, header.column);
        std::vector<std::string> paths;
        for (const auto& entry : playlist().allEntries)
            paths.push_back(entry->_url.path());
        EXPECT_EQ(paths, header.order) << PlaylistTableModel::identifier(header.column).toStdString();
        EXPECT_EQ(undoItem.title, header.undoTitle);
        EXPECT_EQ(playlist().undoer.undoStack().size(), steps + (undoItem.title == "untouched" ? 0 : 1));
        const bool sorts = undoItem.title != "untouched";
        EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(),
                  sorts ? PlaylistTableModel::columnIndex(header.column) : -1);
        EXPECT_EQ(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
    const std::size_t steps = playlist().undoer.undoStack().size();
    table->clickColumn("NoSuchColumn");
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
}

// The arrow is the list's own state: it follows undo and redo, leaves with an order the user made
// and never stands on a column the list is not sorted by.
TEST_F(PlaylistTableTest, TheHeaderArrowStandsOnlyOnTheColumnTheListIsSortedBy) {
    auto arrow = [&]() -> std::optional<PlaylistColumn> {
        const int section = table->horizontalHeader()->sortIndicatorSection();
        if (section < 0) return std::nullopt;
        return static_cast<PlaylistColumn>(section);
    };
    auto entries = setEntries({"/b/2.mp3", "/c/1.mp3", "/a/3.mp3"});
    EXPECT_EQ(arrow(), std::nullopt) << "an order nobody sorted";
    const struct {
        const char* step;
        std::function<void()> action;
        std::vector<std::string> order;
        std::optional<PlaylistColumn> arrow;
    } steps[] = {
        {"folder",
         [&] { clickHeader(*table, PlaylistColumn::Directory); },
         {"3", "2", "1"},
         PlaylistColumn::Directory},
        {"title",
         [&] { clickHeader(*table, PlaylistColumn::Title); },
         {"1", "2", "3"},
         PlaylistColumn::Title},
        {"duration",
         [&] { clickHeader(*table, PlaylistColumn::Duration); },
         {"1", "2", "3"},
         PlaylistColumn::Title},
        {"undo title", [&] { playlist().undoer.undo(); }, {"3", "2", "1"}, PlaylistColumn::Directory},
        {"redo title", [&] { playlist().undoer.redo(); }, {"1", "2", "3"}, PlaylistColumn::Title},
        {"a drag into folder order",
         [&] {
             std::swap(playlist().allEntries[0], playlist().allEntries[2]);
             table->reloadTableSelecting({0});
         },
         {"3", "2", "1"},
         PlaylistColumn::Directory},
        {"a drag into no order",
         [&] {
             std::swap(playlist().allEntries[0], playlist().allEntries[1]);
             table->reloadTable();
         },
         {"2", "3", "1"},
         std::nullopt},
        {"played header",
         [&] { clickHeader(*table, PlaylistColumn::Played); },
         {"2", "3", "1"},
         std::nullopt},
        {"check mark",
         [&] {
             entries[1]->isCheckmarked = true;
             clickHeader(*table, PlaylistColumn::Checked);
         },
         {"1", "2", "3"},
         PlaylistColumn::Checked},
        {"another playlist", [&] { table->setPlaylist(mainView.document); }, {"1", "2", "3"}, std::nullopt},
    };
    for (const auto& step : steps) {
        step.action();
        std::vector<std::string> names;
        for (const auto& entry : playlist().allEntries)
            names.push_back(entry->_url.lastPathComponent().substr(0, 1));
        EXPECT_EQ(names, step.order) << step.step;
        EXPECT_EQ(arrow(), step.arrow) << step.step;
    }
}

TEST_F(PlaylistTableTest, CheckedHeaderClearsTheSearch) {
    setEntries({"/a/one.mp3", "/a/two.mp3"});
    playlist().filterText = "one";
    table->reloadTable();
    clickHeader(*table, PlaylistColumn::Checked);
    EXPECT_EQ(mainView.searchFieldClears, 1);
    EXPECT_EQ(table->playlistModel().rowCount(), 2);
}

TEST_F(PlaylistTableTest, ReturnChecksTheSelectionAndPromotesEveryCheckedEntryAsOneUndoableStep) {
    // While music plays the promote happens all the same, but what plays goes on: the first row is only
    // selected.
    for (bool playing : {false, true}) {
        SCOPED_TRACE(playing ? "while music plays" : "stopped");
        auto entries =
            setEntries({"/a/a0.mp3", "/a/b1.mp3", "/a/a2.mp3", "/a/b3.mp3", "/a/a4.mp3", "/a/b5.mp3"});
        entries[4]->isCheckmarked = true;
        playlist().filterText = "b";
        playlist().undoer.clear();
        mainView.playing = playing;
        playlist().assignedEntry = entries[1];
        table->reloadTable();
        // Rows 1 and 2 of the filtered table: b3 and b5.
        table->selectRows({1, 2});
        mainView.loadedRows.clear();
        mainView.searchFieldClears = 0;
        playlist().dirty = false;

        table->setFocus();
        QTest::keyClick(table.get(), Qt::Key_Return);
        EXPECT_FALSE(entries[1]->isCheckmarked);
        EXPECT_TRUE(entries[3]->isCheckmarked && entries[5]->isCheckmarked);
        EXPECT_THAT(order(), ElementsAre("b3.mp3", "a4.mp3", "b5.mp3", "a0.mp3", "b1.mp3", "a2.mp3"));
        EXPECT_EQ(playlist().assignedEntry, playing ? entries[1] : entries[3]);
        EXPECT_EQ(mainView.loadedRows.empty(), playing);
        EXPECT_EQ(mainView.searchFieldClears, 1);
        EXPECT_THAT(table->selectedRows(), ElementsAre(0u));
        EXPECT_TRUE(playlist().dirty);
        ASSERT_EQ(playlist().undoer.undoStack().size(), 1u);
        EXPECT_EQ(undoItem.title, "Undo check and promote");

        // Taken back whole: the order and the checkmarks Return set, not the one that was there.
        playlist().undoer.undo();
        EXPECT_THAT(order(), ElementsAre("a0.mp3", "b1.mp3", "a2.mp3", "b3.mp3", "a4.mp3", "b5.mp3"));
        EXPECT_FALSE(entries[3]->isCheckmarked || entries[5]->isCheckmarked);
        EXPECT_TRUE(entries[4]->isCheckmarked);
        EXPECT_EQ(cell(3, PlaylistColumn::Checked), cell(0, PlaylistColumn::Checked));
        EXPECT_EQ(playlist().assignedEntry == entries[1], playing);
        playlist().undoer.redo();
        EXPECT_THAT(order(), ElementsAre("b3.mp3", "a4.mp3", "b5.mp3", "a0.mp3", "b1.mp3", "a2.mp3"));
        EXPECT_TRUE(entries[3]->isCheckmarked && entries[5]->isCheckmarked);
    }
    mainView.playing = false;

    // Nothing to check or move: no step, and the first row as always.
    playlist().undoer.clear();
    table->selectRows({0});
    table->checkAndPromoteSelectedRows();
    EXPECT_TRUE(playlist().undoer.undoStack().empty());
    EXPECT_THAT(table->selectedRows(), ElementsAre(0u));

    // An empty playlist makes no entry current.
    playlist().allEntries.clear();
    table->reloadTable();
    mainView.loadedRows.clear();
    table->checkAndPromoteSelectedRows();
    ASSERT_EQ(mainView.loadedRows.size(), 1u);
    EXPECT_FALSE(playlist().assignedEntry);
    EXPECT_TRUE(playlist().undoer.undoStack().empty());
}

TEST_F(PlaylistTableTest, TaggingTheSelectionIsOneUndoableStep) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3", "/a/2.mp3"});
    entries[0]->tags = "ab";
    entries[2]->tags = "c";
    table->selectRows({0, 2});
    const int refreshes = mainView.displayRefreshes;
    table->tagSelectedRows("b");
    EXPECT_EQ(entries[0]->tags, "a");
    EXPECT_EQ(entries[1]->tags, std::nullopt);
    EXPECT_EQ(cell(2, PlaylistColumn::Title), "2cb");
    EXPECT_GT(mainView.displayRefreshes, refreshes);
    playlist().undoer.undo();
    EXPECT_EQ(cell(2, PlaylistColumn::Title), "2c");

    // With nothing selected, or nothing to toggle, there is no step and the session is unchanged.
    for (const std::string& toggle : {std::string("q"), std::string()}) {
        table->selectRows(toggle.empty() ? RowIndexes{0} : RowIndexes{});
        playlist().dirty = false;
        const std::size_t steps = playlist().undoer.undoStack().size();
        table->tagSelectedRows(toggle);
        EXPECT_EQ(playlist().undoer.undoStack().size(), steps) << toggle;
        EXPECT_FALSE(playlist().dirty) << toggle;
    }
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

    // Now in view: nothing moves.
    table->scrollRowToCenter(151);
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

// The tag step the table records.
TEST(ToggledTags, KeepsTheOldTagsNotToggledThenAddsTheNewOnes) {
    EXPECT_EQ(toggledTags("ab", "bc"), "ac");
    EXPECT_EQ(toggledTags("x", "x"), "");
    // Case matters: "A" and "a" are different tags.
    EXPECT_EQ(toggledTags("a", "A"), "aA");
    // Tags are characters, not bytes.
    EXPECT_EQ(toggledTags("\u00e9\u2605", "\u2605\u266a"), "\u00e9\u266a");
}

TEST_F(PlaylistTableTest, TagChangesRecordOldAndNewTagsPerEntryInOrder) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3"});
    entries[0]->tags = "ab";
    auto changes = UpdateTagsTransaction::tagChanges({entries[1], entries[0]}, "b");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].entry, entries[1]);
    EXPECT_EQ(std::tie(changes[0].oldTags, changes[0].newTags), std::make_tuple("", "b"));
    EXPECT_EQ(std::tie(changes[1].oldTags, changes[1].newTags), std::make_tuple("ab", "a"));
}

TEST_F(PlaylistTableTest, TagStepAppliesEitherStateAndReloadsOnlyWithAMainWindow) {
    auto entries = setEntries({"/a/0.mp3"});
    int reloads = 0;
    UpdateTagsTransaction step({{entries[0], "", "xy"}}, [&] { ++reloads; });
    EXPECT_EQ(step.undoName(), "Undo update tags");

    ASSERT_TRUE(step.redo());
    EXPECT_EQ(entries[0]->tags, "xy");
    EXPECT_TRUE(playlist().dirty);
    EXPECT_EQ(reloads, 1);
    ASSERT_TRUE(step.undo());
    EXPECT_EQ(entries[0]->tags, std::nullopt);
    EXPECT_EQ(reloads, 2);

    // Without a main window the tags still change; nothing else happens.
    AppServices::setMainWindow(nullptr);
    playlist().dirty = false;
    ASSERT_TRUE(step.redo());
    EXPECT_EQ(entries[0]->tags, "xy");
    EXPECT_FALSE(playlist().dirty);
    EXPECT_EQ(reloads, 2);
}

} // namespace
} // namespace vantle::testing
