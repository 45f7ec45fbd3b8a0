#include "Source/mainwindow/TempoWiring.h"

#include "Source/playback/Player.h"
#include "Source/session/BackgroundTempo.h"
#include "Source/session/EntryTempoTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/tempo/TempoAnalysis.h"
#include "Source/tempo/TempoCorrections.h"
#include "Source/tempo/TempoText.h"
#include "Source/views/BeatCounterView.h"
#include "Source/views/DanceTableEditor.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/TransportViewController.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/UserDefaults.h"

#include <QActionGroup>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vantle {

namespace {

// The analysis runs only on a core nothing else wants: the render thread keeps its own.
void tempoWorkerYields() {
    sched_param none{};
    none.sched_priority = 0;
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
}

// The program's one worker for the analyses. A window that closes does not wait for the analysis under
// way: told to stop, it ends here while the program goes on, and only the program's exit waits for it.
platform::SerialQueue& programTempoWorker() {
    // Made after the main queue, so that it goes before it at exit: an analysis ending then still finds
    // the queue it answers on.
    (void)platform::mainQueue();
    static platform::SerialQueue worker("tempo analysis");
    static const bool yields = (worker.async(tempoWorkerYields), true);
    (void)yields;
    return worker;
}

QString tempoDanceTitle(Dance dance) {
    if (dance == Dance::none) return QObject::tr("No Dance");
    QString title = QString::fromUtf8(danceKey(dance).data()).replace('-', ' ');
    title[0] = title[0].toUpper();
    return title;
}

} // namespace

TempoWiring::TempoWiring(Context context)
    : QObject(context.view), context_(std::move(context)), ticker_(new QTimer(this)),
      tapRunEnd_(new QTimer(this)) {
    if (context_.defaults)
        if (std::optional<platform::PlistValue> stored = context_.defaults->object(DanceTable::defaultsKey))
            table_ = DanceTable::decoded(*stored);
    context_.table->playlistModel().setDanceTable(table_);

    platform::DispatchQueue* worker = context_.worker ? context_.worker : &programTempoWorker();
    BackgroundTempo::Analyse analyse = context_.analyse;
    if (!analyse)
        analyse = [](const std::string& path, const DanceBand& band, const std::atomic<bool>* cancel) {
            return analyseTempoFile(path, band, cancel);
        };
    background_ = std::make_unique<BackgroundTempo>(
        BackgroundTempo::Sources{[this]() -> const std::vector<std::shared_ptr<PlaylistEntry>>& {
                                     static const std::vector<std::shared_ptr<PlaylistEntry>> none;
                                     const std::shared_ptr<Playlist> playlist = context_.playlist();
                                     return playlist ? playlist->allEntries : none;
                                 },
                                 [this] { return context_.player->entry(); },
                                 [this](const PlaylistEntry& entry) { return danceOf(entry); },
                                 [this](Dance dance) { return table_.settings(dance).band; }},
        std::move(analyse),
        [this](const std::shared_ptr<PlaylistEntry>& entry) {
            // Found, not edited: kept with the session at its next save, with no question of saving.
            context_.table->reloadEntryRow(entry);
            if (entry == context_.player->entry()) {
                if (!speedTouched_) applyTarget(entry);
                showHeardTempo();
            }
        },
        *worker);
    connect(&context_.table->playlistModel(), &QAbstractItemModel::modelReset, this,
            [this] { background_->listChanged(); });

    counter_ = new BeatCounterView({[this] { return context_.player->playbackTime(); },
                                    [this] { return context_.player->isPlaying(); },
                                    [this] { return loadedTempo(); }},
                                   context_.view);
    heardTempo_ = new QLabel(context_.view);
    heardTempo_->setObjectName("heardTempo");
    QFont bold = heardTempo_->font();
    bold.setBold(true);
    heardTempo_->setFont(bold);
    if (context_.transport) {
        context_.transport->addBesideSpeed(heardTempo_);
        connect(context_.transport, &TransportViewController::rateChangedByHand, this, [this] {
            atTarget_ = false;
            speedTouched_ = true;
            showHeardTempo();
        });
    }
    buildMenu();

    ticker_->setInterval(100);
    connect(ticker_, &QTimer::timeout, this, [this] { tick(); });
    ticker_->start();
    tapRunEnd_->setSingleShot(true);
    tapRunEnd_->setInterval(static_cast<int>(tapRunGap * 1000));
    connect(tapRunEnd_, &QTimer::timeout, this, [this] { finishTaps(); });
}

