#include "Source/views/PlaylistTableView.h"

#include "Source/session/CheckAndPromoteTransaction.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/tempo/TempoText.h"
#include "Source/views/PlaylistCellDelegate.h"
#include "Source/views/PlaylistTableDelegate.h"
#include "Source/views/UpdateTagsTransaction.h"
#include "platform/foundation/Clock.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <iterator>
#include <utility>

namespace vantle {

namespace {

// The order a header click sorts by; none for the columns that do not sort.
Playlist::EntryOrder playlistColumnOrder(PlaylistColumn column, const platform::Clock& clock,
                                         const DanceTable& dances) {
    switch (column) {
    case PlaylistColumn::Title:
        return &Playlist::titleOrder;
    case PlaylistColumn::Directory:
        return &Playlist::directoryOrder;
    case PlaylistColumn::Age:
        return Playlist::ageOrder(clock);
    case PlaylistColumn::Checked:
        return &Playlist::checkmarkOrder;
    case PlaylistColumn::Tempo:
        return [&dances](const PlaylistEntry& a, const PlaylistEntry& b) {
            return tempoColumnOrder(playlistShownTempo(a, dances), playlistShownTempo(b, dances));
        };
    case PlaylistColumn::Duration:
    case PlaylistColumn::Played:
        break;
    }
    return {};
}

} // namespace

PlaylistTableView::PlaylistTableView(QWidget* parent)
    : QTableView(parent), model_(new PlaylistTableModel(this)), clock_(&platform::Clock::system()) {
    setModel(model_);
    setItemDelegate(new PlaylistCellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // The indicator is ours: Qt's would offer drops onto rows.
    setDropIndicatorShown(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setHighlightSections(false);
    // The two text columns share the width; the short ones keep theirs.
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(PlaylistTableModel::columnIndex(PlaylistColumn::Title),
                                 QHeaderView::Stretch);
    header->setSectionResizeMode(PlaylistTableModel::columnIndex(PlaylistColumn::Directory),
                                 QHeaderView::Stretch);
    header->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Duration), 70);
    header->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Played), 80);
    header->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Age), 50);
    header->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Checked), 28);
    header->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Tempo), 80);
    header->moveSection(PlaylistTableModel::columnIndex(PlaylistColumn::Tempo),
                        PlaylistTableModel::columnIndex(PlaylistColumn::Duration) + 1);

    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        clickColumn(
            model_->headerData(section, Qt::Horizontal, PlaylistTableModel::IdentifierRole).toString());
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) doubleClickRow(index.row());
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { selectionDidChange(); });
    setSortIndicator();
}

PlaylistTableView::~PlaylistTableView() = default;

void PlaylistTableView::setTableDelegate(PlaylistTableDelegate* delegate) {
    delegate_ = delegate;
}

void PlaylistTableView::setPlaylist(std::shared_ptr<Playlist> playlist) {
    sortedColumns_.clear();
    model_->setPlaylist(std::move(playlist));
    reloadTable();
}

std::shared_ptr<Playlist> PlaylistTableView::playlist() const {
    return model_->playlist();
}

void PlaylistTableView::setClock(const platform::Clock& clock) {
    clock_ = &clock;
    model_->setClock(clock);
}

void PlaylistTableView::setEntryContextMenu(QMenu* menu) {
    contextMenu_ = menu;
}

// ---- reloads ----

void PlaylistTableView::reloadTable() {
    model_->reload();
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (playlist && playlist->assignedEntry) {
        if (std::optional<std::size_t> row = playlist->row(playlist->assignedEntry)) selectRows({*row});
    }
    setSortIndicator();
}

void PlaylistTableView::reloadTableSelecting(const RowIndexes& rows) {
    model_->reload();
    selectRows(rows);
    setSortIndicator();
}

void PlaylistTableView::reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry) {
    if (entry)
        if (std::optional<int> row = model_->rowOf(*entry)) model_->reloadRow(*row);
    if (delegate_) delegate_->refreshDisplay();
}

std::optional<PlaylistColumn> PlaylistTableView::sortedColumn() const {
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return std::nullopt;
    // The latest sort the list still keeps: after a drag or an added file none, after undoing a
    // sort the one before it.
    for (PlaylistColumn column : sortedColumns_)
        if (playlist->isInOrder(playlistColumnOrder(column, *clock_, model_->danceTable()))) return column;
    return std::nullopt;
}

void PlaylistTableView::setSortIndicator() {
    // Qt's styles on Linux draw the upward chevron for the descending order; -1 shows none.
    const std::optional<PlaylistColumn> sorted = sortedColumn();
    horizontalHeader()->setSortIndicator(sorted ? PlaylistTableModel::columnIndex(*sorted) : -1,
                                         Qt::DescendingOrder);
}

// ---- selection ----

RowIndexes PlaylistTableView::selectedRows() const {
    RowIndexes rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (row >= 0) rows.insert(static_cast<std::size_t>(row));
    return rows;
}

