// Tag commands on the selected entries and the tag filter, and the break-length menus. Each menu
// command takes its argument from the title of the item that sent it.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/ClockedBreakTimer.h"
#include "Source/playback/Preferences.h"
#include "Source/session/Playlist.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QWidgetAction>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace vantle {

namespace {

// The tags the menus offer, one character each.
const char* const tagMenuTitles[] = {"★", "♥", "!", "a", "b", "c", "d", "e", "f", "g", "h", "x"};
// Minutes; the this-break menu also has an item that stops the break.
const char* const thisBreakTitles[] = {"No Break", "1", "2", "3", "5", "8", "10", "15", "20", "30"};
const char* const allBreaksTitles[] = {"1", "1.5", "2", "3", "5", "8", "10", "15", "20", "30"};

// A whole decimal number with an optional sign and digits only.
std::optional<long long> wholeMinutes(const QString& title) {
    const std::string text = title.toStdString();
    std::size_t digits = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (digits == text.size()) return std::nullopt;
    for (std::size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

// The whole title as a finite decimal number; leading blanks make it none.
std::optional<double> decimalMinutes(const QString& title) {
    const std::string text = title.toStdString();
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

QMenu* addTitledMenu(QMenu* menu, const char* name, const char* const* titles, std::size_t count,
                     std::function<void(QAction*)> command) {
    menu->setObjectName(name);
    for (std::size_t i = 0; i < count; ++i) {
        QAction* item = menu->addAction(QString::fromUtf8(titles[i]));
        QObject::connect(item, &QAction::triggered, menu, [command, item] { command(item); });
    }
    return menu;
}

// The title drawn in the menu's font and text colour at the picture's origin; an empty title gives
// an empty picture.
QPixmap titlePicture(const QMenu& menu, const QString& title) {
    const QFontMetrics metrics(menu.font());
    const QSize size = title.isEmpty() ? QSize() : metrics.size(Qt::TextSingleLine, title);
    if (size.isEmpty()) return {};
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setFont(menu.font());
    painter.setPen(menu.palette().color(QPalette::WindowText));
    painter.drawText(QRect(QPoint(), size), Qt::AlignLeft | Qt::AlignTop, title);
    return picture;
}

constexpr int paletteColumns = 6;

// The first of the open menus that led to `menu`. Closing it closes those opened from it through
// the menus' own path, which unlinks each from the menu above first. A submenu closed by itself tells
// the menu above, which may have moved on to a neighbouring item meanwhile, to go back to it, and that
// opens the submenu again while it is closing: it is left neither shown nor hidden, and never opens
// again.
QMenu& outermostOpenMenu(QMenu& menu) {
    QList<QMenu*> chain{&menu};
    for (bool found = true; found;) {
        found = false;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* above = qobject_cast<QMenu*>(window);
            if (above && above->isVisible() && !chain.contains(above) &&
                above->actions().contains(chain.back()->menuAction())) {
                chain.push_back(above);
                found = true;
                break;
            }
        }
    }
    return *chain.back();
}

} // namespace

void MainViewController::makePaletteMenu(QMenu& menu) {
    const QList<QAction*> items = menu.actions();
    auto* palette = new QWidget(&menu);
    palette->setObjectName("palette");
    auto* grid = new QGridLayout(palette);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);
    int index = 0;
    for (QAction* item : items) {
        const QPixmap picture = titlePicture(menu, item->text());
        QIcon icon;
        if (!picture.isNull()) {
            icon.addPixmap(picture, QIcon::Normal, QIcon::Off);
            icon.addPixmap(picture, QIcon::Normal, QIcon::On);
        }
        item->setIcon(icon);
        // The item stays in the menu, where the commands and shortcuts find it, but only its picture
        // in the grid shows.
        item->setVisible(false);
        auto* button = new QToolButton(palette);
        button->setObjectName("paletteItem");
        button->setIcon(icon);
        button->setIconSize(picture.size().expandedTo(QSize(1, 1)));
        // A one-character title makes a small picture; the button stays big enough to hit.
        button->setMinimumSize(24, 24);
        button->setToolTip(item->text());
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        QObject::connect(button, &QToolButton::clicked, item, [&menu, item] {
            // A popup closes on a click in a plain item; the grid's buttons close the open menus
            // themselves, before the command may open anything new.
            outermostOpenMenu(menu).close();
            item->trigger();
        });
        grid->addWidget(button, index / paletteColumns, index % paletteColumns);
        ++index;
    }
    auto* presentation = new QWidgetAction(&menu);
    presentation->setObjectName("palettePresentation");
    presentation->setDefaultWidget(palette);
    menu.addAction(presentation);
}

void MainViewController::buildTagAndBreakMenus() {
    auto tags = [&](const QString& title, const char* name, std::function<void(QAction*)> command) {
        return addTitledMenu(new QMenu(title, this), name, tagMenuTitles, std::size(tagMenuTitles),
                             std::move(command));
    };
    tagMenu_ = tags(tr("Tag"), "tagMenu", [this](QAction* item) { actionTagEntry(item); });
    filterTagMenu_ =
        tags(tr("Filter by Tag"), "filterTagMenu", [this](QAction* item) { actionFilterByTag(item); });
    includeTagPopupMenu_ =
        tags(tr("Include"), "includeTagPopupMenu", [this](QAction* item) { actionIncludeTag(item->text()); });
    excludeTagPopupMenu_ =
        tags(tr("Exclude"), "excludeTagPopupMenu", [this](QAction* item) { actionExcludeTag(item->text()); });

    breakTimePopupMenu_ = new QMenu(tr("Break"), this);
    breakTimePopupMenu_->setObjectName("breakTimePopupMenu");
    breakTimeThisSubMenu_ = addTitledMenu(breakTimePopupMenu_->addMenu(tr("This Break (minutes)")),
                                          "breakTimeThisSubMenu", thisBreakTitles, std::size(thisBreakTitles),
                                          [this](QAction* item) { actionSetThisBreakTime(item); });
    breakTimeAllSubMenu_ = addTitledMenu(breakTimePopupMenu_->addMenu(tr("All Breaks (minutes)")),
                                         "breakTimeAllSubMenu", allBreaksTitles, std::size(allBreaksTitles),
                                         [this](QAction* item) { actionSetAllBreakTime(item); });

    entryMenu_->addSeparator();
    entryMenu_->addMenu(tagMenu_);
    entryMenu_->addMenu(filterTagMenu_);
}

void MainViewController::actionTagEntry(QAction* item) {
    if (!item) return;
    tableView_->tagSelectedRows(item->text().toStdString());
    item->setChecked(false);
}

void MainViewController::actionFilterByTag(QAction* item) {
    if (!item) return;
    playlist_->cycleTagFilter(item->text().toStdString());
    updateWindowTitle();
    tableView_->reloadTable();
    item->setChecked(false);
}

void MainViewController::toggleFilterTag(const QString& title, void (Playlist::*toggle)(std::string_view)) {
    ((*playlist_).*toggle)(title.toStdString());
    updateWindowTitle();
    tableView_->reloadTable();
}

void MainViewController::actionIncludeTag(const QString& title) {
    toggleFilterTag(title, &Playlist::toggleIncludeTag);
}

void MainViewController::actionExcludeTag(const QString& title) {
    toggleFilterTag(title, &Playlist::toggleExcludeTag);
}

void MainViewController::actionSetThisBreakTime(QAction* item) {
    if (!item) return;
    item->setChecked(false);
    if (std::optional<long long> minutes = wholeMinutes(item->text()))
        breakTimer_->arm(static_cast<double>(*minutes) * 60.0);
    else
        breakTimer_->cancel();
}

void MainViewController::actionSetAllBreakTime(QAction* item) {
    if (!item) return;
    item->setChecked(false);
    if (std::optional<double> minutes = decimalMinutes(item->text()))
        defaults_->setDouble(Preferences::timerDurationKey, *minutes);
}

} // namespace vantle
