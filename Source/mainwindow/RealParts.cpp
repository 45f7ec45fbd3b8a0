#include "Source/mainwindow/RealParts.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/views/GameControllerSet.h"
#include "Source/views/ImageNotifierView.h"
#include "Source/views/TextNotifierView.h"
#include "Source/views/TimeSliderPlayer.h"
#include "Source/views/TransportViewController.h"

#include <QIcon>

namespace vantle {

namespace {

// Height of the band in which the notices appear.
constexpr int realPartsNoticeHeight = 72;

// The time slider's view of the main view's position.
class RealPartsSliderPosition final : public TimeSliderPlayer {
public:
    explicit RealPartsSliderPosition(Player& player) : player_(player) {}
    double currentTime() const override { return player_.currentTime(); }
    void setCurrentTime(double seconds) override { player_.setCurrentTime(seconds); }

private:
    Player& player_;
};

// A part's widget that never made it into the main view's widget tree is the part's to delete.
void deleteUnplacedRealPartWidget(QWidget* widget) {
    if (widget && !widget->parent()) delete widget;
}

} // namespace

MainViewParts realMainViewParts(const RealPartsServices& services) {
    MainViewParts parts;
    parts.timeSlider = [](MainViewController& controller) {
        return std::make_unique<TimeSliderAdapter>(controller);
    };
    parts.transport = [gameControllers = services.gameControllers](MainViewController& controller) {
        return std::make_unique<TransportAdapter>(controller, gameControllers);
    };
    parts.notices = [](MainViewController&) { return std::make_unique<NoticesAdapter>(); };
    parts.screensaver = [](MainViewController& controller) {
        return std::make_unique<ScreensaverAdapter>(controller);
    };
    return parts;
}

// ---- time slider ----

TimeSliderAdapter::TimeSliderAdapter(MainViewController& controller)
    : controller_(controller), slider_(new TimeSlider) {
    slider_->setObjectName("timeSlider");
    slider_->setHost(this);
}

TimeSliderAdapter::~TimeSliderAdapter() {
    if (!slider_) return;
    slider_->setHost(nullptr);
    slider_->setPlayer(nullptr);
    deleteUnplacedRealPartWidget(slider_);
}

void TimeSliderAdapter::setPlayer(Player* player) {
    slider_->setPlayer(player ? std::make_shared<RealPartsSliderPosition>(*player) : nullptr);
}

void TimeSliderAdapter::loadEntry(const std::shared_ptr<PlaylistEntry>& entry) {
    slider_->loadEntry(entry);
}

void TimeSliderAdapter::setValue(double seconds) {
    slider_->setDoubleValue(seconds);
}

void TimeSliderAdapter::refreshDisplay() {
    controller_.refreshDisplay();
}

void TimeSliderAdapter::setShowingRemaining(bool showingRemaining) {
    controller_.setShowingRemaining(showingRemaining);
}

std::shared_ptr<Scrubber> TimeSliderAdapter::scrubber() const {
    return controller_.scrubber();
}

// ---- transport panel ----

TransportAdapter::TransportAdapter(MainViewController& controller,
                                   platform::GameControllerCenter* gameControllers)
    : panel_(new TransportViewController) {
    panel_->setParentMainViewController(&controller);
    panel_->setDoNotDisturb(controller.doNotDisturb());
    if (gameControllers) {
        panel_->setRemoteMaker([gameControllers](RemoteControlDelegate& delegate) -> std::shared_ptr<void> {
            return std::make_shared<GameControllerSet>(&delegate, *gameControllers);
        });
    }
}

TransportAdapter::~TransportAdapter() {
    if (!panel_) return;
    // The main view goes first; nothing may reach it through the panel any more.
    panel_->setParentMainViewController(nullptr);
    deleteUnplacedRealPartWidget(panel_);
}

QWidget* TransportAdapter::widget() {
    return panel_;
}

TransportViewController* TransportAdapter::panel() const {
    return panel_;
}

void TransportAdapter::setUpControls() {
    panel_->setUpControls();
}

void TransportAdapter::playPressed() {
    panel_->playPressed();
}

void TransportAdapter::pausePressed() {
    panel_->pausePressed();
}

void TransportAdapter::markZeroPressed() {
    panel_->markZeroPressed();
}

void TransportAdapter::prevSegmentPressed() {
    panel_->prevSegmentPressed();
}

void TransportAdapter::nextSegmentPressed() {
    panel_->nextSegmentPressed();
}

void TransportAdapter::resetSpeedControls() {
    panel_->resetSpeedControls();
}

void TransportAdapter::setVolumeSliderValue(float volume) {
    panel_->setVolumeSliderValue(volume);
}

// ---- notices ----

NoticesAdapter::NoticesAdapter()
    : area_(new QWidget), text_(new TextNotifierView(area_)), image_(new ImageNotifierView(area_)) {
    area_->setObjectName("noticeArea");
    area_->setFixedHeight(realPartsNoticeHeight);
    area_->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Templates only: what is seen are their copies.
    text_->setObjectName("textNotifierView");
    image_->setObjectName("imageNotifierView");
    text_->hide();
    image_->hide();
}

NoticesAdapter::~NoticesAdapter() {
    deleteUnplacedRealPartWidget(area_);
}

void NoticesAdapter::showText(const QString& text, double seconds, std::optional<QColor> color) {
    if (area_) text_->show(text, seconds, color);
}

void NoticesAdapter::showImage(const QIcon& image) {
    if (area_) image_->show(image);
}

// ---- screensaver ----

ScreensaverAdapter::ScreensaverAdapter(MainViewController& controller)
    : controller_(controller), screensaver_(new Screensaver) {
    screensaver_->setObjectName("screensaver");
    screensaver_->setFocusPolicy(Qt::NoFocus);
    screensaver_->setDateSource(controller.clock());
    screensaver_->setTimerScheduler(controller.scheduler());
    screensaver_->setHost(this);
    screensaver_->hide();
    screensaver_->installTrackingArea();
}

ScreensaverAdapter::~ScreensaverAdapter() {
    if (!screensaver_) return;
    screensaver_->setHost(nullptr);
    screensaver_->setRestTimer(nullptr);
    deleteUnplacedRealPartWidget(screensaver_);
}

void ScreensaverAdapter::resetIdle() {
    screensaver_->resetIdle();
}

void ScreensaverAdapter::show() {
    screensaver_->show();
}

bool ScreensaverAdapter::isPlaying() const {
    return controller_.player().playing();
}

PlayerMode ScreensaverAdapter::playerMode() const {
    return controller_.player().mode();
}

const RestTimerState* ScreensaverAdapter::restTimer() const {
    return &controller_.restTimerState();
}

} // namespace vantle
