#pragma once
// The slider's state and rules without any widget: progress and values, snapping, drags, hover, write-back
// of the bound values, published state and the geometry of the bars. Main thread only.

#include "SlimSlider/SlimSliderDirection.h"
#include "SlimSlider/SlimSliderState.h"
#include "SlimSlider/Visibility.h"

#include <array>
#include <functional>
#include <optional>

namespace slimslider {

// A closed range of values.
struct SlimSliderBounds {
    double lowerBound = 0.0;
    double upperBound = 0.0;
};

// A bar across the slider's full height: its width and the shift of its centre from the slider's centre.
struct BarGeometry {
    double width = 0.0;
    double offsetX = 0.0;
};

// What the slider draws in front of its progress bar.
struct OverlayContent {
    int handleCount = 0; // 0, 1 or 2
    std::array<double, 2> handleProgress{};
    bool showsScale = false;
};

// Progress, the position of a value from 0 (leading edge) to 1 (trailing edge), is the working quantity:
// drags change it and the bound value follows; a value set from outside is turned into progress and written
// back snapped. The slider never writes a value outside its bounds.
class SlimSliderModel {
public:
    // One value, filled from `direction`.
    SlimSliderModel(double value, SlimSliderBounds bounds, double step, SlimSliderDirection direction,
                    HandleVisibility handleVisibility, ScaleVisibility scaleVisibility);
    // A range, filled between its two values.
    SlimSliderModel(double lowerValue, double upperValue, SlimSliderBounds bounds, double step,
                    HandleVisibility handleVisibility, ScaleVisibility scaleVisibility);

    // Called with each value the slider writes (changed values only). The host may set a different value
    // from inside; the slider then follows it without writing again.
    std::function<void(double)> onLowerValueWritten;
    std::function<void(double)> onUpperValueWritten;
    // Called with each state published into an active state (see SlimSliderState).
    std::function<void(const SlimSliderState&)> onStatePublished;

    // Position of a value; unclamped, so values beyond the bounds lie beyond 0...1. 0 for an empty span.
    double progress(double value) const;
    // Value at a position, snapped to the step counted from zero; unclamped.
    double value(double progress) const;

    // The bound values: for a single-value slider the value is the lower one, and the upper one is 0.
    double lowerValue() const { return lowerValue_; }
    double upperValue() const { return upperValue_; }
    // Changes from outside.
    void setLowerValue(double value);
    void setUpperValue(double value);

    // Pointer and layout.
    void setWidth(double width);
    void setEnabled(bool isEnabled);
    void setHovering(bool isInside);
    void dragChanged(double x);
    void dragEnded(double x);
    // Applies a pointer position x across a width: moves the nearer value, snapped, with haptic feedback.
    void updateProgress(double x, double width);
    void setHapticFeedbackDisabled(bool isDisabled) { hapticFeedbackDisabled_ = isDisabled; }

    // The host's state value; publishing writes into it only while it is active.
    const SlimSliderState& state() const { return state_; }
    void setState(const SlimSliderState& state) { state_ = state; }
    // The progress bar's edges as last laid out, in the form SlimSliderState carries them.
    SlimSliderState::DragLocationX adjustedDragLocationX() const { return adjustedDragLocationX_; }

    // Geometry for a slider `width` wide. No handle when the handle width is 0 or less.
    std::optional<BarGeometry> handle(double progress, double width) const;
    BarGeometry progressBar(double width) const;
    OverlayContent overlay() const;

    bool isRangeValues() const { return isRangeValues_; }
    SlimSliderDirection direction() const { return direction_; }
    SlimSliderBounds bounds() const { return bounds_; }
    double step() const { return step_; }
    HandleVisibility handleVisibility() const { return handleVisibility_; }
    ScaleVisibility scaleVisibility() const { return scaleVisibility_; }
    double progressStep() const { return progressStep_; }
    int steps() const { return steps_; }
    double lowerProgress() const { return lowerProgress_; }
    double upperProgress() const { return upperProgress_; }
    double width() const { return width_; }
    bool isEnabled() const { return isEnabled_; }
    bool isHovering() const { return isHovering_; }
    bool isDragging() const { return isDragging_; }
    bool isFocused() const { return isHovering_ || isDragging_; }

private:
    SlimSliderModel(double lowerValue, double upperValue, bool isRangeValues, SlimSliderBounds bounds,
                    double step, SlimSliderDirection direction, HandleVisibility handleVisibility,
                    ScaleVisibility scaleVisibility);

    double span() const { return bounds_.upperBound - bounds_.lowerBound; }
    bool hasSpan() const { return span() > 0.0; }
    void setValueFromOutside(bool upper, double value);
    // Stores a progress and writes its value back; keepOrder keeps an ordered range ordered.
    void setProgress(bool upper, double progress, bool keepOrder = false);
    void layoutProgressBar();
    void publishState();
    void performHapticFeedback();

    bool isRangeValues_;
    SlimSliderDirection direction_;
    SlimSliderBounds bounds_;
    double step_;
    HandleVisibility handleVisibility_;
    ScaleVisibility scaleVisibility_;
    double progressStep_ = 0.0;
    int steps_ = 0;

    double lowerValue_;
    double upperValue_;
    double lowerProgress_ = 0.0;
    double upperProgress_ = 0.0;
    bool isLowerValueChangingInternally_ = false;
    bool isUpperValueChangingInternally_ = false;

    double width_ = 0.0;
    bool isEnabled_ = true;
    bool isHovering_ = false;
    bool isDragging_ = false;
    bool hapticFeedbackDisabled_ = false;
    SlimSliderState::DragLocationX adjustedDragLocationX_;
    SlimSliderState state_ = SlimSliderState::inactive();
};

} // namespace slimslider
