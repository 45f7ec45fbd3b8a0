#include "Source/mainwindow/KaraokeView.h"

#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/CdgFile.h"
#include "Source/karaoke/CdgPlayhead.h"
#include "Source/karaoke/KaraokeZip.h"
#include "Source/karaoke/LyricsTiming.h"
#include "Source/mainwindow/SingersScreen.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Reaper.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <QFileInfo>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStackedLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vantle {

namespace {

// Seconds as the timing list shows them, as an LRC tag writes them.
QString karaokeTimeText(double seconds) {
    const long hundredths = std::lround(std::max(0.0, seconds) * 100);
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return QString::fromLatin1(text);
}

// What a save that leaves the timing in hand says: nothing for a save with nothing to say.
QString timingSavedMessage(const SaveResult& result, const QString& file, bool stillDirty, bool kept) {
    switch (result.outcome) {
    case SaveResult::Outcome::written:
    case SaveResult::Outcome::unchanged:
        if (result.setAside > 0)
            return KaraokeView::tr(
                       "%1 was changed by another program: %2 of your stamps found no line in its "
                       "new text. They are kept in Vantle's log%3.")
                .arg(file)
                .arg(result.setAside)
                .arg(kept ? KaraokeView::tr(" and at the end of the timing list") : QString());
        if (result.readAgain)
            return KaraokeView::tr(
                       "%1 was changed by another program: your stamps were added to its new text and saved.")
                .arg(file);
        if (result.outcome == SaveResult::Outcome::written)
            return KaraokeView::tr("Timed lines saved in %1").arg(file);
        return {};
    case SaveResult::Outcome::changedOnDisk: {
        QString message =
            stillDirty
                ? KaraokeView::tr("%1 was changed by another program: not written over. It was read again "
                                  "with your stamps laid over it; leave the timing mode again to save them.")
                      .arg(file)
                : KaraokeView::tr("%1 was changed by another program: it was read again.").arg(file);
        if (result.setAside > 0)
            message +=
                KaraokeView::tr(" %1 of your stamps found no line in it: see the end of the timing list.")
                    .arg(result.setAside);
        return message;
    }
    case SaveResult::Outcome::waiting:
        return KaraokeView::tr("%1 is being written by another program: your stamps are kept here. Leave the "
                               "timing mode again to save them.")
            .arg(file);
    case SaveResult::Outcome::failed:
        return KaraokeView::tr("The timed lines could not be saved in %1: %2")
            .arg(file, QString::fromStdString(result.reason));
    }
    return {};
}

} // namespace

