// The session as a whole: the state file, opening and saving the document, the save panel, closing,
// starting anew and quitting, and the window title.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/mainwindow/Environment.h"
#include "Source/mainwindow/LeavingNotes.h"
#include "Source/mainwindow/MainWindowHost.h"
#include "Source/mainwindow/PanelFolders.h"
#include "Source/mainwindow/WindowTitle.h"
#include "Source/playback/BreakTimer.h"
#include "Source/session/AppState.h"
#include "Source/session/Exporter.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/SessionRecovery.h"
#include "Source/session/SessionSafekeeping.h"
#include "Source/session/TextNoteSet.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/DoNotDisturb.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/RecentDocuments.h"

#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <utility>

namespace vantle {

namespace {

constexpr const char* lastSessionURLKey = "lastSessionURL";
constexpr const char* lastSessionBookmarkKey = "lastSessionBookmark";
// The mode the program was last in, by its name in playerModeName.
constexpr const char* playerModeKey = "playerMode";

constexpr std::pair<PlayerMode, const char*> playerModeNames[] = {
    {PlayerMode::dance, "dance"},
    {PlayerMode::prepare, "prepare"},
    {PlayerMode::karaoke, "karaoke"},
    {PlayerMode::karaokePrepare, "karaokePrepare"}};

// Dance for a name this version does not know (or none).
PlayerMode playerModeNamed(const std::optional<std::string>& name) {
    for (const auto& [mode, text] : playerModeNames)
        if (name == text) return mode;
    return PlayerMode::dance;
}

const char* playerModeName(PlayerMode mode) {
    for (const auto& [each, text] : playerModeNames)
        if (each == mode) return text;
    return playerModeNames[0].second;
}

// Holds back the state file while a session is being opened: the record would otherwise name the
// previous session with the new one's entry.
class SessionStateWriteHold {
public:
    explicit SessionStateWriteHold(int& count) : count_(count) { ++count_; }
    ~SessionStateWriteHold() { --count_; }
    SessionStateWriteHold(const SessionStateWriteHold&) = delete;
    SessionStateWriteHold& operator=(const SessionStateWriteHold&) = delete;

private:
    int& count_;
};

std::string sessionDisplayName(const platform::Url& url) {
    return platform::printableLine(url.lastPathComponent());
}

// The document with the player's time. A file changed on disk is written over only when `overwrite`
// says so; left alone, the document's unsaved mark stays as it was.
Playlist::SaveResult writeSessionDocument(Playlist& playlist, double time, const platform::Url& url,
                                          Playlist::Overwrite overwrite) {
    playlist.currentTime = time;
    const bool wasDirty = playlist.dirty;
    // Only a successful write clears the mark, so a failure shows as unsaved changes.
    playlist.dirty = true;
    Playlist::SaveResult result = playlist.save(url, overwrite);
    if (result.status == Playlist::SaveResult::Status::changedOnDisk) playlist.dirty = wasDirty;
    return result;
}

} // namespace

// ---- application state ----

void MainViewController::saveAppState() {
    if (stateWritesHeld_ > 0) return;
    safekeeping_->stateChanged();
}

void MainViewController::restoreState() {
    transport_->setUpControls();
    // The mode the last run was quit in: a host's karaoke evening starts with the singers' screen lit.
    player_->setMode(playerModeNamed(defaults_->string(playerModeKey)));
    if (PlayerDelegate* delegate = player_->delegate()) delegate->updateForMode();
    // Where the singers could read it at the end of the last run.
    karaoke_->restoreSingersScreen();
    platform::Result<AppState> state = readAppState(appStateFileURL());
    // Left by a run that did not quit: its unsaved changes, and the session they were made to.
    // Another running copy's recovery file is not a crash's.
    platform::Result<SessionRecovery> recovery =
        safekeeping_->keepsRecovery() ? readSessionRecovery()
                                      : platform::Result<SessionRecovery>(platform::Error::make(
                                            "platform.files", "not this run's", ENOENT));
    if (!recovery && recovery.error().code != ENOENT)
        reportUnreadableRecovery(sessionRecoveryFileURL(), recovery.error());
    // A saved session's changes wait under a name of their own, offered whenever it opens (now, or later
    // when its disk is back): the changes of another session opened meanwhile never write over them.
    if (recovery && recovery->playlistURL) {
        const std::string waiting = waitingRecoveryFileURL(*recovery->playlistURL).path();
        if (::rename(sessionRecoveryFileURL().path().c_str(), waiting.c_str()) != 0)
            platform::consolePrint("can't move " + sessionRecoveryFileURL().path() + " to " + waiting + ": " +
                                   std::strerror(errno));
    }
    std::optional<platform::Url> session;
    if (state) session = state->playlistURL;
    if (recovery && recovery->playlistURL) session = recovery->playlistURL;
    if (session) {
        // Start-up: what a killed run left beside the document goes before it is read (see AppDelegate).
        platform::removeTemporariesOf(session->path());
        // Opening the session brings back the saved entry, position, ranges and marks, and writes the
        // state again; a session that cannot be read leaves the state file for the next start.
        std::shared_ptr<Playlist> document = readSessionDocument(*session);
        if (!document) return;
        // The state's entry is an index into the list as the killed run left it: the recovered order's.
        if (state && state->playlistURL == session && recovery && recovery->order &&
            state->currentEntryIndex) {
            const std::int64_t index = *state->currentEntryIndex;
            state->currentEntryIndex.reset();
            if (index >= 0 && index < static_cast<std::int64_t>(recovery->order->size())) {
                const platform::Url& file = (*recovery->order)[static_cast<std::size_t>(index)];
                const auto& entries = document->allEntries;
                const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
                    return entry && entry->_url == file;
                });
                if (found != entries.end()) state->currentEntryIndex = found - entries.begin();
            }
            writeAppState(*state, appStateFileURL());
        }
        showSession(*session, std::move(document));
    }
    // A list never saved has no session to wait for.
    if (recovery && !recovery->playlistURL && !sessionURL_)
        offerRecovery(*recovery, sessionRecoveryFileURL());
}

