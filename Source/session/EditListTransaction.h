#pragma once
// The undo step of an edit of the playlist's entry list (sort, remove, add, move). Main thread.

#include "Source/session/MainWindowServices.h"
#include "Source/session/UndoRedoTransaction.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

class PlaylistEntry;

// The step keeps the playlist's entry objects, so undoing restores order and membership, not the
// entries' contents. It holds only what the edit changed: the entries that left the list and those
// that came in, each with its place, so adding a few files to a long list costs a few entries. The
// entries that stay keep their order; a reorder is told as its moved entries leaving and coming back.
class EditListTransaction final : public UndoRedoTransaction {
public:
    using EntryList = std::vector<std::shared_ptr<PlaylistEntry>>;

    // An entry at its index in one of the two lists.
    struct Placed {
        std::size_t index;
        std::shared_ptr<PlaylistEntry> entry;
        friend bool operator==(const Placed&, const Placed&) = default;
    };

    // The change from `initialList` to `endingList`; neither list is kept.
    EditListTransaction(std::string name, const EntryList& initialList, RowIndexes initialSelection,
                        const EntryList& endingList, RowIndexes endingSelection);

    // Each checks that the playlist is the list the step starts from (its size and the entries the
    // step takes out, where it left them or, after a reorder that took no step, anywhere) before it
    // changes anything: a list changed another way is left alone and the step fails.
    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo " + name; }
    std::string undoName() const override { return "Undo " + name; }

    // Puts the list into the main window's playlist, selects the rows, makes the lowest selected
    // row's entry current (never interrupting what plays, see MainWindowServices), marks the
    // document dirty and reloads the table. Without a main window it does nothing.
    static void apply(EntryList list, const RowIndexes& selection);

    std::string name;
    RowIndexes initialSelection;
    RowIndexes endingSelection;
    std::size_t initialCount = 0;
    std::size_t endingCount = 0;
    // Indexes in the initial list, ascending.
    std::vector<Placed> removed;
    // Indexes in the ending list, ascending.
    std::vector<Placed> inserted;

private:
    // `list` without the entries of `taken` (ascending indexes into `list`), with those of `put`
    // (ascending indexes into the result) added. Nothing when `list` does not hold `taken` there or
    // the result cannot hold `put`.
    static std::optional<EntryList> splicedAt(const EntryList& list, const std::vector<Placed>& taken,
                                              const std::vector<Placed>& put);
    // splicedAt, or when `list` holds the entries of `taken` elsewhere (reordered since) and none of
    // `put`, the same with `taken` where they are now.
    static std::optional<EntryList> spliced(const EntryList& list, const std::vector<Placed>& taken,
                                            const std::vector<Placed>& put);
    platform::Result<void> change(std::size_t count, const std::vector<Placed>& taken,
                                  const std::vector<Placed>& put, const RowIndexes& selection,
                                  const char* doing);
};

} // namespace vantle