// The panel's drawing surface: paints what its painter prepared, and only the part that changed. A
// new size wants a frame laid out for it before it is painted.
class KaraokeView::Canvas final : public QWidget {
public:
    Canvas(QWidget* parent, std::function<void()> frameWanted)
        : QWidget(parent), frameWanted_(std::move(frameWanted)) {
        setObjectName("karaokeCanvas");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void show(const KaraokeFrame& frame) {
        const QRect changed = painter_.prepare(rect(), frame);
        if (!changed.isEmpty()) update(changed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        if (!painter_.paint(painter, event->rect())) QTimer::singleShot(0, this, [this] { frameWanted_(); });
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (isVisible()) frameWanted_();
    }

private:
    KaraokePainter painter_;
    std::function<void()> frameWanted_;
};

KaraokeView::KaraokeView(KaraokeHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName("karaokeView");
    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    canvas_ = new Canvas(this, [this] { advanceFrame(); });
    stack_->addWidget(canvas_);
    timingList_ = new QListWidget(this);
    timingList_->setObjectName("karaokeTimingList");
    // The keys stay with the playlist, where Return stamps.
    timingList_->setFocusPolicy(Qt::NoFocus);
    timingList_->setSelectionMode(QAbstractItemView::NoSelection);
    // A long line is read whole while it is timed, not scrolled to.
    timingList_->setWordWrap(true);
    timingList_->setResizeMode(QListView::Adjust);
    timingList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Thousands of wrapped lines are laid out a batch at a time, the window answering in between.
    timingList_->setLayoutMode(QListView::Batched);
    QFont listFont = timingList_->font();
    listFont.setPointSizeF(listFont.pointSizeF() * 1.4);
    timingList_->setFont(listFont);
    stack_->addWidget(timingList_);

    frameTimer_ = new QTimer(this);
    frameTimer_->setTimerType(Qt::PreciseTimer);
    connect(frameTimer_, &QTimer::timeout, this, [this] { advanceFrame(); });
    // A lyrics file changed in an editor is read again and shown without a restart.
    lookTimer_ = new QTimer(this);
    lookTimer_->setInterval(1000);
    connect(lookTimer_, &QTimer::timeout, this, [this] { lookForChanges(); });

    timingQueue_ = std::make_unique<platform::SerialQueue>("karaoke timing");
    QPointer<KaraokeView> self(this);
    loader_ = std::make_unique<LyricsLoader>([self](const LyricsReadResult& result) {
        if (self) self->lyricsArrived(result);
    });
    panelFrame_.look = KaraokeFrame::Look::panel;
    hide();
}

KaraokeView::~KaraokeView() {
    // Written after the view, with what cannot be written printed: the window is gone, nothing waits
    // for it any more, and the program's exit waits for the write.
    finishTiming(true);
    closed_->store(true);
    platform::reap(std::move(timingQueue_));
    delete singers_.data();
}

void KaraokeView::showSong(const std::string& audioPath, PlayerMode mode) {
    const bool songChanged = audioPath != songPath_;
    const bool timingEnds = timing_ && (songChanged || mode != PlayerMode::karaokePrepare);
    if (timingEnds) finishTiming(songChanged);
    if (songChanged) {
        timing_.reset();
        // A read of the song left is no longer wanted.
        ++timingRequest_;
        timingBuilding_ = false;
    }
    songPath_ = audioPath;
    mode_ = mode;
    // Outside the karaoke modes nothing of the song's lyrics or graphics is read or kept.
    const std::string wanted = karaokeMode() ? audioPath : std::string();
    if (wanted != loadingPath_) {
        loadingPath_ = wanted;
        lyrics_.reset();
        lastRead_ = {};
        lyricsRead_ = false;
        cdg_.reset();
        pictureLooked_ = false;
        ++generation_;
        loader_->load(wanted);
        loadPicture(wanted);
    }
    if (loadingPath_.empty())
        lookTimer_->stop();
    else if (!lookTimer_->isActive())
        lookTimer_->start();
    if (mode_ == PlayerMode::karaokePrepare && !songPath_.empty() && !timing_ && !timingBusy()) startTiming();
    stack_->setCurrentWidget(mode_ == PlayerMode::karaokePrepare ? static_cast<QWidget*>(timingList_)
                                                                 : static_cast<QWidget*>(canvas_));
    refreshTimingList();
    updateFrameTimer();
    advanceFrame();
}

const Lyrics* KaraokeView::lyrics() const {
    return lyrics_.get();
}

void KaraokeView::lyricsArrived(const LyricsReadResult& result) {
    lastRead_ = result;
    lyricsRead_ = true;
    lyrics_ = result.lyrics ? std::make_shared<const Lyrics>(*result.lyrics) : nullptr;
    ++generation_;
    if (!result.notice.empty()) host_.karaokeNotice(QString::fromStdString(result.notice));
    advanceFrame();
}

void KaraokeView::loadPicture(const std::string& audioPath) {
    const unsigned request = ++pictureRequest_;
    if (audioPath.empty()) return;
    QPointer<KaraokeView> self(this);
    // Finding, reading and checking the graphics touches the disk: never on the window's thread.
    platform::globalQueue().async([self, request, audioPath] {
        // Taken before the read, so that a change while it reads is seen at the next look. An
        // archive's graphics are inside it: nothing beside it is looked for.
        const bool archive = platform::isSongArchivePath(audioPath);
        const std::optional<std::string> beside = archive ? std::nullopt : cdgBesidePath(audioPath);
        PictureStamps stamps{beside.value_or(std::string()),
                             beside ? platform::fileStamp(*beside) : std::nullopt,
                             platform::fileStamp(audioPath),
                             {},
                             std::nullopt};
        if (const std::size_t slash = audioPath.rfind('/');
            !beside && !archive && slash != std::string::npos) {
            stamps.folderPath = slash == 0 ? std::string("/") : audioPath.substr(0, slash);
            stamps.folder = platform::fileStamp(stamps.folderPath);
        }
        std::shared_ptr<CdgTimeline> timeline;
        // Inside the song's archive, or the file just found beside it (not looked for a second time).
        std::optional<std::vector<std::uint8_t>> bytes;
        if (archive) {
            bytes = readCdgForSong(audioPath);
        } else if (beside) {
            if (platform::Result<std::vector<std::uint8_t>> read = readCdgFile(*beside))
                bytes = std::move(read.value());
        }
        if (bytes)
            if (std::optional<CdgTimeline> made = CdgTimeline::fromBytes(std::move(*bytes)))
                timeline = std::make_shared<CdgTimeline>(std::move(*made));
        platform::mainQueue().async([self, request, timeline, stamps] {
            if (!self || request != self->pictureRequest_) return;
            self->pictureLooked_ = true;
            self->pictureStamps_ = stamps;
            if (timeline) {
                // Decoded ahead on a worker where a position is far from what is decoded.
                self->cdg_ = std::make_unique<CdgPlayhead>(std::move(*timeline), platform::globalQueue(),
                                                           platform::mainQueue());
                ++self->generation_;
            } else if (self->cdg_) {
                // The graphics gone, or no longer readable: the picture goes with them.
                self->cdg_.reset();
                ++self->generation_;
            }
            self->advanceFrame();
        });
    });
}

void KaraokeView::lookForChanges() {
    loader_->poll();
    lookForTimingChanges();
    if (loadingPath_.empty() || !pictureLooked_) return;
    // Asked again while a look is under way: one more follows it, never a pile of them.
    if (pictureLooking_) {
        pictureLookAgain_ = true;
        return;
    }
    pictureLooking_ = true;
    QPointer<KaraokeView> self(this);
    // Stat'ed on a worker like the lyrics, one look at a time: a slow disk never holds the window.
    platform::globalQueue().async(
        [self, request = pictureRequest_, stamps = pictureStamps_, audioPath = loadingPath_] {
            // The graphics beside the song, or the song's archive, written anew: read again.
            const bool changed =
                (!stamps.cdgPath.empty() && platform::fileStamp(stamps.cdgPath) != stamps.cdg) ||
                platform::fileStamp(audioPath) != stamps.song ||
                (!stamps.folderPath.empty() && platform::fileStamp(stamps.folderPath) != stamps.folder);
            platform::mainQueue().async([self, request, changed] {
                if (!self) return;
                self->pictureLooking_ = false;
                const bool again = std::exchange(self->pictureLookAgain_, false);
                // Another song, or a read already started since: that one answers.
                if (changed && request == self->pictureRequest_ && self->pictureLooked_) {
                    self->pictureLooked_ = false;
                    self->loadPicture(self->loadingPath_);
                } else if (again)
                    self->lookForChanges();
            });
        });
}

QStringList KaraokeView::noLyricsMessage() const {
    if (songPath_.empty()) return {tr("No song loaded")};
    if (!lyricsRead_ || !pictureLooked_) return {tr("Reading the lyrics…")};
    // Lines without times are the start of a timing, not missing lyrics: say how to go on.
    if (lyrics_ && lyrics_->lines.empty() && !lyrics_->untimed.empty())
        return {tr("The lyrics of this song have no times yet"),
                QFileInfo(QString::fromStdString(lyrics_->path)).fileName(),
                tr("Press x to time them while the song plays")};
    QStringList lines{tr("No lyrics for this song")};
    if (!lastRead_.notice.empty()) lines << QString::fromStdString(lastRead_.notice);
    lines << tr("Looked for:");
    for (const std::string& path : lastRead_.lookedFor)
        lines << QFileInfo(QString::fromStdString(path)).fileName();
    return lines;
}

KaraokeFrame KaraokeView::singersFrame(double heard) const {
    KaraokeFrame frame = panelFrame_;
    frame.look = KaraokeFrame::Look::singers;
    frame.message.clear();
    frame.ticker = ticker_;
    // At a song's very start with the music stopped, the singers learn what comes next.
    const bool between = !host_.karaokeSongPlaying() && (heard < 0.5 || !comingUp_.isEmpty());
    if (between) {
        frame.lyrics = nullptr;
        frame.picture = nullptr;
        // The loaded song's key may be the last singer's, and would read as the next one's.
        frame.keyShift = 0;
        if (!comingUp_.isEmpty()) {
            frame.message << tr("Next: %1").arg(comingUp_.front());
            if (comingUp_.size() > 1) frame.message << tr("Then: %1").arg(comingUp_[1]);
        } else if (const QString next = host_.karaokeNextTitle(); !next.isEmpty())
            frame.message << tr("Next:") << next;
        if (std::optional<double> left = host_.karaokeBreakLeft()) {
            const int seconds = static_cast<int>(std::ceil(*left));
            frame.message
                << tr("Break: %1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
        }
    } else if (!karaokeMode()) {
        // A song heard in the other modes has nothing for the singers.
        frame.lyrics = nullptr;
        frame.picture = nullptr;
    }
    return frame;
}

void KaraokeView::advanceFrame() {
    const double heard = host_.karaokeHeardTime();
    panelFrame_.generation = generation_;
    panelFrame_.keyShift = karaokeMode() ? host_.karaokeKeyShift() : 0;
    panelFrame_.lyrics = nullptr;
    panelFrame_.picture = nullptr;
    panelFrame_.moment = {};
    panelFrame_.message.clear();
    if (karaokeMode()) {
        if (cdg_)
            panelFrame_.picture = &cdg_->screenAt(heard);
        else if (lyrics_ && !lyrics_->lines.empty()) {
            panelFrame_.lyrics = lyrics_.get();
            panelFrame_.moment = lyricsMomentAt(*lyrics_, heard);
        } else
            panelFrame_.message = noLyricsMessage();
    }
    if (isVisible() && stack_->currentWidget() == canvas_) canvas_->show(panelFrame_);
    if (singers_ && singers_->isVisible()) singers_->showFrame(singersFrame(heard));
}

int KaraokeView::frameInterval() const {
    return frameTimer_->isActive() ? frameTimer_->interval() : 0;
}

void KaraokeView::updateFrameTimer() {
    const bool panelShown = isVisible() && karaokeMode();
    const bool singersShown = singers_ && singers_->isVisible();
    if (!panelShown && !singersShown) {
        frameTimer_->stop();
        return;
    }
    // One frame per refresh of the screen the panel (or else the singers' screen) is on.
    QScreen* shownOn = panelShown ? screen() : singers_->screen();
    const double rate = shownOn && shownOn->refreshRate() >= 20 ? shownOn->refreshRate() : 60.0;
    const int interval = std::max(1, static_cast<int>(std::floor(1000.0 / rate)));
    if (!frameTimer_->isActive() || frameTimer_->interval() != interval) frameTimer_->start(interval);
}

void KaraokeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateFrameTimer();
    advanceFrame();
}

void KaraokeView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateFrameTimer();
}

// ---- timing ----

void KaraokeView::startTiming() {
    const unsigned request = ++timingRequest_;
    timingBuilding_ = true;
    QPointer<KaraokeView> self(this);
    timingQueue_->async([self, request, path = songPath_, closed = closed_] {
        if (*closed) return;
        auto timing = std::make_shared<LyricsTiming>(path);
        platform::mainQueue().async([self, request, timing] {
            if (!self || request != self->timingRequest_) return;
            self->timingArrived(timing);
        });
    });
    refreshTimingList();
}

void KaraokeView::timingArrived(std::shared_ptr<LyricsTiming> timing) {
    timingBuilding_ = false;
    timing_ = std::move(timing);
    if (!timing_->notice().empty()) host_.karaokeNotice(QString::fromStdString(timing_->notice()));
    refreshTimingList();
}

void KaraokeView::lookForTimingChanges() {
    // A timing with stamps of its own meets an outside change at its save; an untouched one (a file
    // still being written when it was read, lines added elsewhere) shows the file as it is now.
    if (!timing_ || timing_->dirty() || timingBusy() || mode_ != PlayerMode::karaokePrepare) return;
    const unsigned request = ++timingRequest_;
    timingBuilding_ = true;
    QPointer<KaraokeView> self(this);
    timingQueue_->async([self, request, timing = timing_, audio = timing_->audioPath(),
                         path = timing_->lrcPath(), read = timing_->fileStamp(), again = timing_->settling(),
                         closed = closed_] {
        if (*closed) return;
        auto fresh =
            again || platform::fileStamp(path) != read ? std::make_shared<LyricsTiming>(audio) : nullptr;
        platform::mainQueue().async([self, request, timing, fresh] {
            if (!self || request != self->timingRequest_) return;
            self->timingBuilding_ = false;
            if (fresh && self->timing_ == timing && !timing->dirty()) self->timingArrived(fresh);
        });
    });
}

void KaraokeView::finishTiming(bool timingDropped) {
    if (!timing_ || !timing_->dirty()) return;
    // Away while it is saved: no stamp is made on a timing another thread holds.
    std::shared_ptr<LyricsTiming> timing = std::move(timing_);
    ++timingSaves_;
    QPointer<KaraokeView> self(this);
    timingQueue_->async([self, timing, timingDropped] {
        const SaveResult result = timingDropped ? timing->saveBeforeLeaving() : timing->save();
        platform::mainQueue().async([self, timing, timingDropped, result] {
            if (self) self->timingSaved(timing, timingDropped, result);
        });
    });
    refreshTimingList();
}

void KaraokeView::timingSaved(std::shared_ptr<LyricsTiming> timing, bool timingDropped,
                              const SaveResult& result) {
    --timingSaves_;
    const QString file = QFileInfo(QString::fromStdString(timing->lrcPath())).fileName();
    // Back in hand while its song is still the one shown: a save that could not write keeps its stamps
    // for the next leaving, and what was kept aside stays in the list.
    const bool kept = !timing_ && timing->audioPath() == songPath_;
    if (kept) timing_ = timing;
    for (std::size_t i = timing->setAside().size() - std::size_t(result.setAside);
         i < timing->setAside().size(); ++i)
        platform::consolePrint("stamp that found no line in " + timing->lrcPath() + ": " +
                               timing->setAside()[i]);
    QString message;
    if (timingDropped && !result.ok()) {
        // No later leaving will write them: said, printed by the save, and named when the quit is held.
        message = tr("The timed lines could not be saved in %1: %2 Your stamps are in Vantle's log.")
                      .arg(file, QString::fromStdString(result.reason));
        unwrittenTiming_.emplace_back(timing->lrcPath(),
                                      result.outcome == SaveResult::Outcome::waiting
                                          ? std::string("another program was still writing it")
                                          : result.reason);
    } else {
        message = timingSavedMessage(result, file, timing->dirty(), kept);
        // Sung at once with the new times.
        if (result.outcome == SaveResult::Outcome::written && !loadingPath_.empty())
            loader_->load(loadingPath_);
    }
    if (!message.isEmpty()) host_.karaokeNotice(message);
    refreshTimingList();
    if (timingSaves_ > 0) return;
    const UnwrittenFiles unwritten = std::exchange(unwrittenTiming_, {});
    for (const auto& then : std::exchange(afterTimingSaved_, {}))
        then(unwritten);
    // A timing wanted again while it was away is read now that nothing writes it.
    if (!timing_ && mode_ == PlayerMode::karaokePrepare && !songPath_.empty() && !timingBusy()) startTiming();
}

void KaraokeView::endTiming() {
    finishTiming(true);
}

void KaraokeView::afterTimingSaved(std::function<void(const UnwrittenFiles&)> then) {
    if (timingSaves_ > 0) {
        afterTimingSaved_.push_back(std::move(then));
        return;
    }
    then(std::exchange(unwrittenTiming_, {}));
}

bool KaraokeView::stampLine() {
    if (mode_ != PlayerMode::karaokePrepare) return false;
    if (!timing_) {
        host_.karaokeNotice(timingSaves_ > 0 ? tr("The timed lines are being saved…")
                                             : tr("Reading the lines…"));
        return true;
    }
    if (!host_.karaokeSongPlaying()) {
        host_.karaokeNotice(tr("Play the song to time its lines"));
        return true;
    }
    const int stamped = timing_->nextUnstamped();
    if (!timing_->stamp(host_.karaokeHeardTime())) {
        host_.karaokeNotice(timing_->lines().empty()
                                ? tr("No lines to time: paste the lyrics with Edit › Paste")
                                : tr("Every line has its time"));
    } else if (const std::optional<double> before = timing_->lastStampEarlierThan()) {
        host_.karaokeNotice(
            tr("The stamp %1 is earlier than the line before it (%2): Backspace takes it back")
                .arg(karaokeTimeText(timing_->lines()[std::size_t(stamped)].time.value_or(0)),
                     karaokeTimeText(*before)));
    }
    refreshTimingLines({stamped, timing_->nextUnstamped()});
    return true;
}

bool KaraokeView::undoStamp() {
    if (mode_ != PlayerMode::karaokePrepare) return false;
    if (!timing_) return true;
    const int next = timing_->nextUnstamped();
    if (!timing_->undoStamp()) host_.karaokeNotice(tr("No stamp to take back"));
    refreshTimingLines({next, timing_->nextUnstamped()});
    return true;
}

bool KaraokeView::pasteLines(const QString& text) {
    if (mode_ != PlayerMode::karaokePrepare) return false;
    if (!timing_) {
        host_.karaokeNotice(timingSaves_ > 0 ? tr("The timed lines are being saved…")
                                             : tr("Reading the lines…"));
        return true;
    }
    // Lines pasted over a lyrics file that is not read could never be saved.
    if (!timing_->notice().empty()) {
        host_.karaokeNotice(QString::fromStdString(timing_->notice()));
        return true;
    }
    if (!timing_->lines().empty() || timing_->settling()) {
        host_.karaokeNotice(tr("This song has its lines already"));
        return true;
    }
    timing_->addPastedLines(text.toStdString());
    refreshTimingList();
    return true;
}

void KaraokeView::refreshTimingList() {
    timingList_->clear();
    if (!timing_) {
        if (mode_ == PlayerMode::karaokePrepare && timingBusy())
            timingList_->addItem(timingSaves_ > 0 ? tr("Saving the timed lines…") : tr("Reading the lines…"));
        return;
    }
    const int next = timing_->nextUnstamped();
    const std::vector<LyricLine>& lines = timing_->lines();
    if (lines.empty() && !timing_->notice().empty()) {
        timingList_->addItem(QString::fromStdString(timing_->notice()));
        return;
    }
    if (timing_->settling()) {
        timingList_->addItem(tr("%1 is being written by another program: its lines are read once it rests")
                                 .arg(QFileInfo(QString::fromStdString(timing_->lrcPath())).fileName()));
        return;
    }
    if (lines.empty()) {
        timingList_->addItem(tr("No lines: paste the lyrics with Edit › Paste, then stamp each line with "
                                "Return as it is sung"));
        return;
    }
    std::optional<double> timeAbove;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        auto* item = new QListWidgetItem;
        showTimingLine(*item, i, next, timeAbove);
        if (lines[std::size_t(i)].time) timeAbove = lines[std::size_t(i)].time;
        timingList_->addItem(item);
    }
    if (!timing_->setAside().empty()) {
        // Stamps whose lines changed elsewhere, with their times, for the user to place by hand.
        timingList_->addItem(tr("Stamps whose lines changed in another program:"));
        for (const std::string& stamp : timing_->setAside())
            timingList_->addItem(QStringLiteral("    ") + QString::fromStdString(stamp));
        for (int i = static_cast<int>(lines.size()); i < timingList_->count(); ++i)
            timingList_->item(i)->setForeground(palette().color(QPalette::PlaceholderText));
    }
    if (next >= 0) timingList_->scrollToItem(timingList_->item(next), QAbstractItemView::PositionAtCenter);
}

