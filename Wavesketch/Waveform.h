#pragma once
// The values that decide how a waveform picture looks: where its axis lies, how it is painted, how its
// ends fade, and the whole configuration the renderers and the drawer read. Plain values; any thread.

#include <QColor>
#include <QSizeF>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace wavesketch {

// The display's pixel density.
namespace SketchScreen {
// Device pixels per point of the primary screen, read anew on every call; 1.0 without a screen (or
// without a Qt Gui application). Main thread.
double scale();
} // namespace SketchScreen

namespace Waveform {

// Where the axis lies across the height (linear) or where the centre lies (circular).
class Position {
public:
    enum class Kind { custom, top, middle, bottom };

    static Position custom(double fraction) { return Position(Kind::custom, fraction); }
    static Position top() { return Position(Kind::top, 0.0); }
    static Position middle() { return Position(Kind::middle, 0.0); }
    static Position bottom() { return Position(Kind::bottom, 0.0); }

    Kind kind() const { return kind_; }
    // The fraction of the height: top 0, middle 0.5, bottom 1, custom clamped to [0, 1].
    double offset() const;

    // custom(0.5) and middle() differ: equal kinds, and for custom equal payloads.
    friend bool operator==(const Position& a, const Position& b) {
        return a.kind_ == b.kind_ && (a.kind_ != Kind::custom || a.value_ == b.value_);
    }

private:
    Position(Kind kind, double value) : kind_(kind), value_(value) {}
    Kind kind_;
    double value_;
};

// How the path is painted. Widths are in points.
class Style {
public:
    struct StripeConfig {
        QColor color;
        double width = 0.0;
        double spacing = 0.0;
        Qt::PenCapStyle lineCap = Qt::FlatCap;
        friend bool operator==(const StripeConfig&, const StripeConfig&) = default;
    };
    struct Filled {
        QColor color;
        friend bool operator==(const Filled&, const Filled&) = default;
    };
    struct Outlined {
        QColor color;
        double width;
        friend bool operator==(const Outlined&, const Outlined&) = default;
    };
    struct Gradient {
        std::vector<QColor> colors;
        friend bool operator==(const Gradient&, const Gradient&) = default;
    };
    struct GradientOutlined {
        std::vector<QColor> colors;
        double width;
        friend bool operator==(const GradientOutlined&, const GradientOutlined&) = default;
    };
    struct Striped {
        StripeConfig config;
        friend bool operator==(const Striped&, const Striped&) = default;
    };
    using Value = std::variant<Filled, Outlined, Gradient, GradientOutlined, Striped>;

    static Style filled(QColor color) { return Style(Filled{color}); }
    static Style outlined(QColor color, double width) { return Style(Outlined{color, width}); }
    static Style gradient(std::vector<QColor> colors) { return Style(Gradient{std::move(colors)}); }
    static Style gradientOutlined(std::vector<QColor> colors, double width) {
        return Style(GradientOutlined{std::move(colors), width});
    }
    static Style striped(StripeConfig config) { return Style(Striped{config}); }

    const Value& value() const { return value_; }
    // The stripe configuration, for the striped style only.
    const StripeConfig* stripes() const;

    friend bool operator==(const Style&, const Style&) = default;

private:
    explicit Style(Value value) : value_(std::move(value)) {}
    Value value_;
};

// How the waveform fades towards one or both ends.
class Damping {
public:
    enum class Sides { left, right, both };
    // Maps the place within a faded stretch (0 at the outer edge, 1 where the fade ends) to a factor.
    using Easing = std::function<float(float)>;

    // No damping unless 0 <= percentage <= 0.5, and with an easing.
    static std::optional<Damping> make(float percentage, Sides sides, Easing easing);

    struct Changes {
        std::optional<float> percentage{};
        std::optional<Sides> sides{};
        Easing easing{};
    };
    // Absent changes keep the current field; checked as make() checks.
    std::optional<Damping> with(const Changes& changes) const;

    float percentage() const { return percentage_; }
    Sides sides() const { return sides_; }
    const Easing& easing() const { return easing_; }

    // Easings compare by their results at fixed places of [0, 1], the only range they are used on, so that
    // equality is repeatable.
    friend bool operator==(const Damping& a, const Damping& b);

private:
    Damping(float percentage, Sides sides, Easing easing)
        : percentage_(percentage), sides_(sides), easing_(std::move(easing)) {}
    float percentage_;
    Sides sides_;
    Easing easing_;
};

// Everything a renderer or the drawer needs to know about one picture.
class Configuration {
public:
    // No configuration unless verticalScalingFactor > 0.
    static std::optional<Configuration> make(QSizeF size, QColor backgroundColor, Style style,
                                             std::optional<Damping> damping, double scale,
                                             double verticalScalingFactor, bool shouldAntialias);
    // What the live views start from: no size, clear background, a gradient from black to mid grey, an eighth
    // of the picture faded quadratically at both ends, the screen's scale, 95 % of the height, no
    // antialiasing.
    static Configuration stock();

    // Absent changes keep the current field; a damping can be replaced but not removed.
    struct Changes {
        std::optional<QSizeF> size{};
        std::optional<QColor> backgroundColor{};
        std::optional<Style> style{};
        std::optional<Damping> damping{};
        std::optional<double> scale{};
        std::optional<double> verticalScalingFactor{};
        std::optional<bool> shouldAntialias{};
    };
    // No configuration when the resulting verticalScalingFactor is not above 0.
    std::optional<Configuration> with(const Changes& changes) const;

    const QSizeF& size() const { return size_; }
    const QColor& backgroundColor() const { return backgroundColor_; }
    const Style& style() const { return style_; }
    const std::optional<Damping>& damping() const { return damping_; }
    // Pixels per point; one amplitude value is drawn per pixel column.
    double scale() const { return scale_; }
    // The share of the height (linear) or radius (circular) that a full-scale value reaches.
    double verticalScalingFactor() const { return verticalScalingFactor_; }
    bool shouldAntialias() const { return shouldAntialias_; }

    friend bool operator==(const Configuration& a, const Configuration& b);

private:
    Configuration(QSizeF size, QColor backgroundColor, Style style, std::optional<Damping> damping,
                  double scale, double verticalScalingFactor, bool shouldAntialias)
        : size_(size), backgroundColor_(backgroundColor), style_(std::move(style)),
          damping_(std::move(damping)), scale_(scale), verticalScalingFactor_(verticalScalingFactor),
          shouldAntialias_(shouldAntialias) {}
    QSizeF size_;
    QColor backgroundColor_;
    Style style_;
    std::optional<Damping> damping_;
    double scale_;
    double verticalScalingFactor_;
    bool shouldAntialias_;
};

} // namespace Waveform
} // namespace wavesketch
