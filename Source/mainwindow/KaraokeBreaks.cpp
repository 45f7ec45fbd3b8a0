#include "Source/mainwindow/KaraokeBreaks.h"

#include "Source/karaoke/SongTail.h"
#include "Source/karaoke/views/BreakPanel.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/playback/Player.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/TransportHost.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/UserDefaults.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextEdit>
#include <QTimer>

namespace vantle {

namespace {

constexpr const char* breakTracksKey = "breakMusicTracks";
constexpr const char* breakFadeOutKey = "breakMusicFadeOutSeconds";
constexpr const char* singersTickerKey = "singersTicker";
// How long a start waits for the next singer's song to load before it is given up.
constexpr double breakLoadPatience = 15.0;

QStringList keptTracks() {
    QStringList paths;
    const std::optional<platform::PlistValue> kept =
        platform::UserDefaults::standard().object(breakTracksKey);
    if (const platform::PlistArray* items = kept ? kept->asArray() : nullptr)
        for (const platform::PlistValue& item : *items)
            if (const std::string* path = item.asString()) paths << QString::fromStdString(*path);
    return paths;
}

std::vector<std::string> breakPaths(const QStringList& tracks) {
    std::vector<std::string> paths;
    for (const QString& track : tracks)
        paths.push_back(track.toStdString());
    return paths;
}

bool typingInto(const QWidget* focus) {
    return qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
           qobject_cast<const QPlainTextEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus);
}

} // namespace

KaraokeBreaks::KaraokeBreaks(TransportHost& window, TransportPart& transport, KaraokePart& karaoke,
                             KaraokeEvening& evening, const platform::Clock& clock)
    : window_(window), transport_(transport), karaoke_(karaoke), evening_(evening), clock_(clock) {
    between_ = std::make_unique<BetweenSingers>(
        window_.player(), clock_,
        BetweenSingers::Handlers{
            [this] {
                transport_.playPressed();
                // Its start is known here; the next tick need not find it.
                if (!window_.player().isPlaying()) return;
                fresh_ = false;
                wasPlaying_ = true;
            },
            // As at the file's end: the song's end rule loads what follows.
            [this] { window_.player().skipToEndIfWithin(window_.player().duration() + 1.0); }});
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QStringList tracks = keptTracks();
    between_->setTracks(breakPaths(tracks));
    if (defaults.object(breakFadeOutKey))
        between_->rules().setFadeOutSeconds(defaults.doubleValue(breakFadeOutKey));
    const QString ticker = QString::fromStdString(defaults.string(singersTickerKey).value_or(""));
    karaoke_.setTicker(ticker);
    if (BetweenSingers* between = between_.get(); between->music())
        between->music()->setRefusedHandler([this](const std::string& path, const std::string& why) {
            notice(tr("The break music %1 does not play: %2")
                       .arg(QString::fromStdString(path), QString::fromStdString(why)));
        });

    if (auto* column = qobject_cast<QSplitter*>(evening_.widget())) {
        panel_ = new BreakPanel(column);
        column->addWidget(panel_);
        panel_->showKept(tracks, between_->rules().fadeOutSeconds(), ticker);
        panel_->setHandlers(BreakPanel::Handlers{
            [this] { startNextSinger(); },
            [this](const QStringList& paths) {
                between_->setTracks(breakPaths(paths));
                platform::PlistArray items;
                for (const QString& path : paths)
                    items.emplace_back(path.toStdString());
                platform::UserDefaults::standard().set(breakTracksKey,
                                                       platform::PlistValue(std::move(items)));
            },
            [this](double seconds) {
                between_->rules().setFadeOutSeconds(seconds);
                platform::UserDefaults::standard().setDouble(breakFadeOutKey, seconds);
            },
            [this](const QString& text) {
                karaoke_.setTicker(text);
                tickerSave_->start();
            },
            [this] {
                return QFileDialog::getOpenFileNames(panel_, tr("Break music"), QString(),
                                                     tr("Audio (*.mp3 *.m4a *.ogg *.flac *.wav *.aac *.opus "
                                                        "*.aif *.aiff);;All files (*)"));
            }});
    }
    // The settings file is written once the typing rests, not at every key.
    tickerSave_ = new QTimer(this);
    tickerSave_->setSingleShot(true);
    tickerSave_->setInterval(500);
    connect(tickerSave_, &QTimer::timeout, this, [this] { saveTicker(); });
    timer_ = new QTimer(this);
    timer_->setInterval(40);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_->start();
    tick();
}

KaraokeBreaks::~KaraokeBreaks() {
    if (tickerSave_->isActive()) saveTicker();
    karaoke_.setComingUp({});
    karaoke_.setTicker({});
}

void KaraokeBreaks::saveTicker() {
    tickerSave_->stop();
    if (panel_)
        platform::UserDefaults::standard().setString(singersTickerKey,
                                                     panel_->tickerField().text().toStdString());
}

void KaraokeBreaks::notice(const QString& text) {
    window_.showTextNotice(text, 4.0, std::nullopt);
}

void KaraokeBreaks::songEnded() {
    if (window_.player().mode() != PlayerMode::karaoke) return;
    evening_.songEnded();
    between_->songEnded();
}

