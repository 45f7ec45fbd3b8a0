#pragma once
// The undo step of an edit of one entry's side documents. Main thread.

#include "Source/session/UndoRedoTransaction.h"

#include <memory>
#include <string>
#include <vector>

namespace vantle {

class Attachment;
class PlaylistEntry;

class EditAttachmentsTransaction final : public UndoRedoTransaction {
public:
    using AttachmentList = std::vector<std::shared_ptr<Attachment>>;

    EditAttachmentsTransaction(std::string name, std::shared_ptr<PlaylistEntry> entry,
                               AttachmentList initialAttachments, AttachmentList endingAttachments);

    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return "Redo " + name; }
    std::string undoName() const override { return "Undo " + name; }

    // Gives the entry the list; with a main window, rebuilds the buttons of the current entry
    // (which need not be the edited one) and marks the document dirty.
    void apply(const AttachmentList& attachments) const;

    std::string name;
    std::shared_ptr<PlaylistEntry> entry;
    AttachmentList initialAttachments;
    AttachmentList endingAttachments;
};

} // namespace vantle
