#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/LeavingNotes.h"

#include "Source/mainwindow/AttachmentStack.h"
#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/mainwindow/InterceptingTextField.h"
#include "Source/mainwindow/KaraokeBreaks.h"
#include "Source/mainwindow/KaraokeEvening.h"
#include "Source/mainwindow/KaraokeView.h"
#include "Source/mainwindow/Logger.h"
#include "Source/mainwindow/MainViewHolder.h"
#include "Source/mainwindow/MainWindowHost.h"
#include "Source/mainwindow/RealPartAdapters.h"
#include "Source/mainwindow/SoundPanel.h"
#include "Source/mainwindow/TempoWiring.h"
#include "Source/mainwindow/WaveformPicture.h"
#include "Source/playback/SoundEffect.h"
#include "Source/session/AppServices.h"
#include "Source/session/Attachment.h"
#include "Source/session/Exporter.h"
#include "Source/session/LengthCounter.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/SessionSafekeeping.h"
#include "Source/views/BeatCounterView.h"
#include "Source/views/Mp4WindowController.h"
#include "Source/views/PdfViewController.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/Scrubber.h"
#include "Source/views/TimeSliderPlayer.h"
#include "Source/views/TransportViewController.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/DoNotDisturb.h"
#include "platform/system/OutputVolume.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace vantle {

namespace {

// The factory's part, or the application's own when the factory is empty or gives none.
template <typename Part, typename Own>
std::unique_ptr<Part> makeMainViewPart(const MainViewParts::Factory<Part>& factory,
                                       MainViewController& controller,
                                       std::function<std::unique_ptr<Own>()> makeOwn) {
    if (factory)
        if (std::unique_ptr<Part> part = factory(controller)) return part;
    return makeOwn();
}

QLabel* makeMainViewTimeText(const char* name, QWidget* parent) {
    auto* label = new QLabel("--:--", parent);
    label->setObjectName(name);
    label->setFont(MainViewController::timeTextBaseFont());
    label->setAlignment(Qt::AlignCenter);
    // The frame comes from the window's size and the font is fitted to it, not the other way round.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setMinimumWidth(60);
    label->setFixedHeight(MainViewController::timeTextMinimumHeight);
    return label;
}

// The player's position as the scrubber reads it. A snippet may outlive the main view; it then
// finds the position at 0 and moves nothing.
class MainViewScrubPosition final : public TimeSliderPlayer {
public:
    explicit MainViewScrubPosition(MainViewController& view) : view_(&view) {}
    double currentTime() const override { return view_ ? view_->player().playbackTime() : 0.0; }
    void setCurrentTime(double seconds) override {
        if (view_) view_->player().setCurrentTime(seconds);
    }

private:
    QPointer<MainViewController> view_;
};

} // namespace

