// The main view's display: time texts, entry name, context line, slider and played share, refreshed
// by the 0.1 s tick while the position moves; and the treble and balance receivers.

#include "Source/mainwindow/MainViewController.h"

#include "Source/karaoke/Lyrics.h"
#include "Source/mainwindow/InterceptingTextField.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "Source/session/FormatTime.h"
#include "Source/session/LengthCounter.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/Transcription.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Text.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <type_traits>

namespace vantle {

namespace {

const QColor displayRemainingColour(255, 59, 48); // the system red
const QColor displayElapsedColour(40, 205, 65);   // the system green

// The tick refreshes ten times a second, mostly with what is already shown: each view is set only
// when its content changes, so that nothing unchanged is repainted.
template <typename View> void showDisplayText(View& view, const QString& text) {
    if (view.text() == text) return;
    view.setText(text);
    // A line shows its text from the start, so a long path leaves what the line is about in view.
    if constexpr (std::is_base_of_v<QLineEdit, View>) view.setCursorPosition(0);
}

void setDisplayText(QLabel& label, const std::string& text, bool enabled) {
    showDisplayText(label, QString::fromStdString(text));
    // The label's own flag, which a disabled ancestor does not change.
    if (label.isEnabledTo(label.parentWidget()) != enabled) label.setEnabled(enabled);
}

void setDisplayColour(QLabel& label, const QColor& colour) {
    QPalette colours = label.palette();
    if (colours.color(QPalette::WindowText) == colour) return;
    colours.setColor(QPalette::WindowText, colour);
    label.setPalette(colours);
}

std::string withoutNameSuffix(std::string text, std::string_view suffix) {
    if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        text.erase(text.size() - suffix.size());
    return text;
}

} // namespace

void MainViewController::updateElapsedTime() {
    player_->recordPlayedRange();
    if (playlist_->dirty != titleShowsChanges_) updateWindowTitle();
    lengthCounter_->update();
    // Ten times a second: a large notes file still being written is read once it stays as it is.
    if (!noteTextField_->editing() && showNotesFileChanges(playlist_->assignedEntry, true)) return;
    if (player_->playbackTime() == playlist_->currentTime) return;
    refreshDisplay();
}

void MainViewController::refreshDisplay() {
    const double time = player_->playbackTime();
    std::shared_ptr<PlaylistEntry> entry = playlist_->assignedEntry;
    // A song of 100 minutes or more needs room for another digit, and a shorter one the larger
    // font again.
    const std::optional<double> duration = entry ? entry->duration() : std::nullopt;
    if (timeTextSampleFor(duration) != fittedTimeTextSample_) fitTimeTexts();
    if (!entry) {
        setDisplayText(*timeSinceZeroText_, "--:--", false);
        setDisplayText(*timeRemainingText_, "--:--", false);
        showDisplayText(*entryName_, QString());
        if (!noteTextField_->editing()) showDisplayText(*noteTextField_, QString());
    } else {
        double lastZero = 0.0;
        for (double zero : entry->zeros) {
            if (zero > time) break;
            lastZero = zero;
        }
        const double since = std::trunc(time - lastZero);
        setDisplayText(*timeSinceZeroText_, formatTime(since), true);
        if (showingRemaining_) {
            // Without a length (the file cannot be read now) nothing remains to count down to.
            setDisplayText(*timeRemainingText_,
                           duration ? formatTime(std::trunc(*duration - lastZero) - since) : "--:--", true);
            setDisplayColour(*timeRemainingText_, displayRemainingColour);
        } else {
            setDisplayText(*timeRemainingText_, formatTime(time), true);
            setDisplayColour(*timeRemainingText_, displayElapsedColour);
        }

        const Lyrics* read = karaoke_->lyrics();
        const bool withLyrics = !entry->transcription().segments.empty() || songHasLrc_ ||
                                (read && read->source == Lyrics::Source::lrc);
        std::string marker = withLyrics ? "💬" : "";
        marker += entry->tags.value_or("");
        const std::string name = platform::escapingControlCharacters(
            withoutNameSuffix(withoutNameSuffix(entry->titleFileName(), ".mp3"), ".m4a"));
        showDisplayText(*entryName_, QString::fromStdString(marker + " " + name + " " + marker));

        refreshContextLine(*entry, time);
    }

    timeSlider_->setValue(time);
    // Only the played-share cell of the current row follows playback, and only when the share moved.
    if (std::optional<std::size_t> row = playlist_->currentRow()) {
        const QModelIndex cell = tableView_->playlistModel().index(
            static_cast<int>(*row), PlaylistTableModel::columnIndex(PlaylistColumn::Played));
        const std::pair<std::size_t, double> shown{*row,
                                                   cell.data(PlaylistTableModel::PlayedValueRole).toDouble()};
        if (shownPlayedShare_ != shown) {
            shownPlayedShare_ = shown;
            tableView_->viewport()->update(tableView_->visualRect(cell));
        }
    }
    playlist_->currentTime = time;
}

void MainViewController::refreshContextLine(PlaylistEntry& entry, double time) {
    if (const QString unplayable = unplayableEntryText(); !unplayable.isEmpty()) {
        currentNote_.reset();
        if (!noteTextField_->editing()) showDisplayText(*noteTextField_, unplayable);
        return;
    }
    // Announced before it is stored: only a note reached while none was current is announced.
    std::shared_ptr<TextNote> note = entry.noteSet().note(time);
    announceNote(note);
    currentNote_ = std::move(note);
    // What the user is typing stays.
    if (noteTextField_->editing()) return;
    if (currentNote_) {
        showDisplayText(*noteTextField_, QString::fromStdString(currentNote_->shownText()));
        return;
    }
    if (std::shared_ptr<TextNote> cue = entry.transcription().segment(time)) {
        showDisplayText(*noteTextField_, QString::fromStdString(cue->shownText()));
        return;
    }
    std::string folder = entry._url.path();
    folder.erase(folder.size() - entry._url.lastPathComponent().size());
    const std::string prefix = playlist_->directoryPrefix() + "/";
    if (folder.compare(0, prefix.size(), prefix) == 0) folder.erase(0, prefix.size());
    showDisplayText(*noteTextField_, QString::fromStdString(platform::escapingControlCharacters(folder)));
}

void MainViewController::keyShiftChanged() {
    const int key = player_->keyShift();
    transport_->showKeyShift(key);
    if (evening_) evening_->keyShiftChanged(key);
    const std::shared_ptr<PlaylistEntry> entry = player_->entry();
    // A load sets the entry's own key: nothing then changed in the session.
    if (!entry || entry->keyShift == key) return;
    entry->keyShift = key;
    const auto& entries = playlist_->allEntries;
    if (std::find(entries.begin(), entries.end(), entry) != entries.end()) playlist_->dirty = true;
    saveAppState();
}

void MainViewController::entryDurationChanged(const std::shared_ptr<PlaylistEntry>& entry) {
    // A length taken while the file still grows is never stored, so the document is as it was. Nor is
    // the picture drawn from it: analysed anew at each step of the writer, a long file's picture would
    // never be finished before the next step restarted it.
    const bool growing = entry->durationIsProvisional;
    const auto& entries = playlist_->allEntries;
    if (!growing && std::find(entries.begin(), entries.end(), entry) != entries.end())
        playlist_->dirty = true;
    tableView_->reloadEntryRow(entry);
    if (entry != playlist_->assignedEntry) return;
    // Shorter: written anew from its start, so the picture shown is of another recording.
    const double length = entry->_cachedDuration.value_or(0);
    const bool rewritten = growing && length < shownLength_;
    shownLength_ = length;
    timeSlider_->loadEntry(entry);
    growingPicture_.cancel();
    if (!growing || rewritten) drawWaveform(entry, !growing);
    if (growing) {
        // A writer that stops before the file is whole (a recorder that died) never makes it whole:
        // once it has been quiet for a while, what is there is drawn.
        QPointer<MainViewController> self(this);
        std::weak_ptr<PlaylistEntry> grown = entry;
        growingPicture_ = scheduler_->scheduleOnce(growingQuietSeconds, [self, grown] {
            const std::shared_ptr<PlaylistEntry> still = grown.lock();
            if (self && still && still == self->playlist_->assignedEntry && still->durationIsProvisional)
                self->drawWaveform(still, true);
        });
    }
    refreshDisplay();
}

void MainViewController::trebleChanged(double value) {
    const float treble = std::max(-1.0f, std::min(1.0f, static_cast<float>(value / 30.0)));
    player_->setTreble(treble);
    player_->setTrebleGain(std::pow(treble + 1.0f, 3.825f) * 0.707f);
}

void MainViewController::panChanged(double value) {
    const float pan = std::max(-1.0f, std::min(1.0f, static_cast<float>(value / 10.0)));
    player_->setPan(pan);
}

} // namespace vantle
