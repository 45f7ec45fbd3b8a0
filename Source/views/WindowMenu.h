#pragma once
// The application's Window menu: which window each item stands for and the items' key equivalents.
// Main thread only.

class QAction;
class QMenu;
class QWidget;

namespace vantle {

class VtlViewController;

// The content controller of a top-level window: a main window's central widget, or the window itself,
// when that is a VtlViewController; null otherwise.
VtlViewController* contentViewController(QWidget* window);

// Ties a Window-menu item to the window it brings forward (held weakly: a closed and deleted window
// leaves an item without window).
void setWindowMenuItemWindow(QAction& item, QWidget* window);
QWidget* windowMenuItemWindow(const QAction& item);

// Gives each item whose window has a VtlViewController as content that controller's key equivalent,
// with the platform's command modifier (Ctrl+1 …); other items keep their shortcuts.
void updateWindowMenuKeyEquivalents(QMenu& windowMenu);

// Gives the window (or the content widget of one) the keys that close its window: Ctrl+W, and
// Escape too unless the window's own keys give Escape a meaning.
void addCloseKeys(QWidget& widget, bool escapeCloses);

// A window without a VtlViewController content that the Window menu lists all the same (help and
// about pages), under its title and without a key.
void setListedInWindowMenu(QWidget& window);
bool listedInWindowMenu(QWidget* window);

// The application's Window menu, registered by the application (held weakly; null unregisters).
void setApplicationWindowMenu(QMenu* windowMenu);
QMenu* applicationWindowMenu();
// Updates the application's Window menu; nothing without one.
void updateWindowMenuKeyEquivalents();

} // namespace vantle
