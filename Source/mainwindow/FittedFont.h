#pragma once
// Fitting a text's font to a frame, for the time texts and the karaoke lyrics. Main thread only.

#include <QFont>
#include <QSizeF>
#include <QString>

#include <optional>

namespace vantle {

// A font of the base font's family whose size makes the text fit the frame with 5 points to spare
// each way (only 77 % of the line height counts), at least 1 point; nothing for an empty frame.
std::optional<QFont> fittedFont(const QString& text, const QFont& baseFont, QSizeF size);

} // namespace vantle
