#include "tests/support/MainViewStandIns.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/playback/BreakTimer.h"
#include "Source/session/Attachment.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/Transcription.h"
#include "Source/views/SymbolImages.h"
#include "Source/views/SystemColors.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace testsupport {

namespace {
// The slider counts tenths of a second.
constexpr double standInSliderScale = 10.0;
} // namespace

StandInTimeSlider::StandInTimeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setObjectName("timeSlider");
    setRange(0, 0);
    setTracking(true);
    connect(this, &QSlider::sliderMoved, this, [this](int value) {
        if (player_) player_->setCurrentTime(value / standInSliderScale);
    });
}

void StandInTimeSlider::loadEntry(const std::shared_ptr<PlaylistEntry>& entry) {
    const double duration = entry ? entry->duration().value_or(0.0) : 0.0;
    setRange(0, static_cast<int>(std::lround(duration * standInSliderScale)));
    QSlider::setValue(0);
}

void StandInTimeSlider::setValue(double seconds) {
    if (isSliderDown() || !std::isfinite(seconds)) return;
    QSlider::setValue(static_cast<int>(std::lround(seconds * standInSliderScale)));
}

StandInTransport::StandInTransport(MainViewController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setObjectName("transportPanel");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* play = new QPushButton(tr("Play"), this);
    auto* pause = new QPushButton(tr("Pause"), this);
    play->setObjectName("playButton");
    pause->setObjectName("pauseButton");
    play->setFocusPolicy(Qt::NoFocus);
    pause->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(play);
    layout->addWidget(pause);
    layout->addStretch();
    connect(play, &QPushButton::clicked, this, [this] { playPressed(); });
    connect(pause, &QPushButton::clicked, this, [this] { pausePressed(); });
}

void StandInTransport::playPressed() {
    ApplicationPlayer& player = controller_.player();
    controller_.notices().showImage(SymbolImages::icon("play.fill", textColor()));
    controller_.breakTimer().cancel();
    player.skipToEndIfWithin(10.0);
    if (player.suspended())
        player.setPlaying(true);
    else
        player.play();
}

void StandInTransport::pausePressed() {
    ApplicationPlayer& player = controller_.player();
    if (player.playing()) {
        controller_.breakTimer().arm(std::nullopt);
        if (!player.suspended()) player.pause();
        player.setPlaying(false);
    }
    // Step back a second, so that playing again repeats what was cut off, but never past the last
    // zero mark.
    if (std::shared_ptr<PlaylistEntry> entry = player.entry()) {
        const double time = player.playbackTime();
        std::optional<double> lastZero;
        for (double zero : entry->zeros) {
            if (zero > time) break;
            lastZero = zero;
        }
        const double distance = lastZero ? time - *lastZero : time;
        if (distance > 1.0) player.setCurrentTime(player.playbackTime() - 1.0);
    }
}

void StandInTransport::keyDown() {
    controller_.player().setKeyShift(controller_.player().keyShift() - 1);
}

void StandInTransport::keyUp() {
    controller_.player().setKeyShift(controller_.player().keyShift() + 1);
}

void StandInTransport::originalKey() {
    controller_.player().setKeyShift(0);
}

void StandInTransport::markZeroPressed() {
    controller_.notices().showImage(SymbolImages::icon("z.square", textColor()));
    std::shared_ptr<PlaylistEntry> entry = controller_.playlist()->assignedEntry;
    if (!entry) return;
    entry->addZero(controller_.player().playbackTime());
    controller_.loadTimeSliderEntry(entry);
    controller_.refreshDisplay();
    controller_.saveAppState();
}

void StandInTransport::prevSegmentPressed() {
    ApplicationPlayer& player = controller_.player();
    std::shared_ptr<PlaylistEntry> entry = controller_.playlist()->assignedEntry;
    if (!entry) return;
    std::shared_ptr<TextNote> cue = entry->transcription().previousSegment(player.playbackTime());
    player.setCurrentTime(cue ? cue->time() : 0.0);
}

void StandInTransport::nextSegmentPressed() {
    ApplicationPlayer& player = controller_.player();
    std::shared_ptr<PlaylistEntry> entry = controller_.playlist()->assignedEntry;
    if (!entry) return;
    // Looking a little ahead, so that a cue just reached is not found again.
    std::shared_ptr<TextNote> cue = entry->transcription().nextSegment(player.playbackTime() + 0.3);
    player.setCurrentTime(cue ? cue->time() : 0.0);
}

StandInNotices::StandInNotices(QWidget* parent) : QLabel(parent) {
    setObjectName("notices");
    setAlignment(Qt::AlignCenter);
    hide();
}

void StandInNotices::showText(const QString& text, double seconds, std::optional<QColor> color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color.value_or(textColor()));
    setPalette(colours);
    setText(text);
    hideAfter(seconds);
}

void StandInNotices::showImage(const QIcon& image) {
    setPixmap(image.pixmap(QSize(32, 32)));
    hideAfter(1.0);
}

void StandInNotices::hideAfter(double seconds) {
    show();
    const int shown = ++shown_;
    QTimer::singleShot(static_cast<int>(std::max(0.0, seconds) * 1000), this, [this, shown] {
        if (shown == shown_) hide();
    });
}

StandInSoundPanel::StandInSoundPanel(MainViewController& controller, QWidget* parent) : QWidget(parent) {
    setObjectName("soundPanel");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto addSlider = [&](const QString& title, const char* name, void (MainViewController::*apply)(double)) {
        layout->addWidget(new QLabel(title, this));
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(name);
        // Half steps: the slider counts them.
        slider->setRange(-20, 20);
        slider->setValue(0);
        slider->setFixedWidth(200);
        slider->setFocusPolicy(Qt::NoFocus);
        connect(slider, &QSlider::valueChanged, this,
                [&controller, apply](int halfSteps) { (controller.*apply)(halfSteps / 2.0); });
        layout->addWidget(slider);
    };
    addSlider(tr("Treble"), "trebleSlider", &MainViewController::trebleChanged);
    addSlider(tr("Balance"), "balanceSlider", &MainViewController::panChanged);
    layout->addStretch();
}

void useMainViewStandIns(MainViewParts& parts) {
    if (!parts.timeSlider)
        parts.timeSlider = [](MainViewController&) { return std::make_unique<StandInTimeSlider>(); };
    if (!parts.transport)
        parts.transport = [](MainViewController& controller) {
            return std::make_unique<StandInTransport>(controller);
        };
    if (!parts.notices)
        parts.notices = [](MainViewController&) { return std::make_unique<StandInNotices>(); };
    if (!parts.screensaver)
        parts.screensaver = [](MainViewController&) { return std::make_unique<StandInScreensaver>(); };
    if (!parts.soundPanel)
        parts.soundPanel = [](MainViewController& controller) {
            return std::make_unique<StandInSoundPanel>(controller);
        };
}

} // namespace testsupport
