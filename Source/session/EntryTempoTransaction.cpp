#include "Source/session/EntryTempoTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"

#include <utility>

namespace vantle {

EntryTempoTransaction::EntryTempoTransaction(std::string name, std::vector<Change> changes, Applied applied)
    : name_(std::move(name)), changes_(std::move(changes)), applied_(std::move(applied)) {}

platform::Result<void> EntryTempoTransaction::redo() {
    apply(true);
    return {};
}

platform::Result<void> EntryTempoTransaction::undo() {
    apply(false);
    return {};
}

void EntryTempoTransaction::apply(bool after) const {
    for (const Change& change : changes_)
        change.entry->tempo = after ? change.after : change.before;
    if (MainWindowServices* window = AppServices::mainWindow())
        if (std::shared_ptr<Playlist> playlist = window->playlist()) playlist->dirty = true;
    if (applied_)
        for (const Change& change : changes_)
            applied_(change.entry);
}

} // namespace vantle
