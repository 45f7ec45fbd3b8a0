#include "SlimSlider/SlimSlider.h"

#include "SlimSlider/InnerViews.h"
#include "SlimSlider/SlimSliderEnvironment.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace slimslider {

SlimSlider::SlimSlider(double value, SlimSliderBounds bounds, double step, SlimSliderDirection direction,
                       SlimSliderOptions options, ValueLabel valueLabel, QWidget* parent)
    : SlimSlider(
          SlimSliderModel(value, bounds, step, direction, options.handleVisibility, options.scaleVisibility),
          options, std::move(valueLabel), parent) {}

SlimSlider::SlimSlider(double lowerValue, double upperValue, SlimSliderBounds bounds, double step,
                       SlimSliderOptions options, ValueLabel valueLabel, QWidget* parent)
    : SlimSlider(SlimSliderModel(lowerValue, upperValue, bounds, step, options.handleVisibility,
                                 options.scaleVisibility),
                 options, std::move(valueLabel), parent) {}

SlimSlider::SlimSlider(SlimSliderModel model, SlimSliderOptions options, ValueLabel valueLabel,
                       QWidget* parent)
    : QWidget(parent), model_(std::move(model)), valueLabel_(std::move(valueLabel)),
      minHeight_(options.minHeight), enableDragGestureDelayForiOS_(options.enableDragGestureDelayForiOS) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    model_.setState(options.state);
    model_.setEnabled(isEnabled());
    model_.setWidth(width());
    model_.onLowerValueWritten = [this](double value) { emit lowerValueChanged(value); };
    model_.onUpperValueWritten = [this](double value) { emit upperValueChanged(value); };
    model_.onStatePublished = [this](const SlimSliderState& state) { emit stateChanged(state); };
}

SlimSlider::~SlimSlider() = default;

QSize SlimSlider::sizeHint() const {
    const QSizeF label = valueLabel_.size(font());
    return QSize(int(std::ceil(label.width() + 2.0 * labelPadding)),
                 int(std::ceil(std::max(label.height(), minHeight_))));
}

QSize SlimSlider::minimumSizeHint() const {
    return QSize(0, sizeHint().height());
}

void SlimSlider::setLowerValue(double value) {
    model_.setLowerValue(value);
    update();
}

void SlimSlider::setUpperValue(double value) {
    model_.setUpperValue(value);
    update();
}

void SlimSlider::setState(const SlimSliderState& state) {
    model_.setState(state);
}

void SlimSlider::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_.setWidth(width());
}

void SlimSlider::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        model_.setEnabled(isEnabled());
        update();
    }
}

void SlimSlider::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    model_.setHovering(true);
    update();
}

void SlimSlider::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    model_.setHovering(false);
    update();
}

void SlimSlider::prepareDrag() {
    // A hidden widget gets its resize event only when shown; drags must use the current width all the same.
    model_.setWidth(width());
    model_.setHapticFeedbackDisabled(slimSliderDisabledHapticFeedback(this));
}

void SlimSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    prepareDrag();
    model_.dragChanged(event->position().x());
    update();
}

void SlimSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !model_.isDragging()) return QWidget::mouseMoveEvent(event);
    prepareDrag();
    model_.dragChanged(event->position().x());
    update();
}

void SlimSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !model_.isDragging()) return QWidget::mouseReleaseEvent(event);
    prepareDrag();
    model_.dragEnded(event->position().x());
    update();
}

void SlimSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor label = palette().color(QPalette::WindowText);
    const SlimSliderPalette environment{label, palette().color(QPalette::Highlight), label};
    const SlimSliderStyleConfiguration configuration{
        model_.direction(),
        model_.isRangeValues(),
        model_.isHovering(),
        model_.isDragging(),
        model_.lowerProgress(),
        model_.upperProgress(),
        SlimSliderStyleConfiguration::Label(
            [this](QPainter& p, const QRectF& rect, const SlimSliderPalette& inner) {
                paintContent(p, rect, inner);
            }),
    };
    slimSliderStyle(this).makeBody(painter, QRectF(rect()), configuration, environment);
}

void SlimSlider::paintContent(QPainter& painter, const QRectF& rect, const SlimSliderPalette& palette) const {
    painter.save();
    if (!model_.isEnabled()) painter.setOpacity(painter.opacity() * 0.5);

    // Back: the label, centred and padded.
    const QSizeF labelSize = valueLabel_.size(painter.font());
    const QRectF labelArea = rect.adjusted(labelPadding, 0.0, -labelPadding, 0.0);
    QRectF labelRect(QPointF(), labelSize.boundedTo(labelArea.size()));
    labelRect.moveCenter(labelArea.center());
    valueLabel_.paint(painter, labelRect, palette.foreground);

    // Front: progress bar, handles, ticks.
    const SecondaryAppearance appearance = slimSliderSecondaryAppearance(this);
    const double width = rect.width();
    const bool focused = model_.isFocused();
    const BarGeometry bar = model_.progressBar(width);
    ProgressView{bar.width, bar.offsetX, focused}.paint(painter, rect, appearance, palette);
    const OverlayContent overlay = model_.overlay();
    for (int i = 0; i < overlay.handleCount; ++i) {
        if (const auto handle = model_.handle(overlay.handleProgress[std::size_t(i)], width))
            HandleView{handle->width, handle->offsetX, focused}.paint(painter, rect, appearance, palette);
    }
    if (overlay.showsScale)
        ScaleView{model_.steps(), scaleLength, secondaryScaleLength, scaleLineWidth}.paint(
            painter, rect, appearance, palette);
    painter.restore();
}

} // namespace slimslider
