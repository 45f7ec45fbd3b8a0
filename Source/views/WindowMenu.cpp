#include "Source/views/WindowMenu.h"

#include "Source/views/VtlViewController.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QVariant>

namespace vantle {

namespace {

QPointer<QMenu>& windowMenuRegistration() {
    static QPointer<QMenu> menu;
    return menu;
}

} // namespace

VtlViewController* contentViewController(QWidget* window) {
    if (!window) return nullptr;
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window))
        return qobject_cast<VtlViewController*>(mainWindow->centralWidget());
    return qobject_cast<VtlViewController*>(window);
}

void setWindowMenuItemWindow(QAction& item, QWidget* window) {
    item.setData(QVariant::fromValue(QPointer<QWidget>(window)));
}

QWidget* windowMenuItemWindow(const QAction& item) {
    const QVariant data = item.data();
    if (data.metaType() != QMetaType::fromType<QPointer<QWidget>>()) return nullptr;
    return data.value<QPointer<QWidget>>().data();
}

void updateWindowMenuKeyEquivalents(QMenu& windowMenu) {
    for (QAction* item : windowMenu.actions()) {
        VtlViewController* content = contentViewController(windowMenuItemWindow(*item));
        if (!content) continue;
        item->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + content->keyEquivalent()));
    }
}

void addCloseKeys(QWidget& widget, bool escapeCloses) {
    auto* close = new QAction(&widget);
    close->setObjectName("closeWindow");
    QList<QKeySequence> keys{QKeySequence(Qt::CTRL | Qt::Key_W)};
    if (escapeCloses) keys.push_back(QKeySequence(Qt::Key_Escape));
    close->setShortcuts(keys);
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &widget, [target = QPointer<QWidget>(&widget)] {
        if (target) target->window()->close();
    });
    widget.addAction(close);
}

void setListedInWindowMenu(QWidget& window) {
    window.setProperty("vantleListedInWindowMenu", true);
}

bool listedInWindowMenu(QWidget* window) {
    return window && (contentViewController(window) || window->property("vantleListedInWindowMenu").toBool());
}

void setApplicationWindowMenu(QMenu* windowMenu) {
    windowMenuRegistration() = windowMenu;
}

QMenu* applicationWindowMenu() {
    return windowMenuRegistration().data();
}

void updateWindowMenuKeyEquivalents() {
    if (QMenu* menu = applicationWindowMenu()) updateWindowMenuKeyEquivalents(*menu);
}

} // namespace vantle
