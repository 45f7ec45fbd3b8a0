#include "Source/session/EditListTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/Playlist.h"

#include <utility>

namespace vantle {

EditListTransaction::EditListTransaction(std::string name, EntryList initialList, RowIndexes initialSelection,
                                         EntryList endingList, RowIndexes endingSelection)
    : name(std::move(name)), initialList(std::move(initialList)),
      initialSelection(std::move(initialSelection)), endingList(std::move(endingList)),
      endingSelection(std::move(endingSelection)) {}

platform::Result<void> EditListTransaction::redo() {
    apply(endingList, endingSelection);
    return {};
}

platform::Result<void> EditListTransaction::undo() {
    apply(initialList, initialSelection);
    return {};
}

void EditListTransaction::apply(const EntryList& list, const RowIndexes& selection) {
    MainWindowServices* window = AppServices::mainWindow();
    if (!window) return;
    std::shared_ptr<Playlist> playlist = window->playlist();
    if (!playlist) return;
    playlist->allEntries = list;
    window->selectRows(selection);
    if (!selection.empty()) {
        std::size_t lowest = *selection.begin();
        window->selectRows({lowest});
        window->loadEntryAtRowAfterListEdit(lowest);
    }
    playlist->dirty = true;
    window->reloadTableSelecting(selection);
}

} // namespace vantle
