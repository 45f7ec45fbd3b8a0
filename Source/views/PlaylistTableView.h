#pragma once
// The playlist table of the main window: shows a playlist through a PlaylistTableModel and turns
// selection, double clicks, header clicks, Return and tag commands into edits of the playlist and
// calls of its PlaylistTableDelegate. Main thread.

#include "Source/session/MainWindowServices.h"
#include "Source/views/PlaylistTableModel.h"

#include <QTableView>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMenu;

namespace platform {
class Clock;
}

namespace vantle {

class Playlist;
class PlaylistEntry;
class PlaylistTableDelegate;

// Rows are the playlist's visible entries; every command maps rows to entries through the
// visible list of the moment it runs. The sort commands record their undo step through the
// session model, which reaches the table back through the main window (AppServices): the main
// window forwards selectedRows, selectRows and reloadTableSelecting to this table.
class PlaylistTableView final : public QTableView {
    Q_OBJECT

public:
    explicit PlaylistTableView(QWidget* parent = nullptr);
    ~PlaylistTableView() override;

    // Not owned; must outlive the table or be reset to null first.
    void setTableDelegate(PlaylistTableDelegate* delegate);
    // Shows another playlist (or none) and reloads with its current entry selected.
    void setPlaylist(std::shared_ptr<Playlist> playlist);
    std::shared_ptr<Playlist> playlist() const;
    // "Now" for the Age column and the age sort; must outlive the table.
    void setClock(const platform::Clock& clock);
    PlaylistTableModel& playlistModel() { return *model_; }
    // Popped up over the table on a context-menu request; not owned.
    void setEntryContextMenu(QMenu* menu);

    // ---- reloads ----
    // Reloads every row and selects the current entry's row (nothing new when it is filtered out).
    void reloadTable();
    // Reloads every row and selects exactly these rows.
    void reloadTableSelecting(const RowIndexes& rows);
    // Repaints the entry's row when it is visible, then refreshes the main view in any case.
    void reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry);

    // ---- selection ----
    RowIndexes selectedRows() const;
    // Replaces the selection; rows outside the table are ignored.
    void selectRows(const RowIndexes& rows);
    // Scrolls a row that is out of view to the vertical middle; a row in view stays where it is.
    void scrollRowToCenter(int row);

    // ---- commands ----
    // Double click on a row: the selected rows all get the opposite of the clicked row's check
    // mark, then the clicked row alone is selected and made current. Not undoable.
    void doubleClickRow(int clickedRow);
    // Header click: "TitleColumn", "DirectoryColumn" and "AgeColumn" sort the playlist (one
    // undoable "sort"), "CheckedColumn" clears the search field and sorts by check mark (undoable
    // "sort by checkmark"); any other identifier does nothing. The header's arrow stands on the
    // column of the latest sort the list still keeps, and on none once it is in an order of its own.
    void clickColumn(const QString& identifier);
    // Return: clears the search field, checks the selected entries and moves every checked entry to
    // the front (keeping the order within both groups), as one undoable "check and promote"; the first
    // row is selected and, unless the music plays, current.
    void checkAndPromoteSelectedRows();
    // Toggles the characters of `toggle` in the tags of the selected entries, as one undoable
    // "update tags"; with nothing to change (no row selected) it does nothing.
    void tagSelectedRows(const std::string& toggle);
    // The visible entries at these rows, in ascending row order; rows outside are skipped.
    std::vector<std::shared_ptr<PlaylistEntry>> entries(const RowIndexes& rows) const;

    // ---- drag and drop ----
    // The table's own rows travel under this private type only, so that a drag from another
    // program can never pass for a row move.
    static const char* const rowsMimeType;
    // The line between rows nearest to a point of the viewport: the row below it, or the row
    // count below the last row. Drops land on lines, never onto a row.
    std::size_t dropRow(const QPoint& position) const;
    // Where the drop indicator stands while a drag hovers over the table.
    std::optional<std::size_t> dropIndicatorRow() const { return dropIndicatorRow_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void selectionDidChange();
    // The column whose arrow the header shows; none in an order of the user's own.
    std::optional<PlaylistColumn> sortedColumn() const;
    void setSortIndicator();
    void reloadTableAndDisplay();
    // The operation a drag would get here: a move for the table's own rows, a copy for local files
    // and folders, none for anything else.
    Qt::DropAction dropActionFor(const QDropEvent& event) const;
    void setDropIndicatorRow(std::optional<std::size_t> row);

    PlaylistTableModel* model_;
    PlaylistTableDelegate* delegate_ = nullptr;
    const platform::Clock* clock_;
    QMenu* contextMenu_ = nullptr;
    std::optional<std::size_t> dropIndicatorRow_;
    // The columns sorted by since the playlist was shown, the latest first, each once.
    std::vector<PlaylistColumn> sortedColumns_;
};

} // namespace vantle
