#include "Source/mainwindow/WindowListMenu.h"

#include "Source/views/VtlViewController.h"
#include "Source/views/WindowMenu.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace vantle {

namespace {

constexpr const char* windowListItemProperty = "vantleWindowListItem";

} // namespace

WindowListMenu::WindowListMenu(QMenu& menu) : QObject(&menu), menu_(&menu) {
    connect(&menu, &QMenu::aboutToShow, this, [this] { refresh(); });
    qApp->installEventFilter(this);
    refresh();
}

WindowListMenu::~WindowListMenu() {
    if (qApp) qApp->removeEventFilter(this);
}

bool WindowListMenu::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Close:
    case QEvent::WindowTitleChange:
    case QEvent::WindowActivate:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) refreshSoon();
        break;
    default:
        break;
    }
    return false;
}

void WindowListMenu::refreshSoon() {
    // A window's events come in bursts; one pass after them lists it as it ended up.
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        refresh();
    });
}

void WindowListMenu::refresh() {
    if (!menu_) return;
    for (QAction* item : menu_->actions()) {
        if (!item->property(windowListItemProperty).toBool()) continue;
        // At once: a lingering item would make its key ambiguous with its successor's.
        delete item;
    }
    std::vector<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && listedInWindowMenu(widget)) windows.push_back(widget);
    // Windows reached by a key first, in key order; the pages without a key after them, by title.
    auto key = [](QWidget* window) {
        VtlViewController* content = contentViewController(window);
        return content ? std::pair(content->keyEquivalent(), QString())
                       : std::pair(QStringLiteral("~"), window->windowTitle());
    };
    std::stable_sort(windows.begin(), windows.end(), [&](QWidget* a, QWidget* b) { return key(a) < key(b); });
    if (!windows.empty()) {
        QAction* separator = menu_->addSeparator();
        separator->setProperty(windowListItemProperty, true);
    }
    for (QWidget* window : windows) {
        QAction* item = menu_->addAction(window->windowTitle());
        item->setProperty(windowListItemProperty, true);
        item->setCheckable(true);
        item->setChecked(window == QApplication::activeWindow());
        // From the video window too: it brings the main window back.
        item->setShortcutContext(Qt::ApplicationShortcut);
        setWindowMenuItemWindow(*item, window);
        QPointer<QWidget> target(window);
        connect(item, &QAction::triggered, this, [target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            target->raise();
            target->activateWindow();
        });
    }
    updateWindowMenuKeyEquivalents(*menu_);
}

} // namespace vantle
