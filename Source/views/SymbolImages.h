#pragma once
// The symbol images the program shows by name ("play.fill", "z.square", "pencil", ...), drawn as
// vector glyphs at any size, with a crossed box for a name it does not know. Main thread.

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QRectF;

namespace vantle {

// Stroke weight of a symbol; heavier weights draw thicker lines and rounder fills.
enum class SymbolWeight { regular, bold, heavy };

// What a symbol is drawn with.
struct SymbolConfiguration {
    double pointSize = 13.0; // side of the square image, in device-independent pixels
    SymbolWeight weight = SymbolWeight::regular;
    QColor color = Qt::black; // the palette colour; image notices tint the glyph anyway
};

class SymbolImages {
public:
    // Every name the registry draws, in a fixed order.
    static const std::vector<std::string>& names();
    static bool contains(std::string_view name);

    // Draws the symbol into the largest square centred in `box`; an unknown name draws the
    // fallback, a crossed box, so that a wrong name is seen rather than silently blank.
    static void paint(QPainter& painter, const QRectF& box, std::string_view name, const QColor& color,
                      SymbolWeight weight = SymbolWeight::regular);

    // A square image of the symbol, transparent around the glyph.
    static QPixmap pixmap(std::string_view name, const SymbolConfiguration& configuration,
                          qreal devicePixelRatio = 1.0);
    // The symbol as an icon that draws itself sharply at whatever size it is asked for.
    static QIcon icon(std::string_view name, const QColor& color,
                      SymbolWeight weight = SymbolWeight::regular);

    SymbolImages() = delete;
};

} // namespace vantle
