#include "Source/session/SessionSafekeeping.h"

#include "Source/session/TimeRangeSet.h"
#include "platform/dispatch/Reaper.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace vantle {

namespace {

void writeSessionRecovery(const std::optional<SessionRecovery>& recovery, const platform::Url& file) {
    if (!recovery) {
        const platform::Result<void> removed = platform::removeItem(file.path());
        if (!removed && removed.error().code != ENOENT)
            platform::consolePrint("can't remove " + file.absoluteString() + ": " +
                                   platform::fileErrorReason(removed.error()));
        return;
    }
    platform::Result<platform::Bytes> bytes = platform::encodePlist(*recovery);
    if (!bytes) {
        platform::consolePrint("can't save " + file.absoluteString() + ": " + bytes.error().message);
        return;
    }
    if (platform::Result<void> written = platform::writeFileAtomically(file.path(), *bytes); !written)
        platform::consolePrint("can't save " + file.absoluteString() + ": " +
                               platform::fileErrorReason(written.error()));
}

} // namespace

SessionSafekeeping::SessionSafekeeping(Sources sources, platform::TimerScheduler& scheduler)
    : sources_(std::move(sources)), scheduler_(scheduler) {
    // The kernel lets the lock go with the process, however it ends: a killed run's is no one's.
    const std::string lock = appStateDirectory() + "/recovery.lock";
    platform::FileDescriptor file(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (file.get() < 0)
        platform::consolePrint("can't keep unsaved changes for a crash in " + lock + ": " +
                               std::strerror(errno));
    else if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
        recoveryLock_ = std::move(file);
    else
        platform::consolePrint("another running Vantle keeps its unsaved changes in " + appStateDirectory() +
                               ": this one keeps none there");
    checker_ = scheduler_.scheduleRepeating(checkSeconds, [this] { check(); });
}

SessionSafekeeping::~SessionSafekeeping() {
    checker_.cancel();
    takeWaiting();
    stateTimer_.cancel();
    // The lock goes once the last write under it has ended.
    worker_->async([lock = std::make_shared<platform::FileDescriptor>(std::move(recoveryLock_))] {});
    // The window may still show: its thread never waits on the disk.
    platform::reap(std::move(worker_));
}

void SessionSafekeeping::stateChanged() {
    const double now = scheduler_.now();
    if (!statePending_) {
        statePending_ = true;
        firstPendingAt_ = now;
    }
    const double due = std::min(now + pauseSeconds, firstPendingAt_ + longestWaitSeconds);
    stateTimer_ = scheduler_.scheduleOnce(due - now, [this] { takeState(); });
}

void SessionSafekeeping::takeState() {
    statePending_ = false;
    stateTimer_.cancel();
    stateTakenAt_ = scheduler_.now();
    AppState state = sources_.state();
    // The worker gets a copy: the entry's own spans go on growing here.
    if (state.currentTimeRangeSet)
        state.currentTimeRangeSet = std::make_shared<TimeRangeSet>(*state.currentTimeRangeSet);
    worker_->async([state = std::move(state), file = appStateFileURL()] { writeAppState(state, file); });
}

void SessionSafekeeping::check() {
    if (!statePending_ && sources_.playing() && scheduler_.now() - stateTakenAt_ >= playingStateSeconds)
        takeState();
    takeRecovery();
}

void SessionSafekeeping::takeRecovery() {
    if (!keepsRecovery()) return;
    std::optional<SessionRecovery> recovery = sources_.recovery();
    if (recovery == recoveryWritten_) return;
    recoveryWritten_ = recovery;
    worker_->async([recovery = std::move(recovery), file = sessionRecoveryFileURL()] {
        writeSessionRecovery(recovery, file);
    });
}

void SessionSafekeeping::takeWaiting() {
    if (statePending_) takeState();
    takeRecovery();
}

void SessionSafekeeping::flush() {
    takeWaiting();
    worker_->sync([] {});
}

void SessionSafekeeping::discardWaitingRecovery(const platform::Url& file) {
    if (!keepsRecovery()) return;
    worker_->async([file] { writeSessionRecovery(std::nullopt, file); });
}

void SessionSafekeeping::discardRecovery() {
    if (!keepsRecovery()) return;
    recoveryWritten_.reset();
    worker_->async([file = sessionRecoveryFileURL()] { writeSessionRecovery(std::nullopt, file); });
}

} // namespace vantle
