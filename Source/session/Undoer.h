#pragma once
// The undo and redo history of one session document. Main thread.

#include "Source/session/UndoRedoTransaction.h"

#include <concepts>
#include <memory>
#include <utility>
#include <vector>

namespace vantle {

// Two stacks of steps that drive the Edit menu's Undo and Redo items (found through AppServices).
// The history has no size limit; it lives as long as its document.
class Undoer {
public:
    using Stack = std::vector<std::unique_ptr<UndoRedoTransaction>>;

    Undoer() = default;
    Undoer(const Undoer&) = delete;
    Undoer& operator=(const Undoer&) = delete;

    // Takes a step whose ending state is already applied: pushes it on the undo stack, forgets
    // every undone step and refreshes the menu items.
    void record(std::unique_ptr<UndoRedoTransaction> transaction);
    template <std::derived_from<UndoRedoTransaction> T> void record(T transaction) {
        record(std::unique_ptr<UndoRedoTransaction>(std::make_unique<T>(std::move(transaction))));
    }

    // Puts `transaction`, which covers the top step and more, in place of that step, when `top` is
    // still the top step of the undo stack: work that goes on after its first change (an addition
    // made in batches) stays one step. Otherwise records it as a step of its own. Either way the
    // redo stack is forgotten.
    void amendTop(const UndoRedoTransaction* top, std::unique_ptr<UndoRedoTransaction> transaction);
    template <std::derived_from<UndoRedoTransaction> T>
    void amendTop(const UndoRedoTransaction* top, T transaction) {
        amendTop(top, std::unique_ptr<UndoRedoTransaction>(std::make_unique<T>(std::move(transaction))));
    }

    // Each takes the top step of its stack and applies it; on success the step goes to the other
    // stack, on failure it is printed as one console line and dropped. With an empty stack they
    // do nothing at all.
    void undo();
    void redo();

    // Forgets every step, as a new document has none, and refreshes the menu items.
    void clear();

    // Undo enabled exactly when there is something to undo, titled by the top step ("Undo" when
    // none); the same for Redo.
    void updateMenuItems() const;

    const Stack& undoStack() const { return undoStack_; }
    const Stack& redoStack() const { return redoStack_; }

private:
    Stack undoStack_;
    Stack redoStack_;
};

} // namespace vantle
