#include "Source/views/SymbolImages.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace vantle {

namespace {

// Every glyph is drawn in a unit square (0,0)-(1,1), y down; the pen width follows the weight.
using SymbolGlyphDraw = void (*)(QPainter&, const QColor&, double strokeWidth);

double symbolStrokeWidth(SymbolWeight weight) {
    switch (weight) {
    case SymbolWeight::regular:
        return 0.075;
    case SymbolWeight::bold:
        return 0.1;
    case SymbolWeight::heavy:
        return 0.125;
    }
    return 0.075;
}

QPen symbolPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A filled shape whose corners are rounded by a thin outline of the same colour.
void symbolFillShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double width) {
    painter.setPen(symbolPen(color, width * 0.6));
    painter.setBrush(color);
    painter.drawPath(shape);
}

void symbolStrokeShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double width) {
    painter.setPen(symbolPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
}

QPainterPath symbolPolygon(std::initializer_list<QPointF> points) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

void symbolDrawPlay(QPainter& painter, const QColor& color, double width) {
    symbolFillShape(painter, symbolPolygon({{0.22, 0.12}, {0.22, 0.88}, {0.88, 0.5}}), color, width);
}

void symbolDrawPause(QPainter& painter, const QColor& color, double width) {
    QPainterPath bars;
    bars.addRoundedRect(QRectF(0.2, 0.12, 0.2, 0.76), 0.04, 0.04);
    bars.addRoundedRect(QRectF(0.6, 0.12, 0.2, 0.76), 0.04, 0.04);
    symbolFillShape(painter, bars, color, width);
}

void symbolDrawForwardEnd(QPainter& painter, const QColor& color, double width) {
    QPainterPath shape = symbolPolygon({{0.12, 0.14}, {0.12, 0.86}, {0.66, 0.5}});
    shape.addRect(QRectF(0.74, 0.14, 0.12, 0.72));
    symbolFillShape(painter, shape, color, width);
}

void symbolDrawBackwardEnd(QPainter& painter, const QColor& color, double width) {
    // The mirror image of forward.end.fill.
    painter.save();
    painter.translate(1.0, 0.0);
    painter.scale(-1.0, 1.0);
    symbolDrawForwardEnd(painter, color, width);
    painter.restore();
}

void symbolDrawZSquare(QPainter& painter, const QColor& color, double width) {
    QPainterPath frame;
    const double inset = 0.06 + width / 2;
    frame.addRoundedRect(QRectF(inset, inset, 1 - 2 * inset, 1 - 2 * inset), 0.16, 0.16);
    symbolStrokeShape(painter, frame, color, width);
    QPainterPath letter;
    letter.moveTo(0.33, 0.3);
    letter.lineTo(0.67, 0.3);
    letter.lineTo(0.33, 0.7);
    letter.lineTo(0.67, 0.7);
    symbolStrokeShape(painter, letter, color, width);
}

void symbolDrawPencil(QPainter& painter, const QColor& color, double width) {
    // Drawn lying along x, then turned to point at the lower left.
    painter.save();
    painter.translate(0.5, 0.5);
    painter.rotate(-45.0);
    painter.translate(-0.5, -0.5);
    QPainterPath body = symbolPolygon({{0.2, 0.4}, {0.86, 0.4}, {0.86, 0.6}, {0.2, 0.6}, {0.04, 0.5}});
    symbolStrokeShape(painter, body, color, width);
    QPainterPath details;
    details.moveTo(0.74, 0.4); // the ferrule
    details.lineTo(0.74, 0.6);
    details.moveTo(0.2, 0.4); // where the wood is sharpened
    details.lineTo(0.2, 0.6);
    symbolStrokeShape(painter, details, color, width * 0.8);
    painter.restore();
}

void symbolDrawChevronUp(QPainter& painter, const QColor& color, double width) {
    QPainterPath chevron;
    chevron.moveTo(0.15, 0.68);
    chevron.lineTo(0.5, 0.32);
    chevron.lineTo(0.85, 0.68);
    symbolStrokeShape(painter, chevron, color, width * 1.2);
}

// Lines of text with an arrow beside them going up to the line before or down to the next.
void symbolDrawTextLine(QPainter& painter, const QColor& color, double width, bool down) {
    QPainterPath text;
    for (double y : {0.25, 0.5, 0.75}) {
        text.moveTo(0.48, y);
        text.lineTo(0.92, y);
    }
    symbolStrokeShape(painter, text, color, width);
    const double tip = down ? 0.88 : 0.12;
    const double tail = down ? 0.12 : 0.88;
    QPainterPath shaft;
    shaft.moveTo(0.22, tail);
    shaft.lineTo(0.22, tip);
    symbolStrokeShape(painter, shaft, color, width);
    const double back = down ? tip - 0.2 : tip + 0.2;
    symbolFillShape(painter, symbolPolygon({{0.06, back}, {0.38, back}, {0.22, tip}}), color, width);
}

void symbolDrawTextLinePrevious(QPainter& painter, const QColor& color, double width) {
    symbolDrawTextLine(painter, color, width, false);
}

void symbolDrawTextLineNext(QPainter& painter, const QColor& color, double width) {
    symbolDrawTextLine(painter, color, width, true);
}

void symbolDrawFallback(QPainter& painter, const QColor& color, double width) {
    QPainterPath cross;
    cross.addRect(QRectF(0.1, 0.1, 0.8, 0.8));
    cross.moveTo(0.1, 0.1);
    cross.lineTo(0.9, 0.9);
    cross.moveTo(0.9, 0.1);
    cross.lineTo(0.1, 0.9);
    symbolStrokeShape(painter, cross, color, width);
}

struct SymbolGlyph {
    std::string name;
    SymbolGlyphDraw draw;
};

const std::vector<SymbolGlyph>& symbolGlyphs() {
    static const std::vector<SymbolGlyph> glyphs = {
        {"play.fill", symbolDrawPlay},
        {"pause.fill", symbolDrawPause},
        {"forward.end.fill", symbolDrawForwardEnd},
        {"backward.end.fill", symbolDrawBackwardEnd},
        {"z.square", symbolDrawZSquare},
        {"pencil", symbolDrawPencil},
        {"chevron.up", symbolDrawChevronUp},
        {"text.line.previous", symbolDrawTextLinePrevious},
        {"text.line.next", symbolDrawTextLineNext},
    };
    return glyphs;
}

SymbolGlyphDraw symbolGlyphFor(std::string_view name) {
    for (const SymbolGlyph& glyph : symbolGlyphs())
        if (glyph.name == name) return glyph.draw;
    return nullptr;
}

// Draws a symbol at whatever size the icon is asked for; disabled icons are drawn faded.
class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(std::string name, QColor color, SymbolWeight weight)
        : name_(std::move(name)), color_(color), weight_(weight) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor color = color_;
        if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.4f);
        SymbolImages::paint(*painter, QRectF(rect), name_, color, weight_);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap image(size);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return image;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(name_, color_, weight_); }
    QString key() const override { return QStringLiteral("vantle.symbol"); }
    QString iconName() override { return QString::fromStdString(name_); }

