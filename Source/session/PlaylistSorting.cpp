// The playlist's sorts: the orders of the table's columns, and sorting as one undoable list edit.
// Apart from Playlist.cpp because the undo step it records reaches back into the playlist.

#include "Source/session/Playlist.h"

#include "Source/session/AppServices.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/MainWindowServices.h"

#include <algorithm>
#include <utility>

namespace vantle {

void Playlist::recordListEdit(std::string name, EntryList sorted) {
    // A list already in that order: nothing to take back.
    if (sorted == allEntries) return;
    MainWindowServices* window = AppServices::mainWindow();
    RowIndexes initialSelection = window ? window->selectedRows() : RowIndexes{};
    EditListTransaction step(std::move(name), allEntries, std::move(initialSelection), std::move(sorted),
                             RowIndexes{0});
    (void)step.redo();
    undoer.record(std::move(step));
}

void Playlist::sortEntries(const EntryOrder& order) {
    EntryList sorted = allEntries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const auto& a, const auto& b) { return order(*a, *b); });
    recordListEdit("sort", std::move(sorted));
}

void Playlist::sortByCheckmark() {
    EntryList sorted = allEntries;
    std::stable_partition(sorted.begin(), sorted.end(),
                          [](const auto& entry) { return entry->isCheckmarked; });
    recordListEdit("sort by checkmark", std::move(sorted));
}

bool Playlist::isInOrder(const EntryOrder& order) const {
    return std::is_sorted(allEntries.begin(), allEntries.end(),
                          [&](const auto& a, const auto& b) { return order(*a, *b); });
}

bool Playlist::checkmarkOrder(const PlaylistEntry& a, const PlaylistEntry& b) {
    return a.isCheckmarked && !b.isCheckmarked;
}

bool Playlist::titleOrder(const PlaylistEntry& a, const PlaylistEntry& b) {
    return a._url.lastPathComponent() < b._url.lastPathComponent();
}

bool Playlist::directoryOrder(const PlaylistEntry& a, const PlaylistEntry& b) {
    return a._url.path() < b._url.path();
}

Playlist::EntryOrder Playlist::ageOrder(const platform::Clock& clock) {
    return [&clock](const PlaylistEntry& a, const PlaylistEntry& b) {
        std::optional<std::int64_t> ageA = a.secondsSinceLastPlayed(clock);
        std::optional<std::int64_t> ageB = b.secondsSinceLastPlayed(clock);
        if (!ageA || !ageB) return !ageA && ageB;
        return *ageA > *ageB;
    };
}

} // namespace vantle
