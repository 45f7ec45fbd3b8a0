#pragma once
// The sliders' environment: a style, the haptic switch and a secondary appearance set on a widget apply to
// every slider inside it (the widget itself included), the nearest setting winning; where none is set the
// defaults hold. Main thread.

#include "SlimSlider/AnySlimSliderStyle.h"
#include "SlimSlider/SecondaryAppearance.h"

class QWidget;

namespace slimslider {

// The style of the sliders inside `subtree`.
void setSlimSliderStyle(QWidget* subtree, AnySlimSliderStyle style);
AnySlimSliderStyle slimSliderStyle(const QWidget* widget);

// True turns the haptic feedback of the sliders inside `subtree` off.
void setSlimSliderDisabledHapticFeedback(QWidget* subtree, bool isDisabled);
bool slimSliderDisabledHapticFeedback(const QWidget* widget);

// The colours of the bars and ticks of the sliders inside `subtree`; replaces an outer setting as a whole.
void setSlimSliderSecondaryAppearance(QWidget* subtree, SecondaryAppearance appearance);
SecondaryAppearance slimSliderSecondaryAppearance(const QWidget* widget);

} // namespace slimslider
