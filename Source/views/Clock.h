#pragma once
// An analog clock button: tick marks and hands for the local time and, with a break timer, a
// green arc for the time the break has left and a red wedge once it is over. It holds no time of
// its own and reads the date on every paint; its owner's display timer asks once a second, and it
// repaints when its picture would differ from the one shown. It paints nothing at all until the
// owner makes it visible. Main thread.

#include <QAbstractButton>
#include <QColor>
#include <QImage>

#include <memory>
#include <optional>

class QPainter;

namespace platform {
class Clock;
struct Date;
class DispatchTimer;
class TimerScheduler;
} // namespace platform

namespace vantle {

class RestTimerState;
struct ClockMeasures;

class Clock : public QAbstractButton {
    Q_OBJECT

public:
    explicit Clock(QWidget* parent = nullptr);
    ~Clock() override;

    // Colour of the ticks and the hour and minute hands; the palette's text colour at first.
    QColor fgColor() const { return fgColor_; }
    void setFgColor(const QColor& color);
    // Draws a red seconds hand as well.
    bool withSeconds() const { return withSeconds_; }
    void setWithSeconds(bool withSeconds);
    // Fills the whole bounds before anything else.
    std::optional<QColor> background() const { return background_; }
    void setBackground(std::optional<QColor> background);
    // The break timer whose state is drawn; not owned, null for none.
    const RestTimerState* restTimer() const { return restTimer_; }
    void setRestTimer(const RestTimerState* restTimer);
    // While false the clock paints nothing, not even its background. Independent of the widget's
    // own visibility.
    bool isClockVisible() const { return visible_; }
    void setClockVisible(bool visible);
    // Length of the hour hand as a share of the face radius; its width is the base width divided
    // by it.
    double hourSizeFraction() const { return hourSizeFraction_; }
    void setHourSizeFraction(double fraction);

    // Starts the repeating one-second display timer unless it already runs; it runs as long as
    // the clock lives.
    void startDisplayTimer();
    bool hasDisplayTimer() const;

    // Where the clock reads the date; the system clock unless a test injects another. The source
    // must outlive the clock.
    void setDateSource(const platform::Clock& source);
    const platform::Clock& dateSource() const { return *dateSource_; }
    // The scheduler of the clock's timers; the shared real-time one unless a test injects
    // another. Set it before the first timer starts; it must outlive the clock.
    void setTimerScheduler(platform::TimerScheduler& scheduler);
    platform::TimerScheduler& timerScheduler() const { return *scheduler_; }

    QSize sizeHint() const override;

public slots:
    // The display timer's action: asks for a repaint when the clock is shown and its picture has
    // changed since the last paint.
    virtual void updateDisplay();

protected:
    void paintEvent(QPaintEvent* event) override;

    // Strokes one radial line from `innerRadius` to `outerRadius` in the direction of `position`;
    // no colour means fgColor().
    void drawHand(QPainter& painter, const ClockMeasures& measures, Qt::PenCapStyle cap,
                  std::optional<QColor> color, double position, double innerRadius, double outerRadius,
                  double lineWidth) const;
    void drawFace(QPainter& painter, const ClockMeasures& measures, platform::Date now) const;
    void drawRestArc(QPainter& painter, const ClockMeasures& measures, platform::Date now) const;
    void drawOverrunWedge(QPainter& painter, const ClockMeasures& measures, platform::Date now) const;

private:
    std::optional<double> remainingFraction(platform::Date now) const;
    // What a paint at this moment would show, at the widget's size and pixel ratio.
    QImage face() const;

    QColor fgColor_;
    bool withSeconds_ = false;
    std::optional<QColor> background_;
    const RestTimerState* restTimer_ = nullptr;
    bool visible_ = false;
    double hourSizeFraction_ = 0.7;
    std::unique_ptr<platform::DispatchTimer> timer_;
    const platform::Clock* dateSource_;
    platform::TimerScheduler* scheduler_;
    // The picture of the last paint; null when that painted nothing.
    QImage shown_;
};

} // namespace vantle