MainViewController::MainViewController(MainViewEnvironment environment, QWidget* parent)
    : VtlViewController(parent), filePanels_(environment.filePanels), alerts_(environment.alerts),
      workspace_(environment.workspace), pasteboard_(environment.pasteboard),
      modifierKeys_(std::move(environment.modifierKeys)),
      defaults_(environment.defaults ? environment.defaults : &platform::UserDefaults::standard()),
      clock_(environment.clock ? environment.clock : &platform::Clock::system()),
      scheduler_(environment.scheduler ? environment.scheduler : &platform::sharedTimerScheduler()),
      doNotDisturb_(environment.doNotDisturb),
      outputVolume_(environment.outputVolume ? environment.outputVolume : &platform::systemOutputVolume()),
      makeScrubSnippetPlayer_(std::move(environment.makeScrubSnippetPlayer)),
      makeVideoPlayer_(std::move(environment.makeVideoPlayer)),
      playNoteSound_(std::move(environment.playNoteSound)) {
    setObjectName("mainView");
    if (!filePanels_) {
        ownPanels_ = std::make_unique<platform::QtFilePanels>();
        filePanels_ = ownPanels_.get();
    }
    if (!alerts_) {
        ownAlerts_ = std::make_unique<platform::QtAlerts>();
        alerts_ = ownAlerts_.get();
    }
    if (!workspace_) {
        ownWorkspace_ = std::make_unique<platform::QtWorkspace>();
        workspace_ = ownWorkspace_.get();
    }
    if (!pasteboard_) {
        ownPasteboard_ = std::make_unique<platform::QtPasteboard>();
        pasteboard_ = ownPasteboard_.get();
    }
    if (!modifierKeys_) modifierKeys_ = [] { return QGuiApplication::queryKeyboardModifiers(); };

    // The owned objects, in the order the window depends on them.
    player_ = environment.makePlayer();
    playerPosition_ = std::make_unique<ApplicationPlayerPosition>(*player_);
    scrubPosition_ = std::make_shared<MainViewScrubPosition>(*this);
    breakTimer_ = std::make_unique<ClockedBreakTimer>(environment.makeBreakTimer(), *clock_, *defaults_);
    exporter_ = environment.makeExporter ? environment.makeExporter() : std::make_unique<Exporter>();
    exporter_->setFinishedHandler([this](const ExportOutcome& outcome) { reportExport(outcome); });
    playlist_ = std::make_shared<Playlist>();

    const MainViewParts& parts = environment.parts;
    log_ = parts.log ? parts.log(*this) : nullptr;
    if (!log_) log_ = std::make_unique<Logger>(Logger::defaultLocation(), *clock_);
    screensaver_ = makeMainViewPart<ScreensaverPart, ScreensaverAdapter>(parts.screensaver, *this, [this] {
        return std::make_unique<ScreensaverAdapter>(*player_, restTimerState(), *clock_, *scheduler_);
    });
    notices_ = makeMainViewPart<NoticesPart, NoticesAdapter>(
        parts.notices, *this, [] { return std::make_unique<NoticesAdapter>(); });
    timeSlider_ = makeMainViewPart<TimeSliderPart, TimeSliderAdapter>(
        parts.timeSlider, *this, [this] { return std::make_unique<TimeSliderAdapter>(*this); });
    transport_ = makeMainViewPart<TransportPart, TransportAdapter>(parts.transport, *this, [this] {
        return std::make_unique<TransportAdapter>(*this, doNotDisturb_, nullptr);
    });
    karaoke_ = makeMainViewPart<KaraokePart, KaraokeView>(
        parts.karaoke, *this, [this] { return std::make_unique<KaraokeView>(*this); });
    waveform_ = makeMainViewPart<WaveformPart, WaveformPicture>(
        parts.waveform, *this, [] { return std::make_unique<WaveformPicture>(); });
    attachments_ = makeMainViewPart<AttachmentsPart, AttachmentStack>(
        parts.attachments, *this, [this] { return std::make_unique<AttachmentStack>(*this); });
    soundPanel_ = makeMainViewPart<MainViewPart, SoundPanel>(
        parts.soundPanel, *this, [this] { return std::make_unique<SoundPanel>(*this); });

    buildLayout();
    viewDidLoad();
}

MainViewController::~MainViewController() {
    if (keyMonitor_ && qApp) qApp->removeEventFilter(keyMonitor_.get());
    keyMonitor_.reset();
    // The video windows have no parent; they go with the main window.
    for (const QPointer<Mp4WindowController>& window : videoWindows_)
        delete window.data();
    for (const QPointer<PdfWindowController>& window : pdfWindows_)
        delete window.data();
    ticker_.cancel();
    // What waits is written while the session and the player it is taken from are still here.
    safekeeping_.reset();
    lengthCounter_.reset();
    waveformResize_.cancel();
    if (tableView_) tableView_->setTableDelegate(nullptr);
    player_->setDelegate(nullptr);
    timeSlider_->setPlayer(nullptr);
    if (AppServices::mainWindow() == this) AppServices::setMainWindow(nullptr);
    if (MainViewHolder* holder = MainViewHolder::shared(); holder && holder->mainViewController() == this)
        holder->setMainViewController(nullptr);
}

