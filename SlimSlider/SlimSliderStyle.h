#pragma once
// The style protocol: a style draws the slider's frame and hands its content the colours to draw with.
// Main thread.

#include "SlimSlider/SlimSliderColor.h"
#include "SlimSlider/SlimSliderDirection.h"

#include <functional>
#include <utility>

class QPainter;
class QRectF;

namespace slimslider {

// What a slider tells its style.
struct SlimSliderStyleConfiguration {
    // The slider's content, drawn into a rectangle with the colours the style passes down.
    class Label {
    public:
        using Body = std::function<void(QPainter&, const QRectF&, const SlimSliderPalette&)>;
        explicit Label(Body body) : body_(std::move(body)) {}
        void paint(QPainter& painter, const QRectF& rect, const SlimSliderPalette& palette) const {
            if (body_) body_(painter, rect, palette);
        }

    private:
        Body body_;
    };

    SlimSliderDirection direction;
    bool isRangeValues;
    bool isHovering;
    bool isDragging;
    double lowerProgress;
    double upperProgress;
    Label label;

    // Styles treat a hovered or dragged slider as focused.
    bool isFocused() const { return isHovering || isDragging; }
};

class SlimSliderStyle {
public:
    virtual ~SlimSliderStyle() = default;
    // Draws the slider into rect: the style's backgrounds and clip, and inside them configuration.label with
    // the foreground and accent colours the style chooses. `palette` is the environment's.
    virtual void makeBody(QPainter& painter, const QRectF& rect,
                          const SlimSliderStyleConfiguration& configuration,
                          const SlimSliderPalette& palette) const = 0;
};

} // namespace slimslider
