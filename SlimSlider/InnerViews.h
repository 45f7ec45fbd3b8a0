#pragma once
// The slider's inner parts as it paints them: progress bar, handle and tick marks, in the colours of the
// secondary appearance. Main thread.

#include "SlimSlider/SecondaryAppearance.h"

class QPainter;
class QRectF;

namespace slimslider {

// The filled bar between the slider's value(s) and its fill origin.
struct ProgressView {
    double width;
    double offsetX; // from the slider's centre
    bool isFocused;
    void paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
               const SlimSliderPalette& palette) const;
};

// The thin vertical bar at a value; the accent colour while focused.
struct HandleView {
    double width;
    double offsetX; // from the slider's centre
    bool isFocused;
    void paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
               const SlimSliderPalette& palette) const;
};

// Tick marks growing down from the slider's top edge.
struct ScaleView {
    int steps; // 0 or less: the continuous look
    double scaleLength;
    double secondaryScaleLength;
    double lineWidth;
    void paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
               const SlimSliderPalette& palette) const;
};

} // namespace slimslider
