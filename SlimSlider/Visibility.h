#pragma once
// When a slider shows its handles (and how wide they are) and its tick marks. Plain values, any thread.

namespace slimslider {

class HandleVisibility {
public:
    enum class Kind { hovering, always, hidden };

    static HandleVisibility hovering(double width) { return HandleVisibility(Kind::hovering, width); }
    static HandleVisibility always(double width) { return HandleVisibility(Kind::always, width); }
    static HandleVisibility hidden() { return HandleVisibility(Kind::hidden, 0.0); }
    // hovering(width: 3.0)
    static HandleVisibility defaultValue() { return hovering(3.0); }

    Kind kind() const { return kind_; }
    bool isHidden() const { return kind_ == Kind::hidden; }
    bool isAlways() const { return kind_ == Kind::always; }
    // The handle width; 0 when hidden.
    double width() const { return kind_ == Kind::hidden ? 0.0 : width_; }

    bool operator==(const HandleVisibility&) const = default;

private:
    HandleVisibility(Kind kind, double width) : kind_(kind), width_(width) {}
    Kind kind_;
    double width_;
};

// Tick marks only ever show together with the handles.
enum class ScaleVisibility { hovering, always, hidden };

} // namespace slimslider
