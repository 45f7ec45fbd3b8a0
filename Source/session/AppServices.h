#pragma once
// The one place where the session model finds the application's main window and its Undo and
// Redo menu items (the application delegate's fields). Main thread only.

namespace vantle {

class MainWindowServices;
class MenuItem;

// The registry holds the services weakly: whoever registers one unregisters it (sets null)
// before it goes away. A null main window means the application has no main view controller
// yet; null menu items are skipped.
class AppServices {
public:
    static MainWindowServices* mainWindow();
    static MenuItem* undoMenuItem();
    static MenuItem* redoMenuItem();

    static void setMainWindow(MainWindowServices* mainWindow);
    static void setMenuItems(MenuItem* undoItem, MenuItem* redoItem);

    AppServices() = delete;
};

} // namespace vantle
