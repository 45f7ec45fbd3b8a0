#include "Source/views/TransportViewController.h"

#include "Source/karaoke/Lyrics.h"

#include "Source/playback/BreakTimer.h"
#include "Source/playback/Player.h"
#include "Source/session/FormatTime.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/Transcription.h"
#include "Source/views/RemotePictures.h"
#include "Source/views/SymbolImages.h"
#include "Source/views/SystemColors.h"
#include "Source/views/TransportHost.h"
#include "platform/system/DoNotDisturb.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <optional>

namespace vantle {

namespace {

constexpr int transportIconSize = 18;
constexpr int transportShoulderIconSize = 23;
constexpr QSize transportRemoteImageSize(40, 25);
// The symbol of the left-shoulder button (the remote's L button sets a zero mark).
constexpr std::string_view transportShoulderSymbol = "z.square";

// The step of a volume on the twentieths grid; the main view keeps its volume within 0 … 1.
int transportVolumeStep(float volume) {
    if (!std::isfinite(volume)) return 0;
    const long step = std::lround(static_cast<double>(volume) * TransportViewController::volumeSteps);
    return static_cast<int>(std::clamp(step, 0L, static_cast<long>(TransportViewController::volumeSteps)));
}

float transportVolumeForStep(int step) {
    return static_cast<float>(step) / static_cast<float>(TransportViewController::volumeSteps);
}

} // namespace

TransportViewController::TransportViewController(QWidget* parent) : QWidget(parent) {
    setObjectName("transportPanel");
    buildControls();
}

TransportViewController::~TransportViewController() {
    // The remote may report to its delegate until it is gone.
    gameControllerSet_.reset();
}

void TransportViewController::buildControls() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);

    auto addButton = [&](const char* action, const QString& text, std::string_view symbol, const QString& tip,
                         void (TransportViewController::*slot)()) {
        auto* button = new QToolButton(this);
        button->setObjectName(action);
        button->setToolTip(tip);
        // Keys must stay with the playlist table, where the main view handles them.
        button->setFocusPolicy(Qt::NoFocus);
        if (symbol.empty()) {
            button->setText(text);
        } else {
            button->setIcon(SymbolImages::icon(symbol, textColor()));
            button->setIconSize(QSize(transportIconSize, transportIconSize));
        }
        connect(button, &QToolButton::clicked, this, [this, slot] { (this->*slot)(); });
        layout->addWidget(button);
        return button;
    };

    addButton("back3Pressed", QStringLiteral("−3"), {}, tr("Back 3 seconds"),
              &TransportViewController::back3Pressed);
    addButton("back1Pressed", QStringLiteral("−1"), {}, tr("Back 1 second"),
              &TransportViewController::back1Pressed);
    addButton("pausePressed", {}, "pause.fill", tr("Pause"), &TransportViewController::pausePressed);
    addButton("playPressed", {}, "play.fill", tr("Play"), &TransportViewController::playPressed);
    addButton("fwd1Pressed", QStringLiteral("+1"), {}, tr("Forward 1 second"),
              &TransportViewController::fwd1Pressed);
    layout->addSpacing(8);
    addButton("prevZeroPressed", {}, "backward.end.fill", tr("Previous zero mark"),
              &TransportViewController::prevZeroPressed);
    leftShoulderButton_ = addButton("markZeroPressed", {}, transportShoulderSymbol, tr("Set a zero mark"),
                                    &TransportViewController::markZeroPressed);
    addButton("nextZeroPressed", {}, "forward.end.fill", tr("Next zero mark"),
              &TransportViewController::nextZeroPressed);
    layout->addSpacing(8);
    addButton("prevSegmentPressed", QStringLiteral("‹ Line"), {}, tr("Previous transcription line"),
              &TransportViewController::prevSegmentPressed);
    addButton("nextSegmentPressed", QStringLiteral("Line ›"), {}, tr("Next transcription line"),
              &TransportViewController::nextSegmentPressed);
    layout->addSpacing(8);

    addButton("volumeDownPressed", QStringLiteral("Vol −"), {}, tr("Softer"),
              &TransportViewController::volumeDownPressed);
    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setObjectName("volumeSlider");
    volumeSlider_->setFocusPolicy(Qt::NoFocus);
    volumeSlider_->setRange(0, volumeSteps);
    volumeSlider_->setTracking(true);
    volumeSlider_->setMinimumWidth(80);
    connect(volumeSlider_, &QSlider::valueChanged, this, [this] { volumeSliderChanged(); });
    layout->addWidget(volumeSlider_);
    addButton("volumeUpPressed", QStringLiteral("Vol +"), {}, tr("Louder"),
              &TransportViewController::volumeUpPressed);
    layout->addSpacing(8);

    addButton("slowerButtonPressed", tr("Slower"), {}, tr("Slower (Control or Option: normal speed)"),
              &TransportViewController::slowerButtonPressed);
    rateSlider_ = new QSlider(Qt::Horizontal, this);
    rateSlider_->setObjectName("rateSlider");
    rateSlider_->setFocusPolicy(Qt::NoFocus);
    rateSlider_->setRange(minimumRateStep, maximumRateStep);
    rateSlider_->setValue(normalRateStep);
    rateSlider_->setMinimumWidth(80);
    connect(rateSlider_, &QSlider::valueChanged, this, [this] { rateSliderChanged(); });
    layout->addWidget(rateSlider_);
    addButton("fasterButtonPressed", tr("Faster"), {}, tr("Faster (Control or Option: normal speed)"),
              &TransportViewController::fasterButtonPressed);
    rateText_ = new QLabel(QString::number(normalRateStep), this);
    rateText_->setObjectName("rateText");
    rateText_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("888")));
    layout->addWidget(rateText_);
    doubleSpeed_ = new QCheckBox(QStringLiteral("2X"), this);
    doubleSpeed_->setObjectName("doubleSpeed");
    doubleSpeed_->setFocusPolicy(Qt::NoFocus);
    // The switch is read by the rate action; flipping it applies the rate.
    connect(doubleSpeed_, &QCheckBox::clicked, this, [this] { rateSliderChanged(); });
    layout->addWidget(doubleSpeed_);
    layout->addSpacing(8);

    addButton("keyDownButtonPressed", tr("Key −"), {},
              tr("A semitone lower (Control or Option: the song's own key)"),
              &TransportViewController::keyDownButtonPressed);
    keyText_ = new QLabel(keyShiftText(0), this);
    keyText_->setObjectName("keyText");
    keyText_->setMinimumWidth(fontMetrics().horizontalAdvance(keyShiftText(-6)));
    keyText_->setAlignment(Qt::AlignCenter);
    layout->addWidget(keyText_);
    addButton("keyUpButtonPressed", tr("Key +"), {},
              tr("A semitone higher (Control or Option: the song's own key)"),
              &TransportViewController::keyUpButtonPressed);
    layout->addSpacing(8);

    remoteImage_ = new QLabel(this);
    remoteImage_->setObjectName("remoteImage");
    remoteImage_->setToolTip(tr("Game-controller remote"));
    layout->addWidget(remoteImage_);
    showRemotePicture("remoteImage");
    layout->addStretch();
}

