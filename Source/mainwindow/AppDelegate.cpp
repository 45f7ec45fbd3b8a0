#include "Source/mainwindow/AppDelegate.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/session/AppServices.h"
#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/SessionRecovery.h"
#include "platform/files/AudioFile.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/files/SongArchive.h"
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
#include <utility>

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
    case platform::AudioFileError::systemFile:
        return "it is a system file, not audio";
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
    platform::removeTemporariesOf(sessionRecoveryFileURL().path());
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
    (void)takeFiles(paths);
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
    return takeFiles({path}) == 1;
}

std::vector<std::string> AppDelegate::commandLinePaths(int argc, const char* const* argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && *argv[i]) paths.push_back(platform::Url::fileURLWithPath(argv[i]).path());
    return paths;
}

struct AppDelegate::HandOver {
    std::vector<std::string> paths;
    std::size_t next = 0;
    std::size_t taken = 0;
    // Refusals keep the order of the paths they were handed in.
    std::vector<std::pair<std::size_t, Refusal>> refused;
};

std::size_t AppDelegate::takeFiles(const std::vector<std::string>& paths) {
    const auto handOver = std::make_shared<HandOver>();
    handOver->paths = paths;
    continueHandOver(handOver);
    return handOver->taken;
}

void AppDelegate::continueHandOver(const std::shared_ptr<HandOver>& handOver) {
    // The audio files and folders between two sessions are one addition, to the session they were
    // handed to: one step and one console line for a folder's worth of files.
    std::vector<std::pair<std::size_t, platform::Url>> audio;
    for (; handOver->next < handOver->paths.size(); ++handOver->next) {
        const std::size_t index = handOver->next;
        // Not asked whether it is a folder yet: thousands of files may be handed over at once.
        platform::Url url = platform::Url::fileURLWithPath(handOver->paths[index], false);
        // The console stays UTF-8; the bytes of a name in another encoding show as escapes.
        const auto shown = [&url] { return platform::escapingInvalidUtf8(url.path()); };
        if (lowerCaseExtension(url) == "vantle") {
            if (!mainViewController_) continue;
            if (!audio.empty()) break;
            platform::consolePrint("opening " + shown());
            mainViewController_->openSessionAt(url);
            ++handOver->taken;
        } else if (platform::audioFileTypeForPath(url.path()) != platform::AudioFileType::unknown ||
                   platform::isSongArchivePath(url.path()) ||
                   // A folder is taken as a drop takes it: its audio files, the rest left out unsaid.
                   // Looked at only when the name is not of audio: thousands of files are handed over
                   // at once.
                   platform::isDirectory(url.path())) {
            audio.emplace_back(index, std::move(url));
        } else {
            platform::consolePrint("can't open " + shown() +
                                   ": only sessions (.vantle), audio files and folders are opened");
            handOver->refused.emplace_back(index, Refusal{url.path(), "not a session or an audio file"});
        }
    }
    if (audio.empty() || !mainViewController_) {
        handOver->taken += audio.size();
        std::stable_sort(handOver->refused.begin(), handOver->refused.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Refusal> told;
        told.reserve(handOver->refused.size());
        for (auto& refusal : handOver->refused)
            told.push_back(std::move(refusal.second));
        handOver->refused.clear();
        reportRefusals(told);
        return;
    }
    handOver->taken += audio.size();
    std::vector<platform::Url> urls;
    urls.reserve(audio.size());
    std::vector<std::size_t> indexes;
    indexes.reserve(audio.size());
    for (auto& [index, url] : audio) {
        urls.push_back(std::move(url));
        indexes.push_back(index);
    }
    QPointer<AppDelegate> self(this);
    mainViewController_->addLocations(
        std::move(urls), nullptr,
        [self, handOver, indexes = std::move(indexes)](const MainViewController::AddedFiles& files) {
            // Each file was opened once, by the worker that measured it; one that did not go in was
            // opened again there for the reader's reason, so that the user is told rather than the
            // file being silently left out.
            for (const FileAddition::File& file : files.notAudio) {
                if (file.location >= indexes.size()) continue;
                --handOver->taken;
                handOver->refused.emplace_back(indexes[file.location], refusalOfAudioFile(file));
            }
            if (self) self->continueHandOver(handOver);
        });
}

AppDelegate::Refusal AppDelegate::refusalOfAudioFile(const FileAddition::File& file) {
    const std::string shown = platform::escapingInvalidUtf8(file.url.path());
    if (!file.error) {
        // Opened, but with no rate to measure its length by.
        platform::consolePrint("can't add " + shown + ": it has no sample rate");
        return {file.url.path(), "the file is damaged or holds no audio that Vantle can play"};
    }
    platform::consolePrint("can't add " + shown + ": " + platform::escapingInvalidUtf8(file.error->message));
    // A zip is refused for a reason of its own (not one song, too large, damaged): say which.
    if (file.archiveRefusal) return {file.url.path(), *file.archiveRefusal};
    return {file.url.path(), audioRefusalReason(*file.error)};
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
