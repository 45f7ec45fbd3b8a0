#pragma once
// Colours and fills of the slider's inner parts: progress bar (resting and focused), handle and tick marks.
// Main thread.

#include "SlimSlider/SlimSliderColor.h"

#include <functional>
#include <optional>

class QBrush;
class QPainter;
class QRectF;

namespace slimslider {

class SecondaryAppearance {
public:
    // How a progress bar's rectangle is filled.
    class ProgressFillStyle {
    public:
        using Fill = std::function<void(QPainter&, const QRectF&, const SlimSliderPalette&)>;
        explicit ProgressFillStyle(Fill fill) : fill_(std::move(fill)) {}
        static ProgressFillStyle color(SlimSliderColor color);
        // Any brush: a gradient in object-bounding mode spans the bar.
        static ProgressFillStyle shapeStyle(const QBrush& brush);

        void fill(QPainter& painter, const QRectF& rect, const SlimSliderPalette& palette) const;

    private:
        Fill fill_;
    };

    SecondaryAppearance(ProgressFillStyle progressFillStyle, ProgressFillStyle focusedProgressFillStyle,
                        SlimSliderColor handleColor, SlimSliderColor scaleColor,
                        SlimSliderColor secondaryScaleColor);

    // What sliders use where nothing was set: label colour at 0.075 (bar), accent at 0.3 (focused bar), label
    // colour at 0.2 (handle), 0.8 (ticks) and 0.3 (fine ticks).
    static const SecondaryAppearance& defaultValue();

    // Every part in one colour, each at its own opacity; an absent opacity takes the default's (including
    // 0.3 for the focused bar, of this colour rather than the accent).
    static SecondaryAppearance secondaryColor(SlimSliderColor color,
                                              std::optional<double> progressOpacity = {},
                                              std::optional<double> focusedProgressOpacity = {},
                                              std::optional<double> handleOpacity = {},
                                              std::optional<double> scaleOpacity = {},
                                              std::optional<double> secondaryScaleOpacity = {});

    // Given colours are used as they are; absent ones fall back to the label colour at the default opacities
    // (for the focused bar too, not the accent).
    static SecondaryAppearance colors(std::optional<SlimSliderColor> progressColor = {},
                                      std::optional<SlimSliderColor> focusedProgressColor = {},
                                      std::optional<SlimSliderColor> handleColor = {},
                                      std::optional<SlimSliderColor> scaleColor = {},
                                      std::optional<SlimSliderColor> secondaryScaleColor = {});

    // Bars filled with the given brushes; colours as in colors().
    static SecondaryAppearance shapeStyles(const QBrush& progressShapeStyle,
                                           const QBrush& focusedProgressShapeStyle,
                                           std::optional<SlimSliderColor> handleColor = {},
                                           std::optional<SlimSliderColor> scaleColor = {},
                                           std::optional<SlimSliderColor> secondaryScaleColor = {});

    ProgressFillStyle progressFillStyle;
    ProgressFillStyle focusedProgressFillStyle;
    SlimSliderColor handleColor;
    SlimSliderColor scaleColor;
    SlimSliderColor secondaryScaleColor;
};

} // namespace slimslider
