// The main view's side of karaoke: what the karaoke panel reads of the player and the break, the
// song handed to it, and the keys and paste of the timing mode.

#include "Source/mainwindow/MainViewController.h"

#include "Source/karaoke/LrcText.h"
#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Pasteboard.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>

namespace vantle {

namespace {

const QString karaokeReturnKey = QStringLiteral("\r");

bool karaokeTimingMode(const ApplicationPlayer& player) {
    return player.mode() == PlayerMode::karaokePrepare;
}

} // namespace

double MainViewController::karaokeHeardTime() const {
    return player_->playbackTime();
}

int MainViewController::karaokeKeyShift() const {
    return player_->keyShift();
}

bool MainViewController::karaokeSongPlaying() const {
    return player_->playing();
}

QString MainViewController::karaokeNextTitle() const {
    // Between songs the player holds the song that comes next: the one advanced to, or chosen.
    const std::shared_ptr<PlaylistEntry> entry = player_->entry();
    if (!entry) return {};
    // The song's own name: a zip's audio inside, not the archive's.
    return QFileInfo(QString::fromStdString(platform::escapingControlCharacters(entry->titleFileName())))
        .completeBaseName();
}

std::optional<double> MainViewController::karaokeBreakLeft() const {
    const std::optional<platform::Date> armed = breakTimer_->timeArmed();
    if (!armed || !breakTimer_->isArmed()) return std::nullopt;
    const double left = breakTimer_->armedLength() - clock_->now().timeIntervalSince(*armed);
    if (left <= 0) return std::nullopt;
    return left;
}

void MainViewController::karaokeNotice(const QString& text) {
    notices_->showText(text, 4.0, std::nullopt);
}

const Lyrics* MainViewController::lyricLines() const {
    return karaoke_->lyrics();
}

void MainViewController::lookForLrcBeside(const std::shared_ptr<PlaylistEntry>& entry) {
    const std::string audioPath = entry ? entry->_url.path() : std::string();
    // The same song again keeps its mark while it is looked for: no flicker at each reload.
    if (audioPath != lrcLookedFor_) songHasLrc_ = false;
    lrcLookedFor_ = audioPath;
    if (audioPath.empty()) return;
    QPointer<MainViewController> self(this);
    // Found as the lyrics reader finds it, the extension in any case: that lists the song's folder,
    // maybe a whole collection, which is no work for the window's thread.
    platform::globalQueue().async([self, audioPath] {
        const bool found = lrc::findLrc(lrc::besideFiles(audioPath)).has_value();
        platform::mainQueue().async([self, audioPath, found] {
            if (!self || self->lrcLookedFor_ != audioPath || self->songHasLrc_ == found) return;
            self->songHasLrc_ = found;
            self->refreshDisplay();
        });
    });
}

void MainViewController::showKaraokeSong() {
    const std::shared_ptr<PlaylistEntry> entry = player_->entry();
    karaoke_->showSong(entry ? entry->_url.path() : std::string(), player_->mode());
}

void MainViewController::pasteLyricLines() {
    if (!karaokeTimingMode(*player_)) return;
    const std::optional<std::string> text = pasteboard_->string();
    if (!text || text->empty()) {
        karaokeNotice(tr("Nothing to paste: copy the lyrics' lines first"));
        return;
    }
    karaoke_->pasteLines(QString::fromStdString(*text));
}

bool MainViewController::karaokeTimingTakesKey(const QKeyEvent& event) const {
    // Typed into a field, the keys edit it.
    if (!karaokeTimingMode(*player_) || event.modifiers() != Qt::NoModifier || textFieldHasFocus())
        return false;
    if (event.key() != Qt::Key_Backspace && event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter)
        return false;
    return keysAreTheWindows();
}

bool MainViewController::handleKaraokeTimingKey(const QString& characters) {
    if (!karaokeTimingMode(*player_)) return false;
    // A dialog's or a menu's Return is theirs, and so is a text field's.
    if (!keysAreTheWindows() || textFieldHasFocus()) return false;
    if (characters == karaokeReturnKey) return karaoke_->stampLine();
    if (characters == QString(QChar(0x7F)) || characters == QString(QChar(0x08)))
        return karaoke_->undoStamp();
    return false;
}

} // namespace vantle
