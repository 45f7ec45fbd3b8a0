#include "Source/mainwindow/SingersScreen.h"

#include "platform/foundation/UserDefaults.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace vantle {

namespace {

constexpr const char* singersShownKey = "singersScreenShown";
constexpr const char* singersScreenKey = "singersScreenScreen";
constexpr const char* singersFullScreenKey = "singersScreenFullScreen";
constexpr const char* singersFrameKey = "singersScreenFrame";

std::optional<QRect> singersSavedFrame() {
    const std::optional<std::string> text = platform::UserDefaults::standard().string(singersFrameKey);
    if (!text) return std::nullopt;
    const QStringList parts = QString::fromStdString(*text).split(QLatin1Char(' '));
    if (parts.size() != 4) return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (values[2] < 100 || values[3] < 60) return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

} // namespace

SingersScreen::SingersScreen() : QWidget(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus) {
    setObjectName("singersScreen");
    setWindowTitle(tr("Singers' Screen"));
    // Opened and repainted while the host works in the main window, which keeps the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The program ends with its main window, whatever this one does.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    pointerRest_ = new QTimer(this);
    pointerRest_->setSingleShot(true);
    pointerRest_->setInterval(pointerRestMilliseconds);
    connect(pointerRest_, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });
    // A window dragged moves many times a second; the settings file is written once it rests.
    frameSave_ = new QTimer(this);
    frameSave_->setSingleShot(true);
    frameSave_->setInterval(500);
    connect(frameSave_, &QTimer::timeout, this, [this] { remember(); });
    QPalette dark = palette();
    dark.setColor(QPalette::Window, KaraokePainter::background(KaraokeFrame::Look::singers));
    setPalette(dark);
    setAutoFillBackground(true);
}

SingersScreen::~SingersScreen() {
    if (frameSave_->isActive()) remember(true);
}

QString SingersScreen::screenLabel(const QScreen* screen) {
    if (!screen) return {};
    // Screens of separate X screens may all be called "screen": the second of a name gets a number.
    int same = 0;
    for (QScreen* other : QGuiApplication::screens()) {
        if (other->name() != screen->name()) continue;
        ++same;
        if (other == screen) break;
    }
    return same > 1 ? QStringLiteral("%1 %2").arg(screen->name()).arg(same) : screen->name();
}

QScreen* SingersScreen::screenLabelled(const QString& label) {
    for (QScreen* screen : QGuiApplication::screens())
        if (screenLabel(screen) == label) return screen;
    return nullptr;
}

bool SingersScreen::wasShown() {
    return platform::UserDefaults::standard().boolValue(singersShownKey);
}

void SingersScreen::open() {
    restoring_ = true;
    keepKeyboardWhereItIs();
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QString name = QString::fromStdString(defaults.string(singersScreenKey).value_or(""));
    QScreen* target = screenLabelled(name);
    if (!target) target = QGuiApplication::primaryScreen();
    // A screen of another X screen has frames of its own: the window must be made there first.
    if (target && !isVisible()) {
        create();
        if (QWindow* window = windowHandle(); window && window->screen() != target) window->setScreen(target);
    }
    const std::optional<QRect> frame = singersSavedFrame();
    if (frame && target && target->geometry().intersects(*frame)) {
        setGeometry(*frame);
    } else if (target) {
        const QRect room = target->availableGeometry();
        resize(room.width() / 2, room.height() / 2);
        move(room.center() - rect().center());
    }
    if (defaults.boolValue(singersFullScreenKey) && target) {
        setFullScreenOn(screenLabel(target));
    } else {
        show();
    }
    restoring_ = false;
    defaults.setBool(singersShownKey, true);
    remember();
    pointerRest_->start();
}

void SingersScreen::closeByUser() {
    hide();
    platform::UserDefaults::standard().setBool(singersShownKey, false);
}

void SingersScreen::setFullScreenOn(const std::optional<QString>& screenName) {
    if (!screenName) {
        fullScreen_ = false;
        showNormal();
        if (const std::optional<QRect> frame = singersSavedFrame()) setGeometry(*frame);
        remember();
        return;
    }
    QScreen* target = screenLabelled(*screenName);
    if (!target) target = screen();
    if (!target) return;
    keepKeyboardWhereItIs();
    // A window moved to a screen of another X screen is made anew there, and must be shown anew.
    if (isVisible() && screen() != target) hide();
    fullScreen_ = true;
    create();
    if (QWindow* window = windowHandle()) window->setScreen(target);
    // Without a window manager to honour the full-screen state, the frame alone covers the screen.
    setGeometry(target->geometry());
    showFullScreen();
    remember();
}

QString SingersScreen::screenName() const {
    return screenLabel(screen());
}

void SingersScreen::setPointerRest(int milliseconds) {
    pointerRest_->setInterval(milliseconds);
}

void SingersScreen::showFrame(const KaraokeFrame& frame) {
    shownMessage_ = frame.message;
    shownLine_ = frame.lyrics ? frame.moment.line : -1;
    const QRect changed = painter_.prepare(rect(), frame);
    if (!changed.isEmpty()) update(changed);
}

bool SingersScreen::pointerHidden() const {
    return testAttribute(Qt::WA_SetCursor) && cursor().shape() == Qt::BlankCursor;
}

void SingersScreen::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Shown again, or resized, before a frame for its size came: one is asked for.
    if (!painter_.paint(painter, event->rect())) QTimer::singleShot(0, this, [this] { emit frameWanted(); });
}

void SingersScreen::closeEvent(QCloseEvent* event) {
    // Closed from its title bar: it stays closed at the next run. The program's own closing of every
    // window at quit leaves that as it was.
    if (event->spontaneous()) platform::UserDefaults::standard().setBool(singersShownKey, false);
    QWidget::closeEvent(event);
}

void SingersScreen::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && fullScreen_) {
        setFullScreenOn(std::nullopt);
        return;
    }
    QWidget::keyPressEvent(event);
}

void SingersScreen::mouseMoveEvent(QMouseEvent* event) {
    unsetCursor();
    pointerRest_->start();
    QWidget::mouseMoveEvent(event);
}

void SingersScreen::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!restoring_ && isVisible()) frameSave_->start();
}

void SingersScreen::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The whole frame is laid out anew for the new size, from what is current now.
    emit frameWanted();
    if (!restoring_ && isVisible()) frameSave_->start();
}

void SingersScreen::keepKeyboardWhereItIs() {
    if (QWidget* active = QApplication::activeWindow(); active && active != this) keyboardOwner_ = active;
}

bool SingersScreen::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && keyboardOwner_) {
        QPointer<QWidget> owner = keyboardOwner_;
        QTimer::singleShot(0, owner, [owner] {
            if (owner) owner->activateWindow();
        });
    }
    return QWidget::event(event);
}

void SingersScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit visibilityChanged();
}

void SingersScreen::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Where it was up to now, not lost with the window.
    if (frameSave_->isActive()) remember(true);
    emit visibilityChanged();
}

void SingersScreen::remember(bool hidden) {
    frameSave_->stop();
    if (restoring_ || (!hidden && !isVisible())) return;
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setString(singersScreenKey, screenName().toStdString());
    defaults.setBool(singersFullScreenKey, fullScreen_);
    if (!fullScreen_) {
        const QRect frame = geometry();
        defaults.setString(singersFrameKey, QStringLiteral("%1 %2 %3 %4")
                                                .arg(frame.x())
                                                .arg(frame.y())
                                                .arg(frame.width())
                                                .arg(frame.height())
                                                .toStdString());
    }
}

} // namespace vantle
