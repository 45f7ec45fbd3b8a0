// The playlist table's context menu, also the menu bar's Entry menu: revealing, relocating and
// annotating the selected entries, clearing what was recorded of them, copying their names or a
// report, and opening text files in the user's editor.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/EntryRelocation.h"
#include "Source/mainwindow/PanelFolders.h"
#include "Source/session/ClearRecordsTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"

#include <QAction>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QPointer>

#include <algorithm>

namespace vantle {

namespace {

// A played date younger than this (seconds) is taken for a mistake that the command undoes.
constexpr std::int64_t recentPlayedDateSeconds = 14399;

std::string entryDisplayName(const platform::Url& url) {
    std::string name = url.lastPathComponent();
    for (std::string_view suffix : {".mp3", ".m4a"})
        if (name.ends_with(suffix)) name.erase(name.size() - suffix.size());
    return name;
}

} // namespace

void MainViewController::buildEntryMenu() {
    entryMenu_ = new QMenu(tr("E&ntry"), this);
    entryMenu_->setObjectName("entryMenu");
    struct Item {
        const char* name;
        QString title;
        void (MainViewController::*command)();
        QList<QKeySequence> keys;
    };
    const Item items[] = {
        {"entryViewInFinder", tr("Show in File Manager"), &MainViewController::entryViewInFinder, {}},
        {"entryMoved", tr("File Moved…"), &MainViewController::entryMoved, {}},
        {"entryViewNotes", tr("Open Notes"), &MainViewController::entryViewNotes, {}},
        {nullptr, {}, nullptr, {}},
        {"entryClearTimes", tr("Clear Played Times"), &MainViewController::entryClearTimes, {}},
        {"entryPlayedToday", tr("Played Today"), &MainViewController::entryPlayedToday, {}},
        {"entryClearPlayed", tr("Clear Played Date (Ctrl: All)"), &MainViewController::entryClearPlayed, {}},
        {"entryClearZeros", tr("Clear Zero Marks"), &MainViewController::entryClearZeros, {}},
        {"entryClearAll", tr("Clear All"), &MainViewController::entryClearAll, {}},
        {nullptr, {}, nullptr, {}},
        {"copyContextItems", tr("Copy"), &MainViewController::copyContextItems,
         QKeySequence::keyBindings(QKeySequence::Copy)},
        {"copyReport",
         tr("Copy Played-Days Report"),
         &MainViewController::copyReport,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}},
        {nullptr, {}, nullptr, {}},
        {"removeSelectedItems",
         tr("Remove"),
         &MainViewController::removeSelectedEntries,
         {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::Key_Delete)}},
    };
    for (const Item& item : items) {
        if (!item.name) {
            entryMenu_->addSeparator();
            continue;
        }
        QAction* action = entryMenu_->addAction(item.title, this, item.command);
        action->setObjectName(item.name);
        if (item.keys.isEmpty()) continue;
        // The keys act on the rows only while the table has the focus; elsewhere they are the
        // focused control's own.
        action->setShortcuts(item.keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        tableView_->addAction(action);
    }
}

std::vector<std::shared_ptr<PlaylistEntry>> MainViewController::selectedVisibleEntries() const {
    return tableView_->entries(tableView_->selectedRows());
}

void MainViewController::reloadTableKeepingSelection() {
    tableView_->reloadTableSelecting(tableView_->selectedRows());
}

// ---- revealing and relocating ----

void MainViewController::entryViewInFinder() {
    std::vector<std::string> notShown;
    for (const std::shared_ptr<PlaylistEntry>& entry : selectedVisibleEntries()) {
        const std::string path = entry->_url.path();
        const std::string name = entry->_url.lastPathComponent();
        const std::string root =
            !name.empty() && path.ends_with(name) ? path.substr(0, path.size() - name.size()) : path;
        if (!workspace_->selectFile(path, root)) notShown.push_back(name);
    }
    if (notShown.empty()) return;
    reportNotDone(notShown.size() == 1
                      ? "“" + platform::printableLine(notShown.front()) + "” was not shown in a file manager"
                      : std::to_string(notShown.size()) + " files were not shown in a file manager",
                  "No file manager answered, and no program is set up to open folders.");
}

void MainViewController::reportNotDone(const std::string& what, const std::string& why) {
    platform::consolePrint(what + ": " + why);
    platform::AlertOptions options;
    options.messageText = what;
    options.informativeText = why;
    options.style = platform::AlertStyle::informational;
    alerts_->beginAlert(window(), std::move(options), {});
}

