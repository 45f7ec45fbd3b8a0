#pragma once
// The idle screensaver: a large clock laid over the whole main window. It comes up by itself
// 120 s after the last reported activity, but only while the player is stopped in `dance` mode,
// and shows the time and the break on a coloured background; activity hides it again and
// restarts the delay. Main thread.

#include "Source/session/PlayerServices.h"
#include "Source/views/Clock.h"

#include <memory>

namespace vantle {

class RestTimerState;

// What the screensaver reads of the main window: the player's state and the break timer. The main
// window implements it; tests use a fake.
class ScreensaverHost {
public:
    virtual ~ScreensaverHost() = default;
    // The player's playing flag.
    virtual bool isPlaying() const = 0;
    virtual PlayerMode playerMode() const = 0;
    // The main window's break timer; null for none.
    virtual const RestTimerState* restTimer() const = 0;
};

class Screensaver : public Clock {
    Q_OBJECT

public:
    // Seconds without activity before the screensaver comes up.
    static constexpr double delayTime = 120.0;

    explicit Screensaver(QWidget* parent = nullptr);
    ~Screensaver() override;

    // The main window; not owned. Without one, resetIdle() only drops the idle timer and show()
    // does nothing.
    void setHost(const ScreensaverHost* host) { host_ = host; }

    // Reports activity. While the player is stopped in `dance` mode: hides the screensaver and,
    // once the current event has been handled, arms the idle timer afresh (a burst of calls leaves
    // one pending timer). Otherwise it only drops the idle timer and leaves the screensaver as it
    // is. Starts the display timer.
    void resetIdle();
    // Arms the one-shot idle timer whose firing calls show().
    void restartIdleTimer();
    // Covers the parent at once and shows the time and the host's break timer, when the player is
    // stopped in `dance` mode; drops the idle timer in any case. Hides QWidget::show() on purpose:
    // on a screensaver, showing is this.
    void show();
    bool hasSaverTimer() const;

    // Reports every mouse movement over this widget's window, while that window is the active
    // one, as activity. Installed once.
    void installTrackingArea();
    bool hasTrackingArea() const { return trackingArea_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool playerStoppedInDance() const;

    const ScreensaverHost* host_ = nullptr;
    bool trackingArea_ = false;
    std::unique_ptr<platform::DispatchTimer> saverTimer_;
};

} // namespace vantle
