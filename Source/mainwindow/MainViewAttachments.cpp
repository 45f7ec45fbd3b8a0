// Side documents: the buttons' clicks, the attachment menu, and adding documents to the selected
// entries, each change an undo step.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/PanelFolders.h"

#include "Source/session/Attachment.h"
#include "Source/session/EditAttachmentsTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/Workspace.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vantle {

namespace {

// Only what a viewer shows is handed to the default application: a session from someone else
// must not make it run a program or a desktop launcher.
bool attachmentOpensSafely(const platform::Url& url) {
    std::error_code error;
    const std::filesystem::path path(url.path());
    if (!std::filesystem::is_regular_file(path, error) || error) return false;
    using std::filesystem::perms;
    const perms executable = perms::owner_exec | perms::group_exec | perms::others_exec;
    if ((std::filesystem::status(path, error).permissions() & executable) != perms::none) return false;
    return path.extension() != ".desktop";
}

// The document's folder with its trailing "/", or the whole path when it does not end in its name.
std::string attachmentRootFolder(const platform::Url& url) {
    const std::string path = url.path();
    const std::string name = url.lastPathComponent();
    return !name.empty() && path.ends_with(name) ? path.substr(0, path.size() - name.size()) : path;
}

} // namespace

void MainViewController::buildAttachmentMenu() {
    attachmentPopupMenu_ = new QMenu(this);
    attachmentPopupMenu_->setObjectName("attachmentPopupMenu");
    attachmentPopupMenu_->addAction(tr("Open"), this, &MainViewController::attachmentOpen)
        ->setObjectName("attachmentOpen");
    attachmentPopupMenu_
        ->addAction(tr("Show in File Manager"), this, &MainViewController::attachmentViewInFinder)
        ->setObjectName("attachmentViewInFinder");
    attachmentPopupMenu_->addAction(tr("Remove"), this, &MainViewController::attachmentRemove)
        ->setObjectName("attachmentRemove");
}

void MainViewController::attachmentButtonClicked(const std::shared_ptr<Attachment>& attachment,
                                                 QWidget* button, bool contextClick) {
    if (!attachment) return;
    if (contextClick || (modifierKeys_() & (Qt::ControlModifier | Qt::AltModifier))) {
        currentAttachment_ = attachment;
        // Not modal: the menu's Remove may rebuild the row, button and all.
        attachmentPopupMenu_->popup(button ? button->mapToGlobal(QPoint(0, button->height()))
                                           : QCursor::pos());
        return;
    }
    openAttachment(*attachment);
}

void MainViewController::openAttachment(const Attachment& attachment) {
    if (attachment.tag == "mp4") {
        showMp4Window(attachment);
        return;
    }
    if (attachment.tag == "pdf") {
        showPdfWindow(attachment);
        return;
    }
    const std::string name = "“" + platform::printableLine(attachment.url.lastPathComponent()) + "”";
    if (attachmentOpensSafely(attachment.url)) {
        if (!workspace_->openFile(attachment.url))
            reportNotDone(name + " was not opened", "No program is set up to open this kind of document.");
        return;
    }
    platform::consolePrint("not opened, shown in the file manager: " +
                           platform::escapingInvalidUtf8(attachment.url.path()));
    if (!workspace_->selectFile(attachment.url.path(), attachmentRootFolder(attachment.url)))
        reportNotDone(name + " was neither opened nor shown",
                      "It is no regular document, and no file manager answered.");
}

void MainViewController::attachmentStackAddButtonPressed() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = true;
    options.prompt = "Add";
    options.message = "Add an associated document";
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::attachment);
    QPointer<MainViewController> self(this);
    filePanels_->beginOpenPanel(window(), std::move(options), [self](std::vector<platform::Url> chosen) {
        if (!self) return;
        rememberPanelFolder(*self->defaults_, PanelFolderKind::attachment, chosen);
        self->addChosenAttachments(chosen);
    });
}

void MainViewController::addChosenAttachments(const std::vector<platform::Url>& chosen) {
    for (const platform::Url& url : chosen)
        addAttachment(url);
}

void MainViewController::addAttachment(const platform::Url& url) {
    for (const std::shared_ptr<PlaylistEntry>& entry : selectedVisibleEntries()) {
        auto attachment = std::make_shared<Attachment>(url, url.pathExtension());
        const auto& held = entry->attachments;
        if (std::any_of(held.begin(), held.end(), [&](const std::shared_ptr<Attachment>& other) {
                return other && *other == *attachment;
            }))
            continue;
        EditAttachmentsTransaction::AttachmentList ending = held;
        ending.push_back(attachment);
        EditAttachmentsTransaction step("Add Attachment", entry, held, std::move(ending));
        (void)step.redo();
        playlist_->undoer.record(std::move(step));
    }
}

void MainViewController::attachmentOpen() {
    if (currentAttachment_) openAttachment(*currentAttachment_);
}

void MainViewController::attachmentViewInFinder() {
    if (!currentAttachment_) return;
    const platform::Url& url = currentAttachment_->url;
    if (!workspace_->selectFile(url.path(), attachmentRootFolder(url)))
        reportNotDone("“" + platform::printableLine(url.lastPathComponent()) +
                          "” was not shown in a file manager",
                      "No file manager answered, and no program is set up to open folders.");
}

void MainViewController::attachmentRemove() {
    std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    if (!currentAttachment_ || !entry) return;
    EditAttachmentsTransaction::AttachmentList ending;
    for (const std::shared_ptr<Attachment>& attachment : entry->attachments)
        if (!attachment || !(*attachment == *currentAttachment_)) ending.push_back(attachment);
    if (ending.size() == entry->attachments.size()) return;
    EditAttachmentsTransaction step("Remove Attachment", entry, entry->attachments, std::move(ending));
    (void)step.redo();
    playlist_->undoer.record(std::move(step));
}

} // namespace vantle