void MainViewController::entryMoved() {
    const std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    if (!entry) {
        reportNotDone(
            "No file was relocated",
            "No entry is current: select the entry whose file moved, then choose File Moved… again.");
        return;
    }
    const std::string oldPath = entry->_url.path();
    platform::OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    // The panel names the file it looks for and starts where it was, which a moved file often
    // still is near (a renamed file, a folder renamed one level up).
    options.message = "Where is “" + platform::printableLine(entry->_url.lastPathComponent()) + "” now?";
    options.directory = nearestExistingFolder(oldPath);
    if (options.directory.empty()) options.directory = panelStartFolder(*defaults_, PanelFolderKind::audio);
    QPointer<MainViewController> self(this);
    std::weak_ptr<PlaylistEntry> asked = entry;
    filePanels_->beginOpenPanel(window(), std::move(options), [self, asked](std::vector<platform::Url> urls) {
        if (!self || urls.empty()) return;
        // The entry the panel named, even when another one became current meanwhile; an entry no
        // longer listed has nothing left to relocate.
        std::shared_ptr<PlaylistEntry> entry = asked.lock();
        const Playlist::EntryList& all = self->playlist_->allEntries;
        if (!entry || std::find(all.begin(), all.end(), entry) == all.end()) return;
        const platform::Url oldLocation = entry->_url;
        const platform::Url& newLocation = urls.front();
        entry->relocate(newLocation);
        self->playlist_->dirty = true;
        self->tableView_->reloadTable();
        // The same entry, at its new place. A file the player still holds plays on; one it could
        // not open is opened from there.
        if (self->player_->entry() == entry && self->player_->playable())
            self->followRelocatedCurrentEntry(entry);
        else if (self->player_->entry() == entry)
            self->makeCurrent(entry);
        else if (self->playlist_->assignedEntry == entry)
            self->loadEntry(entry);
        self->tableView_->reloadEntryRow(entry);
        self->relocateOtherEntries(oldLocation, newLocation);
    });
}

void MainViewController::relocateOtherEntries(const platform::Url& oldLocation,
                                              const platform::Url& newLocation) {
    const std::optional<MovedFolders> folders = movedFolders(newLocation.path(), oldLocation.path());
    if (!folders) return;
    // Only files that are really there follow; the others keep their location.
    std::vector<std::pair<std::shared_ptr<PlaylistEntry>, platform::Url>> moves;
    for (const std::shared_ptr<PlaylistEntry>& other : playlist_->allEntries) {
        if (!other || other->_url == newLocation) continue;
        const std::optional<std::string> path = relocatedPath(*folders, other->_url.path());
        if (path && platform::fileExists(*path))
            moves.emplace_back(other, platform::Url::fileURLWithPath(*path));
    }
    if (moves.empty()) return;
    platform::AlertOptions options;
    options.messageText = moves.size() == 1 ? std::string("Move other entry?")
                                            : "Move all " + std::to_string(moves.size()) + " other entries?";
    options.buttons = {"OK", "Cancel"};
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self, moves](int button) {
        if (!self || button != 0) return;
        for (const auto& [entry, url] : moves)
            entry->relocate(url);
        self->playlist_->dirty = true;
        self->tableView_->reloadTable();
    });
}

void MainViewController::entryViewNotes() {
    std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    openInTextEditor(entry ? std::optional<platform::Url>(entry->noteSet().textURL()) : std::nullopt);
}

void MainViewController::openInTextEditor(const std::optional<platform::Url>& url) {
    if (!url) return;
    if (!workspace_->openFile(*url))
        reportNotDone("“" + platform::printableLine(url->lastPathComponent()) + "” was not opened",
                      "No program is set up to open text files.");
}

void MainViewController::viewLog() {
    const std::optional<platform::Url> url = log_->url();
    if (!url || !platform::fileExists(url->path())) {
        reportNotDone("The log was not opened", "Nothing has been logged yet.");
        return;
    }
    openInTextEditor(url);
}

// ---- clearing what was recorded ----

void MainViewController::clearTimesOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries) {
    for (const std::shared_ptr<PlaylistEntry>& entry : entries) {
        // Emptied in place: the player and the state file share the set.
        if (!entry->currentTimeRangeSet) entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
        entry->currentTimeRangeSet->ranges.clear();
        entry->cachedTimeRangeIndex.reset();
        playlist_->dirty = true;
    }
}

