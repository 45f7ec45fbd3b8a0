#pragma once
// One undoable edit of the session document. Main thread.

#include "platform/foundation/Result.h"

#include <string>

namespace vantle {

// A step knows how to put the document into its state after the step (redo) and before it
// (undo), and how it is named in the Edit menu. Steps are values: the Undoer keeps its own copy.
class UndoRedoTransaction {
public:
    virtual ~UndoRedoTransaction() = default;

    virtual platform::Result<void> redo() = 0;
    virtual platform::Result<void> undo() = 0;
    // The Redo item's title while this step is on top of the redo stack.
    virtual std::string redoName() const = 0;
    // The Undo item's title while this step is on top of the undo stack.
    virtual std::string undoName() const = 0;
};

} // namespace vantle
