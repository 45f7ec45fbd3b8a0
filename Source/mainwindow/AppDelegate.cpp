#include "Source/mainwindow/AppDelegate.h"

#include "Source/mainwindow/MainViewController.h"
#include "Source/session/AppServices.h"
#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
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
#include <unordered_set>
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

std::size_t AppDelegate::takeFiles(const std::vector<std::string>& paths) {
    // Refusals keep the order of the paths they were handed in.
    std::vector<std::pair<std::size_t, Refusal>> refused;
    std::vector<std::pair<std::size_t, platform::Url>> audio;
    std::size_t taken = 0;
    // The audio files between two sessions are one step, added to the session they were handed to:
    // one table reload for a folder's worth of files, not one per file.
    const auto addAudio = [&] {
        if (audio.empty()) return;
        taken += audio.size();
        if (mainViewController_) {
            std::vector<platform::Url> urls;
            urls.reserve(audio.size());
            for (const auto& file : audio)
                urls.push_back(file.second);
            mainViewController_->insertEntries(urls);
            // Each file is opened once, by the entry that measures it. Only one that did not go in is
            // opened again for the reader's reason, so that the user is told rather than the file being
            // silently left out.
            const Playlist& playlist = *mainViewController_->playlist();
            std::unordered_set<platform::Url> listed;
            listed.reserve(playlist.allEntries.size());
            for (const std::shared_ptr<PlaylistEntry>& entry : playlist.allEntries)
                if (entry) listed.insert(entry->_url);
            for (const auto& [index, url] : audio) {
                if (listed.count(url)) continue;
                --taken;
                refused.emplace_back(index, refusalOfAudioFile(url));
            }
        }
        audio.clear();
    };
    for (std::size_t index = 0; index < paths.size(); ++index) {
        const platform::Url url = platform::Url::fileURLWithPath(paths[index]);
        // The console stays UTF-8; the bytes of a name in another encoding show as escapes.
        const std::string shown = platform::escapingInvalidUtf8(url.path());
        platform::consolePrint(shown);
        if (lowerCaseExtension(url) == "vantle") {
            addAudio();
            if (!mainViewController_) continue;
            mainViewController_->openSessionAt(url);
            ++taken;
        } else if (platform::audioFileTypeForPath(url.path()) == platform::AudioFileType::unknown &&
                   !platform::isSongArchivePath(url.path())) {
            platform::consolePrint("can't open " + shown +
                                   ": only sessions (.vantle) and audio files are opened");
            refused.emplace_back(index, Refusal{url.path(), "not a session or an audio file"});
        } else {
            audio.emplace_back(index, url);
        }
    }
    addAudio();
    std::stable_sort(refused.begin(), refused.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Refusal> told;
    told.reserve(refused.size());
    for (auto& refusal : refused)
        told.push_back(std::move(refusal.second));
    reportRefusals(told);
    return taken;
}

AppDelegate::Refusal AppDelegate::refusalOfAudioFile(const platform::Url& url) {
    const std::string shown = platform::escapingInvalidUtf8(url.path());
    platform::Result<std::unique_ptr<platform::AudioFile>> file =
        platform::AudioFile::openForReading(url.path());
    if (file) {
        // Opened, but with no rate to measure its length by.
        platform::consolePrint("can't add " + shown + ": it has no sample rate");
        return {url.path(), "the file is damaged or holds no audio that Vantle can play"};
    }
    platform::consolePrint("can't add " + shown + ": " + platform::escapingInvalidUtf8(file.error().message));
    if (std::optional<std::string> archive = songArchiveRefusal(url.path())) return {url.path(), *archive};
    return {url.path(), audioRefusalReason(file.error())};
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
