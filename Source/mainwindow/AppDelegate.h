#pragma once
// The application's delegate: the one place where the rest of the program finds the main view
// controller; restores the last session once, at the first activation; opens files handed over;
// quits through the save-first sequence; holds the Undo and Redo menu items. Main thread only.

#include "Source/mainwindow/FileAddition.h"
#include "Source/mainwindow/MainViewHolder.h"
#include "Source/mainwindow/QActionMenuItem.h"
#include "Source/mainwindow/RefusedFile.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;

namespace platform {
class Url;
}

namespace vantle {

class MainViewController;

class AppDelegate final : public QObject, public MainViewHolder {
    Q_OBJECT

public:
    // How a request to quit is answered: at once, or later, once the session has been saved.
    enum class TerminateReply { now, later };

    // One per process; shared() finds it. Undo and Redo start disabled, with their plain titles.
    // Activations are those the application reports, unless `followApplicationState` is false (a
    // test then calls applicationDidBecomeActive itself).
    explicit AppDelegate(QObject* parent = nullptr, bool followApplicationState = true);
    ~AppDelegate() override;

    static AppDelegate* shared();

    // Set by the main view controller when its view has loaded.
    MainViewController* mainViewController() const override { return mainViewController_; }
    void setMainViewController(MainViewController* controller) override { mainViewController_ = controller; }

    // ---- launching and activation ----
    // Launch is done: when the platform never reports an activation (no window manager, say), the
    // restore runs anyway after `activationFallbackMilliseconds`.
    void applicationDidFinishLaunching();
    // Every activation: the first one restores the last session (once in the life of the
    // process); each brings a minimised main window back.
    void applicationDidBecomeActive();
    // The restore has run.
    bool restored() const { return restored_; }
    int activationFallbackMilliseconds = 1500;

    // ---- files handed over (the command line, or a later start) ----
    // Waits for the restore, then opens each in order: the audio files between two sessions are added
    // as one undoable step. The files that could not be taken are listed in one alert.
    void openFiles(const std::vector<std::string>& paths);
    // What a later start of the program handed over: the main window comes to the front (also
    // from minimised), then the files open as openFiles opens them.
    void openFilesFromLaterStart(const std::vector<std::string>& paths);
    // Paths are bytes: a name that is not UTF-8 is opened as it is. A ".vantle" document replaces
    // the session, which is saved first; one that cannot be read changes nothing. A file the audio
    // reader opens (its extension, in any case, names a type the reader knows) is added to the
    // session as one undoable step, and so is the audio a folder holds. Anything else is refused with a
    // console line and an alert. True when the file was taken (a large folder: being taken).
    bool openFile(const std::string& path);
    // The files named on a command line (after Qt took its own options out), as absolute paths.
    // The bytes are kept as they are, never decoded as text; relative names are resolved in the
    // current folder, since the running instance they may be handed to has another.
    static std::vector<std::string> commandLinePaths(int argc, const char* const* argv);

    // ---- quitting ----
    // Stops playback, closes the current entry's listening and saves the state and the session
    // (through the save panel when it has unsaved changes and no location); the quit follows
    // unless the user cancelled the panel or the save failed: then the application stays (and
    // says why when the save failed).
    TerminateReply applicationShouldTerminate();
    // Asks, and quits now or once the save is done.
    void terminate();
    // The pending answer of a later quit.
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    // A quit is waiting for its save.
    bool terminationPending() const { return terminationPending_; }
    // Quitting has been decided; the main window may close.
    bool terminating() const { return terminating_; }
    // What quitting does (default: QCoreApplication::quit).
    void setQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }

    // ---- Edit menu ----
    QAction* undoAction() const { return undoItem_.action(); }
    QAction* redoAction() const { return redoItem_.action(); }
    void actionUndo();
    void actionRedo();

private:
    using Refusal = RefusedFile;
    // Opens the files in order and tells of the refused ones in one alert; how many were taken (so
    // far, when many files are still being added: sessions after them open once they are in).
    std::size_t takeFiles(const std::vector<std::string>& paths);
    struct HandOver;
    void continueHandOver(const std::shared_ptr<HandOver>& handOver);
    // Why the audio file could not be added, as the reader said; printed on the console.
    static Refusal refusalOfAudioFile(const FileAddition::File& file);
    void reportRefusals(const std::vector<Refusal>& refused);
    void restoreOnce();
    void finishTermination();

    MainViewController* mainViewController_ = nullptr;
    bool restored_ = false;
    bool launched_ = false;
    bool terminationPending_ = false;
    bool terminating_ = false;
    std::vector<std::string> pendingFiles_;
    std::function<void()> quit_;
    QActionMenuItem undoItem_;
    QActionMenuItem redoItem_;
};

} // namespace vantle
