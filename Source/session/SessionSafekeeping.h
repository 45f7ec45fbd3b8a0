#pragma once
// Keeps on disk, as they change, what a crash would lose of the open session: the state file (the
// current entry, the position and the song's listening) and the recovery file (the unsaved order and
// keys, SessionRecovery). Each is taken on the main thread once its changes pause and written on a
// worker of its own, so the window never waits on either; flush() writes at once what waits. Main
// thread.

#include "Source/session/AppState.h"
#include "Source/session/SessionRecovery.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/TimerScheduler.h"

#include <functional>
#include <memory>
#include <optional>

namespace vantle {

class SessionSafekeeping {
public:
    struct Sources {
        // The record of the state file as it is now.
        std::function<AppState()> state;
        // The unsaved changes as they are now; none when there are none.
        std::function<std::optional<SessionRecovery>()> recovery;
        // The position and the listening move by themselves while this holds.
        std::function<bool()> playing;
    };

    // Looks for changes every checkSeconds on the scheduler (its handlers run on the main queue).
    SessionSafekeeping(Sources sources, platform::TimerScheduler& scheduler);
    // Takes what waits; its worker writes it after this is gone, and the program's exit waits for that
    // (platform::waitForReaped()).
    ~SessionSafekeeping();
    SessionSafekeeping(const SessionSafekeeping&) = delete;
    SessionSafekeeping& operator=(const SessionSafekeeping&) = delete;

    // The state changed: it is taken once no change came for pauseSeconds, and at the latest
    // longestWaitSeconds after the first change that waits.
    void stateChanged();
    // What changes with no call: while playing the state is taken every playingStateSeconds; the
    // unsaved changes are taken at every check and written when they differ from the last written
    // (the recovery file goes once there are none).
    void check();
    // Takes what waits and the unsaved changes as they are now (none after a save: the recovery file
    // goes), to be written by the worker.
    void takeWaiting();
    // takeWaiting(), returning once the worker has written it.
    void flush();
    // Whether this run keeps the recovery file. Another running copy that shares the state folder (one on
    // another display) keeps its own there: this one then keeps none, and never writes over or removes
    // that one's, nor offers it as a crash's.
    bool keepsRecovery() const { return recoveryLock_.get() >= 0; }
    // Removes the recovery file (left by a crashed run, and not wanted back).
    void discardRecovery();
    // Removes a waiting recovery file (waitingRecoveryFileURL) once its changes are recovered or discarded.
    void discardWaitingRecovery(const platform::Url& file);

    static constexpr double pauseSeconds = 0.5;
    static constexpr double longestWaitSeconds = 3.0;
    static constexpr double checkSeconds = 1.0;
    static constexpr double playingStateSeconds = 2.0;

private:
    void takeState();
    void takeRecovery();

    Sources sources_;
    platform::TimerScheduler& scheduler_;
    // Held while this run keeps the recovery file.
    platform::FileDescriptor recoveryLock_;
    std::unique_ptr<platform::SerialQueue> worker_ =
        std::make_unique<platform::SerialQueue>("session safekeeping");
    platform::DispatchTimer checker_;
    platform::DispatchTimer stateTimer_;
    bool statePending_ = false;
    double firstPendingAt_ = 0;
    double stateTakenAt_ = 0;
    // What this run last wrote to the recovery file (none: it wrote none, or removed it).
    std::optional<SessionRecovery> recoveryWritten_;
};

} // namespace vantle
