// Timed notes: typing a note at the position into the note field, and announcing a note that
// playback reaches.

#include "Source/mainwindow/MainViewController.h"

#include "Source/playback/SoundEffect.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/Transcription.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/audio/AudioDevice.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"

#include <QMouseEvent>
#include <QStringList>

#include <algorithm>

namespace vantle {

bool MainViewController::showNotesFileChanges(const std::shared_ptr<PlaylistEntry>& entry, bool onceSettled) {
    if (!entry || !entry->noteSet().readAgainIfChanged(onceSettled)) return false;
    timeSlider_->loadEntry(entry);
    refreshDisplay();
    return true;
}

void MainViewController::beginNoteAtCurrentTime() {
    std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    // A note written in an editor near the position is the one edited, not a second one beside it.
    showNotesFileChanges(entry);
    // Its notes were never read, so none can be added to them; the music goes on.
    if (entry && entry->noteSet().tooLarge()) {
        noteTextField_->setEditing(false);
        tableView_->setFocus(Qt::OtherFocusReason);
        reportUnreadNotes(entry);
        refreshDisplay();
        return;
    }
    // The field holds a note whole while it is edited, so an edit never cuts off what was not shown.
    if (entry && currentNote_ && !currentNote_->editable()) {
        noteTextField_->setEditing(false);
        tableView_->setFocus(Qt::OtherFocusReason);
        const QString text =
            tr("This note is too long to edit here (over %1 characters); it is kept whole in %2")
                .arg(TextNote::editableCharacterLimit)
                .arg(QString::fromStdString(
                    platform::escapingControlCharacters(entry->noteSet().textURL().path())));
        platform::consolePrint(text.toStdString());
        notices_->showText(text, 6.0, std::nullopt);
        refreshDisplay();
        return;
    }
    if (!player_->suspended()) player_->pause();
    player_->setPlaying(false);
    if (!entry) {
        refreshDisplay();
        return;
    }
    // Near an existing note that note is edited; elsewhere a new one starts, empty.
    if (!currentNote_) {
        TextNoteSet& notes = entry->noteSet();
        const double time = player_->playbackTime();
        auto note = std::make_shared<TextNote>(time, std::string());
        notes.notes.insert(notes.notes.begin() + static_cast<std::ptrdiff_t>(notes.insertionIndex(time)),
                           note);
        notes.altered = true;
    }
    timeSlider_->loadEntry(entry);
    refreshDisplay();
    // The field now holds the note's whole text (the refresh leaves a field being edited alone).
    noteTextField_->setText(currentNote_ ? QString::fromStdString(currentNote_->text()) : QString());
}

void MainViewController::commitNoteEdit() {
    const std::string text = noteTextField_->text().toStdString();
    std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    if (!entry || !currentNote_) {
        refreshDisplay();
        return;
    }
    TextNoteSet& notes = entry->noteSet();
    if (text.empty()) {
        auto found = std::find(notes.notes.begin(), notes.notes.end(), currentNote_);
        if (found != notes.notes.end()) notes.notes.erase(found);
        notes.altered = true;
    } else if (currentNote_->text() != text) {
        currentNote_->setText(text);
    }
    // The save lays this change over what an editor wrote meanwhile, which the slider then shows too.
    // The note stays in the window, and goes to its file with the next save that can write it; one
    // that waits for an editor to finish writes it within a moment, unasked.
    const TextNoteSet::SaveResult saved = notes.save();
    if (saved.status == TextNoteSet::SaveResult::Status::waiting)
        notices_->showText(
            tr("The note waits while another program writes %1; it is kept here and written within %2 "
               "seconds")
                .arg(QString::fromStdString(platform::escapingControlCharacters(notes.textURL().path())))
                .arg(int(TextNoteSet::settlingPatience)),
            TextNoteSet::settlingPatience + 1, std::nullopt);
    else if (saved.status == TextNoteSet::SaveResult::Status::failed)
        notices_->showText(
            tr("The note could not be written to %1: %2; it is kept here until the file can be written")
                .arg(QString::fromStdString(platform::escapingControlCharacters(notes.textURL().path())))
                .arg(QString::fromStdString(platform::printableLine(saved.reason))),
            6.0, std::nullopt);
    timeSlider_->loadEntry(entry);
    refreshDisplay();
}

void MainViewController::noteFieldDidEndEditing() {
    if (noteTextField_->editing()) {
        noteTextField_->setEditing(false);
        commitNoteEdit();
    }
    tableView_->setFocus(Qt::OtherFocusReason);
}

void MainViewController::cancelOperation() {
    noteTextField_->cancelEdit();
    tableView_->setFocus(Qt::OtherFocusReason);
}

void MainViewController::mousePressEvent(QMouseEvent* event) {
    noteFieldDidEndEditing();
    VtlViewController::mousePressEvent(event);
}

void MainViewController::announceNote(const std::shared_ptr<TextNote>& note) {
    if (!note || currentNote_) return;
    const QString text = QString::fromStdString(note->shownText());
    const auto end = std::find_if(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
    const QString word(text.begin(), end - text.begin());
    // Nothing to show for a note that starts with a blank (or has no text).
    if (word.isEmpty()) return;
    notices_->showText(word, 1.0, std::nullopt);
    if (!word.startsWith('!')) return;
    if (playNoteSound_) {
        playNoteSound_();
        return;
    }
    if (!noteSound_)
        noteSound_ = std::make_unique<SoundEffect>(SoundEffect::bellFileName, nullptr, *defaults_);
    noteSound_->play();
}

void MainViewController::reportUnreadNotes(const std::shared_ptr<PlaylistEntry>& entry) {
    if (!entry) return;
    // A notice is read as one line, whatever the file is called.
    auto named = [](const platform::Url& url) {
        return QString::fromStdString(platform::escapingControlCharacters(url.path()));
    };
    QStringList texts;
    if (entry->noteSet().tooLarge())
        texts << tr("Notes file too large to read (over %1 MB): %2")
                     .arg(TextNoteSet::largestFileSize >> 20)
                     .arg(named(entry->noteSet().textURL()));
    if (entry->transcription().tooLarge())
        texts << tr("Transcription file too large to read (over %1 MB): %2")
                     .arg(TextNoteSet::largestFileSize >> 20)
                     .arg(named(entry->transcription().textURL()));
    if (texts.isEmpty()) return;
    for (const QString& text : texts)
        platform::consolePrint(text.toStdString());
    notices_->showText(texts.join(QStringLiteral("; ")), 6.0, std::nullopt);
}

} // namespace vantle
