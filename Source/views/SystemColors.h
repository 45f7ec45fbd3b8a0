#pragma once
// The colours the views name: the platform's system colours and the application's named colours.
// Main thread (they read the application's palette).

#include <QColor>

#include <optional>
#include <string_view>

namespace vantle {

// The system green of markers, time notices and the break arc.
QColor systemGreenColor();
// The system red of the overrun wedge and the seconds hand.
QColor systemRedColor();
// The colour of ordinary text in the application's current palette.
QColor textColor();

// The application's named colours ("notifierBackground", "notifierForeground",
// "waveformColor"); nothing for a name
// the application does not define, so that callers apply their own fallback.
std::optional<QColor> namedColor(std::string_view name);

} // namespace vantle