void KaraokeView::showTimingLine(QListWidgetItem& item, int index, int next,
                                 const std::optional<double>& timeAbove) const {
    const LyricLine& line = timing_->lines()[std::size_t(index)];
    const QString time = line.time ? karaokeTimeText(*line.time) : QStringLiteral("  –  ");
    // A stamp before the time above it was made out of order: marked until it is taken back. A file's
    // own lines may stand in any order.
    const bool early = timing_->stampedHere(std::size_t(index)) && timeAbove && *line.time < *timeAbove;
    item.setText(QStringLiteral("%1 %2  %3")
                     .arg(index == next ? QStringLiteral("▶")
                          : early       ? QStringLiteral("⚠")
                                        : QStringLiteral("  "),
                          time, QString::fromStdString(line.text)));
    QFont font = timingList_->font();
    font.setBold(index == next);
    item.setFont(font);
    item.setBackground(index == next ? palette().brush(QPalette::Highlight) : QBrush());
    item.setForeground(index == next ? palette().color(QPalette::HighlightedText)
                       : line.time   ? palette().color(QPalette::Text)
                                     : palette().color(QPalette::PlaceholderText));
}

void KaraokeView::refreshTimingLines(std::initializer_list<int> changed) {
    const std::vector<LyricLine>& lines = timing_->lines();
    const std::size_t setAside = timing_->setAside().size();
    // Built whole when it shows something else; a song of thousands of lines is not built again at
    // every stamp.
    if (lines.empty() || std::size_t(timingList_->count()) != lines.size() + (setAside ? setAside + 1 : 0)) {
        refreshTimingList();
        return;
    }
    const int next = timing_->nextUnstamped();
    for (const int index : changed) {
        if (index < 0 || std::size_t(index) >= lines.size()) continue;
        std::optional<double> timeAbove;
        for (int above = index - 1; above >= 0 && !timeAbove; --above)
            timeAbove = lines[std::size_t(above)].time;
        showTimingLine(*timingList_->item(index), index, next, timeAbove);
    }
    if (next >= 0) timingList_->scrollToItem(timingList_->item(next), QAbstractItemView::PositionAtCenter);
}

