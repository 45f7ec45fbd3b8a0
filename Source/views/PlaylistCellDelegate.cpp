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

QColor PlaylistCellDelegate::graphicsTint() {
    return QColor(0, 150, 136);
}

QColor PlaylistCellDelegate::tagTint() {
    return QColor(175, 82, 222);
}

PlaylistCellDelegate::TitleLayout PlaylistCellDelegate::titleLayout(const QString& name, const QString& tags,
                                                                    const QFontMetricsF& metrics,
                                                                    const QRectF& rect,
                                                                    Qt::TextElideMode elideMode) {
    TitleLayout layout;
    if (tags.isEmpty()) {
        layout.name = metrics.elidedText(name, elideMode, rect.width());
        layout.nameRect = rect;
        return layout;
    }
    const qreal tagsWidth = std::min(metrics.horizontalAdvance(tags), rect.width());
    layout.tags = metrics.elidedText(tags, Qt::ElideRight, rect.width());
    const qreal room = std::max(0.0, rect.width() - tagsWidth - tagGap);
    layout.name = metrics.elidedText(name, elideMode, room);
    const qreal nameWidth =
        layout.name.isEmpty() ? 0.0 : std::min(metrics.horizontalAdvance(layout.name), room);
    layout.nameRect = QRectF(rect.x(), rect.y(), nameWidth, rect.height());
    const qreal tagsLeft = layout.name.isEmpty() ? rect.x() : rect.x() + nameWidth + tagGap;
    layout.tagsRect = QRectF(tagsLeft, rect.y(), tagsWidth, rect.height());
    return layout;
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
        paintText(painter, cell, index.data(PlaylistTableModel::TagsRole).toString(),
                  index.data(PlaylistTableModel::GraphicsRole).toBool());
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

void PlaylistCellDelegate::paintText(QPainter* painter, const QStyleOptionViewItem& cell, const QString& tags,
                                     bool graphics) const {
    QStyle* style = playlistCellStyle(cell);
    QRectF base = playlistTextRect(cell);
    QRectF markRect;
    if (graphics) {
        const qreal markWidth = QFontMetricsF(cell.font).horizontalAdvance(graphicsMark());
        if (markWidth + tagGap < base.width()) {
            markRect = QRectF(base.right() - markWidth, base.y(), markWidth, base.height());
            base.setRight(markRect.left() - tagGap);
        }
    }
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
    const QColor textColor = cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const bool tagged = !tags.isEmpty() && text.endsWith(tags);
    const TitleLayout layout =
        titleLayout(tagged ? text.chopped(tags.size()) : text, tagged ? tags : QString(), metrics,
                    QRectF(base.x(), title.y(), base.width(), title.height()), cell.textElideMode);
    constexpr auto flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    painter->setPen(textColor);
    painter->drawText(layout.nameRect, flags, layout.name);
    if (!layout.tags.isEmpty()) {
        // On a selected row the highlight's text colour, so that the tags stay readable there.
        painter->setPen(selected ? textColor : tagTint());
        painter->drawText(layout.tagsRect, flags, layout.tags);
    }
    if (!markRect.isEmpty()) {
        painter->setPen(selected ? textColor : graphicsTint());
        painter->drawText(QRectF(markRect.x(), title.y(), markRect.width(), title.height()), flags,
                          graphicsMark());
    }
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
