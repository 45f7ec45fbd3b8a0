#pragma once
// The main window: its menus, the toolbar's search field, mode display and tag filter line, the
// status line with the badge, and the main view as its content. Closing it quits the application.
// Main thread only.

#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"
#include "Source/mainwindow/MainViewController.h"
#include "Source/mainwindow/MainWindowHost.h"
#include "platform/dispatch/TimerScheduler.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

namespace platform {
class QtLabelBadge;
}

namespace vantle {

class AppDelegate;
class Clock;
class WindowListMenu;

class MainWindowController final : public QMainWindow, public MainWindowHost {
    Q_OBJECT

public:
    // The Edit menu takes the delegate's Undo and Redo items; without a delegate there is none.
    explicit MainWindowController(MainViewEnvironment environment, AppDelegate* delegate = nullptr,
                                  QWidget* parent = nullptr);
    ~MainWindowController() override;

    MainViewController& mainViewController() const { return *mainView_; }
    QLineEdit& searchField() const { return *searchField_; }
    QLabel& modeLabel() const { return *modeLabel_; }
    // The tag filter bar: the include button, a button per included tag, the exclude button, a
    // button per excluded tag. A tag's button takes it out of its filter.
    QWidget& tagStackView() const { return *tagStackView_; }
    QToolButton& includeTagButton() const { return *includeTagButton_; }
    QToolButton& excludeTagButton() const { return *excludeTagButton_; }
    QLabel& badgeLabel() const { return *badgeLabel_; }
    // The clock at the left of the toolbar (the title bar's on the original platform): the time and
    // the main view's break.
    Clock& clockButton() const { return *clockButton_; }

    // The search field's text becomes the playlist's filter; the table is reloaded.
    void actionSearch();
    // Empties the search field and applies the empty filter.
    void clearSearchField() override;
    bool isSearchField(const QWidget* widget) const override { return widget == searchField_; }
    // Shows the player's mode.
    void updateModeTools() override;
    // Prepare mode: the player's mode becomes `prepare` (the mode display follows), the break
    // timer stops and the screensaver's idle time starts over.
    void actionPrepare() override;
    // The mode tools' actions: the player's mode, shown at once; prepare and karaoke stop the
    // break timer; the screensaver's idle time starts over.
    void setMode(PlayerMode mode);
    // The toolbar's three mode tools; each names the picture it shows in its "imageName" property
    // ("dance-active", "karaoke-editing", ...) and is checked while its mode is on.
    QToolButton& danceTool() const { return *danceTool_; }
    QToolButton& prepareTool() const { return *prepareTool_; }
    QToolButton& karaokeTool() const { return *karaokeTool_; }
    // The user defaults key of the window's frame.
    static constexpr const char* frameAutosaveName = "VantleDefaultWindow";
    // Writes the frame now (the debounce timer does so once a move or resize has settled).
    void saveFrame();
    // Shows the playlist's include and exclude tags.
    void rebuildTagFilterButtons() override;
    // Pops up one of the main view's menus under the widget.
    void popUpMenu(QMenu& menu, QWidget& at);

    // The toolbar's and the Controls menu's break: an idle break timer starts with the default
    // length, a running one is cancelled; the clock shows it at once.
    void toggleBreakTimer();
    // The toolbar's search field takes the keyboard focus (the Edit menu's Find, Ctrl+F).
    void focusSearchField();

    // Opens "<name>.pdf" of the program's resources with the user's default application for PDF
    // documents, or in a PDF window of the program's own when none takes it. A document missing
    // from the resources is reported in an alert.
    void openBundledPDF(const std::string& name);
    // Where openBundledPDF looks; the program's own resources unless a test says otherwise.
    void setResourceBundle(rozezeru::Bundle bundle) { bundle_ = std::move(bundle); }
    // Whether the desktop names a default application for PDF documents; by default asked of
    // xdg-mime.
    void setPdfApplicationCheck(std::function<bool()> check) { hasPdfApplication_ = std::move(check); }

    // Seconds without mouse movement after which the pointer is hidden while the window is active;
    // also the period of the check.
    static constexpr float mouseTimeOut = 1.0f;
    // The check: hides the pointer when the mouse has rested longer than mouseTimeOut and this is
    // the active window. It shows again at the next movement.
    void hideMouseIfIdle();
    bool cursorHidden() const { return cursorHidden_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus(AppDelegate* delegate);
    // The session documents opened last, most recent first, and "Clear Menu".
    void rebuildRecentMenu(QMenu& menu);
    // One item per screen: the singers' screen goes full screen there, or leaves it.
    void rebuildSingersScreenMenu(QMenu& menu);
    void setUpTitlebarClock();
    // Play, pause, zero and segment jumps, add, remove, the log and the mode tools.
    void buildToolbarActions(QToolBar& toolbar);
    void restoreFrame();
    void showModeTools(PlayerMode mode);

    AppDelegate* delegate_;
    MainViewController* mainView_;
    QLineEdit* searchField_;
    QLabel* modeLabel_;
    QWidget* tagStackView_;
    QToolButton* includeTagButton_;
    QToolButton* excludeTagButton_;
    QLabel* badgeLabel_;
    Clock* clockButton_;
    std::unique_ptr<platform::QtLabelBadge> badge_;
    WindowListMenu* windowList_ = nullptr;
    QToolButton* danceTool_ = nullptr;
    QToolButton* prepareTool_ = nullptr;
    QToolButton* karaokeTool_ = nullptr;
    // The end of a live move or resize: no event says so on Linux, so a quiet spell stands for it.
    QTimer* frameSaveTimer_ = nullptr;
    rozezeru::Bundle bundle_ = rozezeru::Bundle::main();
    std::function<bool()> hasPdfApplication_;
    // Fires every mouseTimeOut seconds for the window's life, on the main view's scheduler, whose
    // clock also dates the last mouse movement.
    platform::DispatchTimer mouseTimer_;
    double lastMouseMove_ = 0.0;
    bool cursorHidden_ = false;
};

} // namespace vantle
