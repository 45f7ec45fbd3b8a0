#include "Source/views/PlaylistTableModel.h"

#include "Source/karaoke/CdgFolderIndex.h"
#include "Source/session/FormatTime.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/tempo/DanceTable.h"
#include "Source/tempo/TempoText.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Text.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vantle {

namespace {

struct PlaylistColumnInfo {
    PlaylistColumn column;
    const char* identifier;
    const char* title;
};

constexpr std::array<PlaylistColumnInfo, PlaylistTableModel::columns> playlistColumnInfo{{
    {PlaylistColumn::Title, "TitleColumn", "Title"},
    {PlaylistColumn::Directory, "DirectoryColumn", "Folder"},
    {PlaylistColumn::Duration, "DurationColumn", "Duration"},
    {PlaylistColumn::Played, "PlayedColumn", "Played"},
    {PlaylistColumn::Age, "AgeColumn", "Age"},
    {PlaylistColumn::Checked, "CheckedColumn", "\u2713"},
    {PlaylistColumn::Tempo, "TempoColumn", "Tempo"},
}};

std::string playlistWithoutSuffix(std::string text, std::string_view suffix) {
    if (text.ends_with(suffix)) text.erase(text.size() - suffix.size());
    return text;
}

// The entry's folder with the trailing "/", the prefix and its "/" left out.
std::string playlistDirectoryText(const PlaylistEntry& entry, const std::string& prefix) {
    const std::string& path = entry._url.path();
    const std::string name = entry._url.lastPathComponent();
    std::string folder = path.ends_with(name) ? path.substr(0, path.size() - name.size()) : path;
    const std::string lead = prefix + "/";
    if (folder.starts_with(lead)) folder.erase(0, lead.size());
    return folder;
}

std::string playlistTitleText(const PlaylistEntry& entry) {
    // A song archive is titled by the audio inside it (by its own name until it was first opened).
    std::string title = playlistWithoutSuffix(playlistWithoutSuffix(entry.titleFileName(), ".mp3"), ".m4a");
    return title + entry.tags.value_or(std::string());
}

} // namespace

std::optional<double> playlistShownTempo(const PlaylistEntry& entry, const DanceTable& table) {
    return shownTempo(entry.tempo.tempo, entry.tempo.dance(table, entry.tags.value_or(std::string())));
}

std::string playlistTempoText(const PlaylistEntry& entry, const DanceTable& table) {
    return tempoText(playlistShownTempo(entry, table),
                     entry.tempo.dance(table, entry.tags.value_or(std::string())));
}

PlaylistTableModel::PlaylistTableModel(QObject* parent)
    : QAbstractTableModel(parent), clock_(&platform::Clock::system()),
      graphics_(std::make_unique<CdgFolderIndex>([this](bool answersChanged) {
          // A folder without graphics leaves every row as drawn: thousands of rows are not redrawn.
          if (answersChanged && !rows_.empty())
              emit dataChanged(index(0, columnIndex(PlaylistColumn::Title)),
                               index(static_cast<int>(rows_.size()) - 1, columnIndex(PlaylistColumn::Title)),
                               {GraphicsRole});
      })) {}

PlaylistTableModel::~PlaylistTableModel() = default;

QString PlaylistTableModel::identifier(PlaylistColumn column) {
    return QString::fromLatin1(playlistColumnInfo[static_cast<std::size_t>(column)].identifier);
}

std::optional<PlaylistColumn> PlaylistTableModel::columnWithIdentifier(const QString& identifier) {
    for (const PlaylistColumnInfo& info : playlistColumnInfo)
        if (identifier == QLatin1String(info.identifier)) return info.column;
    return std::nullopt;
}

const QStringList& PlaylistTableModel::allColumnIdentifiers() {
    static const QStringList identifiers{"PlayedColumn",   "AgeColumn",   "CheckedColumn", "DirectoryColumn",
                                         "DurationColumn", "TitleColumn", "TempoColumn"};
    return identifiers;
}

void PlaylistTableModel::setPlaylist(std::shared_ptr<Playlist> playlist) {
    playlist_ = std::move(playlist);
    reload();
}

void PlaylistTableModel::setClock(const platform::Clock& clock) {
    clock_ = &clock;
    if (!rows_.empty())
        emit dataChanged(index(0, columnIndex(PlaylistColumn::Age)),
                         index(static_cast<int>(rows_.size()) - 1, columnIndex(PlaylistColumn::Age)));
}

void PlaylistTableModel::setDanceTable(const DanceTable& table) {
    danceTable_ = table;
    if (!rows_.empty())
        emit dataChanged(index(0, columnIndex(PlaylistColumn::Tempo)),
                         index(static_cast<int>(rows_.size()) - 1, columnIndex(PlaylistColumn::Tempo)));
}

