#include "Source/mainwindow/AppDelegate.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/session/AppServices.h"
#include "Source/session/Playlist.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Url.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cctype>

namespace vantle {

namespace {

AppDelegate* sharedAppDelegate = nullptr;

std::string lowerCaseExtension(const platform::Url& url) {
    std::string extension = url.pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

AppDelegate::AppDelegate(QObject* parent, bool followApplicationState)
    : QObject(parent), quit_([] { QCoreApplication::quit(); }), undoItem_(new QAction(tr("Undo"), this)),
      redoItem_(new QAction(tr("Redo"), this)) {
    sharedAppDelegate = this;
    undoAction()->setShortcut(QKeySequence::Undo);
    redoAction()->setShortcut(QKeySequence::Redo);
    undoAction()->setEnabled(false);
    redoAction()->setEnabled(false);
    connect(undoAction(), &QAction::triggered, this, [this] { actionUndo(); });
    connect(redoAction(), &QAction::triggered, this, [this] { actionRedo(); });
    AppServices::setMenuItems(&undoItem_, &redoItem_);
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application && followApplicationState) {
        connect(application, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive) applicationDidBecomeActive();
                });
    }
}

AppDelegate::~AppDelegate() {
    AppServices::setMenuItems(nullptr, nullptr);
    if (sharedAppDelegate == this) sharedAppDelegate = nullptr;
}

AppDelegate* AppDelegate::shared() {
    return sharedAppDelegate;
}

// ---- launching and activation ----

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) return;
    launched_ = true;
    QTimer::singleShot(std::max(0, activationFallbackMilliseconds), this, [this] { restoreOnce(); });
}

void AppDelegate::applicationDidBecomeActive() {
    if (!mainViewController_) return;
    restoreOnce();
    if (QWidget* window = mainViewController_->window(); window && window->isMinimized())
        window->showNormal();
}

void AppDelegate::restoreOnce() {
    if (!mainViewController_ || !mainViewController_->first()) return;
    mainViewController_->setFirst(false);
    mainViewController_->restoreState();
    restored_ = true;
    std::vector<std::string> files = std::move(pendingFiles_);
    pendingFiles_.clear();
    for (const std::string& path : files)
        openFile(path);
}

// ---- files handed over ----

void AppDelegate::openFiles(const std::vector<std::string>& paths) {
    if (!restored_) {
        pendingFiles_.insert(pendingFiles_.end(), paths.begin(), paths.end());
        return;
    }
    for (const std::string& path : paths)
        openFile(path);
}

bool AppDelegate::openFile(const std::string& path) {
    const platform::Url url = platform::Url::fileURLWithPath(path);
    platform::consolePrint(url.path());
    const std::string extension = lowerCaseExtension(url);
    if (extension == "mp3" || extension == "m4a") {
        if (mainViewController_) mainViewController_->insertEntries({url});
        return true;
    }
    if (extension == "vantle") {
        if (!mainViewController_) return false;
        mainViewController_->openSessionAt(url);
        return true;
    }
    platform::consolePrint("can't open " + url.path() +
                           ": only sessions (.vantle) and mp3 or m4a files are opened");
    return false;
}

// ---- quitting ----

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    if (!mainViewController_) return TerminateReply::now;
    if (terminationPending_) return TerminateReply::later;
    // Even a quit without unsaved changes keeps what was heard: the entry's listening is closed and
    // the state file (with the ranges of the listening) is written.
    mainViewController_->prepareToQuit();
    if (!mainViewController_->playlist()->dirty) {
        mainViewController_->saveStateForQuit();
        return TerminateReply::now;
    }
    terminationPending_ = true;
    QPointer<AppDelegate> self(this);
    mainViewController_->saveAndTerminate([self](SaveOutcome outcome) {
        if (self) self->replyToApplicationShouldTerminate(outcome != SaveOutcome::failed);
    });
    return TerminateReply::later;
}

void AppDelegate::terminate() {
    if (terminating_ || terminationPending_) return;
    if (applicationShouldTerminate() == TerminateReply::now) finishTermination();
}

void AppDelegate::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!terminationPending_) return;
    terminationPending_ = false;
    if (shouldTerminate) finishTermination();
}

void AppDelegate::finishTermination() {
    terminating_ = true;
    if (quit_) quit_();
}

// ---- Edit menu ----

void AppDelegate::actionUndo() {
    if (mainViewController_) mainViewController_->playlist()->undoer.undo();
}

void AppDelegate::actionRedo() {
    if (mainViewController_) mainViewController_->playlist()->undoer.redo();
}

} // namespace vantle