TempoWiring::~TempoWiring() {
    // The analysis under way is told to stop and left to end on its worker: nobody waits for it.
    background_.reset();
    delete counter_.data();
    delete heardTempo_.data();
}

BeatCounterView* TempoWiring::counterView() const {
    return counter_;
}

QLabel* TempoWiring::heardTempoLabel() const {
    return heardTempo_;
}

QWidget* TempoWiring::makeDanceTableEditor(QWidget* parent) {
    return new DanceTableEditor(
        table_,
        [self = QPointer<TempoWiring>(this)](const DanceTable& table) {
            if (!self) return;
            self->table_ = table;
            if (self->context_.defaults)
                self->context_.defaults->set(DanceTable::defaultsKey, table.encoded());
            // Tags may name other dances now: the column, the analyses and the speed follow.
            self->context_.table->playlistModel().setDanceTable(self->table_);
            self->background_->listChanged();
            if (!self->speedTouched_) self->applyTarget(self->context_.player->entry());
            self->showHeardTempo();
        },
        parent);
}

Dance TempoWiring::danceOf(const PlaylistEntry& entry) const {
    return entry.tempo.dance(table_, entry.tags.value_or(std::string()));
}

const SongTempo* TempoWiring::loadedTempo() const {
    const std::shared_ptr<PlaylistEntry> entry = context_.player->entry();
    return entry && entry->tempo.tempo ? &*entry->tempo.tempo : nullptr;
}

void TempoWiring::tick() {
    background_->update();
    counter_->update();
}

// ---- the target speed ----

void TempoWiring::songLoaded(const std::shared_ptr<PlaylistEntry>& entry) {
    taps_.clear();
    speedTouched_ = false;
    applyTarget(entry);
    showHeardTempo();
    if (entry) background_->recheck(*entry);
    background_->update();
}

void TempoWiring::applyTarget(const std::shared_ptr<PlaylistEntry>& entry) {
    if (!context_.transport) return;
    const double lowest = TransportViewController::minimumRateStep / TransportViewController::rateDivisor;
    const double highest = TransportViewController::maximumRateStep / TransportViewController::rateDivisor;
    std::optional<double> rate;
    if (entry) rate = targetRate(entry->tempo, danceOf(*entry), table_, lowest, highest);
    if (rate) {
        context_.transport->setExactRate(*rate);
        atTarget_ = true;
    } else if (atTarget_) {
        // The speed was the last song's target, not the teacher's: this one starts at its own.
        context_.transport->setExactRate(1.0);
        atTarget_ = false;
    }
}

void TempoWiring::showHeardTempo() {
    if (!heardTempo_) return;
    const std::shared_ptr<PlaylistEntry> entry = context_.player->entry();
    if (!entry || !context_.transport) {
        heardTempo_->clear();
        return;
    }
    const Dance dance = danceOf(*entry);
    std::optional<double> heard = shownTempo(entry->tempo.tempo, dance);
    if (heard) *heard *= context_.transport->rate();
    QString text = QString::fromStdString(tempoText(heard, dance));
    // A target the speed cannot reach is played as near as it goes, and not called the target.
    const std::optional<double> target = targetTempo(entry->tempo, dance, table_);
    if (heard && atTarget_ && target && std::abs(*heard - *target) < 0.05) text += tr(" target");
    heardTempo_->setText(text);
}

// ---- the entry menu ----

