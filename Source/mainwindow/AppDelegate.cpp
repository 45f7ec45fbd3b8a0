#include "Source/mainwindow/AppDelegate.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/session/AppServices.h"
#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "platform/files/AudioFile.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
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

std::string lowerCaseExtension(const platform::Url& url) {
    std::string extension = url.pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string audioRefusalReason(const platform::Error& error) {
    switch (static_cast<platform::AudioFileError>(error.code)) {
    case platform::AudioFileError::notFound:
        return "there is no such file";
    case platform::AudioFileError::emptyFile:
        return "the file is empty";
    case platform::AudioFileError::notRegularFile:
        return "not a regular file (a FIFO, a device or a socket)";
    default:
        return "the file is damaged or holds no audio that Vantle can play";
    }
}

} // namespace

AppDelegate::AppDelegate(QObject* parent, bool followApplicationState)
    : QObject(parent), quit_([] { QCoreApplication::quit(); }), undoItem_(new QAction(tr("Undo"), this)),
      redoItem_(new QAction(tr("Redo"), this)) {
    setShared(this);
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
    if (MainViewHolder::shared() == this) setShared(nullptr);
}

AppDelegate* AppDelegate::shared() {
    return dynamic_cast<AppDelegate*>(MainViewHolder::shared());
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
    std::vector<std::string> files = std::move(pendingFiles_);
    pendingFiles_.clear();
    // At start-up this instance is the one writer of its state file and of the documents it opens
    // (a writer elsewhere keeps its temporary locked): a killed run's leftovers go now, however young.
    platform::removeTemporariesOf(appStateFileURL().path());
    for (const std::string& path : files)
        if (lowerCaseExtension(platform::Url::fileURLWithPath(path)) == "vantle")
            platform::removeTemporariesOf(path);
    mainViewController_->restoreState();
    restored_ = true;
    openFiles(files);
}

// ---- files handed over ----

void AppDelegate::openFiles(const std::vector<std::string>& paths) {
    if (!restored_) {
        pendingFiles_.insert(pendingFiles_.end(), paths.begin(), paths.end());
        return;
    }
    std::vector<Refusal> refused;
    for (const std::string& path : paths)
        (void)takeFile(path, refused);
    reportRefusals(refused);
}

void AppDelegate::openFilesFromLaterStart(const std::vector<std::string>& paths) {
    if (QWidget* window = mainViewController_ ? mainViewController_->window() : nullptr) {
        if (window->isMinimized()) window->showNormal();
        window->raise();
        window->activateWindow();
    }
    openFiles(paths);
}

bool AppDelegate::openFile(const std::string& path) {
    std::vector<Refusal> refused;
    const bool taken = takeFile(path, refused);
    reportRefusals(refused);
    return taken;
}

std::vector<std::string> AppDelegate::commandLinePaths(int argc, const char* const* argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && *argv[i]) paths.push_back(platform::Url::fileURLWithPath(argv[i]).path());
    return paths;
}

bool AppDelegate::takeFile(const std::string& path, std::vector<Refusal>& refused) {
    const platform::Url url = platform::Url::fileURLWithPath(path);
    // The console stays UTF-8; the bytes of a name in another encoding show as escapes.
    const std::string shown = platform::escapingInvalidUtf8(url.path());
    platform::consolePrint(shown);
    if (lowerCaseExtension(url) == "vantle") {
        if (!mainViewController_) return false;
        mainViewController_->openSessionAt(url);
        return true;
    }
    if (platform::audioFileTypeForPath(url.path()) == platform::AudioFileType::unknown) {
        platform::consolePrint("can't open " + shown +
                               ": only sessions (.vantle) and audio files are opened");
        refused.push_back({url.path(), "not a session or an audio file"});
        return false;
    }
    // The reader's own check: a damaged file is refused here, where the user can be told, rather
    // than silently left out of the playlist.
    if (auto file = platform::AudioFile::openForReading(url.path()); !file) {
        platform::consolePrint("can't add " + shown + ": " +
                               platform::escapingInvalidUtf8(file.error().message));
        refused.push_back({url.path(), audioRefusalReason(file.error())});
        return false;
    }
    if (mainViewController_) mainViewController_->insertEntries({url});
    return true;
}

void AppDelegate::reportRefusals(const std::vector<Refusal>& refused) {
    if (mainViewController_) mainViewController_->reportRefusedFiles(refused);
}

// ---- quitting ----

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    if (!mainViewController_) return TerminateReply::now;
    if (terminationPending_) return TerminateReply::later;
    mainViewController_->prepareToQuit();
    // Every quit goes through the save: a clean session with a location is written as well, so
    // that what was heard is kept. The answer may come at once.
    terminationPending_ = true;
    QPointer<AppDelegate> self(this);
    mainViewController_->saveAndTerminate([self](SaveOutcome outcome) {
        if (self)
            self->replyToApplicationShouldTerminate(outcome == SaveOutcome::saved ||
                                                    outcome == SaveOutcome::notWritten);
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
