#pragma once
// The undo step of an edit of the playlist's entry list (sort, remove, add, move). Main thread.

#include "Source/session/MainWindowServices.h"
#include "Source/session/UndoRedoTransaction.h"

#include <memory>
#include <string>
#include <vector>

namespace vantle {

class PlaylistEntry;

// The lists share the playlist's entry objects, so undoing restores order and membership, not
// the entries' contents.
class EditListTransaction final : public UndoRedoTransaction {
public:
    using EntryList = std::vector<std::shared_ptr<PlaylistEntry>>;

    EditListTransaction(std::string name, EntryList initialList, RowIndexes initialSelection,
                        EntryList endingList, RowIndexes endingSelection);

    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo " + name; }
    std::string undoName() const override { return "Undo " + name; }

    // Puts the list into the main window's playlist, selects the rows, makes the lowest selected
    // row's entry current (never interrupting what plays, see MainWindowServices), marks the
    // document dirty and reloads the table. Without a main window it does nothing.
    static void apply(const EntryList& list, const RowIndexes& selection);

    std::string name;
    EntryList initialList;
    RowIndexes initialSelection;
    EntryList endingList;
    RowIndexes endingSelection;
};

} // namespace vantle
