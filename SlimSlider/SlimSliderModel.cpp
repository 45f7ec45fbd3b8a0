#include "SlimSlider/SlimSliderModel.h"

#include "SlimSlider/HapticFeedback.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace slimslider {

namespace {

// Marks the slider's own write for as long as the host's callback runs, even if it throws.
class SlimSliderWriteFlag {
public:
    explicit SlimSliderWriteFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~SlimSliderWriteFlag() { flag_ = false; }
    SlimSliderWriteFlag(const SlimSliderWriteFlag&) = delete;
    SlimSliderWriteFlag& operator=(const SlimSliderWriteFlag&) = delete;

private:
    bool& flag_;
};

} // namespace

SlimSliderModel::SlimSliderModel(double value, SlimSliderBounds bounds, double step,
                                 SlimSliderDirection direction, HandleVisibility handleVisibility,
                                 ScaleVisibility scaleVisibility)
    : SlimSliderModel(value, 0.0, false, bounds, step, direction, handleVisibility, scaleVisibility) {}

SlimSliderModel::SlimSliderModel(double lowerValue, double upperValue, SlimSliderBounds bounds, double step,
                                 HandleVisibility handleVisibility, ScaleVisibility scaleVisibility)
    : SlimSliderModel(lowerValue, upperValue, true, bounds, step, SlimSliderDirection::leading,
                      handleVisibility, scaleVisibility) {}

SlimSliderModel::SlimSliderModel(double lowerValue, double upperValue, bool isRangeValues,
                                 SlimSliderBounds bounds, double step, SlimSliderDirection direction,
                                 HandleVisibility handleVisibility, ScaleVisibility scaleVisibility)
    : isRangeValues_(isRangeValues), direction_(direction), bounds_(bounds),
      // An infinite step would turn every snap into NaN.
      step_(std::isfinite(step) ? step : 0.0), handleVisibility_(handleVisibility),
      scaleVisibility_(scaleVisibility), lowerValue_(lowerValue), upperValue_(upperValue) {
    if (!hasSpan()) return;
    lowerProgress_ = progress(lowerValue);
    if (isRangeValues_) upperProgress_ = progress(upperValue);
    if (step_ > 0.0) {
        progressStep_ = step_ / span();
        const double boundaries = std::trunc(span() / step_) - 1.0;
        steps_ = int(std::clamp(boundaries, double(std::numeric_limits<int>::min()),
                                double(std::numeric_limits<int>::max())));
    }
}

double SlimSliderModel::progress(double value) const {
    const double length = span();
    if (length == 0.0) return 0.0;
    return (value - bounds_.lowerBound) / length;
}

double SlimSliderModel::value(double progress) const {
    double v = bounds_.lowerBound + span() * progress;
    if (step_ > 0.0) v = std::round(v / step_) * step_;
    return v;
}

void SlimSliderModel::setLowerValue(double value) {
    setValueFromOutside(false, value);
}

void SlimSliderModel::setUpperValue(double value) {
    setValueFromOutside(true, value);
}

void SlimSliderModel::setValueFromOutside(bool upper, double value) {
    if (upper && !isRangeValues_) return;
    double& bound = upper ? upperValue_ : lowerValue_;
    const bool changingInternally = upper ? isUpperValueChangingInternally_ : isLowerValueChangingInternally_;
    if (changingInternally) {
        // The host storing what the slider is writing.
        bound = value;
        return;
    }
    if (value == bound) return;
    bound = value;
    if (!hasSpan()) return;
    const double current = upper ? upperProgress_ : lowerProgress_;
    // A NaN from outside keeps the position, so the write-back replaces it with a value inside the bounds.
    setProgress(upper, std::isnan(value) ? current : progress(value));
}

void SlimSliderModel::setProgress(bool upper, double newProgress, bool keepOrder) {
    double& current = upper ? upperProgress_ : lowerProgress_;
    const double unbounded = value(newProgress);
    double written = std::clamp(unbounded, bounds_.lowerBound, bounds_.upperBound);
    // Off-step values from outside may snap past each other.
    if (keepOrder && isRangeValues_ && lowerValue_ <= upperValue_)
        written = upper ? std::max(written, lowerValue_) : std::min(written, upperValue_);
    // Keep the handle on the value actually written, also when an outside value was snapped to a step
    // (a drag's position is already on a step; rounding noise must not move it).
    const double raw = bounds_.lowerBound + span() * newProgress;
    if (written != unbounded || std::abs(written - raw) > 1e-9 * span()) newProgress = progress(written);
    if (current != newProgress) {
        current = newProgress;
        layoutProgressBar();
    }

    if (upper && !isRangeValues_) return;
    double& bound = upper ? upperValue_ : lowerValue_;
    if (written == bound) return;
    bound = written;
    {
        SlimSliderWriteFlag flag(upper ? isUpperValueChangingInternally_ : isLowerValueChangingInternally_);
        auto& callback = upper ? onUpperValueWritten : onLowerValueWritten;
        if (callback) callback(written);
    }
    if (bound != written && !std::isnan(bound)) {
        // The host kept another value; show that one instead of fighting it.
        const double kept = progress(bound);
        if (current != kept) {
            current = kept;
            layoutProgressBar();
        }
    }
}