// ---- singers' screen ----

void KaraokeView::toggleSingersScreen() {
    if (singers_ && singers_->isVisible()) {
        singers_->closeByUser();
    } else {
        if (!singers_) {
            singers_ = new SingersScreen();
            connect(singers_, &SingersScreen::visibilityChanged, this, [this] { updateFrameTimer(); });
            connect(singers_, &SingersScreen::frameWanted, this, [this] { advanceFrame(); });
        }
        singers_->open();
    }
    updateFrameTimer();
    advanceFrame();
}

SingersScreen* KaraokeView::singersScreen() const {
    return singers_.data();
}

bool KaraokeView::singersScreenShown() const {
    return singers_ && singers_->isVisible();
}

void KaraokeView::setSingersFullScreen(const std::optional<QString>& screenName) {
    if (!singersScreenShown()) {
        if (!screenName) return;
        toggleSingersScreen();
    }
    singers_->setFullScreenOn(screenName);
    updateFrameTimer();
    advanceFrame();
}

std::optional<QString> KaraokeView::singersFullScreenOn() const {
    if (!singersScreenShown() || !singers_->fullScreenOn()) return std::nullopt;
    return singers_->screenName();
}

bool KaraokeView::pointerOverSingersScreen() const {
    return singersScreenShown() && singers_->underMouse();
}

void KaraokeView::restoreSingersScreen() {
    if (!SingersScreen::wasShown() || singersScreenShown()) return;
    toggleSingersScreen();
}

} // namespace vantle