void MainViewController::offerWaitingRecovery(const platform::Url& session) {
    if (!safekeeping_->keepsRecovery()) return;
    const platform::Url file = waitingRecoveryFileURL(session);
    platform::Result<SessionRecovery> recovery = readSessionRecovery(file);
    if (!recovery) {
        if (recovery.error().code != ENOENT) reportUnreadableRecovery(file, recovery.error());
        return;
    }
    // Another session's whose path has the same digest stays for its own.
    if (recovery->playlistURL == session) offerRecovery(*recovery, file);
}

void MainViewController::offerRecovery(const SessionRecovery& recovery, const platform::Url& file) {
    std::string changes;
    if (recovery.order)
        changes = (sessionURL_ ? "the order of its " : "its ") + std::to_string(recovery.order->size()) +
                  " entries";
    if (!recovery.keys.empty())
        changes += (changes.empty() ? "" : " and ") + std::string("the key of ") +
                   std::to_string(recovery.keys.size()) + (recovery.keys.size() == 1 ? " song" : " songs");
    platform::AlertOptions options;
    options.messageText = sessionURL_
                              ? "Vantle did not quit normally: the unsaved changes to the session “" +
                                    sessionDisplayName(*sessionURL_) + "” can be recovered."
                              : std::string("Vantle did not quit normally: the unsaved session can be "
                                            "recovered.");
    options.informativeText =
        sessionURL_
            ? "Changed since the session was last saved: " + changes +
                  ". Recover lays them over the session, which then shows them as unsaved changes; "
                  "Discard keeps the session as it was saved."
            : "It was never saved: " + changes +
                  ". Recover lists them again, as unsaved changes; Discard starts with an empty list.";
    options.buttons = {"Recover", "Discard"};
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self, recovery, file](int button) {
        if (!self) return;
        const bool own = file == sessionRecoveryFileURL();
        // Another session opened meanwhile: the changes wait for theirs to open again.
        if (self->sessionURL_ != recovery.playlistURL && !own) return;
        if (button != 0 || self->sessionURL_ != recovery.playlistURL) {
            if (own)
                self->safekeeping_->discardRecovery();
            else
                self->safekeeping_->discardWaitingRecovery(file);
            return;
        }
        const std::size_t missing = recovery.apply(*self->playlist_);
        if (missing > 0)
            platform::consolePrint("recovered the session without " + std::to_string(missing) +
                                   " files that could not be opened");
        self->tableView_->reloadTable();
        if (const std::shared_ptr<PlaylistEntry>& current = self->player_->entry())
            self->player_->setKeyShift(current->keyShift);
        self->updateWindowTitle();
        // Kept as this run's own unsaved changes before the waiting copy goes (the worker writes in turn).
        if (!own) {
            self->safekeeping_->check();
            self->safekeeping_->discardWaitingRecovery(file);
        }
    });
}

