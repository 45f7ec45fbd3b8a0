#include "SlimSlider/SlimSliderEnvironment.h"

#include <QVariant>
#include <QWidget>

#include <memory>
#include <optional>

namespace slimslider {

namespace {

// Each value lives in a dynamic property of the widget it was set on, so it goes with the widget.
constexpr const char* slimSliderStyleKey = "slimSliderStyle";
constexpr const char* slimSliderDisabledHapticFeedbackKey = "slimSliderDisabledHapticFeedback";
constexpr const char* slimSliderSecondaryAppearanceKey = "slimSliderSecondaryAppearance";

// Values are held through a shared pointer, which any QVariant can carry.
template <class T> std::optional<T> slimSliderEnvironmentLookup(const QWidget* widget, const char* key) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant value = w->property(key);
        if (!value.isValid()) continue;
        if (const auto held = value.value<std::shared_ptr<const T>>()) return *held;
    }
    return std::nullopt;
}

template <class T> void slimSliderEnvironmentStore(QWidget* subtree, const char* key, T value) {
    if (!subtree) return;
    subtree->setProperty(key, QVariant::fromValue(std::make_shared<const T>(std::move(value))));
    // The sliders inside read their environment when they paint.
    subtree->update();
    for (QWidget* child : subtree->findChildren<QWidget*>())
        child->update();
}

} // namespace

void setSlimSliderStyle(QWidget* subtree, AnySlimSliderStyle style) {
    slimSliderEnvironmentStore(subtree, slimSliderStyleKey, std::move(style));
}

AnySlimSliderStyle slimSliderStyle(const QWidget* widget) {
    return slimSliderEnvironmentLookup<AnySlimSliderStyle>(widget, slimSliderStyleKey)
        .value_or(AnySlimSliderStyle());
}

void setSlimSliderDisabledHapticFeedback(QWidget* subtree, bool isDisabled) {
    slimSliderEnvironmentStore(subtree, slimSliderDisabledHapticFeedbackKey, isDisabled);
}

bool slimSliderDisabledHapticFeedback(const QWidget* widget) {
    return slimSliderEnvironmentLookup<bool>(widget, slimSliderDisabledHapticFeedbackKey).value_or(false);
}

void setSlimSliderSecondaryAppearance(QWidget* subtree, SecondaryAppearance appearance) {
    slimSliderEnvironmentStore(subtree, slimSliderSecondaryAppearanceKey, std::move(appearance));
}

SecondaryAppearance slimSliderSecondaryAppearance(const QWidget* widget) {
    return slimSliderEnvironmentLookup<SecondaryAppearance>(widget, slimSliderSecondaryAppearanceKey)
        .value_or(SecondaryAppearance::defaultValue());
}

} // namespace slimslider
