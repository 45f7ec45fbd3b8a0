#include "Source/mainwindow/RealPartAdapters.h"

#include "Source/playback/Player.h"
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

// ---- time slider ----

TimeSliderAdapter::TimeSliderAdapter(TimeSliderHost& host) : slider_(new TimeSlider) {
    slider_->setObjectName("timeSlider");
    slider_->setHost(&host);
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

// ---- transport panel ----

TransportAdapter::TransportAdapter(TransportHost& host, platform::DoNotDisturb* doNotDisturb,
                                   platform::GameControllerCenter* gameControllers)
    : panel_(new TransportViewController) {
    panel_->setParentMainViewController(&host);
    panel_->setDoNotDisturb(doNotDisturb);
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

void TransportAdapter::keyDown() {
    panel_->keyDown();
}

void TransportAdapter::keyUp() {
    panel_->keyUp();
}

void TransportAdapter::originalKey() {
    panel_->originalKey();
}

void TransportAdapter::showKeyShift(int semitones) {
    panel_->showKeyShift(semitones);
}

double TransportAdapter::tempo() const {
    return panel_->rate();
}

void TransportAdapter::setTempo(double rate) {
    panel_->setExactRate(rate);
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

ScreensaverAdapter::ScreensaverAdapter(const ApplicationPlayer& player, const RestTimerState& restTimer,
                                       const platform::Clock& clock, platform::TimerScheduler& scheduler)
    : player_(player), restTimer_(restTimer), screensaver_(new Screensaver) {
    screensaver_->setObjectName("screensaver");
    screensaver_->setFocusPolicy(Qt::NoFocus);
    screensaver_->setDateSource(clock);
    screensaver_->setTimerScheduler(scheduler);
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
    return player_.playing();
}

PlayerMode ScreensaverAdapter::playerMode() const {
    return player_.mode();
}

const RestTimerState* ScreensaverAdapter::restTimer() const {
    return &restTimer_;
}

} // namespace vantle
