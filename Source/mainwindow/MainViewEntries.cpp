// Making an entry current, advancing at the end of one, following the player's mode, and adding
// files as one undoable step.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/LeavingNotes.h"

#include "Source/karaoke/host/HostDatabase.h"
#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/mainwindow/KaraokeBreaks.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "Source/mainwindow/MainWindowHost.h"
#include "Source/mainwindow/TempoWiring.h"
#include "Source/playback/BreakTimer.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/SongEnd.h"
#include "Source/session/TextNoteSet.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/Scrubber.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/SystemFiles.h"
#include "platform/foundation/Text.h"

#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPropertyAnimation>

#include <algorithm>

namespace vantle {

namespace {

bool sameEntryFile(const std::shared_ptr<PlaylistEntry>& a, const std::shared_ptr<PlaylistEntry>& b) {
    return a && b && a->_url == b->_url;
}

} // namespace

void MainViewController::loadEntry(const std::shared_ptr<PlaylistEntry>& entry) {
    std::shared_ptr<PlaylistEntry> old = player_->entry();
    if (old) {
        if (sameEntryFile(entry, old)) {
            scrollCurrentRowToCenter();
            return;
        }
        leaveEntry(old);
    }
    makeCurrent(entry);
}

void MainViewController::loadEntryAtRow(std::ptrdiff_t row) {
    std::shared_ptr<PlaylistEntry> old = playlist_->assignedEntry;
    std::shared_ptr<PlaylistEntry> entry = playlist_->visibleEntry(row);
    if (old) {
        if (sameEntryFile(entry, old)) {
            // One whose file did not open is looked for again: the file may be back.
            if (!player_->entry())
                makeCurrent(entry);
            else
                scrollCurrentRowToCenter();
            return;
        }
        leaveEntry(old);
    }
    makeCurrent(entry);
}

void MainViewController::leaveEntry(const std::shared_ptr<PlaylistEntry>& old) {
    // The log reads the listening before it is closed.
    log_->logEntry(*old);
    old->finishListening(*clock_);
    // A note typed a moment ago, while an editor wrote its file, is written once the file settles,
    // the window going on meanwhile.
    QPointer<MainViewController> self(this);
    leavingNotes_->save({old}, [self](const LeavingNotes::Entries& unwritten) {
        if (!self || unwritten.empty()) return;
        self->notices_->showText(
            tr("The notes could not be written to %1; they are kept here and printed to the log")
                .arg(QString::fromStdString(
                    platform::escapingControlCharacters(unwritten.front()->noteSet().textURL().path()))),
            6.0, std::nullopt);
    });
    closeSideWindows();
    tableView_->reloadEntryRow(old);
}

void MainViewController::makeCurrent(const std::shared_ptr<PlaylistEntry>& entry) {
    playlist_->assignedEntry = entry;
    // Measured again from the file, which may have changed since it was last current (a song archive by
    // the player's load, which reads it off the window's thread).
    if (entry && !platform::isSongArchivePath(entry->_url.path())) entry->_cachedDuration.reset();
    const bool wasMissing = entry && entry->fileMissing;
    player_->setEntry(entry);
    tempo_->songLoaded(entry);
    // Back: its row shows the length it has again.
    if (wasMissing && !entry->fileMissing) tableView_->reloadEntryRow(entry);
    setVolume(volume_);
    attachments_->rebuild(entry);
    showEntryFile(entry);
    scrollCurrentRowToCenter();
}

void MainViewController::showEntryFile(const std::shared_ptr<PlaylistEntry>& entry) {
    makeScrubber(entry);
    timeSlider_->loadEntry(entry);
    lookForLrcBeside(entry);
    showKaraokeSong();
    reportUnreadNotes(entry);
    refreshDisplay();
    saveAppState();
    drawWaveform(entry);
}

void MainViewController::makeScrubber(const std::shared_ptr<PlaylistEntry>& entry) {
    scrubber_.reset();
    if (!entry) return;
    std::unique_ptr<ScrubSnippetPlayer> snippets =
        makeScrubSnippetPlayer_ ? makeScrubSnippetPlayer_(entry->_url) : nullptr;
    QPointer<MainViewController> self(this);
    scrubber_ = Scrubber::make(
        scrubPosition_, std::move(snippets), [self] { return self ? self->volume_ : 0.0f; }, *scheduler_);
}

void MainViewController::followRelocatedCurrentEntry(const std::shared_ptr<PlaylistEntry>& entry) {
    // The player opens the new place at its next play or seek by path; the music is not cut for it.
    entry->fileMissing = !platform::fileExists(entry->_url.path());
    showEntryFile(entry);
}

void MainViewController::scrollCurrentRowToCenter() {
    if (std::optional<std::size_t> row = playlist_->currentRow())
        tableView_->scrollRowToCenter(static_cast<int>(*row));
}

void MainViewController::drawWaveform(const std::shared_ptr<PlaylistEntry>& entry, bool keepShown) {
    const unsigned request = ++waveformRequest_;
    waveformWidth_ = waveformView_->width();
    shownLength_ = entry ? entry->_cachedDuration.value_or(0) : 0;
    if (!keepShown) waveformView_->clear();
    // A file the player could not open has no picture either, and the player has said why.
    if (!entry || entry != player_->entry()) return;
    QPointer<MainViewController> self(this);
    waveform_->requestPicture(entry, waveformView_->size(), [self, request](const QImage& picture) {
        // A picture of an entry that is no longer current comes too late.
        if (!self || request != self->waveformRequest_) return;
        const bool replacing = !self->waveformView_->pixmap().isNull();
        self->waveformView_->setPixmap(QPixmap::fromImage(picture));
        if (!replacing) self->fadeInWaveform();
    });
}

void MainViewController::fadeInWaveform() {
    auto* effect = new QGraphicsOpacityEffect(waveformView_);
    effect->setOpacity(0.0);
    waveformView_->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(4000);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void MainViewController::playerDidFinish() {
    if (breaks_) breaks_->songEnded();
    if (player_->mode() == PlayerMode::dance) breakTimer_->arm(std::nullopt);
    prevEntry_ = player_->entry();
    std::optional<std::size_t> finishedRow = prevEntry_ ? playlist_->row(prevEntry_) : std::nullopt;
    if (finishedRow) {
        RowIndexes rows = tableView_->selectedRows();
        rows.erase(*finishedRow);
        tableView_->selectRows(rows);
    }
    const RowIndexes selected = tableView_->selectedRows();
    const std::optional<std::size_t> marked =
        selected.empty() ? std::nullopt : std::optional<std::size_t>(*selected.begin());
    const SongEndStep step = stepAfterSongEnd(player_->mode(), finishedRow, marked);
    if (step.row) {
        tableView_->selectRows({*step.row});
        loadEntryAtRow(static_cast<std::ptrdiff_t>(*step.row));
        // A marked entry whose file is gone cannot follow: the user is told, and the break goes on
        // as after the last song that could be played.
        const bool ready = player_->entry() && player_->playable();
        if (step.start && ready)
            transport_->playPressed();
        else if (marked && !ready)
            nothingToPlay();
    }
    screensaver_->resetIdle();
    savePlaylist();
}

void MainViewController::updateForMode() {
    if (MainWindowHost* windowController = mainWindowController()) windowController->updateModeTools();
    QWidget* lyrics = karaoke_->widget();
    const PlayerMode mode = player_->mode();
    const bool shown = mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare;
    if (lyrics) lyrics->setVisible(shown);
    if (shown && !evening_)
        evening_ = std::make_unique<KaraokeEvening>(*this, *this, *transport_, host::HostDatabase::defaultLocation(),
                                                    *filesSplitter_);
    if (evening_ && !breaks_)
        breaks_ = std::make_unique<KaraokeBreaks>(*this, *transport_, *karaoke_, *evening_);
    if (evening_) evening_->widget()->setVisible(shown);
    showKaraokeSong();
}

void MainViewController::insertEntries(const std::vector<platform::Url>& urls,
                                       const std::shared_ptr<PlaylistEntry>& before) {
    Playlist::EntryList initialList = playlist_->allEntries;
    const RowIndexes initialSelection = tableView_->selectedRows();
    const bool wasDirty = playlist_->dirty;
    playlist_->insertEntries(urls, before);
    // Nothing that could be added, or files already listed where they were.
    if (playlist_->allEntries == initialList) {
        playlist_->dirty = wasDirty;
        return;
    }
    const RowIndexes endingSelection = tableView_->selectedRows();
    EditListTransaction step("add entries", initialList, initialSelection, playlist_->allEntries,
                             endingSelection);
    // The step is taken from the list as it was.
    playlist_->allEntries.swap(initialList);
    (void)step.redo();
    playlist_->undoer.record(std::move(step));
}

void MainViewController::loadEntryAtRowAfterListEdit(std::size_t row) {
    // A list edit never interrupts the music, not even one that removes what plays: that entry plays
    // on to its end, where what follows it is chosen as after any other.
    if (player_->entry() && player_->playing()) return;
    loadEntryAtRow(static_cast<std::ptrdiff_t>(row));
}

QString MainViewController::unplayableEntryText() const {
    const std::shared_ptr<PlaylistEntry>& entry = playlist_->assignedEntry;
    if (!entry || (player_->entry() == entry && player_->playable())) return {};
    const QString path = QString::fromStdString(platform::escapingControlCharacters(entry->_url.path()));
    // The player marks a missing file at each failed load of it.
    if (entry->fileMissing) return tr("File not found: %1 — Entry › File Moved… can relocate it").arg(path);
    // As the player said it, and as Export says it.
    if (platform::Result<platform::FileDescriptor> opened =
            platform::openRegularFileForReading(entry->_url.path());
        opened && platform::isSystemFile(entry->_url.path(), opened->get()))
        return tr("Cannot play %1: it is a system file, not audio").arg(path);
    return tr("Cannot play %1: not an audio file this player can open").arg(path);
}

void MainViewController::songArchiveChanged(const std::string& message) {
    platform::consolePrint(message);
    notices_->showText(QString::fromStdString(message), 6.0, std::nullopt);
}

void MainViewController::nothingToPlay() {
    const QString text = unplayableEntryText();
    if (text.isEmpty()) return;
    platform::consolePrint(text.toStdString());
    notices_->showText(text, 6.0, std::nullopt);
    refreshDisplay();
}

} // namespace vantle