private:
    std::string name_;
    QColor color_;
    SymbolWeight weight_;
};

} // namespace

const std::vector<std::string>& SymbolImages::names() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> list;
        for (const SymbolGlyph& glyph : symbolGlyphs())
            list.push_back(glyph.name);
        return list;
    }();
    return all;
}

bool SymbolImages::contains(std::string_view name) {
    return symbolGlyphFor(name) != nullptr;
}

void SymbolImages::paint(QPainter& painter, const QRectF& box, std::string_view name, const QColor& color,
                         SymbolWeight weight) {
    const double side = std::min(box.width(), box.height());
    if (!(side > 0)) return;
    SymbolGlyphDraw draw = symbolGlyphFor(name);
    if (!draw) draw = symbolDrawFallback;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(box.x() + (box.width() - side) / 2, box.y() + (box.height() - side) / 2);
    painter.scale(side, side);
    draw(painter, color, symbolStrokeWidth(weight));
    painter.restore();
}

QPixmap SymbolImages::pixmap(std::string_view name, const SymbolConfiguration& configuration,
                             qreal devicePixelRatio) {
    const double side = std::isfinite(configuration.pointSize) ? std::max(1.0, configuration.pointSize) : 1.0;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int pixels = static_cast<int>(std::ceil(side * ratio));
    QPixmap image(pixels, pixels);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, QRectF(0, 0, pixels / ratio, pixels / ratio), name, configuration.color,
          configuration.weight);
    return image;
}

QIcon SymbolImages::icon(std::string_view name, const QColor& color, SymbolWeight weight) {
    return QIcon(new SymbolIconEngine(std::string(name), color, weight));
}

} // namespace vantle