QAbstractButton* TransportViewController::button(std::string_view action) const {
    const QString name = QString::fromUtf8(action.data(), static_cast<qsizetype>(action.size()));
    return findChild<QAbstractButton*>(name, Qt::FindDirectChildrenOnly);
}

// ---- set-up ----

void TransportViewController::setUpControls() {
    if (host_) setVolumeSliderValue(host_->volume());
    if (makeRemote_) gameControllerSet_ = makeRemote_(*this);
    if (!leftShoulderButton_->icon().isNull()) {
        leftShoulderButton_->setIcon(
            SymbolImages::icon(transportShoulderSymbol, textColor(), SymbolWeight::bold));
        leftShoulderButton_->setIconSize(QSize(transportShoulderIconSize, transportShoulderIconSize));
    }
}

void TransportViewController::resetSpeedControls() {
    doubleSpeed_->setCheckState(Qt::Unchecked);
    setRateSliderValue(normalRateStep);
}

void TransportViewController::setExactRate(double rate) {
    if (!host_) return;
    rate_ = std::clamp(rate, minimumRateStep / rateDivisor, maximumRateStep / rateDivisor);
    doubleSpeed_->setCheckState(Qt::Unchecked);
    const int step = static_cast<int>(std::lround(rate_ * rateDivisor));
    setRateSliderValue(step);
    rateText_->setText(QString::number(step));
    player().setRate(static_cast<float>(rate_));
}

void TransportViewController::addBesideSpeed(QWidget* widget) {
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->insertWidget(row->indexOf(doubleSpeed_) + 1, widget);
}

