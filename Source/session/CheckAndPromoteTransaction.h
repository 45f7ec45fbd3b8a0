#pragma once
// Return's check and promote as one undoable step. Main thread.

#include "Source/session/EditListTransaction.h"
#include "Source/session/UndoRedoTransaction.h"

#include <memory>
#include <vector>

namespace vantle {

class PlaylistEntry;

// The checkmarks Return set and the reorder that put every checked entry first, done and taken back
// together ("Undo check and promote"). The reorder is applied as any list edit is: it selects, and
// makes current only while nothing plays (see EditListTransaction::apply).
class CheckAndPromoteTransaction final : public UndoRedoTransaction {
public:
    // `checked`: the entries that were not checked before.
    CheckAndPromoteTransaction(std::vector<std::shared_ptr<PlaylistEntry>> checked,
                               EditListTransaction reorder);

    // Each leaves the checkmarks as they were when the list is no longer the one the step expects.
    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo check and promote"; }
    std::string undoName() const override { return "Undo check and promote"; }

private:
    void setChecked(bool checked);

    std::vector<std::shared_ptr<PlaylistEntry>> checked_;
    EditListTransaction reorder_;
};

} // namespace vantle