void MainViewController::reportUnreadableRecovery(const platform::Url& url, const platform::Error& error) {
    const std::string file = url.path();
    const std::string why = platform::fileErrorReason(error);
    platform::consolePrint("can't read " + file + ": " + why);
    platform::AlertOptions options;
    options.messageText = "Vantle did not quit normally, and the unsaved changes it kept could not be read.";
    options.informativeText = platform::printableLine(file) + ": " + platform::printableLine(why) +
                              ". The session opens as it was last saved.";
    options.style = platform::AlertStyle::warning;
    alerts_->beginAlert(window(), std::move(options), {});
}

// ---- session document ----

void MainViewController::showPlaylist(std::shared_ptr<Playlist> playlist) {
    // Files still coming were meant for the list that goes.
    stopAdditions();
    playlist_ = std::move(playlist);
    tableView_->setPlaylist(playlist_);
    playlist_->undoer.updateMenuItems();
}

bool MainViewController::loadSession(const platform::Url& url) {
    std::shared_ptr<Playlist> document = readSessionDocument(url);
    if (!document) return false;
    showSession(url, std::move(document));
    return true;
}

std::shared_ptr<Playlist> MainViewController::readSessionDocument(const platform::Url& url) {
    platform::Result<std::shared_ptr<Playlist>> read = Playlist::read(url);
    if (!read) {
        reportUnreadableSession(url, read.error().message);
        return nullptr;
    }
    return std::move(*read);
}

void MainViewController::showSession(const platform::Url& url, std::shared_ptr<Playlist> playlist) {
    breakTimer_->cancel();
    transport_->resetSpeedControls();
    platform::Result<AppState> state = readAppState(appStateFileURL());
    {
        SessionStateWriteHold hold(stateWritesHeld_);
        loadEntry(nullptr);
        playlist->prepareAfterLoad();
        playlist->url = url;

        // The document's own entry and time, unless the state file was written for this document:
        // then its entry (an index into the full list, never a table row), time, ranges and marks.
        std::shared_ptr<PlaylistEntry> current = playlist->assignedEntry;
        double time = playlist->currentTime;
        if (state && state->playlistURL == url) {
            if (std::optional<std::size_t> index = state->entryIndex(*playlist)) {
                current = playlist->allEntries[*index];
                state->restore(*current);
                time = state->currentTime;
            }
        }
        // Nothing counts as current until the player has it as well.
        playlist->assignedEntry = nullptr;
        playlist->currentTime = time;
        showPlaylist(playlist);
        if (current) {
            if (std::optional<std::size_t> row = playlist->row(current)) {
                tableView_->selectRows({*row});
                loadEntryAtRow(static_cast<std::ptrdiff_t>(*row));
            } else {
                loadEntry(current);
            }
        }
        tableView_->reloadTable();
        if (playlist_->assignedEntry) player_->setCurrentTime(time);
        sessionURL_ = url;
        updateWindowTitle();
        platform::RecentDocuments(*defaults_).noteNewRecentDocumentUrl(url);
    }
    saveAppState();
    offerWaitingRecovery(url);
}

void MainViewController::savePlaylist() {
    // While the user is asked about a file changed on disk, the answer decides what is written.
    if (!sessionURL_ || changedSessionQuestions_ > 0) return;
    savingAfterSong_ = true;
    saveToLocation(SaveReason::save, {});
    savingAfterSong_ = false;
}

bool MainViewController::writeSession(const platform::Url& url, SaveReason reason) {
    const Playlist::SaveResult result =
        writeSessionDocument(*playlist_, player_->playbackTime(), url, Playlist::Overwrite::always);
    if (result.written()) return true;
    reportFailedSave(url, reason, result.reason);
    return false;
}

