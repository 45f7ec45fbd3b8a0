#pragma once
// The caller's label, drawn behind the slider's bars in the colour the style chooses. Main thread.

#include <QSizeF>
#include <QString>

#include <functional>

class QFont;
class QPainter;
class QRectF;
class QColor;

namespace slimslider {

class ValueLabel {
public:
    using Size = std::function<QSizeF(const QFont&)>;
    using Paint = std::function<void(QPainter&, const QRectF&, const QColor& foreground)>;

    // No label.
    ValueLabel() = default;
    // A label that measures itself in a font and paints itself centred in a rectangle.
    ValueLabel(Size size, Paint paint) : size_(std::move(size)), paint_(std::move(paint)) {}
    // One line of text, centred.
    static ValueLabel text(const QString& text);

    QSizeF size(const QFont& font) const;
    void paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const;

private:
    Size size_;
    Paint paint_;
};

} // namespace slimslider
