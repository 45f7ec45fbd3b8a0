// The main view's side of karaoke: what the karaoke panel reads of the player and the break, the
// song handed to it, and the keys and paste of the timing mode.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Pasteboard.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>

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

bool MainViewController::lrcFileBeside(const std::string& audioPath) {
    const std::size_t slash = audioPath.rfind('/');
    const std::size_t dot = audioPath.rfind('.');
    const std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? audioPath.substr(0, dot)
                                 : audioPath;
    return platform::fileExists(base + ".lrc") || platform::fileExists(base + ".LRC");
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
    if (!karaokeTimingMode(*player_) || event.modifiers() != Qt::NoModifier) return false;
    if (event.key() != Qt::Key_Backspace && event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter)
        return false;
    return QApplication::activeWindow() == window() && !QApplication::activeModalWidget() &&
           !QApplication::activePopupWidget();
}

bool MainViewController::handleKaraokeTimingKey(const QString& characters) {
    if (!karaokeTimingMode(*player_)) return false;
    // Only the main window's own keys: a dialog's or a menu's Return is theirs.
    if (QApplication::activeWindow() != window() || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget())
        return false;
    if (characters == karaokeReturnKey) return karaoke_->stampLine();
    if (characters == QString(QChar(0x7F)) || characters == QString(QChar(0x08)))
        return karaoke_->undoStamp();
    return false;
}

} // namespace vantle