void MainViewController::clearZerosOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries) {
    for (const std::shared_ptr<PlaylistEntry>& entry : entries) {
        entry->zeros.clear();
        playlist_->dirty = true;
    }
}

void MainViewController::clearPlayedOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries) {
    const bool all = modifierKeys_() & (Qt::ControlModifier | Qt::AltModifier);
    for (const std::shared_ptr<PlaylistEntry>& entry : entries) {
        const std::optional<std::int64_t> age = entry->secondsSinceLastPlayed(*clock_);
        if (!age) continue;
        if (all)
            entry->playedDates.clear();
        else if (*age <= recentPlayedDateSeconds)
            entry->playedDates.pop_back();
        else
            continue;
        playlist_->dirty = true;
    }
}

void MainViewController::clearRecords(const std::string& name, bool times, bool zeros, bool played) {
    // Prepared zero marks and dates are work: every clearing is one step the Edit menu takes back.
    const std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedVisibleEntries();
    const ClearRecordsTransaction::Kinds kinds{times, zeros, played};
    std::vector<ClearRecordsTransaction::Change> changes;
    for (const std::shared_ptr<PlaylistEntry>& entry : entries)
        changes.push_back({entry, ClearRecordsTransaction::recordsOf(*entry, kinds), {}});
    if (times) clearTimesOf(entries);
    if (zeros) clearZerosOf(entries);
    if (played) clearPlayedOf(entries);
    for (ClearRecordsTransaction::Change& change : changes)
        change.after = ClearRecordsTransaction::recordsOf(*change.entry, kinds);
    ClearRecordsTransaction step(name, std::move(changes));
    if (!step.empty()) playlist_->undoer.record(std::move(step));
    entryRecordsChanged();
}

void MainViewController::entryRecordsChanged() {
    if (std::shared_ptr<PlaylistEntry> current = playlist_->assignedEntry) {
        timeSlider_->loadEntry(current);
        // The state file keeps the current entry's spans and marks; it must not bring them back.
        saveAppState();
    }
    if (QWidget* slider = timeSlider_->widget()) slider->update();
    reloadTableKeepingSelection();
    refreshDisplay();
}

void MainViewController::entryClearTimes() {
    clearRecords("Clear Played Times", true, false, false);
}

void MainViewController::entryPlayedToday() {
    for (const std::shared_ptr<PlaylistEntry>& entry : selectedVisibleEntries()) {
        entry->playedDates.push_back(clock_->now());
        playlist_->dirty = true;
    }
    reloadTableKeepingSelection();
}

void MainViewController::entryClearPlayed() {
    clearRecords("Clear Played Date", false, false, true);
}

void MainViewController::entryClearZeros() {
    clearRecords("Clear Zero Marks", false, true, false);
}

void MainViewController::entryClearAll() {
    clearRecords("Clear All", true, true, true);
}

// ---- copying ----

void MainViewController::copySelectedRows(
    const std::function<std::optional<std::string>(std::size_t row)>& line) {
    pasteboard_->clearContents();
    std::string text;
    bool first = true;
    for (std::size_t row : tableView_->selectedRows()) {
        std::optional<std::string> part = line(row);
        if (!part) continue;
        if (!first) text += '\n';
        text += *part;
        first = false;
    }
    pasteboard_->setString(text);
}

void MainViewController::copyContextItems() {
    copySelectedRows([this](std::size_t row) -> std::optional<std::string> {
        std::shared_ptr<PlaylistEntry> entry = playlist_->visibleEntry(static_cast<std::ptrdiff_t>(row));
        if (!entry) return std::nullopt;
        return entryDisplayName(entry->_url);
    });
}

void MainViewController::copyReport() {
    copySelectedRows([this](std::size_t row) -> std::optional<std::string> {
        std::shared_ptr<PlaylistEntry> entry = playlist_->visibleEntry(static_cast<std::ptrdiff_t>(row));
        if (!entry) return std::string();
        std::string days;
        if (std::optional<std::int64_t> count = entry->daysSinceLastPlayed(*clock_))
            days = QLocale().toString(static_cast<qlonglong>(*count)).toStdString();
        return days + entryDisplayName(entry->_url);
    });
}

} // namespace vantle