void TransportViewController::setVolumeSliderValue(float volume) {
    const QSignalBlocker quiet(volumeSlider_);
    volumeSlider_->setValue(transportVolumeStep(volume));
}

void TransportViewController::setRateSliderValue(int step) {
    const QSignalBlocker quiet(rateSlider_);
    rateSlider_->setValue(step);
}

// ---- helpers ----

ApplicationPlayer& TransportViewController::player() const {
    return host_->player();
}

double TransportViewController::position() const {
    return player().playbackTime();
}

void TransportViewController::seek(double seconds) {
    player().setCurrentTime(seconds);
}

// Right after an automatic advance, steps back and zero jumps work on the entry that just ended:
// it is loaded again with the position at its end.
void TransportViewController::returnToFinishedEntry() {
    std::shared_ptr<PlaylistEntry> finished = host_->prevEntry();
    if (!finished) return;
    host_->loadEntry(finished);
    seek(player().duration());
    host_->clearPrevEntry();
}

void TransportViewController::showTimeNotice() {
    host_->showTextNotice(QString::fromStdString(formatTime(position(), 0, 2)), timeNotifierDwell,
                          systemGreenColor());
}

void TransportViewController::showSymbolNotice(std::string_view name) {
    if (SymbolImages::contains(name)) host_->showImageNotice(SymbolImages::icon(name, textColor()));
}

void TransportViewController::showRemotePicture(std::string_view name) {
    const QIcon picture = remotePicture(name);
    if (picture.isNull()) return;
    remoteImage_->setPixmap(picture.pixmap(transportRemoteImageSize));
}

// ---- position ----

void TransportViewController::back1Pressed() {
    if (!host_) return;
    returnToFinishedEntry();
    seek(position() - stepBackShort);
}

void TransportViewController::back3Pressed() {
    if (!host_) return;
    returnToFinishedEntry();
    seek(position() - stepBackLong);
}

void TransportViewController::fwd1Pressed() {
    if (!host_) return;
    seek(position() + stepForward);
}

void TransportViewController::pausePressed() {
    if (!host_) return;
    ApplicationPlayer& thePlayer = player();
    if (thePlayer.playing()) {
        host_->breakTimer().arm(std::nullopt);
        if (!thePlayer.suspended()) thePlayer.pause();
        thePlayer.setPlaying(false);
    }
    // Playing again repeats the second that the pause cut off, unless a zero mark lies within
    // that second: the dance then starts on its mark.
    if (std::shared_ptr<PlaylistEntry> entry = thePlayer.entry()) {
        const double time = position();
        std::optional<double> lastZero;
        for (double zero : entry->zeros) {
            if (zero > time) break;
            lastZero = zero;
        }
        const double distance = lastZero ? time - *lastZero : time;
        if (distance > pauseRewind) seek(position() - pauseRewind);
    }
    showTimeNotice();
}

void TransportViewController::playPressed() {
    if (!host_) return;
    ApplicationPlayer& thePlayer = player();
    showSymbolNotice("play.fill");
    host_->breakTimer().cancel();
    // The current entry's file did not open when it was made current: it may be back by now.
    if (std::shared_ptr<PlaylistEntry> assigned = host_->assignedEntry(); assigned && !thePlayer.entry())
        host_->loadEntry(assigned);
    thePlayer.skipToEndIfWithin(skipToEndWithin);
    // During a seek the player only needs to know the intent: it plays when the seek ends.
    if (thePlayer.suspended())
        thePlayer.setPlaying(true);
    else
        thePlayer.play();
    // Only music that plays silences the notifications; a play that ends (or a seek that finds nothing
    // to play) puts them back.
    if (doNotDisturb_ && thePlayer.playing()) doNotDisturb_->enable();
}

// ---- zero marks ----

void TransportViewController::prevZeroPressed() {
    if (!host_) return;
    returnToFinishedEntry();
    std::shared_ptr<PlaylistEntry> entry = host_->assignedEntry();
    if (!entry) {
        showSymbolNotice("forward.end.fill");
        return;
    }
    const double threshold = position() - zeroLookBehind;
    double target = 0.0;
    for (double zero : entry->zeros) {
        if (zero > threshold) break;
        target = zero;
    }
    seek(target);
    showTimeNotice();
}

