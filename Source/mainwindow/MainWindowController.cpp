#include "Source/mainwindow/MainWindowController.h"

#include "Source/mainwindow/AppDelegate.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/mainwindow/SingersScreen.h"
#include "Source/mainwindow/WindowListMenu.h"
#include "Source/playback/BreakTimer.h"
#include "Source/session/Attachment.h"
#include "Source/session/Playlist.h"
#include "Source/views/Clock.h"
#include "Source/views/PlaylistTableView.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/Badge.h"
#include "platform/ui/RecentDocuments.h"
#include "platform/ui/Workspace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <functional>

#include <string>

namespace vantle {

namespace {

// Escape typed in the search field empties it, as Escape from the playlist empties the search.
class SearchFieldEscape final : public QObject {
public:
    SearchFieldEscape(QLineEdit& field, std::function<void()> clear)
        : QObject(&field), clear_(std::move(clear)) {
        field.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
            return false;
        if (!static_cast<QWidget*>(watched)->hasFocus()) return false;
        clear_();
        return true;
    }

private:
    std::function<void()> clear_;
};

} // namespace

namespace {

const char* modeDisplayName(PlayerMode mode) {
    switch (mode) {
    case PlayerMode::dance:
        return "dance";
    case PlayerMode::prepare:
        return "prepare";
    case PlayerMode::karaoke:
        return "karaoke";
    case PlayerMode::karaokePrepare:
        return "karaoke editing";
    }
    return "";
}

} // namespace

MainWindowController::MainWindowController(MainViewEnvironment environment, AppDelegate* delegate,
                                           QWidget* parent)
    : QMainWindow(parent), delegate_(delegate) {
    setObjectName("mainWindow");
    resize(900, 640);

    auto* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    // The title bar's clock: the time and the break, at the left end.
    clockButton_ = new Clock(toolbar);
    clockButton_->setObjectName("clockButton");
    clockButton_->setFixedSize(28, 28);
    clockButton_->setFocusPolicy(Qt::NoFocus);
    toolbar->addWidget(clockButton_);
    toolbar->addSeparator();
    buildToolbarActions(*toolbar);
    modeLabel_ = new QLabel(toolbar);
    modeLabel_->setObjectName("modeLabel");
    toolbar->addWidget(modeLabel_);
    toolbar->addSeparator();
    tagStackView_ = new QWidget(toolbar);
    tagStackView_->setObjectName("tagStackView");
    auto* tagRow = new QHBoxLayout(tagStackView_);
    tagRow->setContentsMargins(0, 0, 0, 0);
    tagRow->setSpacing(2);
    auto makeFilterButton = [this](const char* name, const QString& title, const QString& tip) {
        auto* button = new QToolButton(tagStackView_);
        button->setObjectName(name);
        button->setText(title);
        button->setToolTip(tip);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    includeTagButton_ =
        makeFilterButton("includeTagButton", tr("Include"), tr("Show only entries with a tag"));
    excludeTagButton_ = makeFilterButton("excludeTagButton", tr("Exclude"), tr("Hide entries with a tag"));
    toolbar->addWidget(tagStackView_);
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    searchField_ = new QLineEdit(toolbar);
    searchField_->setObjectName("searchField");
    searchField_->setPlaceholderText(tr("Search"));
    searchField_->setClearButtonEnabled(true);
    searchField_->setMaximumWidth(220);
    toolbar->addWidget(searchField_);
    connect(searchField_, &QLineEdit::textEdited, this, [this] { actionSearch(); });
    new SearchFieldEscape(*searchField_, [this] { clearSearchField(); });

    badgeLabel_ = new QLabel(this);
    badgeLabel_->setObjectName("badge");
    statusBar()->addPermanentWidget(badgeLabel_);
    badge_ = std::make_unique<platform::QtLabelBadge>(badgeLabel_);
    platform::dockTile().setBadge(badge_.get());

    // The content view: it registers with the application delegate as it loads.
    mainView_ = new MainViewController(std::move(environment), this);
    setCentralWidget(mainView_);
    setUpTitlebarClock();
    connect(clockButton_, &QAbstractButton::clicked, this,
            [this] { popUpMenu(mainView_->breakTimePopupMenu(), *clockButton_); });
    connect(includeTagButton_, &QToolButton::clicked, this,
            [this] { popUpMenu(mainView_->includeTagPopupMenu(), *includeTagButton_); });
    connect(excludeTagButton_, &QToolButton::clicked, this,
            [this] { popUpMenu(mainView_->excludeTagPopupMenu(), *excludeTagButton_); });
    buildMenus(delegate);
    restoreFrame();
    updateModeTools();
    rebuildTagFilterButtons();
    mainView_->updateWindowTitle();

    // Every mouse movement of the application passes here, whichever widget it is for.
    qApp->installEventFilter(this);
    lastMouseMove_ = mainView_->scheduler().now();
    QPointer<MainWindowController> self(this);
    mouseTimer_ = mainView_->scheduler().scheduleRepeating(mouseTimeOut, [self] {
        if (self) self->hideMouseIfIdle();
    });
}

MainWindowController::~MainWindowController() {
    mouseTimer_.cancel();
    qApp->removeEventFilter(this);
    if (cursorHidden_) QGuiApplication::restoreOverrideCursor();
    if (platform::dockTile().badge() == badge_.get()) platform::dockTile().setBadge(nullptr);
}

void MainWindowController::buildMenus(AppDelegate* delegate) {
    MainViewController* view = mainView_;
    // Each item is named after its action, so that tests and scripts find it.
    auto add = [](QMenu* menu, const char* name, const QString& title, QKeySequence key, QObject* context,
                  std::function<void()> command) {
        QAction* action = menu->addAction(title, context, std::move(command));
        action->setObjectName(name);
        if (!key.isEmpty()) action->setShortcut(key);
        return action;
    };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, "newSessionAction", tr("New Session"), QKeySequence(Qt::CTRL | Qt::Key_N), view,
        [view] { view->newSession(); });
    add(file, "openSession", tr("Open Session…"), QKeySequence(Qt::CTRL | Qt::Key_O), view,
        [view] { view->openSessionAction(); });
    QMenu* recent = file->addMenu(tr("Open Recent"));
    recent->setObjectName("openRecentMenu");
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { rebuildRecentMenu(*recent); });
    rebuildRecentMenu(*recent);
    file->addSeparator();
    add(file, "actionAddEntry", tr("Add Files…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), view,
        [view] { view->chooseFilesToAdd(); });
    file->addSeparator();
    add(file, "saveSession", tr("Save Session"), QKeySequence(Qt::CTRL | Qt::Key_S), view,
        [view] { view->saveSessionAction(); });
    add(file, "saveAsSession", tr("Save Session As…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), view,
        [view] { view->saveAsSession(); });
    add(file, "exportToCloud", tr("Export to Documents"), {}, view, [view] { view->exportToCloud(); });
    add(file, "showProperties", tr("Session Properties…"), {}, view, [view] { view->showProperties(); });
    add(file, "showPreferences", tr("Preferences…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), view, [view] {
        view->showPreferences();
    })->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    add(file, "fileCloseAction", tr("Close Session"), QKeySequence(Qt::CTRL | Qt::Key_W), view,
        [view] { view->closeSession(); });
    file->addSeparator();
    add(file, "actionViewLog", tr("View Log"), {}, view, [view] { view->viewLog(); });
    file->addSeparator();
    QAction* quit = add(file, "terminate", tr("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, [this] {
        if (delegate_)
            delegate_->terminate();
        else
            close();
    });
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    if (delegate) {
        edit->addAction(delegate->undoAction());
        edit->addAction(delegate->redoAction());
        edit->addSeparator();
    }
    add(edit, "actionFocusSearch", tr("Find"), QKeySequence(Qt::CTRL | Qt::Key_F), this,
        [this] { focusSearchField(); });
    // Lines for a song being timed; the text fields paste for themselves.
    QAction* paste = add(edit, "actionPasteLyrics", tr("Paste"), QKeySequence::Paste, view,
                         [view] { view->pasteLyricLines(); });
    paste->setEnabled(false);

    QMenu* controls = menuBar()->addMenu(tr("&Controls"));
    add(controls, "actionBreak", tr("Start or Cancel Break"), QKeySequence(Qt::CTRL | Qt::Key_B), this,
        [this] { toggleBreakTimer(); });
    controls->addSeparator();
    // Smaller, larger and back to the own size: the keys people know for zoom, free everywhere else.
    add(controls, "keyDown", tr("Key Down"), QKeySequence(Qt::CTRL | Qt::Key_Minus), view,
        [view] { view->transport().keyDown(); });
    QAction* keyUp = add(controls, "keyUp", tr("Key Up"), QKeySequence(Qt::CTRL | Qt::Key_Equal), view,
                         [view] { view->transport().keyUp(); });
    // Where "+" is typed with Shift, Control with "+" means the same.
    keyUp->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    add(controls, "originalKey", tr("Original Key"), QKeySequence(Qt::CTRL | Qt::Key_0), view,
        [view] { view->transport().originalKey(); });

    menuBar()->addMenu(&view->entryMenu());

    QMenu* windows = menuBar()->addMenu(tr("&Window"));
    windows->setObjectName("windowsMenu");
    add(windows, "performMiniaturize", tr("Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), this, [] {
        if (QWidget* active = QApplication::activeWindow()) active->showMinimized();
    });
    add(windows, "actionSingersScreen", tr("Singers' Screen"), {}, view,
        [view] { view->karaoke().toggleSingersScreen(); });
    QMenu* fullScreen = windows->addMenu(tr("Singers' Screen Full Screen On"));
    fullScreen->setObjectName("singersFullScreenMenu");
    connect(fullScreen, &QMenu::aboutToShow, this,
            [this, fullScreen] { rebuildSingersScreenMenu(*fullScreen); });
    rebuildSingersScreenMenu(*fullScreen);
    windows->addSeparator();
    windowList_ = new WindowListMenu(*windows);
    setApplicationWindowMenu(windows);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    view->buildHelpMenu(*help);
    help->addSeparator();
    add(help, "actionOpenPdfHelp", tr("Vantle Help (PDF)"), {}, this, [this] { openBundledPDF("Help"); });
    add(help, "actionOpenPdfRemoteManual", tr("Game-Pad Remote Manual (PDF)"), {}, this,
        [this] { openBundledPDF("Remote_Manual"); });
}

void MainWindowController::rebuildSingersScreenMenu(QMenu& menu) {
    menu.clear();
    KaraokePart& karaoke = mainView_->karaoke();
    const std::optional<QString> on = karaoke.singersFullScreenOn();
    for (QScreen* screen : QGuiApplication::screens()) {
        const QString name = SingersScreen::screenLabel(screen);
        const QRect frame = screen->geometry();
        QAction* item = menu.addAction(
            QStringLiteral("%1 (%2×%3)").arg(name).arg(frame.width()).arg(frame.height()), this,
            // The same command again leaves full screen.
            [&karaoke, name] {
                const std::optional<QString> now = karaoke.singersFullScreenOn();
                karaoke.setSingersFullScreen(now == name ? std::nullopt : std::optional<QString>(name));
            });
        item->setObjectName(QStringLiteral("singersFullScreenOn:") + name);
        item->setCheckable(true);
        item->setChecked(on == name);
    }
}

void MainWindowController::rebuildRecentMenu(QMenu& menu) {
    menu.clear();
    MainViewController* view = mainView_;
    platform::RecentDocuments recent(view->defaults());
    for (const platform::Url& url : recent.recentDocumentUrls()) {
        QAction* item = menu.addAction(
            QString::fromStdString(platform::escapingControlCharacters(url.lastPathComponent())), view,
            [view, url] { view->openSessionAt(url); });
        item->setToolTip(QString::fromStdString(platform::escapingControlCharacters(url.path())));
    }
    if (!menu.isEmpty()) menu.addSeparator();
    QAction* clear = menu.addAction(tr("Clear Menu"), view, [view] {
        platform::RecentDocuments(view->defaults()).clearRecentDocuments();
    });
    clear->setEnabled(!recent.recentDocumentUrls().empty());
}

void MainWindowController::setUpTitlebarClock() {
    clockButton_->setDateSource(mainView_->clock());
    clockButton_->setTimerScheduler(mainView_->scheduler());
    clockButton_->setRestTimer(&mainView_->restTimerState());
    clockButton_->setClockVisible(true);
    clockButton_->startDisplayTimer();
    clockButton_->setEnabled(true);
}

void MainWindowController::actionPrepare() {
    setMode(PlayerMode::prepare);
}

void MainWindowController::actionSearch() {
    mainView_->playlist()->filterText = searchField_->text().toStdString();
    mainView_->tableView().reloadTable();
}

void MainWindowController::clearSearchField() {
    searchField_->clear();
    actionSearch();
}

void MainWindowController::updateModeTools() {
    const PlayerMode mode = mainView_->player().mode();
    modeLabel_->setText(QString::fromUtf8(modeDisplayName(mode)));
    if (auto* paste = findChild<QAction*>("actionPasteLyrics"))
        paste->setEnabled(mode == PlayerMode::karaokePrepare);
    showModeTools(mode);
}

void MainWindowController::rebuildTagFilterButtons() {
    const Playlist& playlist = *mainView_->playlist();
    auto* row = static_cast<QHBoxLayout*>(tagStackView_->layout());
    while (QLayoutItem* item = row->takeAt(0)) {
        QWidget* button = item->widget();
        // The include and exclude buttons stay; a tag's button may be the one being clicked.
        if (button && button != includeTagButton_ && button != excludeTagButton_) {
            button->hide();
            button->deleteLater();
        }
        delete item;
    }
    MainViewController* view = mainView_;
    auto addTags = [&](QToolButton* filterButton, const TagSet& tags, const char* name,
                       void (MainViewController::*toggle)(const QString&)) {
        row->addWidget(filterButton);
        for (const std::string& tag : tags) {
            auto* button = new QToolButton(tagStackView_);
            button->setObjectName(name);
            button->setText(QString::fromStdString(tag));
            button->setFocusPolicy(Qt::NoFocus);
            connect(button, &QToolButton::clicked, view,
                    [view, button, toggle] { (view->*toggle)(button->text()); });
            row->addWidget(button);
        }
    };
    addTags(includeTagButton_, playlist.includeTags, "includedTag", &MainViewController::actionIncludeTag);
    addTags(excludeTagButton_, playlist.excludeTags, "excludedTag", &MainViewController::actionExcludeTag);
}

void MainWindowController::popUpMenu(QMenu& menu, QWidget& at) {
    menu.popup(at.mapToGlobal(QPoint(0, at.height())));
}

void MainWindowController::toggleBreakTimer() {
    mainView_->breakTimer().toggle();
    clockButton_->update();
}

void MainWindowController::focusSearchField() {
    searchField_->setFocus(Qt::ShortcutFocusReason);
    searchField_->selectAll();
}

namespace {

bool desktopHasPdfApplication() {
    QProcess query;
    query.start("xdg-mime", {"query", "default", "application/pdf"});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return false;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

void MainWindowController::openBundledPDF(const std::string& name) {
    const std::optional<std::string> path = bundle_.pathForResource(name, "pdf");
    if (!path) {
        platform::AlertOptions options;
        options.messageText = "The document \"" + name + ".pdf\" is missing.";
        options.informativeText = "It belongs in the program's resources, " +
                                  platform::replacingInvalidUtf8(bundle_.resourcePath()) +
                                  "; installing the program again puts it back.";
        mainView_->alerts().beginAlert(this, std::move(options), [](int) {});
        return;
    }
    const platform::Url url = platform::Url::fileURLWithPath(*path);
    const bool hasApplication = hasPdfApplication_ ? hasPdfApplication_() : desktopHasPdfApplication();
    if (hasApplication && mainView_->workspace().openFile(url)) return;
    // Nothing else shows PDF documents here: the program's own window does.
    mainView_->showPdfWindow(Attachment(url, ""));
}

void MainWindowController::hideMouseIfIdle() {
    const auto idle = static_cast<float>(mainView_->scheduler().now() - lastMouseMove_);
    if (cursorHidden_ || !(idle > mouseTimeOut) || !isActiveWindow()) return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    cursorHidden_ = true;
}

bool MainWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        lastMouseMove_ = mainView_->scheduler().now();
        if (cursorHidden_) {
            cursorHidden_ = false;
            QGuiApplication::restoreOverrideCursor();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindowController::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The user is back: the screensaver's idle time starts over.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) mainView_->screensaver().resetIdle();
}

void MainWindowController::closeEvent(QCloseEvent* event) {
    saveFrame();
    // Closing the main window is quitting; the delegate decides when.
    if (delegate_ && !delegate_->terminating()) {
        event->ignore();
        delegate_->terminate();
        return;
    }
    QMainWindow::closeEvent(event);
}

} // namespace vantle
