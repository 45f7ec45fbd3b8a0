// Dragging rows inside the playlist table and dropping files, folders and session documents on it.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <fstream>

namespace vantle::testing {
namespace {

class DragAndDropTest : public MainWindowTest {
protected:
    // A session of the named one-second files, e0.wav … in that order, nothing playing.
    void startWith(const std::vector<std::string>& names) {
        start();
        std::vector<platform::Url> files;
        for (const std::string& name : names)
            files.push_back(audioFile(name, 1.0));
        view().insertEntries(files);
        steps = playlist().undoer.undoStack().size();
    }
    std::vector<std::string> names() {
        std::vector<std::string> listed;
        for (const auto& entry : playlist().allEntries)
            listed.push_back(entry->_url.lastPathComponent());
        return listed;
    }
    QPoint pointAbove(int row) {
        PlaylistTableView& table = view().tableView();
        const int rows = table.model()->rowCount();
        if (row >= rows)
            return table.visualRect(table.model()->index(rows - 1, 0)).bottomLeft() + QPoint(4, 6);
        return table.visualRect(table.model()->index(row, 0)).topLeft() + QPoint(4, 1);
    }
    // Sends the drop through the table's viewport as the window system would; true when taken.
    bool drop(const QMimeData& data, int row) {
        QWidget* viewport = view().tableView().viewport();
        // The entry makes the viewport the drag's current target, to which Qt sends the drop.
        QDragEnterEvent enter(pointAbove(row), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        indicator = view().tableView().dropIndicatorRow();
        QDropEvent event(QPointF(pointAbove(row)), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }
    static void setFiles(QMimeData& data, const std::vector<platform::Url>& files) {
        QList<QUrl> urls;
        for (const platform::Url& file : files)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.path())));
        data.setUrls(urls);
    }
    std::size_t steps = 0;
    std::optional<std::size_t> indicator;
};

TEST_F(DragAndDropTest, DroppedFilesAndFoldersLandAtTheDropRowAsOneUndoStep) {
    startWith({"e0.wav", "e1.wav", "e2.wav"});
    view().loadEntryAtRow(2);
    player->play();
    std::filesystem::create_directory(audioFolder.path + "/more");
    writeSilentWav(audioFolder.url("more/m1.wav"), 1.0);
    writeSilentWav(audioFolder.url("more/m0.wav"), 1.0);
    QMimeData data;
    setFiles(data, {audioFile("n.wav", 1.0), platform::Url::fileURLWithPath(audioFolder.path + "/more")});

    EXPECT_TRUE(drop(data, 1));
    EXPECT_EQ(indicator, std::optional<std::size_t>(1));
    EXPECT_EQ(names(), (std::vector<std::string>{"e0.wav", "n.wav", "m0.wav", "m1.wav", "e1.wav", "e2.wav"}));
    ASSERT_EQ(playlist().undoer.undoStack().size(), steps + 1);
    EXPECT_EQ(playlist().undoer.undoStack().back()->undoName(), "Undo add entries");
    // The music goes on with the entry it played.
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(player->entry()->_url.lastPathComponent(), "e2.wav");
    playlist().undoer.undo();
    EXPECT_EQ(names(), (std::vector<std::string>{"e0.wav", "e1.wav", "e2.wav"}));
}

TEST_F(DragAndDropTest, MovedRowsFollowTheDropLineAndUndo) {
    struct Case {
        RowIndexes rows;
        std::size_t to;
        std::string filter;
        std::vector<std::string> order;
        std::size_t selected;
    };
    const std::vector<std::string> eight{"e0.wav", "e1.wav", "e2.wav", "e3.wav",
                                         "e4.wav", "e5.wav", "e6.wav", "e7.wav"};
    const Case cases[] = {
        {{2, 5}, 0, "", {"e2.wav", "e5.wav", "e0.wav", "e1.wav", "e3.wav", "e4.wav", "e6.wav", "e7.wav"}, 0},
        {{0}, 3, "", {"e1.wav", "e2.wav", "e0.wav", "e3.wav", "e4.wav", "e5.wav", "e6.wav", "e7.wav"}, 2},
        {{4}, 4, "", eight, 4}, // back where it was: still a step
        // Only e1 is shown: below it is the very end of the whole list.
        {{0}, 1, "e1", {"e0.wav", "e2.wav", "e3.wav", "e4.wav", "e5.wav", "e6.wav", "e7.wav", "e1.wav"}, 0},
        {{9}, 0, "", eight, 0}, // rows outside the table move nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order.front() + " " + c.filter);
        startWith(eight);
        playlist().filterText = c.filter;
        view().tableView().reloadTable();
        view().moveRows(c.rows, c.to);
        EXPECT_EQ(names(), c.order);
        if (c.rows.count(9)) {
            EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
            stop();
            continue;
        }
        EXPECT_EQ(view().tableView().selectedRows(), RowIndexes{c.selected});
        ASSERT_EQ(playlist().undoer.undoStack().size(), steps + 1);
        EXPECT_EQ(playlist().undoer.undoStack().back()->undoName(), "Undo move");
        playlist().undoer.undo();
        EXPECT_EQ(names(), eight);
        stop();
    }
}

TEST_F(DragAndDropTest, ADragFromAnotherProgramIsNeverARowMove) {
    startWith({"e0.wav", "e1.wav", "e2.wav"});
    QMimeData data;
    data.setData(PlaylistTableView::rowsMimeType, "2\n");
    data.setData("public.data", "2");
    EXPECT_FALSE(drop(data, 0));
    EXPECT_EQ(indicator, std::nullopt);
    EXPECT_EQ(names(), (std::vector<std::string>{"e0.wav", "e1.wav", "e2.wav"}));
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
}

TEST_F(DragAndDropTest, ASessionDocumentIsOpenedOnlyWhenItCanBeRead) {
    startWith({"e0.wav"});
    std::ofstream(audioFolder.path + "/broken.VANTLE") << "not a property list";
    QMimeData data;
    setFiles(data, {audioFile("a.wav", 1.0), audioFolder.url("broken.VANTLE"), audioFile("b.wav", 1.0)});
    // a.wav went in before the document, so the drop did something.
    EXPECT_TRUE(drop(data, 1));
    EXPECT_EQ(names(), (std::vector<std::string>{"e0.wav", "a.wav"}));
    EXPECT_FALSE(alerts.requests().empty());

    QMimeData only;
    setFiles(only, {audioFolder.url("broken.VANTLE")});
    EXPECT_FALSE(drop(only, 0));
    EXPECT_EQ(names(), (std::vector<std::string>{"e0.wav", "a.wav"}));
}

} // namespace
} // namespace vantle::testing