bool KaraokeBreaks::handleKey(const QKeyEvent& event) {
    if (event.key() != Qt::Key_F5 || (event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (typingInto(QApplication::focusWidget())) return false;
    startNextSinger();
    return true;
}

void KaraokeBreaks::startNextSinger() {
    ApplicationPlayer& player = window_.player();
    if (player.mode() != PlayerMode::karaoke) return;
    if (player.playing()) {
        notice(tr("A song is playing: the next singer starts once it has ended"));
        return;
    }
    if (startWhenLoaded_) return;
    const host::Evening* evening = evening_.evening();
    const std::optional<host::Turn> current = evening ? evening->current() : std::nullopt;
    const bool nextWaits = evening && evening->next();
    const std::shared_ptr<PlaylistEntry> entry = player.entry();
    const bool singersSongLoaded = fresh_ && entry && current && entry->_url.path() == current->song.path;
    if (singersSongLoaded || (fresh_ && entry && !nextWaits)) {
        begin();
    } else if (nextWaits) {
        // Loaded in the singer's key and tempo off the window's thread; the start follows the load.
        startWhenLoaded_ = clock_.now();
        evening_.loadNextSinger();
        tick();
    } else {
        notice(tr("No song is waiting: queue a song for a singer, or load one"));
    }
}

void KaraokeBreaks::begin() {
    startWhenLoaded_.reset();
    // A song the host stopped halfway makes no break: the next starts as after any end.
    between_->songStopped();
    between_->startNext();
}

void KaraokeBreaks::entryChanged(const std::shared_ptr<PlaylistEntry>& entry) {
    lastEntry_ = entry;
    fresh_ = entry && !window_.player().playing();
    between_->rules().setSongAudioEnd(std::nullopt);
    // Only an evening's songs end early; the other modes' songs play to their file's end.
    if (!entry || window_.player().mode() != PlayerMode::karaoke) return;
    // Where its audio is over is read from its last minute, away from the window.
    QPointer<KaraokeBreaks> self(this);
    std::weak_ptr<PlaylistEntry> loaded = entry;
    platform::globalQueue().async([self, loaded, path = entry->_url.path()] {
        const std::optional<double> end = SongTail::audioEnd(path);
        platform::mainQueue().async([self, loaded, end] {
            if (!self || self->lastEntry_.lock() != loaded.lock()) return;
            self->between_->rules().setSongAudioEnd(end);
        });
    });
}

QStringList KaraokeBreaks::comingUp() const {
    const host::Evening* evening = evening_.evening();
    if (!evening || between_->rules().phase() == BreakRules::Phase::song) return {};
    auto line = [](const host::Turn& turn) {
        return QStringLiteral("%1 — %2").arg(QString::fromStdString(turn.name),
                                             QString::fromStdString(turn.song.title));
    };
    const std::optional<host::Turn> current = evening->current();
    const std::shared_ptr<PlaylistEntry> entry = window_.player().entry();
    QStringList lines;
    // The next singer's song already loaded: they are next, and the singer after them then.
    if (fresh_ && entry && current && entry->_url.path() == current->song.path) lines << line(*current);
    for (const std::optional<host::Turn>& turn : {evening->next(), evening->afterNext()})
        if (turn && lines.size() < 2) lines << line(*turn);
    return lines;
}

void KaraokeBreaks::tick() {
    ApplicationPlayer& player = window_.player();
    const std::shared_ptr<PlaylistEntry> entry = player.entry();
    if (entry != lastEntry_.lock()) entryChanged(entry);
    // Breaks are the evening's: in the other modes (the lyrics' timing too) a song is only a song, and
    // music of a break left behind goes.
    if (player.mode() != PlayerMode::karaoke) {
        if (between_->rules().phase() != BreakRules::Phase::song) between_->songStarted();
        wasPlaying_ = player.isPlaying();
        startWhenLoaded_.reset();
        if (!shownComingUp_.isEmpty()) karaoke_.setComingUp(shownComingUp_ = {});
        return;
    }
    const bool playing = player.playing();
    if (player.isPlaying() && !wasPlaying_) {
        fresh_ = false;
        between_->songStarted();
    }
    // Stopped by the host before its end (an end is told first, while the player still counts as playing).
    if (!playing && wasPlaying_ && between_->rules().phase() == BreakRules::Phase::song)
        between_->songStopped();
    wasPlaying_ = player.isPlaying() || (playing && wasPlaying_);

    if (startWhenLoaded_) {
        const host::Evening* evening = evening_.evening();
        const std::optional<host::Turn> current = evening ? evening->current() : std::nullopt;
        if (fresh_ && entry && current && entry->_url.path() == current->song.path)
            begin();
        else if (clock_.now().timeIntervalSince(*startWhenLoaded_) > breakLoadPatience)
            startWhenLoaded_.reset();
    }
    between_->tick();

    const QStringList lines = comingUp();
    if (lines != shownComingUp_) {
        shownComingUp_ = lines;
        karaoke_.setComingUp(lines);
    }
    if (panel_) {
        static const char* const states[] = {QT_TR_NOOP("A singer's song"), QT_TR_NOOP("Between singers"),
                                             QT_TR_NOOP("Break music fading in"), QT_TR_NOOP("Break music"),
                                             QT_TR_NOOP("Fading out for the next singer")};
        panel_->showState(tr(states[static_cast<int>(between_->rules().phase())]));
    }
}

} // namespace vantle
