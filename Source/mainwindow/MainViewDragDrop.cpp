// Rows moved by dragging inside the playlist table, and files, folders and session documents
// dropped onto it from other programs.

#include "Source/mainwindow/MainViewController.h"

#include "Source/session/EditListTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"

#include <QPointer>

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace vantle {

namespace {

bool isSessionDocument(const platform::Url& url) {
    static constexpr std::string_view suffix = ".vantle";
    const std::string path = url.path();
    if (path.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), path.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

} // namespace

void MainViewController::moveRows(const RowIndexes& rows, std::size_t row) {
    const Playlist::EntryList visible = playlist_->filteredEntries();
    Playlist::EntryList moved;
    for (std::size_t i : rows)
        if (i < visible.size()) moved.push_back(visible[i]);
    if (moved.empty()) return;

    const Playlist::EntryList& all = playlist_->allEntries;
    auto sameFile = [](const std::shared_ptr<PlaylistEntry>& a, const std::shared_ptr<PlaylistEntry>& b) {
        return a->_url == b->_url;
    };
    // Just after the entry shown above the drop line; hidden entries that follow it end up after
    // the moved block.
    std::size_t position = all.size();
    if (row == 0) {
        position = 0;
    } else if (row < visible.size()) {
        auto above = std::find_if(all.begin(), all.end(),
                                  [&](const auto& entry) { return sameFile(entry, visible[row - 1]); });
        position = static_cast<std::size_t>(above - all.begin()) + 1;
    }

    // Looked up once: every row of a long list may be dragged at once.
    std::unordered_set<platform::Url> movedFiles;
    for (const std::shared_ptr<PlaylistEntry>& entry : moved)
        movedFiles.insert(entry->_url);
    Playlist::EntryList before;
    Playlist::EntryList after;
    for (std::size_t j = 0; j < all.size(); ++j) {
        const bool isMoved = movedFiles.count(all[j]->_url) > 0;
        if (!isMoved) (j < position ? before : after).push_back(all[j]);
    }
    Playlist::EntryList ending = before;
    ending.insert(ending.end(), moved.begin(), moved.end());
    ending.insert(ending.end(), after.begin(), after.end());
    // Rows dropped where they were.
    if (ending == all) return;
    const std::unordered_set<std::shared_ptr<PlaylistEntry>> shown(visible.begin(), visible.end());
    const auto shownBefore = std::count_if(before.begin(), before.end(),
                                           [&](const auto& entry) { return shown.count(entry) > 0; });

    EditListTransaction step("move", all, tableView_->selectedRows(), std::move(ending),
                             RowIndexes{static_cast<std::size_t>(shownBefore)});
    (void)step.redo();
    playlist_->undoer.record(std::move(step));
}

bool MainViewController::acceptDroppedURLs(const std::vector<platform::Url>& urls, std::size_t row) {
    const std::shared_ptr<PlaylistEntry> target = playlist_->visibleEntry(static_cast<std::ptrdiff_t>(row));
    std::vector<platform::Url> files;
    std::optional<platform::Url> session;
    for (const platform::Url& url : urls) {
        if (isSessionDocument(url)) {
            session = url;
            break;
        }
        files.push_back(url);
    }
    if (files.empty()) return session && openSessionAt(*session);

    const Playlist::EntryList initial = playlist_->allEntries;
    struct Answer {
        bool done = false;
        bool taken = false;
    };
    const auto answer = std::make_shared<Answer>();
    QPointer<MainViewController> self(this);
    addLocations(std::move(files), target, [self, initial, session, row, answer](const AddedFiles& found) {
        answer->done = true;
        if (!self) return;
        const bool changed = self->playlist_->allEntries != initial;
        self->reportNotAudio(found.notAudio);
        answer->taken = changed;
        if (session) {
            answer->taken = self->openSessionAt(*session) || changed;
        } else if (changed) {
            self->tableView_->selectRows({row});
            self->loadEntryAtRowAfterListEdit(row);
        }
    });
    // Files still being measured are taken all the same.
    return !answer->done || answer->taken;
}

} // namespace vantle
