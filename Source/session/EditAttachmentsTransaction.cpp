#include "Source/session/EditAttachmentsTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"

#include <utility>

namespace vantle {

EditAttachmentsTransaction::EditAttachmentsTransaction(std::string name, std::shared_ptr<PlaylistEntry> entry,
                                                       AttachmentList initialAttachments,
                                                       AttachmentList endingAttachments)
    : name(std::move(name)), entry(std::move(entry)), initialAttachments(std::move(initialAttachments)),
      endingAttachments(std::move(endingAttachments)) {}

platform::Result<void> EditAttachmentsTransaction::redo() {
    apply(endingAttachments);
    return {};
}

platform::Result<void> EditAttachmentsTransaction::undo() {
    apply(initialAttachments);
    return {};
}

void EditAttachmentsTransaction::apply(const AttachmentList& attachments) const {
    if (entry) entry->attachments = attachments;
    MainWindowServices* window = AppServices::mainWindow();
    if (!window) return;
    std::shared_ptr<Playlist> playlist = window->playlist();
    window->rebuildAttachmentStack(playlist ? playlist->assignedEntry : nullptr);
    if (playlist) playlist->dirty = true;
}

} // namespace vantle