void TempoWiring::buildMenu() {
    QMenu& menu = *context_.entryMenu;
    menu.addSeparator();
    QMenu* dances = menu.addMenu(tr("Dance"));
    dances->setObjectName("danceMenu");
    auto* group = new QActionGroup(dances);
    QAction* fromTags = dances->addAction(tr("From Tags"), this, [this] { chooseDance(std::nullopt); });
    fromTags->setObjectName("danceFromTags");
    fromTags->setCheckable(true);
    group->addAction(fromTags);
    dances->addSeparator();
    for (Dance dance : allDances()) {
        QAction* item =
            dances->addAction(tempoDanceTitle(dance), this, [this, dance] { chooseDance(dance); });
        item->setObjectName(QStringLiteral("dance-") + QString::fromUtf8(danceKey(dance).data()));
        item->setCheckable(true);
        group->addAction(item);
    }
    connect(dances, &QMenu::aboutToShow, this, [this, dances] {
        const std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedEntries();
        const std::optional<Dance> chosen =
            entries.empty() ? std::nullopt : entries.front()->tempo.chosenDance;
        const QString name = chosen ? QStringLiteral("dance-") + QString::fromUtf8(danceKey(*chosen).data())
                                    : QStringLiteral("danceFromTags");
        for (QAction* item : dances->actions())
            item->setChecked(item->objectName() == name);
    });

    struct Item {
        const char* name;
        QString title;
        std::function<void()> command;
    };
    const Item items[] = {
        {"tempoTarget", tr("Target Tempo…"),
         [this] {
             const std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedEntries();
             if (entries.empty()) return;
             const Dance dance = danceOf(*entries.front());
             // Offered as it stands: the song's own target, else its dance's.
             const double current = targetTempo(entries.front()->tempo, dance, table_).value_or(0);
             const bool mixed = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
                 return (danceOf(*entry) == Dance::none) != (dance == Dance::none);
             });
             const QString unit = mixed ? tr("Bars per minute, or beats for a song of no dance "
                                             "(0: the dance's target, or none)")
                                  : dance != Dance::none ? tr("Bars per minute (0: the dance's target)")
                                                         : tr("Beats per minute (0: none)");
             bool ok = false;
             const double value =
                 QInputDialog::getDouble(context_.view, tr("Target Tempo"), unit, current, 0, 400, 1, &ok);
             if (ok) setSongTarget(value > 0 ? std::optional<double>(value) : std::nullopt);
         }},
        {"tempoHalve", tr("Halve Tempo"), [this] { correct(TempoFactor::half); }},
        {"tempoDouble", tr("Double Tempo"), [this] { correct(TempoFactor::twice); }},
        {"tempoTwoThirds", tr("Tempo \u00d7 2/3"), [this] { correct(TempoFactor::twoThirds); }},
        {"tempoThreeHalves", tr("Tempo \u00d7 3/2"), [this] { correct(TempoFactor::threeHalves); }},
        {"barLineEarlier", tr("Bar Line a Beat Earlier"), [this] { moveBarLines(-1); }},
        {"barLineLater", tr("Bar Line a Beat Later"), [this] { moveBarLines(1); }},
    };
    for (const Item& item : items)
        menu.addAction(item.title, this, item.command)->setObjectName(item.name);
}

std::vector<std::shared_ptr<PlaylistEntry>> TempoWiring::selectedEntries() const {
    std::vector<std::shared_ptr<PlaylistEntry>> entries;
    const std::shared_ptr<Playlist> playlist = context_.playlist();
    if (!playlist) return entries;
    for (std::size_t row : context_.table->selectedRows())
        if (auto entry = playlist->visibleEntry(static_cast<std::ptrdiff_t>(row))) entries.push_back(entry);
    return entries;
}

void TempoWiring::record(const std::string& name, const std::vector<std::shared_ptr<PlaylistEntry>>& entries,
                         const std::function<void(const PlaylistEntry&, EntryTempo&)>& change) {
    const std::shared_ptr<Playlist> playlist = context_.playlist();
    if (!playlist) return;
    std::vector<EntryTempoTransaction::Change> changes;
    for (const auto& entry : entries) {
        EntryTempo after = entry->tempo;
        change(*entry, after);
        changes.push_back({entry, entry->tempo, std::move(after)});
    }
    if (changes.empty()) return;
    EntryTempoTransaction step(name, std::move(changes),
                               [self = QPointer<TempoWiring>(this)](const auto& entry) {
                                   if (self) self->changed(entry);
                               });
    (void)step.redo();
    playlist->undoer.record(std::move(step));
}

void TempoWiring::changed(const std::shared_ptr<PlaylistEntry>& entry) {
    context_.table->reloadEntryRow(entry);
    // Another dance is analysed for; the loaded song plays at its new target.
    background_->listChanged();
    if (entry == context_.player->entry()) {
        if (!speedTouched_) applyTarget(entry);
        showHeardTempo();
    }
}

