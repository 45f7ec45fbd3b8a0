#pragma once
// The playlist table's data: one row per visible entry of a playlist and seven fixed columns.
// Main thread.

#include "Source/tempo/DanceTable.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class Clock;
}

namespace vantle {

class CdgFolderIndex;
class Playlist;
class PlaylistEntry;

// The columns in their order on screen (the model's column numbers).
// Tempo came last and is shown after Duration: the others keep their numbers.
enum class PlaylistColumn { Title, Directory, Duration, Played, Age, Checked, Tempo };

// The Tempo column: bars per minute for a song with a dance (its chosen one, else its tags'), beats per
// minute otherwise; "?" while unknown or unsure. The shown number is what the column sorts by.
std::optional<double> playlistShownTempo(const PlaylistEntry& entry, const DanceTable& table);
std::string playlistTempoText(const PlaylistEntry& entry, const DanceTable& table);

// The rows are the playlist's filtered entries as they were at the last reload(): the table shows
// a change of the list after the next reload, a change of an entry after the next repaint. Cells
// carry only their text (the played share for the Played column) and nothing that depends on the
// entry's state.
class PlaylistTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int columns = 7;
    // headerData(section, Qt::Horizontal, IdentifierRole): the column's identifier text.
    static constexpr int IdentifierRole = Qt::UserRole;
    // data() of a Played cell: the share of the file its current time ranges cover, 0…100 (double).
    static constexpr int PlayedValueRole = Qt::UserRole + 1;
    // data() of a Title cell: the entry's tags, with which its text ends (empty without tags).
    static constexpr int TagsRole = Qt::UserRole + 2;
    // data() of a Title cell: true when the song has CD+G graphics beside it (false until its
    // folder has been looked at, off the main thread).
    static constexpr int GraphicsRole = Qt::UserRole + 3;

    explicit PlaylistTableModel(QObject* parent = nullptr);
    ~PlaylistTableModel() override;

    // "TitleColumn", "DirectoryColumn", "DurationColumn", "PlayedColumn", "AgeColumn",
    // "CheckedColumn", "TempoColumn".
    static QString identifier(PlaylistColumn column);
    static std::optional<PlaylistColumn> columnWithIdentifier(const QString& identifier);
    static int columnIndex(PlaylistColumn column) { return static_cast<int>(column); }
    // Every column, in the order a whole row is reloaded: Played, Age, Checked, Directory,
    // Duration, Title, Tempo.
    static const QStringList& allColumnIdentifiers();

    // Shows another playlist (or none) and reloads.
    void setPlaylist(std::shared_ptr<Playlist> playlist);
    const std::shared_ptr<Playlist>& playlist() const { return playlist_; }
    // "Now" for the Age column; the clock must outlive the model.
    void setClock(const platform::Clock& clock);
    const platform::Clock& clock() const { return *clock_; }
    // The dances, their tags and meters the Tempo column reads, kept as a copy: the one given may go
    // before the views that still ask the model. The default table until one is set.
    void setDanceTable(const DanceTable& table);
    const DanceTable& danceTable() const { return danceTable_; }

    // Takes the playlist's visible entries afresh; every view forgets its rows and selection.
    void reload();
    // Repaints the cells of a row.
    void reloadRow(int row);
    // The entry a row shows; null outside the rows.
    std::shared_ptr<PlaylistEntry> entryAtRow(int row) const;
    // The row that shows the entry; none while it is not shown.
    std::optional<int> rowOf(const PlaylistEntry& entry) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QVariant cellText(PlaylistEntry& entry, PlaylistColumn column) const;

    std::shared_ptr<Playlist> playlist_;
    std::vector<std::shared_ptr<PlaylistEntry>> rows_;
    // The entries shown with their rows, in the order of their addresses, made at the first look after a
    // reload: a row redrawn as each of 100,000 files is counted or analysed must not filter the whole list
    // each time, and one array sorts and goes faster than 100,000 hashed nodes.
    mutable std::vector<std::pair<const PlaylistEntry*, int>> rowIndex_;
    const platform::Clock* clock_;
    DanceTable danceTable_;
    std::unique_ptr<CdgFolderIndex> graphics_;
};

} // namespace vantle
