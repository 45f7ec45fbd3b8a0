#include "Source/session/CheckAndPromoteTransaction.h"

#include "Source/session/PlaylistEntry.h"

namespace vantle {

CheckAndPromoteTransaction::CheckAndPromoteTransaction(std::vector<std::shared_ptr<PlaylistEntry>> checked,
                                                       EditListTransaction reorder)
    : checked_(std::move(checked)), reorder_(std::move(reorder)) {}

void CheckAndPromoteTransaction::setChecked(bool checked) {
    for (const std::shared_ptr<PlaylistEntry>& entry : checked_)
        if (entry) entry->isCheckmarked = checked;
}

// The marks change before the list: applying the list reloads the table, which then shows them.
platform::Result<void> CheckAndPromoteTransaction::redo() {
    setChecked(true);
    platform::Result<void> done = reorder_.redo();
    if (!done) setChecked(false);
    return done;
}

platform::Result<void> CheckAndPromoteTransaction::undo() {
    setChecked(false);
    platform::Result<void> done = reorder_.undo();
    if (!done) setChecked(true);
    return done;
}

} // namespace vantle