void MainViewController::saveToLocation(SaveReason reason, Ending ending, bool writeOverChanges) {
    const platform::Url url = *sessionURL_;
    if (reason != SaveReason::save) {
        // The entry's listening goes into the document and the log only with a write that will be
        // made: a file changed on disk is asked about first. A file that could not be read is looked
        // at again by the save, which says why it failed.
        if (!writeOverChanges) {
            platform::Result<bool> changed = playlist_->changedOnDisk(url);
            if (changed && *changed) {
                askAboutChangedSession(url, reason, std::move(ending));
                return;
            }
        }
        closeListening();
    }
    saveAppState();
    // Looked at again by the save itself, after the listening was closed and the state written: a
    // write made elsewhere meanwhile is asked about, not written over.
    const Playlist::SaveResult result = writeSessionDocument(
        *playlist_, player_->playbackTime(), url,
        writeOverChanges ? Playlist::Overwrite::always : Playlist::Overwrite::ifUnchanged);
    switch (result.status) {
    case Playlist::SaveResult::Status::written:
        if (ending) ending(SaveOutcome::saved);
        return;
    case Playlist::SaveResult::Status::failed:
        reportFailedSave(url, reason, result.reason);
        if (ending) ending(SaveOutcome::failed);
        return;
    case Playlist::SaveResult::Status::changedOnDisk:
        askAboutChangedSession(url, reason, std::move(ending));
        return;
    case Playlist::SaveResult::Status::folderReplaced:
        askToSaveElsewhere(url, reason, std::move(ending));
        return;
    }
}

void MainViewController::askToSaveElsewhere(const platform::Url& url, SaveReason reason, Ending ending) {
    // A save after each song asks once while the question is open.
    if (savingAfterSong_ && failedSaveAlerts_ > 0) {
        if (ending) ending(SaveOutcome::failed);
        return;
    }
    const std::string folder = platform::printableLine(url.deletingLastPathComponent().path());
    platform::AlertOptions options;
    options.messageText = "The session “" + sessionDisplayName(url) +
                          "” was not saved: its folder is no longer the one it was opened from.";
    options.informativeText =
        folder + " is now another folder (a USB stick or disk taken out leaves its empty mount point, a "
                 "folder removed and made again is a new one). Saving there would hide the file from the "
                 "disk it belongs on. Choose Save As… to save the session elsewhere, or put the disk back "
                 "and save again.";
    options.buttons = {"Save As…", "Cancel"};
    options.defaultButton = 1;
    ++failedSaveAlerts_;
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self, reason, ending](int button) {
        if (!self) return;
        --self->failedSaveAlerts_;
        if (button == 0) {
            self->runSavePanel(ending, reason);
            return;
        }
        if (ending) ending(SaveOutcome::cancelled);
    });
}

void MainViewController::askAboutChangedSession(const platform::Url& url, SaveReason reason, Ending ending) {
    platform::consolePrint("not saved " + url.absoluteString() +
                           ": the file was changed on disk since this window read or saved it");
    platform::AlertOptions options;
    options.messageText = "The session “" + sessionDisplayName(url) + "” was changed on disk.";
    options.informativeText =
        "Another window or program wrote " + platform::printableLine(url.path()) +
        " after this window last opened or saved it. Keep this window's version to write over the "
        "one on disk, or open the version on disk in place of this window's" +
        (playlist_->dirty ? std::string(", whose unsaved changes are then dropped") : std::string()) +
        ". To keep both, cancel and choose File › Save Session As… for this window's version.";
    options.buttons = {"Keep This Window's Version", "Open the Version on Disk", "Cancel"};
    // The question may come unasked, after a song, while the user plays on with Space and Return: those
    // keys write nothing and drop nothing.
    options.defaultButton = 2;
    ++changedSessionQuestions_;
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self, url, reason, ending](int button) {
        if (self) self->answerChangedSession(button, url, reason, ending);
    });
}

void MainViewController::answerChangedSession(int button, const platform::Url& url, SaveReason reason,
                                              const Ending& ending) {
    --changedSessionQuestions_;
    // Another session was opened meanwhile: the answer is about a file no longer shown here.
    if (sessionURL_ != url) button = 2;
    if (button == 0) {
        saveToLocation(reason, ending, true);
        return;
    }
    // What asked for the save does not go on: the user sees the version opened, or what was there.
    if (button == 1) {
        if (std::shared_ptr<Playlist> onDisk = readSessionDocument(url)) {
            // Only this window's version of the document goes: the song heard is logged as at any leaving.
            closeListening();
            if (!holdForUnwrittenNotes(SaveReason::leave)) replaceSession(url, std::move(onDisk));
        }
    }
    if (ending) ending(SaveOutcome::cancelled);
}

