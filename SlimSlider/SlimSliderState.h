#pragma once
// The snapshot of a slider's interaction state that it publishes to its host. Plain value, any thread.

namespace slimslider {

// A host that holds an active state receives the slider's state after each change of hover, drag, values or
// size; an inactive one is never written. Only isActive can change after construction.
class SlimSliderState {
public:
    // Horizontal edges of the progress bar, in points from the slider's centre: for a range the bar's left
    // and right edge; for a single value `lower` is the bar's right edge and `upper` is 0.
    struct DragLocationX {
        double lower = 0.0;
        double upper = 0.0;
        bool operator==(const DragLocationX&) const = default;
    };

    SlimSliderState(bool isHovering, bool isDragging, double lowerProgress, double upperProgress,
                    DragLocationX dragLocationX, bool isActive)
        : isHovering_(isHovering), isDragging_(isDragging), lowerProgress_(lowerProgress),
          upperProgress_(upperProgress), dragLocationX_(dragLocationX), isActive_(isActive) {}

    bool isHovering() const { return isHovering_; }
    bool isDragging() const { return isDragging_; }
    double lowerProgress() const { return lowerProgress_; }
    double upperProgress() const { return upperProgress_; }
    DragLocationX dragLocationX() const { return dragLocationX_; }
    bool isActive() const { return isActive_; }
    void setActive(bool isActive) { isActive_ = isActive; }

    bool operator==(const SlimSliderState&) const = default;

    // All zero and active: a host that starts here receives the slider's state.
    static const SlimSliderState& zero();
    // All zero and inactive: never written.
    static const SlimSliderState& inactive();

private:
    bool isHovering_;
    bool isDragging_;
    double lowerProgress_;
    double upperProgress_;
    DragLocationX dragLocationX_;
    bool isActive_;
};

} // namespace slimslider
