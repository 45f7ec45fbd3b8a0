#include "Source/views/Mp4ViewController.h"

#include "Source/views/KeyCharacters.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMargins>
#include <QScreen>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <algorithm>

namespace vantle {

namespace {

std::optional<QRect> mp4PrimaryScreenFrame() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    return screen->availableGeometry();
}

} // namespace

Mp4ViewController::Mp4ViewController(Mp4ViewEnvironment environment, QWidget* parent)
    : VtlViewController(parent), environment_(std::move(environment)), mp4aview_(new QVideoWidget(this)) {
    if (!environment_.clock) environment_.clock = &platform::Clock::system();
    if (!environment_.mainScreenFrame) environment_.mainScreenFrame = mp4PrimaryScreenFrame;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mp4aview_);
    // The keys belong to the controller, not to the picture.
    mp4aview_->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    // Escape is also one of the window's keys (handleKey), where it closes the window as well.
    addCloseKeys(*this, true);
}

Mp4ViewController::~Mp4ViewController() {
    // The player lets go of the view before the view goes.
    if (videoPlayer_) videoPlayer_->setVideoOutput(nullptr);
}

QString Mp4ViewController::keyEquivalent() const {
    return QStringLiteral("3");
}

void Mp4ViewController::setVideoPlayer(std::unique_ptr<VideoPlayer> player) {
    if (videoPlayer_) videoPlayer_->setVideoOutput(nullptr);
    videoPlayer_ = std::move(player);
    if (videoPlayer_) videoPlayer_->setVolume(volume_);
}

void Mp4ViewController::stopVideo() {
    if (!videoPlayer_) return;
    videoPlayer_->pause();
    setVideoPlayer(nullptr);
}

void Mp4ViewController::showEvent(QShowEvent* event) {
    VtlViewController::showEvent(event);
    viewDidAppear();
}

void Mp4ViewController::viewDidAppear() {
    QWidget* w = window();
    if (watchedWindow_ != w) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = w;
        if (w != this) w->installEventFilter(this);
    }
    if (!videoPlayer_) return;
    if (const std::optional<QRect> frame = environment_.mainScreenFrame()) {
        // The whole window, its title bar included, fills the area, as far as the frame is known.
        const QRect outer = w->frameGeometry(), inner = w->geometry();
        w->setGeometry(
            frame->marginsRemoved(QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                           outer.right() - inner.right(), outer.bottom() - inner.bottom())));
        videoPlayer_->setVideoOutput(mp4aview_);
    }
    w->raise();
    w->activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    updateWindowMenuKeyEquivalents();
}

bool Mp4ViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::Close) windowWillClose();
    return VtlViewController::eventFilter(watched, event);
}

void Mp4ViewController::closeEvent(QCloseEvent* event) {
    // Without a window around it the controller is the window.
    if (isWindow()) windowWillClose();
    VtlViewController::closeEvent(event);
}

void Mp4ViewController::windowWillClose() {
    stopVideo();
}

void Mp4ViewController::keyPressEvent(QKeyEvent* event) {
    const QString characters = typedCharacters(*event);
    if (characters.isEmpty()) {
        VtlViewController::keyPressEvent(event);
        return;
    }
    handleKey(characters);
}

void Mp4ViewController::handleKey(const QString& characters) {
    if (characters == QStringLiteral("\x1b")) {
        // Closing stops the video; a window whose video could not be made closes all the same.
        window()->close();
        return;
    }
    if (!videoPlayer_) return;
    VideoPlayer& player = *videoPlayer_;
    if (characters == QStringLiteral(" ")) {
        if (player.rate() > 0.0f)
            player.pause();
        else
            player.play();
    } else if (characters == QStringLiteral("z") || characters == QStringLiteral("Z")) {
        // Zero marks belong to the audio.
    } else if (characters == QStringLiteral("h") || characters == QStringLiteral("H")) {
        player.setRate(0.5f);
    } else if (characters == QStringLiteral("n") || characters == QStringLiteral("N")) {
        player.setRate(1.0f);
    } else if (characters == QStringLiteral("d") || characters == QStringLiteral("D")) {
        player.setRate(2.0f);
    } else if (characters == QStringLiteral("s") || characters == QStringLiteral("S")) {
        player.setRate(1.5f);
    } else if (characters == QString(QChar(downArrowFunctionKey))) {
        platform::consolePrint("downarrow");
    } else if (characters == QString(QChar(upArrowFunctionKey))) {
        platform::consolePrint("uparrow");
    } else if (characters == QString(QChar(leftArrowFunctionKey)) ||
               characters == QString(QChar(rightArrowFunctionKey))) {
        // Taken, so that they are not logged.
    } else {
        platform::consolePrint("Mp4ViewController: " + characters.toStdString());
    }
}

void Mp4ViewController::seekBack(float seconds) {
    if (!videoPlayer_) return;
    const double now = videoPlayer_->currentTime();
    const platform::Date moment = environment_.clock->now();
    const bool adding =
        prevSeekEventTime_ && moment < prevSeekEventTime_->addingTimeInterval(seekPressInterval);
    const double base = adding && prevTargetSeekTime_ ? *prevTargetSeekTime_ : now;
    // The media has no time before its start: quick presses near it stay at 0.
    const double target = std::max(0.0, base - double(seconds));
    prevTargetSeekTime_ = target;
    prevSeekEventTime_ = moment;
    videoPlayer_->seek(target);
}

void Mp4ViewController::changeVolume(float by) {
    volume_ = std::clamp(volume_ + by, 0.0f, 1.0f);
    videoPlayer_->setVolume(volume_);
    if (environment_.setOutputVolume) environment_.setOutputVolume(volume_);
}

void Mp4ViewController::pressed(RemoteControlButton button) {
    if (!videoPlayer_) return;
    switch (button) {
    case RemoteControlButton::dpadUp:
        changeVolume(volumeStep);
        break;
    case RemoteControlButton::dpadDown:
        changeVolume(-volumeStep);
        break;
    case RemoteControlButton::A:
        videoPlayer_->play();
        break;
    case RemoteControlButton::B:
        seekBack(seekBackSeconds);
        break;
    case RemoteControlButton::X:
        videoPlayer_->seek(0.0);
        break;
    case RemoteControlButton::R:
        videoPlayer_->pause();
        break;
    default:
        break;
    }
}

} // namespace vantle
