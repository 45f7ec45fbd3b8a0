#pragma once
// What the playlist table asks of the main view controller. Main thread.

#include "Source/session/MainWindowServices.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vantle {

class PlaylistEntry;

// Implemented by the main view controller (tests use a fake), so that the table reaches the
// player only through it.
class PlaylistTableDelegate {
public:
    virtual ~PlaylistTableDelegate() = default;

    // While the player plays, selecting rows never changes the current entry.
    virtual bool isPlaying() const = 0;
    // Makes the entry (or none) current: stops the player and loads the entry without playing.
    virtual void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) = 0;
    // Makes the visible entry at the row current (none for a row outside the visible list),
    // first logging and finishing the entry that stops being current.
    virtual void loadEntryAtRow(std::ptrdiff_t row) = 0;
    // Empties the search field and with it the playlist's filter text, and reloads the table.
    virtual void clearSearchField() = 0;
    // Refreshes the main view for the current entry and playback time.
    virtual void refreshDisplay() = 0;
    // Rows dragged inside the table, dropped on the line above `row` (the row count: below the
    // last row).
    virtual void moveRows(const RowIndexes& /*rows*/, std::size_t /*row*/) {}
    // Files and folders dragged in from another program, dropped on the line above `row`. True
    // when the drop did anything.
    virtual bool acceptDroppedURLs(const std::vector<platform::Url>& /*urls*/, std::size_t /*row*/) {
        return false;
    }
};

} // namespace vantle
