// Dragging rows inside the playlist table and dropping files, folders and session documents on it.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <fstream>

namespace vantle::testing {
namespace {

using Names = std::vector<std::string>;

class DragAndDropTest : public MainWindowTest {
protected:
    void startWith(const Names& names) {
        start();
        for (const std::string& name : names)
            view().insertEntries({audioFile(name, 1.0)});
    }
};

TEST_F(DragAndDropTest, DroppedFilesAndFoldersLandAtTheDropRowAsOneUndoStep) {
    startWith({"e0.wav", "e1.wav", "e2.wav"});
    view().loadEntryAtRow(2);
    player->play();
    QMimeData data;
    setFiles(data, {audioFile("n.wav", 1.0), audioFile("more/m.wav", 1.0)});
    EXPECT_TRUE(dropOnTable(data, 1));
    EXPECT_EQ(names(), (Names{"e0.wav", "n.wav", "m.wav", "e1.wav", "e2.wav"}));
    EXPECT_TRUE(player->playing() && player->entry()->_url.lastPathComponent() == "e2.wav");
    playlist().undoer.undo();
    EXPECT_EQ(names(), (Names{"e0.wav", "e1.wav", "e2.wav"}));
}

TEST_F(DragAndDropTest, MovedRowsFollowTheDropLineAndUndo) {
    const Names four{"e0.wav", "e1.wav", "e2.wav", "e3.wav"};
    const struct {
        RowIndexes rows;
        std::size_t to;
        std::string filter;
        Names order;
        RowIndexes selected;
        const char* undoTitle;
    } cases[] = {
        {{1, 3}, 0, "", {"e1.wav", "e3.wav", "e0.wav", "e2.wav"}, {0}, "Undo move"},
        {{0}, 3, "", {"e1.wav", "e2.wav", "e0.wav", "e3.wav"}, {2}, "Undo move"},
        // Back where it was: nothing moved, so no step and the selection stays.
        {{2}, 2, "", four, {}, "Undo add entries"},
        {{2}, 3, "", four, {}, "Undo add entries"},
        {{0}, 1, "e1", {"e0.wav", "e2.wav", "e3.wav", "e1.wav"}, {0}, "Undo move"}, // below the last shown:
                                                                                    // the very end
    };
    for (const auto& c : cases) {
        startWith(four);
        playlist().filterText = c.filter;
        view().tableView().reloadTable();
        const std::size_t steps = playlist().undoer.undoStack().size();
        view().moveRows(c.rows, c.to);
        EXPECT_EQ(names(), c.order);
        EXPECT_EQ(view().tableView().selectedRows(), c.selected);
        EXPECT_EQ(playlist().undoer.undoStack().back()->undoName(), c.undoTitle);
        EXPECT_EQ(playlist().undoer.undoStack().size(), steps + (c.order == four ? 0 : 1));
        if (c.order != four) playlist().undoer.undo();
        EXPECT_EQ(names(), four);
        stop();
    }
}

TEST_F(DragAndDropTest, ForeignRowsAndUnreadableSessionsChangeNothing) {
    startWith({"e0.wav", "e1.wav"});
    QMimeData rows; // another program's row numbers
    rows.setData(PlaylistTableView::rowsMimeType, "1\n");
    rows.setData("public.data", "1");
    EXPECT_FALSE(dropOnTable(rows, 0));
    // a.wav goes in before the document, which cannot be read; b.wav is not reached.
    std::ofstream(audioFolder.path + "/broken.VANTLE") << "not a property list";
    QMimeData files;
    setFiles(files, {audioFile("a.wav", 1.0), audioFolder.url("broken.VANTLE"), audioFile("b.wav", 1.0)});
    EXPECT_TRUE(dropOnTable(files, 1));
    EXPECT_EQ(names(), (Names{"e0.wav", "a.wav", "e1.wav"}));
    EXPECT_FALSE(alerts.requests().empty());
}

} // namespace
} // namespace vantle::testing