void TransportViewController::nextZeroPressed() {
    if (!host_) return;
    returnToFinishedEntry();
    std::shared_ptr<PlaylistEntry> entry = host_->assignedEntry();
    if (!entry) {
        showSymbolNotice("forward.end.fill");
        return;
    }
    seek(entry->nextZero(position() + lookAhead));
    showTimeNotice();
}

void TransportViewController::markZeroPressed() {
    if (!host_) return;
    showSymbolNotice("z.square");
    returnToFinishedEntry();
    std::shared_ptr<PlaylistEntry> entry = host_->assignedEntry();
    if (!entry) return;
    entry->addZero(position());
    host_->loadTimeSliderEntry(entry);
    host_->refreshDisplay();
    host_->saveAppState();
}

// ---- transcription segments ----

Lyrics TransportViewController::lyricLinesOf(PlaylistEntry& entry) const {
    if (const Lyrics* shown = host_->lyricLines()) return *shown;
    Lyrics lines;
    lines.source = Lyrics::Source::transcription;
    for (const std::shared_ptr<TextNote>& cue : entry.transcription().segments)
        lines.lines.push_back(LyricLine{cue->time(), cue->shownText(), {}, std::nullopt});
    return lines;
}

void TransportViewController::prevSegmentPressed() {
    if (!host_) return;
    std::shared_ptr<PlaylistEntry> entry = host_->assignedEntry();
    if (!entry) {
        showSymbolNotice("backward.end.fill");
        return;
    }
    const std::optional<double> line = lyricLinesOf(*entry).previousLineTime(position());
    // A song without lines stays where it is: a jump is never a restart.
    if (!line) {
        host_->showTextNotice(tr("No lyric lines"), timeNotifierDwell, std::nullopt);
        return;
    }
    seek(*line);
}

void TransportViewController::nextSegmentPressed() {
    if (!host_) return;
    std::shared_ptr<PlaylistEntry> entry = host_->assignedEntry();
    if (!entry) {
        showSymbolNotice("forward.end.fill");
        return;
    }
    const Lyrics lines = lyricLinesOf(*entry);
    const std::optional<double> line = lines.nextLineTime(position() + lookAhead);
    if (!line) {
        host_->showTextNotice(lines.lines.empty() ? tr("No lyric lines") : tr("No next line"),
                              timeNotifierDwell, std::nullopt);
        return;
    }
    seek(*line);
}

// ---- volume ----

std::string TransportViewController::volumeNoticeText(float volume) {
    // Rounded, not truncated: 0.8 held in single precision is a hair below 0.8 and must still
    // show 8.
    const int halves = transportVolumeStep(volume);
    std::string text = halves == 1 ? std::string() : std::to_string(halves / 2);
    if (halves % 2 == 1) text += "½";
    return text;
}

// The volume stays on the twentieths grid, so that repeated steps never drift off the scale that
// the notice shows.
void TransportViewController::stepVolume(int steps) {
    if (!host_) return;
    const int step = std::clamp(transportVolumeStep(host_->volume()) + steps, 0, volumeSteps);
    host_->setVolume(transportVolumeForStep(step));
    setVolumeSliderValue(host_->volume());
    host_->showTextNotice(QString::fromStdString(volumeNoticeText(host_->volume())), levelNotifierDwell,
                          std::nullopt);
}

void TransportViewController::volumeUpPressed() {
    stepVolume(1);
}

void TransportViewController::volumeDownPressed() {
    stepVolume(-1);
}

void TransportViewController::volumeSliderChanged() {
    if (!host_) return;
    host_->setVolume(transportVolumeForStep(volumeSlider_->value()));
}

// ---- rate ----

void TransportViewController::rateSliderChanged() {
    if (!host_) return;
    switch (doubleSpeed_->checkState()) {
    case Qt::Checked:
        rateText_->setText(QStringLiteral("2X"));
        rate_ = doubleSpeedRate;
        player().setRate(doubleSpeedRate);
        break;
    case Qt::Unchecked: {
        const int step = rateSlider_->value();
        rateText_->setText(QString::number(step));
        rate_ = step / rateDivisor;
        player().setRate(static_cast<float>(rate_));
        break;
    }
    case Qt::PartiallyChecked:
        return;
    }
    emit rateChangedByHand(rate_);
}

