#pragma once
// The singers' screen: a second window for a TV or a projector that shows the karaoke large on a
// dark ground, full screen on any screen. It never takes the keyboard from the main window, hides
// the pointer resting over it, and reopens where it was at the next run. Main thread only.

#include "Source/karaoke/views/KaraokePainter.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QScreen;
class QTimer;

namespace vantle {

class SingersScreen final : public QWidget {
    Q_OBJECT

public:
    // How long the pointer rests before it is hidden.
    static constexpr int pointerRestMilliseconds = 1500;

    SingersScreen();
    ~SingersScreen() override;

    // The name a screen goes by in the menu and the settings: its own, numbered when another
    // screen has the same.
    static QString screenLabel(const QScreen* screen);
    static QScreen* screenLabelled(const QString& label);

    // Whether it was open when the program last ended (or when it was last opened or closed).
    static bool wasShown();

    // Shows it where it was last (its screen, full screen or not), without taking the focus.
    void open();
    // The user closed it: it stays closed at the next run. Playback is not touched.
    void closeByUser();
    // Full screen on the screen of that name (an unknown name: the screen it is on); nullopt leaves
    // full screen.
    void setFullScreenOn(const std::optional<QString>& screenName);
    bool fullScreenOn() const { return fullScreen_; }
    // The name of the screen it is on.
    QString screenName() const;

    // Brings it to the frame and repaints what changed.
    void showFrame(const KaraokeFrame& frame);
    bool pointerHidden() const;
    // What the last frame showed: its message lines, and the lit line (−1: none).
    const QStringList& shownMessage() const { return shownMessage_; }
    int shownLine() const { return shownLine_; }
    // How long the pointer rests before it goes; tests shorten it.
    void setPointerRest(int milliseconds);

signals:
    void visibilityChanged();
    // Its size changed: the next frame is wanted at once.
    void frameWanted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

private:
    // `hidden`: a move or resize still waiting to be kept is written as the window goes.
    void remember(bool hidden = false);
    void keepKeyboardWhereItIs();

    KaraokePainter painter_;
    QStringList shownMessage_;
    int shownLine_ = -1;
    bool fullScreen_ = false;
    bool restoring_ = false;
    QTimer* pointerRest_ = nullptr;
    QTimer* frameSave_ = nullptr;
    // The window that had the keyboard when this one was shown; it gets it back should a platform
    // activate this one all the same.
    QPointer<QWidget> keyboardOwner_;
};

} // namespace vantle
