// The application: the main window over the player, restored to the last session at the first
// activation. Files named on the command line are handed over as the system would hand them: to this
// instance, or to the one already running for the same user, folders and display.

#include "Source/mainwindow/AppDelegate.h"
#include "Source/mainwindow/MainWindowController.h"
#include "Source/mainwindow/RealParts.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/playback/RestTimer.h"
#include "Source/playback/ToolkitScrubSnippetPlayer.h"
#include "Source/session/AppState.h"
#include "platform/dispatch/Reaper.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/GameControllerCenter.h"
#include "platform/system/SdlGameControllerBackend.h"
#include "platform/ui/DesktopDoNotDisturb.h"
#include "platform/ui/QtMainQueue.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/WatchedApplication.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    platform::WatchedApplication application(argc, argv);
    // A stretch that keeps the window from answering is a fault users feel: say where it was.
    if (const auto threshold = platform::StallWatchdog::thresholdFromEnvironment()) {
        platform::StallWatchdog::Options watch;
        watch.threshold = *threshold;
        watch.report = [](const platform::StallWatchdog::Stall& stall) {
            // One console line per frame.
            const std::string text = "The window did not answer: " + stall.text();
            for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
                end = std::min(text.find('\n', start), text.size());
                platform::consolePrint(std::string_view(text).substr(start, end - start));
            }
        };
        application.watch(std::move(watch));
    }
    QApplication::setApplicationName("Vantle");
    QApplication::setOrganizationDomain("fennorastudio.com");
    QApplication::setDesktopFileName("com.fennorastudio.Vantle");

    const std::vector<std::string> files = vantle::AppDelegate::commandLinePaths(argc, argv);

    // One instance per user, state and settings folder and display: a later start hands its files
    // to the running one and leaves. A start that shows nothing to a user (offscreen) is always
    // one of its own.
    std::optional<platform::SingleInstance> instance;
    if (const std::optional<std::string> display =
            platform::SingleInstance::displayOf(QGuiApplication::platformName().toStdString())) {
        instance.emplace(platform::SingleInstance::forUser(
            "com.fennorastudio.Vantle",
            {vantle::appStateDirectory(), platform::UserDefaults::defaultFolder()}, *display));
        switch (instance->start(files)) {
        case platform::SingleInstance::Role::handedOver:
            return 0;
        case platform::SingleInstance::Role::noAnswer:
            platform::consolePrint("Vantle is already running but does not answer; nothing was opened");
            return 1;
        case platform::SingleInstance::Role::tooMany:
            platform::consolePrint("Vantle is already running, but " + std::to_string(files.size()) +
                                   " files are more than it takes from another start at once; nothing was "
                                   "opened. Add their folder with File › Add Files… instead");
            return 1;
        case platform::SingleInstance::Role::running:
            break;
        }
    }
    platform::bindMainQueueToQtLoop(application);

    int result = 0;
    {
        // Both outlive the window; Do Not Disturb is put back when it goes, before the application.
        platform::DesktopDoNotDisturb doNotDisturb;
        platform::GameControllerCenter gameControllers(
            std::make_unique<platform::SdlGameControllerBackend>());

        vantle::AppDelegate delegate;
        vantle::MainViewEnvironment environment;
        environment.parts = vantle::realMainViewParts({&gameControllers});
        environment.doNotDisturb = &doNotDisturb;
        // The player over the node graph (the sound card, or the null device when there is none) and
        // the break timer with its bell.
        environment.makePlayer = [] { return std::make_unique<vantle::PlayerRZ>(); };
        environment.makeBreakTimer = [] { return std::make_unique<vantle::RestTimer>(); };
        // The scrubber's snippets play through a small engine of their own on the entry's file.
        environment.makeScrubSnippetPlayer = [](const platform::Url& url) {
            return std::make_unique<vantle::ToolkitScrubSnippetPlayer>(url);
        };
        // The window's teardown after the loop ended, while it still shows, is watched as well.
        std::optional<platform::WatchedApplication::Stretch> closing;
        vantle::MainWindowController window(std::move(environment), &delegate);
        window.show();

        if (instance)
            instance->setReceiver(
                [&delegate](std::vector<std::string> handed) { delegate.openFilesFromLaterStart(handed); });
        delegate.openFiles(files);
        delegate.applicationDidFinishLaunching();
        result = QApplication::exec();
        closing.emplace("closing the window");
        // A length still being counted would hold the exit until it is done.
        platform::AudioFile::stopLengthCounts();
        if (instance) instance->setReceiver({});
    }
    // The last writes of the window's workers (the state, the timed lines) reach the disk.
    platform::waitForReaped();
    platform::unbindMainQueueFromQtLoop();
    return result;
}
