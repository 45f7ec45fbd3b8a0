#include "Source/mainwindow/KaraokeEvening.h"

#include "Source/karaoke/host/SongBook.h"
#include "Source/karaoke/views/RotationPanel.h"
#include "Source/karaoke/views/SongBookPanel.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/playback/Player.h"
#include "Source/session/AudioDuration.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/TransportHost.h"
#include "Source/views/TransportViewController.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QSplitter>

#include <algorithm>

namespace vantle {

KaraokeEvening::KaraokeEvening(TransportHost& window, MainWindowServices& session, TransportPart& transport,
                               const std::string& databasePath, QSplitter& beside)
    : window_(window), session_(session), transport_(transport) {
    widget_ = new QSplitter(Qt::Vertical, &beside);
    beside.addWidget(widget_);
    widget_->setObjectName("karaokeEvening");
    widget_->setChildrenCollapsible(false);
    try {
        evening_ = std::make_unique<host::Evening>(databasePath);
        book_ = std::make_unique<host::SongBook>(databasePath, platform::mainQueue());
    } catch (const std::exception& failure) {
        evening_.reset();
        auto* said = new QLabel(
            QObject::tr("The singers and the song book are not at hand: %1").arg(failure.what()), widget_);
        said->setWordWrap(true);
        return;
    }
    rotation_ = new RotationPanel(*evening_, widget_);
    bookPanel_ = new SongBookPanel(*book_, widget_);
    widget_->addWidget(rotation_);
    widget_->addWidget(bookPanel_);
    // The song book's results want as much height as the singers; the two as much width as the lyrics.
    widget_->setStretchFactor(0, 1);
    widget_->setStretchFactor(1, 1);
    beside.setStretchFactor(beside.indexOf(widget_), 3);
    rotation_->setLoadNextHandler([this] { loadNextSinger(); });
    rotation_->setNoticeHandler([this](const QString& text) { notice(text); });
    rotation_->setDroppedSongs([this](const QMimeData& data) {
        std::vector<std::string> paths;
        // Rows of the playlist, as its table drags them, or files from elsewhere.
        if (data.hasFormat(PlaylistTableView::rowsMimeType)) {
            const Playlist::EntryList visible = session_.playlist()->filteredEntries();
            for (const QByteArray& line : data.data(PlaylistTableView::rowsMimeType).split('\n')) {
                bool number = false;
                const qulonglong row = line.toULongLong(&number);
                if (number && row < visible.size()) paths.push_back(visible[row]->_url.path());
            }
        } else {
            for (const QUrl& url : data.urls())
                if (url.isLocalFile() && host::SongIndex::isSongFile(url.toLocalFile().toStdString()))
                    paths.push_back(url.toLocalFile().toStdString());
        }
        return paths;
    });
    evening_->setChangeHandler([rotation = QPointer<RotationPanel>(rotation_)] {
        // After what changed it is done: a drop in the list is not cut short.
        if (rotation)
            QMetaObject::invokeMethod(
                rotation, [rotation] { rotation->reload(); }, Qt::QueuedConnection);
    });
    evening_->setFailureHandler([alive = QPointer<QSplitter>(widget_), this](const std::string& why) {
        platform::mainQueue().async([alive, this, why] {
            if (alive)
                notice(QObject::tr(
                           "The evening could not be saved (%1); it is kept and saved with the next change")
                           .arg(QString::fromStdString(why)));
        });
    });
    bookPanel_->setChosenHandler([this](const host::BookSong& song) -> QString {
        const std::optional<host::SingerId> singer = rotation_->selectedSinger();
        if (!singer) return QObject::tr("Choose a singer first, then the song");
        evening_->queueSong(*singer, host::QueuedSong{song.path, song.artist, song.title, song.disc});
        const QString title = QString::fromStdString(song.title);
        const QString name = QString::fromStdString(evening_->singer(*singer)->name);
        return song.present ? QObject::tr("“%1” is in %2's queue").arg(title, name)
                            : QObject::tr("“%1” is in %2's queue, but its file is missing from its folder")
                                  .arg(title, name);
    });
    bookPanel_->setFolderPicker([this] {
        return QFileDialog::getExistingDirectory(widget_, QObject::tr("A folder of songs for the song book"));
    });
    book_->setProgressHandler(
        [panel = QPointer<SongBookPanel>(bookPanel_)](const host::BookProgress& progress) {
            if (panel) panel->showProgress(progress);
        });
    book_->setFailureHandler([panel = QPointer<SongBookPanel>(bookPanel_)](const std::string& why) {
        if (panel) panel->statusLabel().setText(QString::fromStdString(why));
    });
    book_->setMovedHandler(
        [this](const std::string& from, const std::string& to) { evening_->songMoved(from, to); });
    book_->refresh();
    // A speed changed by hand while the current singer sings is theirs, kept as it changes like the key.
    if (auto* panel = qobject_cast<TransportViewController*>(transport_.widget()))
        QObject::connect(panel, &TransportViewController::rateChangedByHand, widget_,
                         [this] { rememberCurrentStyle(window_.player().keyShift()); });
    // After a restart the singer who was on is on again, their song in the player in their key and tempo.
    loadCurrentSinger();
}

KaraokeEvening::~KaraokeEvening() {
    // The panels hold the evening and the book: they go first, and with them what is posted for them.
    delete widget_.data();
    if (book_) {
        book_->setProgressHandler({});
        book_->setMovedHandler({});
        book_->setFailureHandler({});
    }
    if (evening_) {
        evening_->setChangeHandler({});
        evening_->setFailureHandler({});
    }
}

QWidget* KaraokeEvening::widget() const {
    return widget_;
}

bool KaraokeEvening::ownsFocus() const {
    const QWidget* focus = QApplication::focusWidget();
    return focus && widget_ && widget_->isAncestorOf(focus);
}

void KaraokeEvening::loadNextSinger() {
    if (!evening_) return;
    if (window_.player().playing()) {
        notice(QObject::tr("A song is playing: the next singer's song is loaded once it is stopped"));
        return;
    }
    const std::optional<host::Turn> next = evening_->next();
    if (!next) {
        notice(QObject::tr("No singer has a song waiting"));
        return;
    }
    loadTurnSong(*next, true);
}

void KaraokeEvening::loadCurrentSinger() {
    const std::optional<host::Turn> current = evening_->current();
    if (!current || evening_->currentEnded() || window_.player().playing()) return;
    loadTurnSong(*current, false);
}

void KaraokeEvening::songEnded() {
    if (!evening_) return;
    const std::optional<host::Turn> current = evening_->current();
    const std::shared_ptr<PlaylistEntry> entry = window_.player().entry();
    if (current && entry && entry->_url.path() == current->song.path) evening_->currentSongEnded();
}

void KaraokeEvening::loadTurnSong(const host::Turn& wanted, bool startNext) {
    if (loading_) return;
    loading_ = wanted.song.path;
    // The file is opened and measured away from the window: it may be on a slow disk.
    const platform::Url url = platform::Url::fileURLWithPath(wanted.song.path);
    QPointer<QSplitter> alive(widget_);
    platform::globalQueue().async([this, alive, url, startNext, path = wanted.song.path] {
        std::optional<AudioFileLength> length = audioFileLength(url);
        platform::mainQueue().async([this, alive, url, startNext, path, length] {
            if (!alive) return;
            loading_.reset();
            const std::optional<host::Turn> wanted = startNext ? evening_->next() : evening_->current();
            if (!wanted || wanted->song.path != path) return;
            // Started meanwhile: the music goes on.
            if (window_.player().playing()) {
                if (startNext)
                    notice(QObject::tr(
                        "A song is playing: the next singer's song is loaded once it is stopped"));
                return;
            }
            if (!length) {
                notice(startNext
                           ? QObject::tr("%1's song cannot be loaded: %2 is missing or not a song; it "
                                         "stays in the queue")
                                 .arg(QString::fromStdString(wanted->name), QString::fromStdString(path))
                           : QObject::tr("%1's song cannot be loaded: %2 is missing or not a song")
                                 .arg(QString::fromStdString(wanted->name), QString::fromStdString(path)));
                return;
            }
            std::optional<host::Turn> turn = wanted;
            if (startNext) {
                // What the singer before sang at is kept as it changed; this takes the last of it.
                rememberCurrentStyle(window_.player().keyShift());
                turn = evening_->startNext();
            }
            std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(url, *length);
            if (!turn || !entry) return;
            const int key =
                std::clamp(turn->style.key, -PlaylistEntry::keyShiftLimit, PlaylistEntry::keyShiftLimit);
            entry->keyShift = key;
            // The key and tempo set here are the singer's own already: not a change to remember.
            applyingStyle_ = true;
            window_.loadEntry(entry);
            // The same song as the singer before keeps the player's entry: the key is set all the same.
            window_.player().setKeyShift(key);
            transport_.setTempo(turn->style.tempo);
            applyingStyle_ = false;
            QString said =
                QObject::tr("%1: %2").arg(QString::fromStdString(turn->name), songLine(turn->song));
            if (turn->style.key != 0)
                said += QObject::tr(" (key %1%2, as last time)")
                            .arg(turn->style.key > 0 ? "+" : "")
                            .arg(turn->style.key);
            notice(said);
            rotation_->reload();
        });
    });
}

void KaraokeEvening::notice(const QString& text) {
    window_.showTextNotice(text, 4.0, std::nullopt);
}

void KaraokeEvening::keyShiftChanged(int key) {
    rememberCurrentStyle(key);
}

void KaraokeEvening::rememberCurrentStyle(int key) {
    if (!evening_ || applyingStyle_) return;
    const std::optional<host::Turn> current = evening_->current();
    const std::shared_ptr<PlaylistEntry> entry = window_.player().entry();
    if (!current || !entry || entry->_url.path() != current->song.path) return;
    evening_->setCurrentStyle({key, transport_.tempo()});
}

} // namespace vantle