void PlaylistTableView::selectRows(const RowIndexes& rows) {
    QItemSelection selection;
    const int count = model_->rowCount();
    const int lastColumn = model_->columnCount() - 1;
    // One range per run of adjacent rows: a selection merges its ranges one by one, so all rows of
    // a long list as ranges of one row each would take minutes.
    for (auto row = rows.begin(); row != rows.end() && *row < static_cast<std::size_t>(count);) {
        auto last = row;
        for (auto next = std::next(row);
             next != rows.end() && *next == *last + 1 && *next < static_cast<std::size_t>(count); ++next)
            last = next;
        selection.select(model_->index(static_cast<int>(*row), 0),
                         model_->index(static_cast<int>(*last), lastColumn));
        row = std::next(last);
    }
    // The keyboard goes on from the first selected row; moving the current index selects nothing.
    if (!selection.isEmpty())
        selectionModel()->setCurrentIndex(selection.first().topLeft(), QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void PlaylistTableView::scrollRowToCenter(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    // Right after a reload the rows are not laid out yet.
    executeDelayedItemsLayout();
    const int first = rowAt(0);
    int last = rowAt(viewport()->height() - 1);
    if (last < 0) last = model_->rowCount() - 1;
    if (first >= 0 && first <= row && row <= last) return;
    scrollTo(model_->index(row, 0), QAbstractItemView::PositionAtCenter);
}

void PlaylistTableView::selectionDidChange() {
    const RowIndexes rows = selectedRows();
    if (rows.empty() || !delegate_) return;
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return;
    // While the music plays, marking rows only prepares what comes next.
    if (delegate_->isPlaying()) return;
    if (std::shared_ptr<PlaylistEntry> entry =
            playlist->visibleEntry(static_cast<std::ptrdiff_t>(*rows.begin())))
        delegate_->loadEntry(entry);
}

// ---- commands ----

std::vector<std::shared_ptr<PlaylistEntry>> PlaylistTableView::entries(const RowIndexes& rows) const {
    std::vector<std::shared_ptr<PlaylistEntry>> result;
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return result;
    const Playlist::EntryList visible = playlist->filteredEntries();
    for (std::size_t row : rows)
        if (row < visible.size()) result.push_back(visible[row]);
    return result;
}

void PlaylistTableView::doubleClickRow(int clickedRow) {
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return;
    std::shared_ptr<PlaylistEntry> clicked = playlist->visibleEntry(clickedRow);
    if (!clicked) return;
    const bool state = !clicked->isCheckmarked;
    for (const auto& entry : entries(selectedRows()))
        entry->isCheckmarked = state;
    playlist->dirty = true;
    reloadTable();
    selectRows({static_cast<std::size_t>(clickedRow)});
    if (delegate_) delegate_->loadEntryAtRow(clickedRow);
}

void PlaylistTableView::clickColumn(const QString& identifier) {
    std::shared_ptr<Playlist> playlist = model_->playlist();
    std::optional<PlaylistColumn> column = PlaylistTableModel::columnWithIdentifier(identifier);
    if (!playlist || !column) {
        setSortIndicator();
        return;
    }
    const Playlist::EntryOrder order = playlistColumnOrder(*column, *clock_, model_->danceTable());
    if (order) {
        std::erase(sortedColumns_, *column);
        sortedColumns_.insert(sortedColumns_.begin(), *column);
    }
    if (*column == PlaylistColumn::Checked) {
        if (delegate_) delegate_->clearSearchField();
        playlist->sortByCheckmark();
    } else if (order) {
        playlist->sortEntries(order);
        reloadTable();
    }
    // The header flips its own indicator on every click, also on columns that do not sort.
    setSortIndicator();
}

void PlaylistTableView::checkAndPromoteSelectedRows() {
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return;
    const std::vector<std::shared_ptr<PlaylistEntry>> selected = entries(selectedRows());
    if (delegate_) delegate_->clearSearchField();
    std::vector<std::shared_ptr<PlaylistEntry>> checked;
    for (const auto& entry : selected)
        if (entry && !entry->isCheckmarked &&
            std::find(checked.begin(), checked.end(), entry) == checked.end())
            checked.push_back(entry);
    const Playlist::EntryList initial = playlist->allEntries;
    Playlist::EntryList promoted = initial;
    std::stable_partition(promoted.begin(), promoted.end(), [&](const std::shared_ptr<PlaylistEntry>& entry) {
        return entry &&
               (entry->isCheckmarked || std::find(checked.begin(), checked.end(), entry) != checked.end());
    });
    // A stray Return is taken back like any edit, and never stops the music: the first row is selected,
    // and becomes current only while nothing plays.
    const RowIndexes first{0};
    if (checked.empty() && promoted == initial) {
        EditListTransaction::apply(initial, first);
        return;
    }
    CheckAndPromoteTransaction step(std::move(checked), EditListTransaction("check and promote", initial,
                                                                            selectedRows(), promoted, first));
    if (!step.redo()) return;
    playlist->undoer.record(std::move(step));
}

void PlaylistTableView::tagSelectedRows(const std::string& toggle) {
    std::shared_ptr<Playlist> playlist = model_->playlist();
    if (!playlist) return;
    // The step may be undone long after this table is gone.
    QPointer<PlaylistTableView> table(this);
    UpdateTagsTransaction::ArgsList changes =
        UpdateTagsTransaction::tagChanges(entries(selectedRows()), toggle);
    // No row selected, or nothing to toggle: the Edit menu gets no empty step.
    std::erase_if(changes, [](const UpdateTagsTransaction::TagChange& change) {
        return change.oldTags == change.newTags;
    });
    if (changes.empty()) return;
    UpdateTagsTransaction step(std::move(changes), [table] {
        if (table) table->reloadTableAndDisplay();
    });
    (void)step.redo();
    playlist->undoer.record(std::move(step));
    playlist->dirty = true;
    reloadTableAndDisplay();
}

void PlaylistTableView::reloadTableAndDisplay() {
    reloadTable();
    if (delegate_) delegate_->refreshDisplay();
}

// ---- events ----

void PlaylistTableView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        checkAndPromoteSelectedRows();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void PlaylistTableView::contextMenuEvent(QContextMenuEvent* event) {
    if (!contextMenu_) {
        QTableView::contextMenuEvent(event);
        return;
    }
    contextMenu_->popup(event->globalPos());
    event->accept();
}

// ---- drag and drop ----

const char* const PlaylistTableView::rowsMimeType = "application/x-vantle-playlist-rows";

namespace {

// Local files and folders among the dragged URLs; other URLs cannot be played from here.
std::vector<platform::Url> droppedFileURLs(const QMimeData& data) {
    std::vector<platform::Url> urls;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            urls.push_back(platform::Url::fileURLWithPath(url.toLocalFile().toStdString()));
    return urls;
}

} // namespace

std::size_t PlaylistTableView::dropRow(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid()) {
        // Above the first row (only when scrolled to the top) or below the last one.
        const int rows = model_->rowCount();
        if (rows > 0 && position.y() < visualRect(model_->index(0, 0)).top()) return 0;
        return static_cast<std::size_t>(rows);
    }
    const QRect rect = visualRect(index);
    const int row = index.row();
    return static_cast<std::size_t>(position.y() > rect.center().y() ? row + 1 : row);
}

Qt::DropAction PlaylistTableView::dropActionFor(const QDropEvent& event) const {
    const QMimeData* data = event.mimeData();
    if (!data) return Qt::IgnoreAction;
    if (event.source() == this && data->hasFormat(rowsMimeType)) return Qt::MoveAction;
    if (!droppedFileURLs(*data).empty()) return Qt::CopyAction;
    return Qt::IgnoreAction;
}

void PlaylistTableView::setDropIndicatorRow(std::optional<std::size_t> row) {
    if (row == dropIndicatorRow_) return;
    dropIndicatorRow_ = row;
    viewport()->update();
}

void PlaylistTableView::startDrag(Qt::DropActions) {
    const RowIndexes rows = selectedRows();
    if (rows.empty()) return;
    QByteArray text;
    for (std::size_t row : rows)
        text += QByteArray::number(static_cast<qulonglong>(row)) + '\n';
    auto* data = new QMimeData;
    data->setData(rowsMimeType, text);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
    setDropIndicatorRow(std::nullopt);
}

void PlaylistTableView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void PlaylistTableView::dragMoveEvent(QDragMoveEvent* event) {
    const Qt::DropAction action = dropActionFor(*event);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        setDropIndicatorRow(std::nullopt);
        return;
    }
    event->setDropAction(action);
    event->accept();
    setDropIndicatorRow(dropRow(event->position().toPoint()));
}

