#include "platform/ui/Badge.h"

#include <QLabel>

namespace platform {

QtLabelBadge::QtLabelBadge(QLabel* label) : label_(label) {
    if (label_) label_->hide();
}

void QtLabelBadge::setLabel(std::string_view text) {
    if (!label_) return;
    label_->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    label_->setVisible(!text.empty());
}

void DockTile::setBadgeLabel(std::string_view text) {
    badgeLabel_ = std::string(text);
    if (badge_) badge_->setLabel(badgeLabel_);
}

void DockTile::setBadge(Badge* badge) {
    badge_ = badge;
    if (badge_) badge_->setLabel(badgeLabel_);
}

DockTile& dockTile() {
    static DockTile tile;
    return tile;
}

} // namespace platform