void TempoWiring::chooseDance(std::optional<Dance> dance) {
    record("choose dance", selectedEntries(),
           [dance](const PlaylistEntry&, EntryTempo& tempo) { tempo.chosenDance = dance; });
}

void TempoWiring::setSongTarget(std::optional<double> target) {
    const std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedEntries();
    if (entries.empty()) return;
    // Asked in each song's own unit (bars of its dance, else beats); kept in beats per minute, so that a
    // dance chosen later does not change what was asked.
    record("set target tempo", entries, [&](const PlaylistEntry& entry, EntryTempo& tempo) {
        tempo.targetBeatsPerMinute =
            target ? std::optional<double>(*target * beatsPerShownUnit(entry.tempo, danceOf(entry), table_))
                   : std::nullopt;
    });
}

void TempoWiring::correct(TempoFactor factor) {
    std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedEntries();
    if (entries.empty() || !entries.front()->tempo.tempo) return;
    const std::optional<SongTempo> scaled = scaledTempo(*entries.front()->tempo.tempo, factor);
    if (!scaled) return;
    static const char* const names[] = {"halve tempo", "double tempo", "tempo \u00d7 2/3",
                                        "tempo \u00d7 3/2"};
    record(names[static_cast<int>(factor)], {entries.front()},
           [&](const PlaylistEntry&, EntryTempo& tempo) { tempo.tempo = scaled; });
}

void TempoWiring::moveBarLines(int beats) {
    std::vector<std::shared_ptr<PlaylistEntry>> entries = selectedEntries();
    if (entries.empty() || !entries.front()->tempo.tempo) return;
    const std::optional<SongTempo> moved = shiftedBarLines(*entries.front()->tempo.tempo, beats);
    if (!moved) return;
    record(beats < 0 ? "bar line earlier" : "bar line later", {entries.front()},
           [&](const PlaylistEntry&, EntryTempo& tempo) { tempo.tempo = moved; });
}

// ---- tapping ----

bool TempoWiring::handleKey(const QString& characters) {
    if (characters.toLower() != QChar(tapKey)) return false;
    const std::shared_ptr<PlaylistEntry> entry = context_.player->entry();
    if (!entry || !context_.player->isPlaying()) {
        if (context_.notice) context_.notice(tr("Tap the beat while the song plays"));
        return true;
    }
    const double heard = context_.player->playbackTime();
    // A pause, or a seek back, begins a new run.
    if (!taps_.empty() && (heard - taps_.back() > tapRunGap || heard <= taps_.back())) taps_.clear();
    taps_.push_back(heard);
    tapRunEnd_->start();
    const int count = static_cast<int>(taps_.size());
    if (context_.notice)
        context_.notice(count < minimumTaps ? tr("Tap %1 of %2").arg(count).arg(minimumTaps)
                                            : tr("Tap %1").arg(count));
    return true;
}

void TempoWiring::finishTaps() {
    std::vector<double> taps = std::move(taps_);
    taps_.clear();
    const std::shared_ptr<PlaylistEntry> entry = context_.player->entry();
    if (!entry || taps.empty()) return;
    if (taps.size() < static_cast<std::size_t>(minimumTaps)) {
        if (context_.notice) context_.notice(tr("Tap at least %1 beats to set the tempo").arg(minimumTaps));
        return;
    }
    const Dance dance = danceOf(*entry);
    const int meter = dance != Dance::none ? table_.settings(dance).band.beatsPerBar
                      : entry->tempo.tempo ? entry->tempo.tempo->beatsPerBar
                                           : 4;
    const std::optional<SongTempo> tapped = tappedTempo(taps, meter, context_.player->duration());
    if (!tapped) {
        if (context_.notice) context_.notice(tr("The taps were too uneven to set a tempo"));
        return;
    }
    record("tap tempo", {entry}, [&](const PlaylistEntry&, EntryTempo& tempo) { tempo.tempo = tapped; });
    if (context_.notice) context_.notice(QString::fromStdString(tempoText(shownTempo(tapped, dance), dance)));
}

} // namespace vantle
