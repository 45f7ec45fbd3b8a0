#pragma once
// Draws the playlist table's cells with their content in the vertical middle of the row: a line
// of text, or the bar of the played share; shows a truncated text whole as a tool tip. Main thread.

#include <QColor>
#include <QRectF>
#include <QStyledItemDelegate>

namespace vantle {

class PlaylistCellDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The bar's height; a lower row gets a bar as high as the row.
    static constexpr qreal indicatorHeight = 12.0;
    // The bar's colour.
    static QColor indicatorTint();

    // The base text rectangle moved vertically so that a line `textHeight` high sits in the middle
    // of `bounds`, then one unit up (towards the bounds' origin); x, width and height stay the
    // base's. Not clamped: a text taller than the bounds starts above them.
    static QRectF centeredTitleRect(const QRectF& bounds, const QRectF& baseRect, qreal textHeight);
    // The indicator's frame moved to the vertical middle of a superview `superviewHeight` high,
    // in the superview's coordinates; x, width and height stay.
    static QRectF centeredIndicatorFrame(qreal superviewHeight, const QRectF& indicatorFrame);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    void paintIndicator(QPainter* painter, const QStyleOptionViewItem& option, double percent) const;
    void paintText(QPainter* painter, const QStyleOptionViewItem& option) const;
};

} // namespace vantle
