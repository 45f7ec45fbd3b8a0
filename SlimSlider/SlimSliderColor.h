#pragma once
// Colours of the slider's styles and appearances, which may follow the environment's label and accent
// colours and are resolved when drawn. Main thread.

#include <QColor>

namespace slimslider {

// The colours the environment supplies where a slider is drawn.
struct SlimSliderPalette {
    QColor label;      // primary text colour
    QColor accent;     // accent colour; a style may set its own for the content
    QColor foreground; // colour of the value label, set by the style
};

// A fixed colour, or the environment's label or accent colour, at an opacity.
class SlimSliderColor {
public:
    SlimSliderColor(const QColor& color) : color_(color) {}
    SlimSliderColor(Qt::GlobalColor color) : color_(color) {}
    static SlimSliderColor label() { return SlimSliderColor(Source::label); }
    static SlimSliderColor accent() { return SlimSliderColor(Source::accent); }

    // This colour with its alpha multiplied by `opacity`.
    SlimSliderColor opacity(double opacity) const;
    QColor resolve(const SlimSliderPalette& palette) const;

    bool operator==(const SlimSliderColor&) const = default;

private:
    enum class Source { fixed, label, accent };
    explicit SlimSliderColor(Source source) : source_(source) {}

    Source source_ = Source::fixed;
    QColor color_;
    double opacity_ = 1.0;
};

} // namespace slimslider