void MainViewController::buildLayout() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 12);
    column->setSpacing(6);

    if (QWidget* row = attachments_->widget()) column->addWidget(row);

    entryName_ = new QLabel(this);
    entryName_->setObjectName("entryName");
    QFont nameFont = entryName_->font();
    nameFont.setPointSize(nameFont.pointSize() + 6);
    nameFont.setBold(true);
    entryName_->setFont(nameFont);
    entryName_->setAlignment(Qt::AlignCenter);
    entryName_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(entryName_);

    noteTextField_ = new InterceptingTextField(this);
    noteTextField_->setObjectName("noteTextField");
    noteTextField_->setFrame(false);
    noteTextField_->setAlignment(Qt::AlignCenter);
    noteTextField_->setFocusPolicy(Qt::ClickFocus);
    column->addWidget(noteTextField_);
    connect(noteTextField_, &QLineEdit::editingFinished, this, [this] { noteFieldDidEndEditing(); });

    auto* times = new QHBoxLayout;
    timeSinceZeroText_ = makeMainViewTimeText("timeSinceZeroText", this);
    timeRemainingText_ = makeMainViewTimeText("timeRemainingText", this);
    auto* middle = new QVBoxLayout;
    waveformView_ = new QLabel(this);
    waveformView_->setObjectName("waveformView");
    waveformView_->setMinimumHeight(24);
    // The picture is scaled to the view: its own width must not hold the time texts' share of the
    // row when the window narrows.
    waveformView_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    waveformView_->setScaledContents(true);
    middle->addWidget(waveformView_);
    if (QWidget* slider = timeSlider_->widget()) middle->addWidget(slider);
    times->addWidget(timeSinceZeroText_, 1);
    times->addLayout(middle, 4);
    times->addWidget(timeRemainingText_, 1);
    column->addLayout(times);

    // The transport panel alone is about as wide as a small screen: the sound panel goes below it.
    auto* controls = new QHBoxLayout;
    if (QWidget* panel = transport_->widget()) controls->addWidget(panel);
    controls->addStretch();
    column->addLayout(controls);
    auto* sound = new QHBoxLayout;
    sound->addStretch();
    if (QWidget* panel = soundPanel_->widget()) sound->addWidget(panel);
    column->addLayout(sound);
    if (QWidget* notice = notices_->widget()) column->addWidget(notice);

    filesView_ = new QWidget(this);
    filesView_->setObjectName("filesView");
    auto* files = new QVBoxLayout(filesView_);
    files->setContentsMargins(0, 0, 0, 0);
    // In the karaoke modes the panel sits beside the playlist, which stays in reach.
    filesSplitter_ = new QSplitter(Qt::Horizontal, filesView_);
    filesSplitter_->setObjectName("filesSplitter");
    filesSplitter_->setChildrenCollapsible(false);
    tableView_ = new PlaylistTableView(filesSplitter_);
    tableView_->setObjectName("tableView");
    filesSplitter_->addWidget(tableView_);
    if (QWidget* lyrics = karaoke_->widget()) {
        filesSplitter_->addWidget(lyrics);
        filesSplitter_->setStretchFactor(0, 2);
        filesSplitter_->setStretchFactor(1, 3);
    }
    files->addWidget(filesSplitter_);
    // Under the list while files are being added on a worker.
    leavingNotes_ = new LeavingNotes(this);
    additionProgress_ = new QProgressBar(filesView_);
    additionProgress_->setObjectName("additionProgress");
    additionProgress_->setFormat(tr("Adding files: %v of %m"));
    additionProgress_->hide();
    files->addWidget(additionProgress_);
    buildEntryMenu();
    buildTagAndBreakMenus();
    buildAttachmentMenu();
    tableView_->setEntryContextMenu(entryMenu_);
    column->addWidget(filesView_, 1);
    tempo_ = std::make_unique<TempoWiring>(TempoWiring::Context{
        this, tableView_, qobject_cast<TransportViewController*>(transport_->widget()), entryMenu_, player_.get(),
        [this] { return playlist_; },
        [this](const QString& text) { notices_->showText(text, 1.5, std::nullopt); }, defaults_, {}, nullptr});
    sound->insertWidget(0, tempo_->counterView());

    if (QWidget* clock = screensaver_->widget()) clock->setParent(this);
}

void MainViewController::viewDidLoad() {
    // The sound panel's values start at 0 and are applied at once.
    trebleChanged(0.0);
    panChanged(0.0);
    QPointer<MainViewController> self(this);
    ticker_ = scheduler_->scheduleRepeating(0.1, [self] {
        if (self) self->updateElapsedTime();
    });
    safekeeping_ = std::make_unique<SessionSafekeeping>(
        SessionSafekeeping::Sources{[this] { return AppState::capture(sessionURL_, *playlist_, *player_); },
                                    [this] { return SessionRecovery::capture(*playlist_, sessionURL_); },
                                    [this] { return player_->isPlaying(); }},
        *scheduler_);
    timeSlider_->setPlayer(playerPosition_.get());
    noteTextField_->setMainViewController(this);
    player_->setDelegate(this);
    log_->log("-------------------------");
    if (MainViewHolder* holder = MainViewHolder::shared()) holder->setMainViewController(this);
    AppServices::setMainWindow(this);
    tableView_->setClock(*clock_);
    tableView_->setTableDelegate(this);
    lengthCounter_ = std::make_unique<LengthCounter>(
        LengthCounter::Sources{[this]() -> const Playlist::EntryList& { return playlist_->allEntries; },
                               [this] { return player_->entry(); },
                               [this] { return player_->countingLength(); }},
        [this](const std::shared_ptr<PlaylistEntry>& entry) { entryDurationChanged(entry); },
        platform::globalQueue());
    // Every change of the list reloads the table.
    connect(&tableView_->playlistModel(), &QAbstractItemModel::modelReset, this,
            [this] { lengthCounter_->listChanged(); });
    tableView_->setPlaylist(playlist_);
    refreshDisplay();
    installKeyMonitor();
    screensaver_->resetIdle();
    if (QWidget* lyrics = karaoke_->widget()) lyrics->hide();
    for (QMenu* menu : {tagMenu_, breakTimeThisSubMenu_, breakTimeAllSubMenu_})
        makePaletteMenu(*menu);
    layoutTimeTexts(true);
}

void MainViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateWindowTitle();
    tableView_->setFocus();
}

void MainViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    handleWindowResize();
    // The window system says nothing of a resize's end: once the size has held still for a moment
    // the resize counts as ended, so the picture is remade once, not at every step of the drag.
    QPointer<MainViewController> self(this);
    waveformResize_ = scheduler_->scheduleOnce(endResizeQuietSeconds, [self] {
        if (self) self->windowEndResize();
    });
}

QWidget* MainViewController::karaokeView() const {
    return karaoke_->widget();
}

MainWindowHost* MainViewController::mainWindowController() const {
    return dynamic_cast<MainWindowHost*>(window());
}

BreakTimer& MainViewController::breakTimer() const {
    return *breakTimer_;
}

const RestTimerState& MainViewController::restTimerState() const {
    return *breakTimer_;
}

void MainViewController::setVolume(float volume) {
    volume_ = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
    // One gain path: the device's level where the system has one, else the player's; both would
    // square the volume.
    const bool onDevice = outputVolume_ && outputVolume_->setOutputVolume(volume_, true);
    player_->setVolume(onDevice ? 1.0f : volume_);
    // Below 0.05 the device stays muted.
    if (onDevice && volume_ >= 0.05f) outputVolume_->setOutputMuted(false);
    transport_->setVolumeSliderValue(volume_);
}

void MainViewController::resetScreensaverIdle() {
    if (doNotDisturb_ && !player_->playing()) doNotDisturb_->restore();
    screensaver_->resetIdle();
}

// ---- TransportHost ----

std::shared_ptr<PlaylistEntry> MainViewController::assignedEntry() const {
    return playlist_->assignedEntry;
}

void MainViewController::loadTimeSliderEntry(const std::shared_ptr<PlaylistEntry>& entry) {
    timeSlider_->loadEntry(entry);
}

void MainViewController::showTextNotice(const QString& text, double seconds, std::optional<QColor> color) {
    notices_->showText(text, seconds, color);
}

void MainViewController::undoStepFailed(const std::string& message) {
    notices_->showText(QString::fromStdString(message), 6.0, std::nullopt);
}

void MainViewController::showImageNotice(const QIcon& image) {
    notices_->showImage(image);
}

RemoteControlDelegate* MainViewController::keyVideoWindow() const {
    return activeVideoWindow();
}

// ---- side documents ----

void MainViewController::showMp4Window(const Attachment& attachment) {
    Mp4WindowEnvironment environment;
    environment.view.clock = clock_;
    environment.makePlayer = makeVideoPlayer_;
    auto* window = new Mp4WindowController(std::move(environment));
    window->loadVideo(attachment.url);
    // Only the latest one is the main view's; an earlier one stays open until it is closed.
    mp4Window_ = window;
    std::erase_if(videoWindows_, [](const QPointer<Mp4WindowController>& open) { return !open; });
    videoWindows_.emplace_back(window);
    window->show();
}

Mp4ViewController* MainViewController::mp4ViewController() const {
    return mp4Window_ ? &mp4Window_->mp4ViewController() : nullptr;
}

Mp4ViewController* MainViewController::activeVideoWindow() const {
    if (!mp4Window_ || !mp4Window_->isVisible() || QApplication::activeWindow() != mp4Window_.data())
        return nullptr;
    return &mp4Window_->mp4ViewController();
}

void MainViewController::closeSideWindows() {
    if (mp4Window_) mp4Window_->close();
    if (pdfWindow_) pdfWindow_->close();
}

bool MainViewController::isPlaying() const {
    return player_->playing();
}

// ---- MainWindowServices ----

RowIndexes MainViewController::selectedRows() const {
    return tableView_->selectedRows();
}

void MainViewController::selectRows(const RowIndexes& rows) {
    tableView_->selectRows(rows);
}

void MainViewController::reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry) {
    tableView_->reloadEntryRow(entry);
}

void MainViewController::reloadTableSelecting(const RowIndexes& rows) {
    tableView_->reloadTableSelecting(rows);
}

void MainViewController::rebuildAttachmentStack(const std::shared_ptr<PlaylistEntry>& entry) {
    attachments_->rebuild(entry);
}

} // namespace vantle