void MainViewController::saveFirst(Ending ending, SaveReason reason) {
    if (playlist_->allEntries.empty()) {
        saveAppState();
        if (ending) ending(SaveOutcome::notWritten);
        return;
    }
    if (!sessionURL_) {
        runSavePanel(std::move(ending), reason);
        return;
    }
    saveToLocation(reason, std::move(ending));
}

void MainViewController::saveSession(Continuation then, SaveReason reason) {
    QPointer<MainViewController> self(this);
    saveFirst(
        [self, then = std::move(then), reason](SaveOutcome outcome) {
            // Whatever was to replace the session waits when the user cancelled or the write failed:
            // the unsaved changes are still only here. So do notes and stamps not yet written.
            if (outcome != SaveOutcome::saved && outcome != SaveOutcome::notWritten) return;
            if (!self) {
                if (then) then();
                return;
            }
            self->afterUnwrittenWork([self, then, reason] {
                if (self->holdForUnwrittenNotes(reason)) return;
                if (then) then();
            });
        },
        reason);
}

void MainViewController::saveSessionAction() {
    saveSession({});
}

void MainViewController::runSavePanel(Ending ending, SaveReason reason) {
    platform::SavePanelOptions options;
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::session);
    // A named session is proposed under its own name, so that Save As starts from it.
    options.nameFieldStringValue =
        sessionURL_ ? sessionURL_->lastPathComponent() : std::string("Session.vantle");
    options.allowedExtensions = {"vantle"};
    options.canCreateDirectories = true;
    QPointer<MainViewController> self(this);
    filePanels_->beginSavePanel(window(), std::move(options),
                                [self, ending = std::move(ending), reason](std::optional<platform::Url> url) {
                                    if (!self) return;
                                    // Cancel changes nothing: the session keeps its changes, its location and
                                    // its entry's listening, and whatever asked for the panel does not go on.
                                    if (!url) {
                                        if (ending) ending(SaveOutcome::cancelled);
                                        return;
                                    }
                                    rememberPanelFolder(*self->defaults_, PanelFolderKind::session, {*url});
                                    // The session's own file, which the panel proposes: the panel's
                                    // question to replace it says nothing of a change made there
                                    // elsewhere, so it is saved as Save saves it.
                                    if (self->sessionURL_ == url) {
                                        // Chosen in the panel, its folder is the session's now, even
                                        // when it is not the one the session was read from.
                                        if (auto& version = self->playlist_->fileVersion)
                                            if (auto target = platform::saveTargetOf(url->path()))
                                                version->folder = platform::folderIdentityOf(*target);
                                        self->saveToLocation(reason, ending);
                                        return;
                                    }
                                    if (reason != SaveReason::save) self->closeListening();
                                    const std::optional<platform::Url> previous = self->sessionURL_;
                                    self->sessionURL_ = url;
                                    self->updateWindowTitle();
                                    if (!self->writeSession(*url, reason)) {
                                        // The session stays where it was (or unnamed); only a written file
                                        // names it.
                                        self->sessionURL_ = previous;
                                        self->playlist_->url = previous;
                                        self->updateWindowTitle();
                                        if (ending) ending(SaveOutcome::failed);
                                        return;
                                    }
                                    self->saveAppState();
                                    // Every new location is one the user may want back: Save, Save As
                                    // and the save before a close all enter Open Recent.
                                    self->recordSessionURL();
                                    if (ending) ending(SaveOutcome::saved);
                                });
}

void MainViewController::replaceSession(const platform::Url& url, std::shared_ptr<Playlist> document) {
    clearSession();
    showSession(url, std::move(document));
}

bool MainViewController::openSessionAt(const platform::Url& url) {
    // Read before anything is saved or closed: a document that cannot be read leaves the open
    // session, its location and the state file as they are.
    std::shared_ptr<Playlist> document = readSessionDocument(url);
    if (!document) return false;
    QPointer<MainViewController> self(this);
    prepareToLeave([self, url, document] {
        if (!self) return;
        // The save writes what went in so far; nothing comes in after it unsaved.
        self->stopAdditions();
        self->saveSession(
            [self, url, document] {
                if (!self) return;
                // The save may have written this very file (the open session itself, or Save As onto
                // it): then what it holds now is what opens.
                std::shared_ptr<Playlist> opened = document;
                if (self->sessionURL_ == url) {
                    if (platform::Result<std::shared_ptr<Playlist>> written = Playlist::read(url))
                        opened = *written;
                }
                self->replaceSession(url, std::move(opened));
            },
            SaveReason::leave);
    });
    return true;
}