void PlaylistTableView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropIndicatorRow(std::nullopt);
    event->accept();
}

void PlaylistTableView::dropEvent(QDropEvent* event) {
    setDropIndicatorRow(std::nullopt);
    const Qt::DropAction action = dropActionFor(*event);
    const std::size_t row = dropRow(event->position().toPoint());
    bool taken = false;
    if (action == Qt::MoveAction && delegate_) {
        RowIndexes rows;
        for (const QByteArray& line : event->mimeData()->data(rowsMimeType).split('\n')) {
            bool number = false;
            const qulonglong value = line.toULongLong(&number);
            if (number) rows.insert(static_cast<std::size_t>(value));
        }
        if (!rows.empty()) {
            delegate_->moveRows(rows, row);
            taken = true;
        }
    } else if (action == Qt::CopyAction && delegate_) {
        taken = delegate_->acceptDroppedURLs(droppedFileURLs(*event->mimeData()), row);
    }
    if (taken) {
        event->setDropAction(action);
        event->accept();
    } else {
        event->ignore();
    }
}

void PlaylistTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!dropIndicatorRow_) return;
    const int rows = model_->rowCount();
    int y = 0;
    if (rows > 0) {
        const int row =
            static_cast<int>(std::min<std::size_t>(*dropIndicatorRow_, static_cast<std::size_t>(rows)));
        y = row < rows ? visualRect(model_->index(row, 0)).top()
                       : visualRect(model_->index(rows - 1, 0)).bottom() + 1;
    }
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}

} // namespace vantle
