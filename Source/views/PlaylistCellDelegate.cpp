#include "Source/views/PlaylistCellDelegate.h"

#include "Source/views/PlaylistTableModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

constexpr qreal playlistIndicatorMargin = 4.0;
constexpr int playlistIndicatorSteps = 1000;

QStyle* playlistCellStyle(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

// Where the style puts a cell's text, with the margin the style's own item drawing leaves.
QRectF playlistTextRect(const QStyleOptionViewItem& cell) {
    QStyle* style = playlistCellStyle(cell);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, cell.widget) + 1;
    return QRectF(style->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget))
        .adjusted(margin, 0, -margin, 0);
}

} // namespace

QColor PlaylistCellDelegate::indicatorTint() {
    return QColor(10, 96, 255);
}

QRectF PlaylistCellDelegate::centeredTitleRect(const QRectF& bounds, const QRectF& baseRect,
                                               qreal textHeight) {
    return QRectF(baseRect.x(), bounds.y() - 1.0 + (bounds.height() - textHeight) * 0.5, baseRect.width(),
                  baseRect.height());
}

QRectF PlaylistCellDelegate::centeredIndicatorFrame(qreal superviewHeight, const QRectF& indicatorFrame) {
    return QRectF(indicatorFrame.x(), (superviewHeight - indicatorFrame.height()) * 0.5,
                  indicatorFrame.width(), indicatorFrame.height());
}

void PlaylistCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QVariant played = index.data(PlaylistTableModel::PlayedValueRole);
    if (played.isValid())
        paintIndicator(painter, cell, played.toDouble());
    else
        paintText(painter, cell);
}

void PlaylistCellDelegate::paintIndicator(QPainter* painter, const QStyleOptionViewItem& cell,
                                          double percent) const {
    QStyle* style = playlistCellStyle(cell);
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

    // The bar is laid out inside the cell as inside its own superview, then placed with the cell.
    const QRectF cellRect(cell.rect);
    const QRectF own(playlistIndicatorMargin, 0.0,
                     std::max(0.0, cellRect.width() - 2 * playlistIndicatorMargin),
                     std::min(indicatorHeight, cellRect.height()));
    const QRectF frame = centeredIndicatorFrame(cellRect.height(), own).translated(cellRect.topLeft());

    QStyleOptionProgressBar bar;
    bar.QStyleOption::operator=(cell);
    bar.rect = frame.toRect();
    bar.state = (cell.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = playlistIndicatorSteps;
    const double share = std::clamp(std::isfinite(percent) ? percent : 0.0, 0.0, 100.0) / 100.0;
    bar.progress = static_cast<int>(std::lround(share * playlistIndicatorSteps));
    bar.textVisible = false;
    bar.palette.setColor(QPalette::Highlight, indicatorTint());
    // Some styles draw a sliver of the bar at zero; an unplayed entry shows the empty groove only.
    style->drawControl(bar.progress > 0 ? QStyle::CE_ProgressBar : QStyle::CE_ProgressBarGroove, &bar,
                       painter, cell.widget);
}

void PlaylistCellDelegate::paintText(QPainter* painter, const QStyleOptionViewItem& cell) const {
    QStyle* style = playlistCellStyle(cell);
    const QRectF base = playlistTextRect(cell);
    const QString text = cell.text;

    QStyleOptionViewItem background(cell);
    background.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, cell.widget);
    if (text.isEmpty()) return;

    const QFontMetricsF metrics(cell.font);
    const QRectF title = centeredTitleRect(QRectF(cell.rect), base, metrics.height());
    const bool selected = cell.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (cell.state & QStyle::State_Enabled)
            ? ((cell.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive)
            : QPalette::Disabled;
    painter->save();
    painter->setClipRect(cell.rect);
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(title, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      metrics.elidedText(text, cell.textElideMode, base.width()));
    painter->restore();
}

bool PlaylistCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QRectF base =
        playlistCellStyle(cell)->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget);
    if (!cell.text.isEmpty() && QFontMetricsF(cell.font).horizontalAdvance(cell.text) > base.width()) {
        QToolTip::showText(event->globalPos(), cell.text, view, cell.rect);
    } else {
        QToolTip::hideText();
    }
    return true;
}

} // namespace vantle
