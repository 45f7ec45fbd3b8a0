#include "Source/session/Undoer.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/MenuItem.h"
#include "platform/foundation/Console.h"

namespace vantle {

void Undoer::record(std::unique_ptr<UndoRedoTransaction> transaction) {
    if (!transaction) return;
    undoStack_.push_back(std::move(transaction));
    redoStack_.clear();
    updateMenuItems();
}

void Undoer::amendTop(const UndoRedoTransaction* top, std::unique_ptr<UndoRedoTransaction> transaction) {
    if (!transaction) return;
    if (top && !undoStack_.empty() && undoStack_.back().get() == top) undoStack_.pop_back();
    record(std::move(transaction));
}

namespace {

void reportFailedStep(const std::string& message) {
    platform::consolePrint(message);
    if (MainWindowServices* window = AppServices::mainWindow()) window->undoStepFailed(message);
}

} // namespace

void Undoer::undo() {
    if (undoStack_.empty()) return;
    std::unique_ptr<UndoRedoTransaction> step = std::move(undoStack_.back());
    undoStack_.pop_back();
    if (platform::Result<void> done = step->undo())
        redoStack_.push_back(std::move(step));
    else
        reportFailedStep(done.error().message);
    updateMenuItems();
}

void Undoer::redo() {
    if (redoStack_.empty()) return;
    std::unique_ptr<UndoRedoTransaction> step = std::move(redoStack_.back());
    redoStack_.pop_back();
    if (platform::Result<void> done = step->redo())
        undoStack_.push_back(std::move(step));
    else
        reportFailedStep(done.error().message);
    updateMenuItems();
}

void Undoer::clear() {
    undoStack_.clear();
    redoStack_.clear();
    updateMenuItems();
}

void Undoer::updateMenuItems() const {
    if (MenuItem* item = AppServices::undoMenuItem()) {
        item->setEnabled(!undoStack_.empty());
        item->setTitle(undoStack_.empty() ? std::string("Undo") : undoStack_.back()->undoName());
    }
    if (MenuItem* item = AppServices::redoMenuItem()) {
        item->setEnabled(!redoStack_.empty());
        item->setTitle(redoStack_.empty() ? std::string("Redo") : redoStack_.back()->redoName());
    }
}

} // namespace vantle