void MainViewController::clearSession() {
    stopAdditions();
    clearSearchField();
    sessionURL_.reset();
    updateWindowTitle();
    playlist_->allEntries.clear();
    playlist_->assignedEntry.reset();
    playlist_->url.reset();
    playlist_->fileVersion.reset();
    playlist_->savedLayout = {};
    // A folder prefix belongs to the document it was set in; a new one starts with the preferences'.
    playlist_->_directoryPrefix.reset();
    // The steps of the session before took its entries; none of them is this session's to undo.
    playlist_->undoer.clear();
    playlist_->dirty = true;
    tableView_->selectRows({});
    loadEntryAtRow(-1);
    // Taken as a new list, so the sorts of the session before no longer count as its own.
    tableView_->setPlaylist(playlist_);
    playlist_->dirty = false;
}

void MainViewController::clearSearchField() {
    if (MainWindowHost* windowController = mainWindowController()) {
        windowController->clearSearchField();
        return;
    }
    playlist_->filterText.clear();
    tableView_->reloadTable();
}

void MainViewController::openSessionAction() {
    platform::OpenPanelOptions options;
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::session);
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.message = "Open Session";
    // A session saved under another extension can still be chosen through "All files".
    options.fileFilters = {{"Vantle sessions", {"vantle"}}, {"All files", {}}};
    QPointer<MainViewController> self(this);
    filePanels_->beginOpenPanel(window(), std::move(options), [self](std::vector<platform::Url> urls) {
        if (!self || urls.empty()) return;
        rememberPanelFolder(*self->defaults_, PanelFolderKind::session, urls);
        self->openSessionAt(urls.front());
    });
}

void MainViewController::saveAsSession() {
    runSavePanel({});
}

void MainViewController::exportToCloud() {
    // The exporter reports what its runs did (reportExport); here the user learns why none started.
    if (!sessionURL_) {
        reportNotDone("The session was not exported",
                      "It has not been saved yet: save it first, so that its export folder can be named "
                      "after it.");
        return;
    }
    const bool anyChecked = std::any_of(playlist_->allEntries.begin(), playlist_->allEntries.end(),
                                        [](const auto& entry) { return entry && entry->isCheckmarked; });
    if (!anyChecked) {
        reportNotDone("Nothing was exported",
                      "No entry is checked: check the entries whose files are to be copied.");
        return;
    }
    if (exporter_->running()) {
        reportNotDone("The session was not exported", "An export is still copying files.");
        return;
    }
    exporter_->exportPlaylist(playlist_);
}

void MainViewController::reportExport(const ExportOutcome& outcome) {
    const ExportMessage message = exportMessage(outcome);
    platform::AlertOptions options;
    options.messageText = message.title;
    options.informativeText = message.details;
    options.style = message.complete ? platform::AlertStyle::informational : platform::AlertStyle::warning;
    alerts_->beginAlert(window(), std::move(options), {});
}

void MainViewController::recordSessionURL() {
    if (sessionURL_) {
        defaults_->setUrl(lastSessionURLKey, *sessionURL_);
        platform::RecentDocuments(*defaults_).noteNewRecentDocumentUrl(*sessionURL_);
    } else {
        defaults_->removeObject(lastSessionURLKey);
    }
    updateWindowTitle();
}

void MainViewController::closeListening() {
    if (std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry) {
        log_->logEntry(*entry);
        entry->finishListening(*clock_);
    }
    // The notes have had their wait (afterLeavingNotes): what is still only here is named to the user.
    unwrittenNotes_.clear();
    for (const std::shared_ptr<PlaylistEntry>& entry : playlist_->allEntries) {
        if (!entry || !entry->notesUnsaved()) continue;
        const TextNoteSet::SaveResult saved = entry->noteSet().save();
        if (saved.status == TextNoteSet::SaveResult::Status::written) {
            toldUnwrittenNotes_.erase(entry->noteSet().textURL().path());
            continue;
        }
        // The alert says so, and a second try leaves without them: they are printed each time.
        entry->noteSet().logUnwritten();
        unwrittenNotes_.emplace_back(entry->noteSet().textURL().path(),
                                     saved.status == TextNoteSet::SaveResult::Status::waiting
                                         ? std::string("another program was still writing it")
                                         : saved.reason);
    }
    // The timing's stamps end here too: saved off the window's thread, waited for by afterUnwrittenWork.
    karaoke_->endTiming();
}

