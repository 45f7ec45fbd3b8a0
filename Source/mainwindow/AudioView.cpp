#include "Source/mainwindow/AudioView.h"

#include "SlimSlider/SlimSlider.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

namespace vantle {

namespace {

QString audioViewValueLabel(const QString& title, double value) {
    // + 0.0 turns a negative zero into zero, so the middle never reads "-0.0".
    return title + QLatin1Char(' ') + QString::asprintf("%.1f", value + 0.0);
}

} // namespace

AudioView::AudioView(AudioModel& audioModel, QWidget* parent) : QWidget(parent), audioModel_(audioModel) {
    setObjectName("soundPanel");
    auto* stack = new QHBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    treble_ =
        makeSlider("trebleSlider", &AudioModel::treble, &AudioModel::setTreble, &AudioView::trebleLabel);
    balance_ = makeSlider("balanceSlider", &AudioModel::pan, &AudioModel::setPan, &AudioView::balanceLabel);
    stack->addWidget(treble_, 0, Qt::AlignVCenter);
    stack->addWidget(balance_, 0, Qt::AlignVCenter);

    // Values set elsewhere; an off-step or out-of-bounds one comes back snapped from the slider.
    trebleSubscription_ = audioModel_.subscribeTreble([this](double value) { treble_->setValue(value); });
    panSubscription_ = audioModel_.subscribePan([this](double value) { balance_->setValue(value); });
}

AudioView::~AudioView() = default;

QString AudioView::trebleLabel() const {
    return audioViewValueLabel(tr("Treble"), audioModel_.treble());
}

QString AudioView::balanceLabel() const {
    return audioViewValueLabel(tr("Balance"), audioModel_.pan());
}

slimslider::SlimSlider* AudioView::makeSlider(const char* objectName, Getter get, Setter set,
                                              QString (AudioView::*label)() const) {
    using namespace slimslider;
    SlimSliderOptions options;
    options.handleVisibility = HandleVisibility::hovering(3.0);
    options.scaleVisibility = ScaleVisibility::hovering;
    options.minHeight = SlimSlider::defaultMinHeight;
    options.enableDragGestureDelayForiOS = true;
    options.state = SlimSliderState::inactive();
    // Read at every paint, so the label follows the value.
    ValueLabel valueLabel(
        [this, label](const QFont& font) {
            return QFontMetricsF(font).size(Qt::TextSingleLine, (this->*label)());
        },
        [this, label](QPainter& painter, const QRectF& rect, const QColor& foreground) {
            painter.setPen(foreground);
            painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, (this->*label)());
        });
    auto* slider = new SlimSlider((audioModel_.*get)(), {lowerBound, upperBound}, step,
                                  SlimSliderDirection::center, options, std::move(valueLabel), this);
    slider->setObjectName(objectName);
    slider->setFixedWidth(sliderWidth);
    connect(slider, &SlimSlider::lowerValueChanged, this,
            [this, set](double value) { (audioModel_.*set)(value); });
    return slider;
}

} // namespace vantle
