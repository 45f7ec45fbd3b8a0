#pragma once
// Helpers shared by the slider tests: a counting haptic performer and colour comparison.

#include "SlimSlider/HapticFeedback.h"

#include <QColor>

#include <cmath>
#include <ostream>

namespace slimslider_test {

// Counts the feedback sliders give while it is installed.
class CountingHapticPerformer final : public slimslider::HapticFeedbackPerformer {
public:
    CountingHapticPerformer() { slimslider::setDefaultHapticFeedbackPerformer(this); }
    ~CountingHapticPerformer() override { slimslider::setDefaultHapticFeedbackPerformer(nullptr); }
    void perform(slimslider::HapticFeedbackPattern) override { ++count; }
    int count = 0;
};

// `color` at `alpha` drawn over an opaque `base`, as 8-bit channels.
inline QColor over(QColor base, QColor color, double alpha) {
    auto mix = [alpha](int b, int c) { return int(std::lround(b * (1.0 - alpha) + c * alpha)); };
    return QColor(mix(base.red(), color.red()), mix(base.green(), color.green()),
                  mix(base.blue(), color.blue()));
}

inline bool colorNear(QColor a, QColor b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

} // namespace slimslider_test

// Readable colours in failure messages.
inline void PrintTo(const QColor& color, std::ostream* os) {
    *os << "rgba(" << color.red() << ", " << color.green() << ", " << color.blue() << ", " << color.alpha()
        << ")";
}
