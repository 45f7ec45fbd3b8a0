#pragma once
// The undo step of a change of songs' tempo records: their dance, their own target, or a correction of a
// beat grid. Main thread.

#include "Source/session/UndoRedoTransaction.h"
#include "Source/tempo/EntryTempo.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantle {

class PlaylistEntry;

// Holds each record before and after; undo and redo put them back whole, mark the document dirty and
// tell `applied` (the window showing the songs' tempo) of each entry; it may be empty.
class EntryTempoTransaction final : public UndoRedoTransaction {
public:
    struct Change {
        std::shared_ptr<PlaylistEntry> entry;
        EntryTempo before, after;
    };
    using Applied = std::function<void(const std::shared_ptr<PlaylistEntry>&)>;
    EntryTempoTransaction(std::string name, std::vector<Change> changes, Applied applied);

    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo " + name_; }
    std::string undoName() const override { return "Undo " + name_; }

private:
    void apply(bool after) const;

    std::string name_;
    std::vector<Change> changes_;
    Applied applied_;
};

} // namespace vantle
