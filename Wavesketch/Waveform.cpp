#include "Wavesketch/Waveform.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace wavesketch {

double SketchScreen::scale() {
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    return screen ? screen->devicePixelRatio() : 1.0;
}

namespace Waveform {

double Position::offset() const {
    switch (kind_) {
    case Kind::custom:
        // NaN reads as 0: the clamp must not let it through.
        return value_ > 1.0 ? 1.0 : value_ > 0.0 ? value_ : 0.0;
    case Kind::top:
        return 0.0;
    case Kind::middle:
        return 0.5;
    case Kind::bottom:
        return 1.0;
    }
    return 0.0;
}

const Style::StripeConfig* Style::stripes() const {
    const auto* striped = std::get_if<Striped>(&value_);
    return striped ? &striped->config : nullptr;
}

std::optional<Damping> Damping::make(float percentage, Sides sides, Easing easing) {
    if (!(percentage >= 0.0f && percentage <= 0.5f) || !easing) return std::nullopt;
    return Damping(percentage, sides, std::move(easing));
}

std::optional<Damping> Damping::with(const Changes& changes) const {
    return make(changes.percentage.value_or(percentage_), changes.sides.value_or(sides_),
                changes.easing ? changes.easing : easing_);
}

bool operator==(const Damping& a, const Damping& b) {
    if (a.percentage_ != b.percentage_ || a.sides_ != b.sides_) return false;
    for (float x : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f})
        if (!(a.easing_(x) == b.easing_(x))) return false; // a NaN result is unequal
    return true;
}

std::optional<Configuration> Configuration::make(QSizeF size, QColor backgroundColor, Style style,
                                                 std::optional<Damping> damping, double scale,
                                                 double verticalScalingFactor, bool shouldAntialias) {
    if (!(verticalScalingFactor > 0.0)) return std::nullopt;
    return Configuration(size, backgroundColor, std::move(style), std::move(damping), scale,
                         verticalScalingFactor, shouldAntialias);
}

Configuration Configuration::stock() {
    return Configuration(QSizeF(0.0, 0.0), QColor(Qt::transparent),
                         Style::gradient({QColor(Qt::black), QColor::fromRgbF(0.5f, 0.5f, 0.5f)}),
                         Damping::make(0.125f, Damping::Sides::both, [](float x) { return x * x; }),
                         SketchScreen::scale(), 0.95, false);
}

std::optional<Configuration> Configuration::with(const Changes& changes) const {
    return make(changes.size.value_or(size_), changes.backgroundColor.value_or(backgroundColor_),
                changes.style.value_or(style_), changes.damping ? changes.damping : damping_,
                changes.scale.value_or(scale_),
                changes.verticalScalingFactor.value_or(verticalScalingFactor_),
                changes.shouldAntialias.value_or(shouldAntialias_));
}

bool operator==(const Configuration& a, const Configuration& b) {
    // Sizes compare exactly, not with QSizeF's fuzzy equality.
    return a.size_.width() == b.size_.width() && a.size_.height() == b.size_.height() &&
           a.backgroundColor_ == b.backgroundColor_ && a.style_ == b.style_ && a.damping_ == b.damping_ &&
           a.scale_ == b.scale_ && a.verticalScalingFactor_ == b.verticalScalingFactor_ &&
           a.shouldAntialias_ == b.shouldAntialias_;
}

} // namespace Waveform
} // namespace wavesketch
