#pragma once
// The main window: its menus, the toolbar's search field, mode display and tag filter line, the
// status line with the badge, and the main view as its content. Closing it quits the application.
// Main thread only.

#include "Source/mainwindow/MainViewController.h"

#include <QMainWindow>

#include <memory>

class QLabel;
class QLineEdit;

namespace platform {
class QtLabelBadge;
}

namespace vantle {

class AppDelegate;

class MainWindowController final : public QMainWindow {
    Q_OBJECT

public:
    // The Edit menu takes the delegate's Undo and Redo items; without a delegate there is none.
    explicit MainWindowController(MainViewEnvironment environment, AppDelegate* delegate = nullptr,
                                  QWidget* parent = nullptr);
    ~MainWindowController() override;

    MainViewController& mainViewController() const { return *mainView_; }
    QLineEdit& searchField() const { return *searchField_; }
    QLabel& modeLabel() const { return *modeLabel_; }
    QLabel& tagFilterLabel() const { return *tagFilterLabel_; }
    QLabel& badgeLabel() const { return *badgeLabel_; }

    // The search field's text becomes the playlist's filter; the table is reloaded.
    void actionSearch();
    // Empties the search field and applies the empty filter.
    void clearSearchField();
    // Shows the player's mode.
    void updateModeTools();
    // Shows the playlist's include and exclude tags.
    void rebuildTagFilterButtons();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus(AppDelegate* delegate);

    AppDelegate* delegate_;
    MainViewController* mainView_;
    QLineEdit* searchField_;
    QLabel* modeLabel_;
    QLabel* tagFilterLabel_;
    QLabel* badgeLabel_;
    std::unique_ptr<platform::QtLabelBadge> badge_;
};

} // namespace vantle