void SlimSliderModel::setWidth(double width) {
    if (width == width_) return;
    width_ = width;
    layoutProgressBar();
}

void SlimSliderModel::setEnabled(bool isEnabled) {
    if (isEnabled == isEnabled_) return;
    isEnabled_ = isEnabled;
    // Hover and drag only ever hold while the control is enabled.
    if (!isEnabled && (isHovering_ || isDragging_)) {
        isHovering_ = false;
        isDragging_ = false;
        publishState();
    }
}

void SlimSliderModel::setHovering(bool isInside) {
    isHovering_ = isEnabled_ && isInside;
    publishState();
}

void SlimSliderModel::dragChanged(double x) {
    isDragging_ = true;
    publishState();
    // Applied even when x repeats the previous drag's last position: the value may have moved since.
    updateProgress(x, width_);
}

void SlimSliderModel::dragEnded(double x) {
    isDragging_ = false;
    publishState();
    updateProgress(x, width_);
}

void SlimSliderModel::updateProgress(double x, double width) {
    if (!hasSpan()) return;
    double p = x / width;
    if (p >= 1.0 || std::isnan(p))
        p = 1.0;
    else if (p < 0.0)
        p = 0.0;

    bool moveUpper = false;
    if (isRangeValues_) {
        if (std::abs(upperProgress_ - lowerProgress_) < 0.01)
            moveUpper = p > upperProgress_;
        else
            moveUpper = std::abs(lowerProgress_ - p) > std::abs(upperProgress_ - p);
    }

    const bool stepped = progressStep_ > 0.0;
    if (stepped) {
        // A snap past an end (a span that is no whole number of steps) would write beyond the bounds.
        p = std::clamp(std::round(p / progressStep_) * progressStep_, 0.0, 1.0);
    }
    // A snapped drag must not carry one value of an ordered range past the other.
    if (isRangeValues_ && lowerProgress_ <= upperProgress_)
        p = moveUpper ? std::max(p, lowerProgress_) : std::min(p, upperProgress_);

    const double before = moveUpper ? upperProgress_ : lowerProgress_;
    if (before == p) return;
    setProgress(moveUpper, p, true);

    const double after = moveUpper ? upperProgress_ : lowerProgress_;
    if (stepped) {
        performHapticFeedback();
    } else if (moveUpper ? after == 1.0 : (after == 0.0 || after == 1.0)) {
        performHapticFeedback();
    }
}

void SlimSliderModel::performHapticFeedback() {
    if (!hapticFeedbackDisabled_) defaultHapticFeedbackPerformer().perform(HapticFeedbackPattern::alignment);
}

std::optional<BarGeometry> SlimSliderModel::handle(double progress, double width) const {
    const double w = handleVisibility_.width();
    if (w <= 0.0) return std::nullopt;
    return BarGeometry{w, (progress - 0.5) * (width - w)};
}

BarGeometry SlimSliderModel::progressBar(double width) const {
    const double l = lowerProgress_;
    if (isRangeValues_) {
        const double u = upperProgress_;
        return {std::abs(u - l) * width, (l + u - 1.0) / 2.0 * width};
    }
    switch (direction_) {
    case SlimSliderDirection::leading:
        return {l * width, -(1.0 - l) * width / 2.0};
    case SlimSliderDirection::center:
        return {std::abs(0.5 - l) * width, (l - 0.5) * width / 2.0};
    case SlimSliderDirection::trailing:
        return {(1.0 - l) * width, l * width / 2.0};
    }
    return {};
}

OverlayContent SlimSliderModel::overlay() const {
    OverlayContent content;
    const bool handlesShown = !handleVisibility_.isHidden() && (handleVisibility_.isAlways() || isFocused());
    if (handlesShown) {
        content.handleProgress = {lowerProgress_, upperProgress_};
        content.handleCount = isRangeValues_ ? 2 : 1;
        content.showsScale = scaleVisibility_ == ScaleVisibility::always ||
                             (scaleVisibility_ == ScaleVisibility::hovering && isFocused());
    } else if (isRangeValues_
                   ? std::abs(upperProgress_ - lowerProgress_) < 0.01
                   : direction_ == SlimSliderDirection::center && std::abs(lowerProgress_ - 0.5) < 0.02) {
        // Values together, or a centred value resting in the middle, keep a marker while the pointer is away.
        content.handleProgress = {lowerProgress_, 0.0};
        content.handleCount = 1;
    }
    return content;
}

void SlimSliderModel::layoutProgressBar() {
    const BarGeometry bar = progressBar(width_);
    if (isRangeValues_)
        adjustedDragLocationX_ = {bar.offsetX - bar.width / 2.0, bar.offsetX + bar.width / 2.0};
    else
        adjustedDragLocationX_ = {bar.offsetX + bar.width / 2.0, 0.0};
    publishState();
}

void SlimSliderModel::publishState() {
    if (!state_.isActive()) return;
    state_ = SlimSliderState(isHovering_, isDragging_, lowerProgress_, upperProgress_, adjustedDragLocationX_,
                             true);
    if (onStatePublished) onStatePublished(state_);
}

} // namespace slimslider
