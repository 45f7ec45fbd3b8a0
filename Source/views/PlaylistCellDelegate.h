#pragma once
// Draws the playlist table's cells with their content in the vertical middle of the row: a line
// of text, or the bar of the played share; shows a truncated text whole as a tool tip. Main thread.

#include <QColor>
#include <QFontMetricsF>
#include <QRectF>
#include <QString>
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

    // A title's tags are drawn apart from the file name, after a gap and in their own colour, so
    // that "roule.wav" and the tag "a" do not read as "roule.wava".
    static constexpr qreal tagGap = 6.0;
    static QColor tagTint();
    // Where a title's name and tags go in `rect`: the tags whole at the end of the name plus the gap,
    // the name elided to the room the tags leave. Tags that do not fit even alone are elided too.
    struct TitleLayout {
        QString name;
        QRectF nameRect;
        QString tags;
        QRectF tagsRect;
    };
    static TitleLayout titleLayout(const QString& name, const QString& tags, const QFontMetricsF& metrics,
                                   const QRectF& rect, Qt::TextElideMode elideMode);

    // A song with CD+G graphics beside it gets this mark at the right end of its title cell, in its
    // own colour; the title is elided to the room left.
    static QString graphicsMark() { return QStringLiteral("CD+G"); }
    static QColor graphicsTint();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    void paintIndicator(QPainter* painter, const QStyleOptionViewItem& option, double percent) const;
    void paintText(QPainter* painter, const QStyleOptionViewItem& option, const QString& tags,
                   bool graphics) const;
};

} // namespace vantle