void MainViewController::afterUnwrittenWork(std::function<void()> then) {
    QPointer<MainViewController> self(this);
    karaoke_->afterTimingSaved([self, then = std::move(then)](const KaraokePart::UnwrittenFiles& unwritten) {
        if (!self) return;
        self->unwrittenNotes_.insert(self->unwrittenNotes_.end(), unwritten.begin(), unwritten.end());
        then();
    });
}

void MainViewController::afterLeavingNotes(Continuation then) {
    LeavingNotes::Entries entries;
    for (const std::shared_ptr<PlaylistEntry>& entry : playlist_->allEntries)
        if (entry && entry->notesUnsaved()) entries.push_back(entry);
    QPointer<MainViewController> self(this);
    leavingNotes_->save(entries, [self, then = std::move(then)](const LeavingNotes::Entries&) {
        if (self && then) then();
    });
    if (leavingNotes_->waiting())
        notices_->showText(tr("Waiting for another program to finish with a notes file, to write the notes "
                              "typed here…"),
                           TextNoteSet::leavingPatience, std::nullopt);
}

void MainViewController::prepareToLeave(Continuation then, Continuation cancelled) {
    QPointer<MainViewController> self(this);
    settleCutAddition([self, then = std::move(then), cancelled = std::move(cancelled)](bool goOn) {
        if (!self) return;
        if (goOn)
            self->afterLeavingNotes(then);
        else if (cancelled)
            cancelled();
    });
}

bool MainViewController::holdForUnwrittenNotes(SaveReason reason) {
    if (reason == SaveReason::save || unwrittenNotes_.empty()) return false;
    const auto unwritten = std::move(unwrittenNotes_);
    unwrittenNotes_.clear();
    // Named once: a second close or quit goes on, the text being in the log.
    const bool named = std::all_of(unwritten.begin(), unwritten.end(),
                                   [&](const auto& file) { return toldUnwrittenNotes_.count(file.first); });
    if (named) return false;
    std::string files;
    for (const auto& [path, why] : unwritten) {
        toldUnwrittenNotes_.insert(path);
        files += (files.empty() ? "" : "; ") + platform::printableLine(path) + " (" +
                 platform::printableLine(why) + ")";
    }
    platform::AlertOptions options;
    const bool lyrics = std::any_of(unwritten.begin(), unwritten.end(), [](const auto& file) {
        return platform::lowercased(file.first).ends_with(".lrc");
    });
    options.messageText =
        (lyrics ? "Timed lyrics or notes could not be written: " : "Notes could not be written: ") + files +
        ".";
    options.informativeText =
        std::string("What you typed or deleted is kept in this window, and was printed to Vantle's log "
                    "(its standard output). ") +
        (reason == SaveReason::quit
             ? "Vantle keeps running so that it is not lost: once the other program is done with the "
               "file, quit again to write it. Quitting again before then leaves without it."
             : "The session stays open so that it is not lost: once the other program is done with the "
               "file, close again to write it. Closing again before then leaves without it.");
    options.style = platform::AlertStyle::warning;
    alerts_->beginAlert(window(), std::move(options), {});
    return true;
}

void MainViewController::closeSession() {
    QPointer<MainViewController> self(this);
    prepareToLeave([self] {
        if (!self) return;
        self->stopAdditions();
        self->saveSession(
            [self] {
                if (!self) return;
                self->clearSession();
                // Only a session that was closed is forgotten.
                self->defaults_->removeObject(lastSessionURLKey);
                self->defaults_->removeObject(lastSessionBookmarkKey);
            },
            SaveReason::leave);
    });
}

void MainViewController::newSession() {
    QPointer<MainViewController> self(this);
    prepareToLeave([self] {
        if (!self) return;
        self->stopAdditions();
        self->saveSession(
            [self] {
                if (self) self->clearSession();
            },
            SaveReason::leave);
    });
}

