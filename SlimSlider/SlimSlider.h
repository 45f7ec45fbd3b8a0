#pragma once
// The slim slider: a horizontal control for one value or a range inside closed bounds, the whole control
// being its track, drawn by the style found in its environment. Main thread only.

#include "SlimSlider/SlimSliderColor.h"
#include "SlimSlider/SlimSliderConstants.h"
#include "SlimSlider/SlimSliderModel.h"
#include "SlimSlider/ValueLabel.h"

#include <QWidget>

namespace slimslider {

// The slider's optional settings.
struct SlimSliderOptions {
    HandleVisibility handleVisibility = HandleVisibility::defaultValue();
    ScaleVisibility scaleVisibility = ScaleVisibility::hovering;
    double minHeight = defaultMinHeight;
    // Kept for callers written for touch platforms; no effect here.
    bool enableDragGestureDelayForiOS = false;
    // The host's state value; the slider publishes into it while it is active (see SlimSliderState).
    SlimSliderState state = SlimSliderState::inactive();
};

// Emits lowerValueChanged/upperValueChanged with each value it writes, always inside the bounds; a host that
// binds a value connects them to its own setter and calls setLowerValue/setUpperValue when its value changes
// elsewhere (values between steps are written back snapped).
class SlimSlider : public QWidget {
    Q_OBJECT

public:
    static constexpr double defaultMinHeight = slimslider::defaultMinHeight;

    // One value, filled from `direction`.
    SlimSlider(double value, SlimSliderBounds bounds, double step, SlimSliderDirection direction,
               SlimSliderOptions options, ValueLabel valueLabel, QWidget* parent = nullptr);
    // A range of two values, filled between them.
    SlimSlider(double lowerValue, double upperValue, SlimSliderBounds bounds, double step,
               SlimSliderOptions options, ValueLabel valueLabel, QWidget* parent = nullptr);
    ~SlimSlider() override;

    // For a single-value slider the value is the lower one.
    double value() const { return model_.lowerValue(); }
    double lowerValue() const { return model_.lowerValue(); }
    double upperValue() const { return model_.upperValue(); }
    const SlimSliderState& state() const { return model_.state(); }
    const SlimSliderModel& model() const { return model_; }
    double minHeight() const { return minHeight_; }
    bool enableDragGestureDelayForiOS() const { return enableDragGestureDelayForiOS_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setValue(double value) { setLowerValue(value); }
    void setLowerValue(double value);
    void setUpperValue(double value);
    void setState(const slimslider::SlimSliderState& state);

signals:
    void lowerValueChanged(double value);
    void upperValueChanged(double value);
    void stateChanged(const slimslider::SlimSliderState& state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    SlimSlider(SlimSliderModel model, SlimSliderOptions options, ValueLabel valueLabel, QWidget* parent);
    void prepareDrag();
    void paintContent(QPainter& painter, const QRectF& rect, const SlimSliderPalette& palette) const;

    SlimSliderModel model_;
    ValueLabel valueLabel_;
    double minHeight_;
    bool enableDragGestureDelayForiOS_;
};

} // namespace slimslider
