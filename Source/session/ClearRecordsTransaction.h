#pragma once
// The undo step of clearing what was recorded of entries: played spans, zero marks, played dates.
// Main thread.

#include "Source/session/TimeRange.h"
#include "Source/session/UndoRedoTransaction.h"
#include "platform/foundation/Date.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

class PlaylistEntry;

// Holds, per entry, the records a command touched as they were before and after it; undo and redo
// put them back. Records the command left alone are not held, so undoing a cleared zero mark never
// takes back what was heard since.
class ClearRecordsTransaction final : public UndoRedoTransaction {
public:
    // Which records a command clears.
    struct Kinds {
        bool ranges = false;
        bool zeros = false;
        bool playedDates = false;
    };
    // The touched records of one entry; absent ones are left as they are.
    struct Records {
        std::optional<std::vector<TimeRange>> ranges;
        std::optional<std::vector<double>> zeros;
        std::optional<std::vector<platform::Date>> playedDates;
        friend bool operator==(const Records&, const Records&) = default;
    };
    struct Change {
        std::shared_ptr<PlaylistEntry> entry;
        Records before;
        Records after;
    };

    // The entry's records of those kinds as they are now (the spans of its current listening).
    static Records recordsOf(const PlaylistEntry& entry, Kinds kinds);

    // Changes whose records did not change are dropped.
    ClearRecordsTransaction(std::string name, std::vector<Change> changes);

    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo " + name; }
    std::string undoName() const override { return "Undo " + name; }

    // Nothing to undo: no entry's records changed.
    bool empty() const { return changes.empty(); }

    // Gives the entries the records (spans in place: the player and the state file share the set),
    // marks the document dirty and has the main window show them and write the state file.
    void apply(bool after) const;

    std::string name;
    std::vector<Change> changes;
};

} // namespace vantle
