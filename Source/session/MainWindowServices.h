#pragma once
// What the session model asks of the main window (its main view controller). Main thread.

#include "platform/foundation/Url.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace vantle {

class Playlist;
class PlaylistEntry;

// Rows of the playlist table, that is positions in the playlist's filtered list.
using RowIndexes = std::set<std::size_t>;

// The main view controller as the session model reaches it through AppServices::mainWindow().
// The main window implements it; tests use a fake.
class MainWindowServices {
public:
    virtual ~MainWindowServices() = default;

    // The one open document; null only while none is set up.
    virtual std::shared_ptr<Playlist> playlist() const = 0;
    // Where the open session document lives; nothing for a never-saved session or none open.
    virtual std::optional<platform::Url> sessionURL() const = 0;

    // The playlist table's selection.
    virtual RowIndexes selectedRows() const = 0;
    // Replaces the playlist table's selection.
    virtual void selectRows(const RowIndexes& rows) = 0;

    // Makes the entry at a row current after a list edit (insert, remove, sort, undo, redo).
    // A list edit never interrupts the music: while an entry plays and is still in the
    // playlist, it stays current and nothing is loaded; otherwise the entry at the row is loaded
    // as loadEntryAtRow does (nothing happens for a row without an entry).
    virtual void loadEntryAtRowAfterListEdit(std::size_t row) = 0;

    // Reloads the table with the filter and the sort column applied and selects the rows.
    virtual void reloadTableSelecting(const RowIndexes& rows) = 0;

    // Rebuilds the side-document buttons for the entry (none for no entry).
    virtual void rebuildAttachmentStack(const std::shared_ptr<PlaylistEntry>& entry) = 0;

    // Redraws the entry's row of the playlist table (the player calls it when the entry's file was
    // found at another place). The main window overrides it; the default draws nothing.
    virtual void reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry) {}

    // Entries' played spans, zero marks or played dates changed: the time slider, the table and the
    // display show them, and the state file keeps the current entry's. The default does nothing.
    virtual void entryRecordsChanged() {}

    // An undo or redo step could not be applied and was dropped; `message` says which and why. The
    // window tells the user, who otherwise sees nothing happen. The default does nothing.
    virtual void undoStepFailed(const std::string& message) {}
};

} // namespace vantle
