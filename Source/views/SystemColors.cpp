#include "Source/views/SystemColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace vantle {

QColor systemGreenColor() {
    return QColor(52, 199, 89);
}

QColor systemRedColor() {
    return QColor(255, 59, 48);
}

QColor textColor() {
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Text);
}

std::optional<QColor> namedColor(std::string_view name) {
    // The notices and the screensaver follow the window's own colours, so that they read in light
    // and dark palettes alike.
    const QPalette palette = QGuiApplication::palette();
    if (name == "notifierBackground") return palette.color(QPalette::Active, QPalette::Window);
    if (name == "notifierForeground") return palette.color(QPalette::Active, QPalette::WindowText);
    if (name == "waveformColor") return palette.color(QPalette::Active, QPalette::Highlight);
    return std::nullopt;
}

} // namespace vantle