void PlaylistTableModel::reload() {
    beginResetModel();
    rows_ = playlist_ ? playlist_->filteredEntries() : std::vector<std::shared_ptr<PlaylistEntry>>{};
    rowIndex_.clear();
    // Graphics added or removed beside the songs show after the next listing of their folders.
    graphics_->refresh();
    endResetModel();
}

void PlaylistTableModel::reloadRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    for (const QString& id : allColumnIdentifiers()) {
        const QModelIndex cell = index(row, columnIndex(*columnWithIdentifier(id)));
        emit dataChanged(cell, cell);
    }
}

std::optional<int> PlaylistTableModel::rowOf(const PlaylistEntry& entry) const {
    // By address, then row: the first row of an entry listed twice comes first, as a look down the rows
    // would find it.
    const auto before = [](const std::pair<const PlaylistEntry*, int>& a,
                           const std::pair<const PlaylistEntry*, int>& b) {
        return std::less<const PlaylistEntry*>()(a.first, b.first) ||
               (a.first == b.first && a.second < b.second);
    };
    if (rowIndex_.empty() && !rows_.empty()) {
        rowIndex_.reserve(rows_.size());
        for (std::size_t row = 0; row < rows_.size(); ++row)
            rowIndex_.emplace_back(rows_[row].get(), static_cast<int>(row));
        std::sort(rowIndex_.begin(), rowIndex_.end(), before);
    }
    const auto found = std::lower_bound(rowIndex_.begin(), rowIndex_.end(),
                                        std::pair<const PlaylistEntry*, int>(&entry, 0), before);
    if (found == rowIndex_.end() || found->first != &entry) return std::nullopt;
    return found->second;
}

std::shared_ptr<PlaylistEntry> PlaylistTableModel::entryAtRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
    return rows_[static_cast<std::size_t>(row)];
}

int PlaylistTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PlaylistTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns;
}

QVariant PlaylistTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() < 0 || index.column() >= columns) return {};
    std::shared_ptr<PlaylistEntry> entry = entryAtRow(index.row());
    if (!entry) return {};
    const auto column = static_cast<PlaylistColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return column == PlaylistColumn::Played ? QVariant() : cellText(*entry, column);
    case PlayedValueRole:
        if (column != PlaylistColumn::Played) return {};
        // A listening not begun yet still shows as an empty one from now on.
        if (!entry->currentTimeRangeSet) entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
        return 100.0 * entry->coveredFraction(*entry->currentTimeRangeSet);
    case TagsRole:
        if (column != PlaylistColumn::Title) return {};
        return QString::fromStdString(entry->tags.value_or(std::string()));
    case GraphicsRole:
        if (column != PlaylistColumn::Title) return {};
        return graphics_->hasGraphics(entry->_url.path()).value_or(false);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant PlaylistTableModel::cellText(PlaylistEntry& entry, PlaylistColumn column) const {
    switch (column) {
    // A cell is one line, whatever the file and its folders are called.
    case PlaylistColumn::Directory:
        return QString::fromStdString(platform::escapingControlCharacters(
            playlistDirectoryText(entry, playlist_ ? playlist_->directoryPrefix() : "")));
    case PlaylistColumn::Title:
        return QString::fromStdString(platform::escapingControlCharacters(playlistTitleText(entry)));
    case PlaylistColumn::Duration:
        if (std::optional<double> seconds = entry.duration()) {
            const QString text = QString::fromStdString(formatTime(*seconds, 0, 2));
            // Until the file is counted, a set added up from the list could be minutes off.
            return entry.durationIsEstimate ? QStringLiteral("\u2248") + text.trimmed() : text;
        }
        return QStringLiteral("?");
    case PlaylistColumn::Age:
        if (std::optional<std::int64_t> days = entry.daysSinceLastPlayed(*clock_))
            return QLocale().toString(static_cast<qlonglong>(*days));
        return QString();
    case PlaylistColumn::Checked:
        return entry.isCheckmarked ? QStringLiteral("\u2713") : QStringLiteral(" ");
    case PlaylistColumn::Tempo:
        return QString::fromStdString(playlistTempoText(entry, danceTable_));
    case PlaylistColumn::Played:
        break;
    }
    return {};
}

QVariant PlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns) return {};
    const PlaylistColumnInfo& info = playlistColumnInfo[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromUtf8(info.title);
    if (role == IdentifierRole) return QString::fromLatin1(info.identifier);
    return {};
}

Qt::ItemFlags PlaylistTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Rows are dragged to reorder the playlist; drops are the table's business, between rows.
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
}

} // namespace vantle