void TransportViewController::stepRate(int steps, Qt::KeyboardModifiers modifiers) {
    if (!host_) return;
    if ((modifiers & (Qt::ControlModifier | Qt::AltModifier)) || doubleSpeed_->checkState() == Qt::Checked) {
        doubleSpeed_->setCheckState(Qt::Unchecked);
        setRateSliderValue(normalRateStep);
    } else {
        setRateSliderValue(
            std::clamp(rateSlider_->value() + steps, rateSlider_->minimum(), rateSlider_->maximum()));
    }
    host_->showTextNotice(QString::number(rateSlider_->value()), levelNotifierDwell, std::nullopt);
    rateSliderChanged();
}

void TransportViewController::faster(Qt::KeyboardModifiers modifiers) {
    stepRate(1, modifiers);
}

void TransportViewController::slower(Qt::KeyboardModifiers modifiers) {
    stepRate(-1, modifiers);
}

void TransportViewController::fasterButtonPressed() {
    faster(QGuiApplication::queryKeyboardModifiers());
}

void TransportViewController::slowerButtonPressed() {
    slower(QGuiApplication::queryKeyboardModifiers());
}

// ---- key ----

QString TransportViewController::keyShiftText(int semitones) {
    if (semitones == 0) return tr("Key 0");
    return tr("Key %1%2")
        .arg(semitones > 0 ? QStringLiteral("+") : QStringLiteral("−"))
        .arg(std::abs(semitones));
}

void TransportViewController::showKeyShift(int semitones) {
    keyText_->setText(keyShiftText(semitones));
}

void TransportViewController::stepKey(int steps, Qt::KeyboardModifiers modifiers) {
    if (!host_) return;
    const bool original = modifiers & (Qt::ControlModifier | Qt::AltModifier);
    player().setKeyShift(original ? 0 : player().keyShift() + steps);
    showKeyShift(player().keyShift());
    host_->showTextNotice(keyShiftText(player().keyShift()), levelNotifierDwell, std::nullopt);
}

void TransportViewController::keyDown(Qt::KeyboardModifiers modifiers) {
    stepKey(-1, modifiers);
}

void TransportViewController::keyUp(Qt::KeyboardModifiers modifiers) {
    stepKey(1, modifiers);
}

void TransportViewController::originalKey() {
    stepKey(0, Qt::ControlModifier);
}

void TransportViewController::keyDownButtonPressed() {
    keyDown(QGuiApplication::queryKeyboardModifiers());
}

void TransportViewController::keyUpButtonPressed() {
    keyUp(QGuiApplication::queryKeyboardModifiers());
}

// ---- remote ----

void TransportViewController::enterDanceMode() {
    if (!host_) return;
    host_->saveAppState();
    ApplicationPlayer& thePlayer = player();
    thePlayer.setMode(PlayerMode::dance);
    if (PlayerDelegate* delegate = thePlayer.delegate()) delegate->updateForMode();
    host_->resetScreensaverIdle();
}

void TransportViewController::pressed(RemoteControlButton button) {
    if (!host_) return;
    enterDanceMode();
    if (RemoteControlDelegate* video = host_->keyVideoWindow()) {
        video->pressed(button);
        return;
    }
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    switch (button) {
    case RemoteControlButton::dpadUp:
        volumeUpPressed();
        break;
    case RemoteControlButton::dpadDown:
        volumeDownPressed();
        break;
    case RemoteControlButton::dpadLeft:
        faster(modifiers);
        break;
    case RemoteControlButton::dpadRight:
        slower(modifiers);
        break;
    case RemoteControlButton::A:
        playPressed();
        break;
    case RemoteControlButton::B:
        back3Pressed();
        break;
    case RemoteControlButton::X:
        prevZeroPressed();
        break;
    case RemoteControlButton::Y:
        nextZeroPressed();
        break;
    case RemoteControlButton::L:
        markZeroPressed();
        break;
    case RemoteControlButton::R:
        pausePressed();
        break;
    case RemoteControlButton::L2:
        prevSegmentPressed();
        break;
    case RemoteControlButton::R2:
        nextSegmentPressed();
        break;
    case RemoteControlButton::plus:
    case RemoteControlButton::minus:
    case RemoteControlButton::home:
    case RemoteControlButton::star:
        break;
    }
}

void TransportViewController::released(RemoteControlButton) {}

void TransportViewController::connected(int count) {
    if (host_) {
        const QIcon notice = remotePicture("remoteNotifier");
        if (!notice.isNull()) host_->showImageNotice(notice);
    }
    showRemotePicture(count > 0 ? "remote2-yellow" : "remoteImage");
}

} // namespace vantle