void MainViewController::updateWindowTitle() {
    static const platform::Date buildDate = Environment::buildDate();
    titleShowsChanges_ = playlist_->dirty;
    const QString title = QString::fromStdString(
        mainWindowTitle(sessionURL_, Environment::version(), buildDate, titleShowsChanges_));
    if (QWidget* top = window()) top->setWindowTitle(title);
    if (MainWindowHost* windowController = mainWindowController())
        windowController->rebuildTagFilterButtons();
    updateWindowMenuKeyEquivalents();
}

// Written as it changes, not only at a quit: a killed run starts again in the mode it was in.
void MainViewController::rememberMode() {
    defaults_->setString(playerModeKey, playerModeName(player_->mode()));
}

// ---- quitting ----

void MainViewController::prepareToQuit() {
    if (!player_->suspended()) player_->pause();
    player_->setPlaying(false);
    rememberMode();
    // Quitting never leaves the user's notifications silenced.
    if (doNotDisturb_) doNotDisturb_->restore();
}

void MainViewController::saveAndTerminate(Ending ending) {
    QPointer<MainViewController> self(this);
    prepareToLeave(
        [self, ending]() mutable {
            if (self) self->saveForQuit(std::move(ending));
        },
        [ending] {
            if (ending) ending(SaveOutcome::cancelled);
        });
}

void MainViewController::saveForQuit(Ending ending) {
    // What went in so far is saved with the session; the rest is not added.
    stopAdditions();
    // Notes not yet written keep the program running, the first time they are named.
    QPointer<MainViewController> self(this);
    ending = [self, ending = std::move(ending)](SaveOutcome outcome) {
        if (!self || (outcome != SaveOutcome::saved && outcome != SaveOutcome::notWritten)) {
            if (ending) ending(outcome);
            return;
        }
        // The quit goes on once the stamps being saved are written, or held once when they are not.
        self->afterUnwrittenWork([self, ending, outcome]() mutable {
            if (self->holdForUnwrittenNotes(SaveReason::quit))
                outcome = SaveOutcome::cancelled;
            else
                // The quit goes on: the state is written, and the recovery file goes with the changes
                // saved, while the window closes; the exit waits for both.
                self->safekeeping_->takeWaiting();
            if (ending) ending(outcome);
        });
    };
    // Every quit keeps what was heard and where: the entry's listening is closed, the state written
    // and a session with a location written there, changed or not. Only an unchanged session
    // without a location has no document to write.
    if (!playlist_->dirty && !sessionURL_) {
        closeListening();
        saveStateForQuit();
        if (ending) ending(SaveOutcome::notWritten);
        return;
    }
    saveFirst(std::move(ending), SaveReason::quit);
}

void MainViewController::saveStateForQuit() {
    // Nothing to remember: the state file of the last run stays for the next start (it may name a
    // session that could not be read this time).
    if (!sessionURL_ && playlist_->allEntries.empty()) return;
    saveAppState();
}

// ---- reports ----

void MainViewController::reportUnreadableSession(const platform::Url& url, const std::string& reason) {
    platform::consolePrint("can't open session " + url.path() + ": " + reason);
    platform::AlertOptions options;
    options.messageText = "The session “" + sessionDisplayName(url) + "” could not be opened.";
    options.informativeText = reason;
    alerts_->beginAlert(window(), std::move(options), {});
}

void MainViewController::reportFailedSave(const platform::Url& url, SaveReason reason,
                                          const std::string& why) {
    // The console has named this failure; one open alert already says the same, and a song ending
    // every few minutes must not pile them up.
    if (savingAfterSong_ && failedSaveAlerts_ > 0) return;
    platform::AlertOptions options;
    options.messageText = "The session “" + sessionDisplayName(url) +
                          "” could not be saved: " + platform::printableLine(why) + ".";
    switch (reason) {
    case SaveReason::quit:
        options.informativeText = "Vantle keeps running so that your changes are not lost. To keep them "
                                  "elsewhere, choose File › Save Session As… and another folder, then quit.";
        break;
    case SaveReason::leave:
        options.informativeText = "The session stays open with your changes. To keep them elsewhere, "
                                  "choose File › Save Session As… and another folder.";
        break;
    case SaveReason::save:
        options.informativeText = "Your changes are kept in the open window; File › Save Session As… "
                                  "saves them in another folder.";
        break;
    }
    ++failedSaveAlerts_;
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self](int) {
        if (self) --self->failedSaveAlerts_;
    });
}

} // namespace vantle
